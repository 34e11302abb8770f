#pragma once

#include "options/Options.h"

#include <QString>
#include <memory>

class Connection;
class Desktop;
class MessageBox;
class OptionsDialogHost;
class Paths;
class Profile;
class TqslLocator;

// The application object: the start-up checks and the options for the whole run, and the
// connection on the log used for the version check.
class CBrindlewickApp
{
public:
    CBrindlewickApp(Paths& paths, const Profile& profile, const TqslLocator& locator, MessageBox& messages,
                    Desktop& desktop, OptionsDialogHost& dialog);
    ~CBrindlewickApp();

    // The per-user settings key of the program.
    static void setSettingsKey();

    // The start-up before any window: settings key, the options dialog (CommitOptions), the
    // engine the log needs, opening the log, the log's version. A log that can't be used shows
    // its message and brings the dialog back; false when the operator cancelled it (the
    // program ends).
    bool InitInstance();
    // File > Options...: the dialog again (host: one whose Cancel only closes it), until the
    // log can be used or the operator cancels. True when new options are in force; the old
    // ones stay otherwise.
    bool ChangeOptions(OptionsDialogHost& host);

    const Options& options() const { return m_options; }
    QString GetSourceMdbPath() const;
    QString GetRefdataMdbPath() const;
private:
    // Why the log of the options can't be used (no engine, can't be opened, not version 6),
    // or an empty text.
    QString checkLog();

    Paths& m_paths;
    const Profile& m_profile;
    const TqslLocator& m_locator;
    MessageBox& m_messages;
    Desktop& m_desktop;
    OptionsDialogHost& m_dialog;
    Options m_options;
};
