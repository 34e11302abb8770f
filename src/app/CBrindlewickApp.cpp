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
    QCoreApplication::setOrganizationName(QStringLiteral("Quorvane Version 2.71"));
    QCoreApplication::setApplicationName(Strings::text(Strings::AppTitle));
}

bool CBrindlewickApp::InitInstance()
{
    setSettingsKey();

    if (!CommitOptions(m_dialog, m_paths, m_desktop, m_messages, m_options))
        return false;

    // The engine is chosen by the log's path, so it is checked once the path is confirmed.
    const QString missing = CheckEngineAvailable(m_options.sourceMdbPath);
    if (!missing.isEmpty()) {
        m_messages.show(missing);
        return false;
    }

    if (!m_versionDb) {
        try {
            m_versionDb = Connection::open(m_options.sourceMdbPath);
        } catch (const CDbException& e) {
            m_messages.show(e.description());
            return false;
        }
    }

    bool versionOk = false;
    try {
        versionOk = CheckLogVersion(*m_versionDb);
    } catch (const CDbException& e) {
        // Another program holds the log: said as such, not as a wrong version.
        m_messages.show(QStringLiteral("%1: waited %2 seconds for it, then gave up. Close the other program's hold "
                                       "on the log and start again.")
                            .arg(WithoutFinalStop(e.description()))
                            .arg(Connection::kBusyWaitMs / 1000));
        return false;
    }
    if (!versionOk) {
        m_messages.show(Strings::text(Strings::VersionError));
        return false;
    }
    return true;
}

QString CBrindlewickApp::GetSourceMdbPath() const
{
    return ::GetSourceMdbPath(m_options);
}

QString CBrindlewickApp::GetRefdataMdbPath() const
{
    return ::GetRefdataMdbPath(m_options);
}
