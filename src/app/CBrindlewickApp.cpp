#include "CBrindlewickApp.h"

#include "logdb/Connection.h"
#include "options/CommitOptions.h"
#include "options/OptionsStore.h"
#include "platform/Desktop.h"
#include "platform/Errors.h"
#include "platform/Strings.h"

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
    // The engine is chosen by the log's path, so it is checked once the path is confirmed.
    const QString missing = CheckEngineAvailable(m_options.sourceMdbPath);
    if (!missing.isEmpty())
        return missing;
    // The connection is the check's own: it is let go of at once, so that nothing of the
    // window holds the log between runs, and each run opens its own.
    std::shared_ptr<Connection> log;
    try {
        log = Connection::open(m_options.sourceMdbPath);
    } catch (const CDbException& e) {
        return e.description();
    }
    bool versionOk = false;
    try {
        versionOk = CheckLogVersion(*log);
    } catch (const CDbException& e) {
        // Another program holds the log: said as such, not as a wrong version.
        return QStringLiteral("%1: waited %2 seconds for it, then gave up. Close the other program's hold on the log.")
            .arg(WithoutFinalStop(e.description()))
            .arg(Connection::kBusyWaitMs / 1000);
    }
    return versionOk ? QString() : Strings::text(Strings::VersionError);
}

QString CBrindlewickApp::GetSourceMdbPath() const
{
    return ::GetSourceMdbPath(m_options);
}

QString CBrindlewickApp::GetRefdataMdbPath() const
{
    return ::GetRefdataMdbPath(m_options);
}
