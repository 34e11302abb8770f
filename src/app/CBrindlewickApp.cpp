#include "CBrindlewickApp.h"

#include "options/CommitOptions.h"
#include "options/OptionsStore.h"
#include "platform/Desktop.h"
#include "platform/Errors.h"
#include "platform/Strings.h"
#include "service/StartupCheck.h"

#include <QCoreApplication>

CBrindlewickApp::CBrindlewickApp(Paths& paths, const Profile& profile, const TqslLocator& locator,
                                 MessageBox& messages, Desktop& desktop, OptionsDialogHost& dialog)
    : m_paths(paths), m_profile(profile), m_locator(locator), m_messages(messages), m_desktop(desktop), m_dialog(dialog)
{
}

CBrindlewickApp::~CBrindlewickApp() = default;

void CBrindlewickApp::setSettingsKey()
{
    // The per-user settings live under the program's title, version and all.
    QCoreApplication::setOrganizationName(Strings::text(Strings::AppTitle));
    QCoreApplication::setApplicationName(Strings::text(Strings::AppTitle));
}

bool CBrindlewickApp::InitInstance()
{
    setSettingsKey();

    // A log that can't be used (a mistyped path, no engine for it, not DXbase's version) brings
    // the options back, with the reason, instead of ending the program.
    for (;;) {
        if (!CommitOptions(m_dialog, m_paths, m_desktop, m_messages, m_options))
            return false;
        const QString problem = checkLog();
        if (problem.isEmpty())
            return true;
        m_messages.show(problem + QStringLiteral("\n\nCorrect the log's path in the options, or Cancel to quit."));
    }
}

bool CBrindlewickApp::ChangeOptions(OptionsDialogHost& host)
{
    const Options before = m_options;
    for (;;) {
        if (!CommitOptions(host, m_paths, m_desktop, m_messages, m_options)) {
            m_options = before;
            return false;
        }
        const QString problem = checkLog();
        if (problem.isEmpty())
            return true;
        m_messages.show(problem + QStringLiteral("\n\nCorrect the log's path in the options, or Cancel to keep the "
                                                 "options in force."));
    }
}

QString CBrindlewickApp::checkLog()
{
    // The check's connection is let go of at once, so that nothing of the window holds the log
    // between runs, and each run opens its own.
    const LogCheck check = CheckLogAtStart(m_options.sourceMdbPath, nullptr);
    if (check.result == LogCheck::Result::Busy)
        return check.text + QStringLiteral(" Close the other program's hold on the log.");
    return check.text;
}

QString CBrindlewickApp::GetSourceMdbPath() const
{
    return ::GetSourceMdbPath(m_options);
}

QString CBrindlewickApp::GetRefdataMdbPath() const
{
    return ::GetRefdataMdbPath(m_options);
}
