#include "PasswordStore.h"

#include "OptionsStore.h"
#include "platform/Keyring.h"
#include "platform/Paths.h"

#include <QByteArray>
#include <QDir>

namespace {

// The password as typed, when the encoded form is exactly what EncodePassword makes of it (a
// field of another shape is kept as it is, in the file).
bool DecodeExactly(const QString& encoded, QString& typed)
{
    typed = QString::fromLatin1(QByteArray::fromPercentEncoding(encoded.toLatin1()));
    return EncodePassword(typed) == encoded;
}

} // namespace

QString KeyringPasswordKey(const QString& dataFolder, int slot)
{
    return QStringLiteral("LoTW password of login %1, data folder %2")
        .arg(slot + 1)
        .arg(QDir::cleanPath(QDir(dataFolder).absolutePath()));
}

bool LoadPasswords(const Paths& paths, Keyring* keyring, std::array<QString, kSlotCount>& passwords,
                   int* damagedAt, QString* keyringProblem)
{
    if (keyringProblem)
        keyringProblem->clear();
    const bool loaded = LoadPasswordFile(PasswordFilePath(paths), passwords, damagedAt);
    if (!keyring)
        return loaded;
    for (int k = 0; k < kSlotCount; ++k) {
        if (!passwords[k].isEmpty())
            continue;
        QString typed;
        const Keyring::Answer answer = keyring->read(KeyringPasswordKey(paths.dataFolder(), k), typed);
        if (answer == Keyring::Answer::NoKeyring) {
            if (keyringProblem)
                *keyringProblem = keyring->lastProblem();
            break;
        }
        if (answer == Keyring::Answer::Done && !typed.isEmpty())
            passwords[k] = EncodePassword(typed);
    }
    return loaded;
}

bool SavePasswords(const Paths& paths, Keyring* keyring, const Options& options, QString* reason,
                   std::array<bool, kSlotCount>* inKeyring)
{
    std::array<bool, kSlotCount> taken{};
    bool answering = keyring != nullptr;
    for (int k = 0; k < kSlotCount && answering; ++k) {
        const QString key = KeyringPasswordKey(paths.dataFolder(), k);
        const QString& encoded = options.logins[std::size_t(k)].password;
        QString typed;
        if (encoded.isEmpty()) {
            answering = keyring->remove(key) != Keyring::Answer::NoKeyring;
        } else if (DecodeExactly(encoded, typed)) {
            answering = keyring->write(key, typed) == Keyring::Answer::Done;
            taken[std::size_t(k)] = answering;
        } else {
            // Kept in the file: what the keyring may hold under its key is old.
            answering = keyring->remove(key) != Keyring::Answer::NoKeyring;
        }
    }
    Options kept = options;
    for (int k = 0; k < kSlotCount; ++k) {
        if (taken[std::size_t(k)])
            kept.logins[std::size_t(k)].password.clear();
    }
    if (inKeyring)
        *inKeyring = taken;
    return SavePasswordFile(PasswordFilePath(paths), kept, reason);
}
