#include "CBrindlewickApp.h"
#include "CMainFrame.h"
#include "QtOptionsDialogHost.h"
#include "platform/Paths.h"
#include "platform/Profile.h"
#include "platform/TqslLocator.h"
#include "platform/gui/QtDesktop.h"

#include <QApplication>
#include <QWidget>

int main(int argc, char** argv)
{
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

    CMainFrame frame;
    messages.setParent(&frame);
    frame.setView(new QWidget); // the form view takes this place
    frame.show();
    return app.exec();
}
