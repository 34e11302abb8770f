#pragma once

#include "Keyring.h"

// The desktop's keyring of the session the program runs in. Each request waits for the
// keyring's answer, at most a few seconds: a keyring that does not answer in time counts as
// none. Once no keyring answered, later requests of the same object are not tried again (a
// batch command without a desktop session should not wait at every password).
class SystemKeyring : public Keyring
{
public:
    explicit SystemKeyring(int timeoutMs = 5000) : m_timeoutMs(timeoutMs) {}
    Answer read(const QString& key, QString& secret) override;
    Answer write(const QString& key, const QString& secret) override;
    Answer remove(const QString& key) override;
    QString lastProblem() const override { return m_problem; }

    // Whether this build can use a keyring at all.
    static bool available();

private:
    int m_timeoutMs;
    bool m_gaveUp = false;
    QString m_problem;
};
