#include "CBrindlewickApp.h"
#include "CBrindlewickDoc.h"
#include "CBrindlewickView.h"
#include "CMainFrame.h"
#include "FormOperations.h"
#include "QtOptionsDialogHost.h"
#include "platform/Paths.h"
#include "platform/Profile.h"
#include "platform/Redaction.h"
#include "platform/TqslLocator.h"
#include "platform/gui/QtDesktop.h"

#include <QApplication>

int main(int argc, char** argv)
{
    // LoTW addresses carry the password: Qt's own warnings about them are masked.
    InstallPasswordMaskingMessageHandler();
    QApplication app(argc, argv);
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
    CBrindlewickDoc doc(theApp.options().sourceMdbPath);
    CMainFrame frame;
    messages.setParent(&frame);
    auto* view = new CBrindlewickView(doc, theApp.options(), paths, desktop, messages);
    ConnectFormOperations(*view);
    frame.setView(view);
    view->OnInitialUpdate();
    frame.show();
    const int status = app.exec();
    view->DestroyWindow();
    return status;
}
