#include "SystemKeyring.h"

#ifdef QUORVANE_HAVE_KEYCHAIN
#include <qt6keychain/keychain.h>

#include <QEventLoop>
#include <QTimer>

#include <memory>
#include <type_traits>

namespace {
const QString kService = QStringLiteral("Quorvane");

struct Outcome
{
    bool finished = false;
    QKeychain::Error error = QKeychain::NoError;
    QString errorText;
    QString secret;
};

// Runs a job and waits for it, at most timeoutMs. The job deletes itself when it finishes,
// also when it finishes after the wait was given up.
template <typename Job>
std::shared_ptr<Outcome> runJob(Job* job, int timeoutMs)
{
    auto outcome = std::make_shared<Outcome>();
    job->setAutoDelete(true);
    QEventLoop loop;
    const auto connection = QObject::connect(job, &QKeychain::Job::finished, job, [outcome, job, &loop](QKeychain::Job*) {
        outcome->finished = true;
        outcome->error = job->error();
        outcome->errorText = job->errorString();
        if constexpr (std::is_same_v<Job, QKeychain::ReadPasswordJob>)
            outcome->secret = job->textData();
        if (loop.isRunning())
            loop.quit();
    });
    // The loop may be gone when a late answer comes: the connection above must not reach it.
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    job->start();
    if (!outcome->finished)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    QObject::disconnect(connection);
    return outcome;
}

// The answer of a finished (or abandoned) job. A keyring that failed or did not answer in time
// sets gaveUp (it is not asked again) and problem.
Keyring::Answer answerOf(const Outcome& outcome, bool notFoundIsAnAnswer, bool& gaveUp, QString& problem)
{
    if (outcome.finished && outcome.error == QKeychain::NoError)
        return Keyring::Answer::Done;
    if (notFoundIsAnAnswer && outcome.finished && outcome.error == QKeychain::EntryNotFound)
        return Keyring::Answer::NotFound;
    gaveUp = true;
    problem = outcome.finished ? outcome.errorText : QStringLiteral("the keyring did not answer in time");
    return Keyring::Answer::NoKeyring;
}

} // namespace

bool SystemKeyring::available() { return true; }

// QUORVANE_NO_KEYRING set to anything but 0 keeps every password in the password file.
static bool switchedOff(QString& problem)
{
    const QByteArray off = qgetenv("QUORVANE_NO_KEYRING");
    if (off.isEmpty() || off == "0")
        return false;
    problem = QStringLiteral("the keyring is switched off by QUORVANE_NO_KEYRING");
    return true;
}

Keyring::Answer SystemKeyring::read(const QString& key, QString& secret)
{
    if (m_gaveUp || switchedOff(m_problem))
        return Answer::NoKeyring;
    auto* job = new QKeychain::ReadPasswordJob(kService);
    job->setKey(key);
    const auto outcome = runJob(job, m_timeoutMs);
    const Answer result = answerOf(*outcome, true, m_gaveUp, m_problem);
    if (result == Answer::Done)
        secret = outcome->secret;
    return result;
}

Keyring::Answer SystemKeyring::write(const QString& key, const QString& secret)
{
    if (m_gaveUp || switchedOff(m_problem))
        return Answer::NoKeyring;
    auto* job = new QKeychain::WritePasswordJob(kService);
    job->setKey(key);
    job->setTextData(secret);
    return answerOf(*runJob(job, m_timeoutMs), false, m_gaveUp, m_problem);
}

Keyring::Answer SystemKeyring::remove(const QString& key)
{
    if (m_gaveUp || switchedOff(m_problem))
        return Answer::NoKeyring;
    auto* job = new QKeychain::DeletePasswordJob(kService);
    job->setKey(key);
    return answerOf(*runJob(job, m_timeoutMs), true, m_gaveUp, m_problem);
}

#else

// A build without a keyring library: the passwords stay in the data folder's password file.
bool SystemKeyring::available() { return false; }

Keyring::Answer SystemKeyring::read(const QString&, QString&)
{
    m_problem = QStringLiteral("this build of the program has no keyring support");
    return Answer::NoKeyring;
}

Keyring::Answer SystemKeyring::write(const QString&, const QString&)
{
    m_problem = QStringLiteral("this build of the program has no keyring support");
    return Answer::NoKeyring;
}

Keyring::Answer SystemKeyring::remove(const QString&)
{
    m_problem = QStringLiteral("this build of the program has no keyring support");
    return Answer::NoKeyring;
}

#endif
