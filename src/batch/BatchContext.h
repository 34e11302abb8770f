#pragma once

#include "BatchCommandLine.h"
#include "options/ChoiceModel.h"
#include "options/Choices.h"
#include "options/Options.h"
#include "options/QslDateFile.h"
#include "platform/Desktop.h"
#include "platform/EventMonitor.h"
#include "platform/ProblemLog.h"
#include "platform/Paths.h"

#include <QStringList>
#include <memory>

// What a batch command works with: the data folder's options and saved choices, the
// operator's choices as the form would hold them at start, and the services that stand in
// for the window (monitor lines to stdout, messages to stderr).
struct BatchContext
{
    QString dataDir;
    Options options;
    SavedQslDates dates;
    // The form's choices as they stand at start: signing slot 1, download call 1, and the
    // saved date and radio choices. Commands make their clicks on it (--slot, --any-call ...).
    std::unique_ptr<ChoiceModel> choiceModel;
    Choices& choices() { return choiceModel->choices(); }
    std::unique_ptr<Paths> paths;
    std::unique_ptr<Desktop> desktop;
    std::unique_ptr<EventMonitor> monitor;
    // What the command's run left: its counters make the closing line.
    RunResult result;
};


// Exit statuses of the batch command.
enum BatchExit : int { ExitOk = 0, ExitFailed = 1, ExitUsage = 2 };

// Thrown by a command for a usage error found once the data folder is read (a slot without a
// call, no saved report range); the text is printed to stderr with the command's usage.
struct UsageError
{
    QString text;
};
