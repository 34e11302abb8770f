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
        if (!stationFile.isEmpty() && QFileInfo(stationFile).isFile()) {
            DiscoverStations(stationFile, m_copy, m_messages, m_pump);
            m_locations.clear();
            for (const StationLocation& known : ReadStationLocations(stationFile, 100000)) {
                const QString name = known.name.trimmed();
                if (!name.isEmpty() && !m_locations.contains(name))
                    m_locations.append(name);
            }
        }
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

    // A missing TQSL is said once, at the showing, not again after every browse.
    ReadTqslInstallPath(m_locator, afterBrowse ? nullptr : &m_messages, m_copy);
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
    // Only the dialog's copy: the password file is written anew, without them, on OK, and
    // Cancel keeps it as it is.
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

QStringList OptionsDialogModel::blankRequiredEntries() const
{
    const Options& o = m_copy;
    const std::pair<const QString*, const char*> required[] = {
        {&o.sourceMdbPath, "DXbase Source QSO path/filename"},
        {&o.refdataMdbPath, "DXbase Refdata path/filename"},
        {&o.uploadAdifPath, "ADIF file to be uploaded to LoTW website"},
        {&o.reportAdifPath, "ADIF file to be downloaded from the LoTW website"},
        {&o.stations[0].oprCall, "Primary OPRCALL"},
        {&o.stations[0].location, "Primary LOCATION"},
        {&o.logins[0].loginCall, "Primary OPRCALL used to log into the ARRL LoTW website"},
    };
    QStringList blank;
    for (const auto& [value, name] : required) {
        if (value->isEmpty())
            blank.append(QString::fromLatin1(name));
    }
    return blank;
}
