#pragma once

#include "Options.h"

#include <QString>
#include <array>

class Keyring;
class Paths;

// The LoTW passwords of the five logins. Where the desktop's keyring answers, each password is
// kept there, under a key that names its login and the data folder, and its field in
// "quorvane3.dat" is left empty; where none answers (a batch command run by cron or over ssh,
// a build without keyring support) the password is kept in "quorvane3.dat" as always.
//
// Loading reads "quorvane3.dat" first: a password found there is the newest (a save empties the
// field of every password the keyring took), so the keyring is asked only for the empty ones.
// A file that an earlier version wrote, with every password in it, loads as it always did; its
// passwords move to the keyring at the next save.

// The keyring's key of a login's password (slot 0 to 4) in a data folder.
QString KeyringPasswordKey(const QString& dataFolder, int slot);

// Fills the five encoded passwords. keyring may be null (the file alone). damagedAt as
// LoadPasswordFile's. keyringProblem, when given, is set to what the keyring said when it
// was asked and did not answer (empty otherwise).
bool LoadPasswords(const Paths& paths, Keyring* keyring, std::array<QString, kSlotCount>& passwords,
                   int* damagedAt = nullptr, QString* keyringProblem = nullptr);

// Keeps the passwords in force of options: in the keyring those it takes, the others in
// "quorvane3.dat", which is always written whole. An empty password is removed from the
// keyring too. False when the file could not be written (reason as SavePasswordFile's).
// inKeyring, when given, tells which passwords the keyring took.
bool SavePasswords(const Paths& paths, Keyring* keyring, const Options& options, QString* reason = nullptr,
                   std::array<bool, kSlotCount>* inKeyring = nullptr);
