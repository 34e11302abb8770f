#pragma once

#include <QString>

// The desktop's keyring: secrets kept by the desktop session (the Secret Service or KWallet
// on Linux, the Credential Manager on Windows), each under a key of this program's own.
class Keyring
{
public:
    enum class Answer {
        Done,     // read (secret set), written or removed
        NotFound, // the keyring answered and holds nothing under the key
        NoKeyring // no keyring answered (no desktop session, a cron job, an ssh login) or it failed
    };

    virtual ~Keyring() = default;
    virtual Answer read(const QString& key, QString& secret) = 0;
    virtual Answer write(const QString& key, const QString& secret) = 0;
    // Done or NotFound when nothing was there (keyrings differ in telling it).
    virtual Answer remove(const QString& key) = 0;
    // What the keyring said when it last answered NoKeyring, for a message.
    virtual QString lastProblem() const { return QString(); }
};
