#pragma once

#include "Options.h"

#include <array>

class Desktop;
class MessageBox;
class Paths;

// What one confirmed showing of the options dialog hands over.
struct OptionsDialogResult
{
    Options values;                       // the dialog's copy as confirmed
    std::array<bool, kSlotCount> deleted{}; // rows emptied with "< Delete" (slots 1 to 4)
};

// Shows the options dialog modally, a new one each time (it initialises itself from the files).
class OptionsDialogHost
{
public:
    virtual ~OptionsDialogHost() = default;
    // True when the operator confirmed with OK; result then holds the dialog's values.
    virtual bool showOptionsDialog(OptionsDialogResult& result) = 0;
};

// The start-up options step: shows the dialog until its required entries are given, takes its
// values into options, encodes new passwords and saves "quorvane3.dat" and "quorvane.dat" in
// the data folder (created when missing); a file that cannot be saved is shown in a message
// box with the reason. False when the operator cancelled a showing.
bool CommitOptions(OptionsDialogHost& dialog, const Paths& paths, Desktop& desktop, MessageBox& messages,
                   Options& options);

// The message for an option file that could not be saved: "The options could not be saved to
// <path>: <reason>". The program goes on with the options in memory.
QString SaveFailureText(const QString& path, const QString& reason);

// Whether one of the seven required entries is empty.
bool RequiredEntryBlank(const Options& options);
