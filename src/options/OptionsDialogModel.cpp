#include "OptionsDialogModel.h"

#include "OptionsStore.h"
#include "platform/Desktop.h"
#include "platform/Paths.h"
#include "platform/TqslLocator.h"

#include <QFile>
#include <QFileInfo>

OptionsDialogModel::OptionsDialogModel(const Paths& paths, const Profile& profile, const TqslLocator& locator,
                                       MessageBox& messages, Desktop& desktop)
    : m_paths(paths), m_profile(profile), m_locator(locator), m_messages(messages), m_desktop(desktop)
{
}

void OptionsDialogModel::initialise(bool afterBrowse)
{
    m_deleted.fill(false);

    m_version = DetectWindowsVersion(m_paths);
    const QString stationFile = StationDataPath(m_paths, m_version);

    const QString optionsFile = OptionsFilePath(m_paths);
    if (!afterBrowse) {
        if (!stationFile.isEmpty() && QFileInfo(stationFile).isFile())
            DiscoverStations(stationFile, m_copy, m_messages, m_pump);
        if (!QFileInfo::exists(optionsFile)) {
            ReadDxbaseDataPath(m_paths, m_profile, m_copy);
            ReadDxbaseProgramPath(m_paths, m_profile, m_copy);
        }
        int damagedAt = -1;
        if (!LoadOptionsFile(optionsFile, m_copy, &damagedAt) && damagedAt >= 0)
            m_messages.show(DamagedFileText(optionsFile, damagedAt)
                            + QStringLiteral(": the options below are what could be read from it. Check them and "
                                             "confirm with OK to save them anew."));
        // The password fields kept in "quorvane.dat" are not shown: a field shows the mask of
        // the password in "quorvane3.dat" or nothing. Showing the kept text (an encoded
        // password) would have it taken as newly typed and encoded a second time.
        for (LotwLogin& login : m_copy.logins)
            login.passwordField.clear();
    }

    m_copy.errorFilePath = ErrorFilePath(m_paths);
    m_copy.importedListPath = ImportedListPath(m_paths);
    m_copy.sourceMdbPath = CutTrailingWhiteSpace(m_copy.sourceMdbPath);
    m_copy.refdataMdbPath = CutTrailingWhiteSpace(m_copy.refdataMdbPath);
    m_copy.uploadAdifPath = CutTrailingWhiteSpace(m_copy.uploadAdifPath);

    ReadTqslInstallPath(m_locator, &m_messages, m_copy);
    m_copy.tqslFolder = CutTrailingWhiteSpace(m_copy.tqslFolder);
    m_copy.tqslExePath = m_locator.programPath(m_copy.tqslFolder);
    m_copy.reportAdifPath = CutTrailingWhiteSpace(m_copy.reportAdifPath);

    std::array<QString, kSlotCount> passwords;
    int passwordsDamagedAt = -1;
    if (!LoadPasswordFile(PasswordFilePath(m_paths), passwords, &passwordsDamagedAt) && passwordsDamagedAt >= 0
        && !afterBrowse)
        m_messages.show(DamagedFileText(PasswordFilePath(m_paths), passwordsDamagedAt)
                        + QStringLiteral(": the LoTW passwords kept there could not all be read. Type the missing "
                                         "ones again."));
    for (int k = 0; k < kSlotCount; ++k) {
        const QString mask = PasswordMask(passwords[k]);
        if (!mask.isEmpty())
            m_copy.logins[k].passwordField = mask;
        m_copy.logins[k].passwordLoaded = passwords[k];
    }

    m_desktop.pause(200);
}

void OptionsDialogModel::clearAllPasswords()
{
    QFile::remove(PasswordFilePath(m_paths));
    for (LotwLogin& login : m_copy.logins) {
        login.passwordField.clear();
        login.passwordLoaded.clear();
    }
}

void OptionsDialogModel::deleteRow(int slot)
{
    if (slot < 1 || slot >= kSlotCount)
        return;
    m_copy.stations[slot].oprCall.clear();
    m_copy.stations[slot].location.clear();
    m_copy.logins[slot].loginCall.clear();
    m_copy.logins[slot].passwordField.clear();
    m_copy.logins[slot].passwordLoaded.clear();
    m_deleted[slot] = true;
}
