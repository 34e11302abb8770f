#include "CBrindlewickApp.h"
#include "CBrindlewickDoc.h"
#include "CBrindlewickView.h"
#include "AppCommandLine.h"
#include "CMainFrame.h"
#include "FormOperations.h"
#include "ProgramIcon.h"
#include "QtOptionsDialogHost.h"
#include "platform/Paths.h"
#include "platform/Profile.h"
#include "platform/Redaction.h"
#include "platform/TqslLocator.h"
#include "platform/Version.h"
#include "platform/gui/QtDesktop.h"

#include <QApplication>
#include <memory>
#include <cstdio>

namespace {

int ended(const AppCommandLine& line)
{
    std::fputs(line.out.toLocal8Bit().constData(), stdout);
    std::fputs(line.err.toLocal8Bit().constData(), stderr);
    return line.exitCode;
}

}

int main(int argc, char** argv)
{
    // --version and --help need no display: they are answered before the window system starts.
    QStringList given;
    for (int i = 0; i < argc; ++i)
        given << QString::fromLocal8Bit(argv[i]);
    const AppCommandLine info = AnswerAppInfoOptions(given);
    if (info.exitCode >= 0)
        return ended(info);

    // A usage error is told before anything else (Qt's own options set aside), then a missing
    // display in one line: Qt would end the program on it with a long message and a core.
    const AppCommandLine rest = CheckAppArgumentsBeforeQt(given);
    if (rest.exitCode >= 0)
        return ended(rest);
    const QString noDisplay = MissingDisplay(given, qEnvironmentVariable("QT_QPA_PLATFORM"),
                                             qEnvironmentVariable("DISPLAY"), qEnvironmentVariable("WAYLAND_DISPLAY"));
    if (!noDisplay.isEmpty()) {
        std::fputs(noDisplay.toLocal8Bit().constData(), stderr);
        return 1;
    }

    // LoTW addresses carry the password: Qt's own warnings about them are masked.
    InstallPasswordMaskingMessageHandler();
    QApplication app(argc, argv);
    const AppCommandLine left = CheckAppArguments(QCoreApplication::arguments());
    if (left.exitCode >= 0)
        return ended(left);
    QApplication::setApplicationVersion(Version::number());
    QApplication::setWindowIcon(ProgramIcon());
    // Ties the window to the installed desktop entry (its icon and name in task bars).
    QGuiApplication::setDesktopFileName(QStringLiteral("quorvane"));
    CBrindlewickApp::setSettingsKey();

    SystemPaths paths;
    IniProfile profile;
    SystemTqslLocator locator;
    QtMessageBox messages;
    QtDesktop desktop;
    QtOptionsDialogHost dialog(paths, profile, locator, messages, desktop);

    CBrindlewickApp theApp(paths, profile, locator, messages, desktop, dialog);
    if (!theApp.InitInstance())
        return 1;

    // The document outlives the frame, whose form view works on the document's recordset.
    auto doc = std::make_unique<CBrindlewickDoc>(theApp.options().sourceMdbPath);
    CMainFrame frame;
    messages.setParent(&frame);
    auto* view = new CBrindlewickView(*doc, theApp.options(), paths, desktop, messages);
    ConnectFormOperations(*view);
    frame.setView(view);
    view->OnInitialUpdate();

    // File > Options...: the same dialog; confirmed, the form is made anew on the new options
    // (for the next run: not while one goes on).
    QtOptionsDialogHost later(paths, profile, locator, messages, desktop);
    later.setCancelEndsProgram(false);
    later.setParent(&frame);
    frame.setOptionsHandler([&] {
        if (view->isRunning()) {
            messages.show(QStringLiteral("The options can be changed once the run has ended."));
            return;
        }
        if (!theApp.ChangeOptions(later))
            return;
        auto newDoc = std::make_unique<CBrindlewickDoc>(theApp.options().sourceMdbPath);
        auto* newView = new CBrindlewickView(*newDoc, theApp.options(), paths, desktop, messages);
        ConnectFormOperations(*newView);
        view->DestroyWindow();
        frame.setView(newView); // the old form goes, before the document it works on
        newView->OnInitialUpdate();
        doc = std::move(newDoc);
        view = newView;
    });

    frame.show();
    const int status = app.exec();
    view->DestroyWindow();
    return status;
}
