#pragma once

#include "Options.h"
#include "StationDiscovery.h"

#include <QString>
#include <QStringList>
#include <array>
#include <functional>

class Desktop;
class MessageBox;
class Paths;
class Profile;
class TqslLocator;

// The options dialog without its widgets: the dialog's copy of the options, the rows deleted
// with "< Delete", and the initialisation that fills the copy from the station file, the
// DXbase settings, the option files and TQSL's install folder.
class OptionsDialogModel
{
public:
    OptionsDialogModel(const Paths& paths, const Profile& profile, const TqslLocator& locator,
                       MessageBox& messages, Desktop& desktop);

    // Runs the initialisation. afterBrowse: re-initialisation after a browse for a database,
    // which keeps the copy instead of discovering stations and loading "quorvane.dat".
    void initialise(bool afterBrowse = false);

    Options& copy() { return m_copy; }
    const Options& copy() const { return m_copy; }
    QString versionText() const { return m_version.text; }
    // The caption: the paths set while initialising, of which the report file's is the last.
    QString caption() const { return m_copy.reportAdifPath; }
    // Whether row slot (0-based, rows 2 to 5 are 1 to 4) was emptied with "< Delete".
    bool deleted(int slot) const { return m_deleted[slot]; }
    std::array<bool, kSlotCount> deletedRows() const { return m_deleted; }

    // "Clear ALL Passwords": empties every password field and every loaded password of the
    // copy (the password file follows on OK; Cancel keeps it).
    void clearAllPasswords();
    // The required entries that are empty in the copy, by the names the dialog shows them under.
    QStringList blankRequiredEntries() const;
    // The station locations TQSL's station file defines, in its order.
    const QStringList& knownLocations() const { return m_locations; }
    // "< Delete" of a row (0-based slot 1 to 4): empties its call, location, login call,
    // password field and loaded password, and marks it deleted.
    void deleteRow(int slot);

    // Called before each line of the station file is handled.
    void setPump(std::function<void()> pump) { m_pump = std::move(pump); }

private:
    const Paths& m_paths;
    const Profile& m_profile;
    const TqslLocator& m_locator;
    MessageBox& m_messages;
    Desktop& m_desktop;
    Options m_copy;
    DetectedVersion m_version;
    std::array<bool, kSlotCount> m_deleted{};
    QStringList m_locations;
    std::function<void()> m_pump;
};
