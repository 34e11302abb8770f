#include "TqslRun.h"

#include "platform/EventMonitor.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>

namespace {

// How long TQSL gets to end by itself after the operator stopped waiting, before it is killed.
constexpr int kTerminateGraceMs = 3000;
// How long the wait sleeps between two looks at TQSL, its output and the window.
constexpr int kPollMs = 50;
// A line without its end is cut once the text waiting for its end reaches this size.
constexpr qsizetype kMaxPending = 64 * 1024;

// The step marker a failed status belongs to: making the signed file, uploading it, or
// (everything else) signing.
Step stepOfStatus(int status)
{
    switch (status) {
    case 7:
        return Step::MakeTq8;
    case 2:
    case 3:
    case 11:
        return Step::Upload;
    default:
        return Step::SignAdif;
    }
}

// TQSL's lines about the file, without the version line, the final status and a leading
// time stamp ("05:57:39 PM: ").
bool isStatusLine(const QString& line)
{
    return line.startsWith(QLatin1String("TQSL Version")) || line.contains(QLatin1String("Final Status:"));
}

QString withoutTimeStamp(const QString& line)
{
    static const QRegularExpression stamp(QStringLiteral("^\\d{1,2}:\\d{2}:\\d{2}( ?[AP]M)?: ?/?"));
    QString text = line;
    text.remove(stamp);
    return text;
}

} // namespace

QString TqslStatusText(int status)
{
    switch (status) {
    case 0: return QStringLiteral("TQSL signed the file");
    case 1: return QStringLiteral("signing was cancelled in TQSL");
    case 2: return QStringLiteral("LoTW rejected the upload");
    case 3: return QStringLiteral("the LoTW server gave an unexpected answer");
    case 4: return QStringLiteral("TQSL reported an error");
    case 5: return QStringLiteral("TQSL's library reported an error (a wrong passphrase, or a damaged callsign "
                                  "certificate or key)");
    case 6: return QStringLiteral("TQSL could not open the upload file");
    case 7: return QStringLiteral("TQSL could not write the signed file");
    case 8: return QStringLiteral("no QSO was signed (each one was signed before, lies outside the dates of the "
                                  "callsign certificate or was refused, or there is no valid callsign certificate "
                                  "for the station)");
    case 9: return QStringLiteral("some QSOs were signed and others left out (signed before, outside the dates of "
                                  "the callsign certificate, or refused)");
    case 10: return QStringLiteral("TQSL did not accept its command line (is the station location defined in TQSL?)");
    case 11: return QStringLiteral("LoTW could not be reached (no network connection?)");
    case 12: return QStringLiteral("TQSL ended on an unexpected error");
    case 13: return QStringLiteral("TQSL's record of signed QSOs is locked or damaged (is another TQSL running?)");
    case 255: return QStringLiteral("TQSL could not open its window (is there no display?)");
    default: return QStringLiteral("TQSL ended with the unknown status %1").arg(status);
    }
}

bool IsSignedBeforeReason(const QString& reason)
{
    return reason.contains(QLatin1String("Already Uploaded"), Qt::CaseInsensitive)
           || reason.contains(QLatin1String("Duplicate"), Qt::CaseInsensitive);
}

TqslRun::TqslRun(QString program, EventMonitor& monitor) : m_program(std::move(program)), m_monitor(monitor) {}

QStringList TqslRun::arguments(const TqslSigning& signing)
{
    QStringList arguments{QStringLiteral("-l"), signing.location, QStringLiteral("-d"), signing.adifPath,
                          QStringLiteral("-x"), QStringLiteral("-a"),
                          signing.signAgain ? QStringLiteral("all") : QStringLiteral("compliant")};
    if (!signing.passphrase.isEmpty())
        arguments << QStringLiteral("-p") << signing.passphrase;
    return arguments;
}

namespace {

// "CALL: DL1ABC", "QSO_DATE: 20240315": TQSL's lines naming the fields of a QSO it speaks of.
bool isFieldLine(const QString& line)
{
    static const QRegularExpression field(QStringLiteral("^[A-Z][A-Z0-9_]*: "));
    return field.match(line).hasMatch();
}

// Whether TQSL's key of a callsign certificate is protected by a passphrase: its private key
// is kept encrypted.
bool keyHasPassphrase(const QString& keysFolder, const QString& call)
{
    if (keysFolder.isEmpty() || call.isEmpty())
        return false;
    QString name = call;
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    QFile key(keysFolder + QLatin1Char('/') + name);
    if (!key.open(QIODevice::ReadOnly))
        return false;
    return key.read(1024 * 1024).contains("ENCRYPTED");
}

} // namespace

void TqslRun::echo(const QString& rawLine)
{
    QString line = rawLine;
    if (line.size() > kMaxLineLength)
        line = line.left(kMaxLineLength) + QLatin1String(" ...");
    const QString text = withoutTimeStamp(line).trimmed();
    if (!isStatusLine(line) && !text.isEmpty()) {
        // "<reason> on line N": TQSL names a QSO of the file it did not sign.
        static const QRegularExpression onLine(QStringLiteral("^(.*\\S)\\s+on line (\\d+)$"));
        const QRegularExpressionMatch reason = onLine.match(text);
        if (reason.hasMatch()) {
            QString why = reason.captured(1);
            // "t.adi: OpenSSL error: ..." names the file first.
            const QString file = QFileInfo(m_signing->adifPath).fileName() + QLatin1String(": ");
            if (why.startsWith(file))
                why.remove(0, file.size());
            m_reasons.emplace(reason.captured(2).toLongLong(), why);
        }
        if (!isFieldLine(text)) {
            m_tail.append(text);
            if (m_tail.size() > 3)
                m_tail.removeFirst();
        }
        static const QRegularExpression signing(QStringLiteral("^Signing using Callsign ([^\\s,]+)"));
        const QRegularExpressionMatch call = signing.match(text);
        if (call.hasMatch() && !m_toldPassphrase && m_signing->passphrase.isEmpty()
            && keyHasPassphrase(m_signing->keysFolder, call.captured(1))) {
            m_toldPassphrase = true;
            m_monitor.AddUploadEvent(QStringLiteral("TQSL: ") + line);
            ++m_echoed;
            m_monitor.AddUploadEvent(
                m_signing->timeLimitSeconds > 0
                    ? QStringLiteral("TQSL is waiting for the passphrase of the callsign certificate of %1 in its own "
                                     "window; it is ended if it has not finished within %2 s.")
                          .arg(call.captured(1))
                          .arg(m_signing->timeLimitSeconds)
                    : QStringLiteral("TQSL is waiting for the passphrase of the callsign certificate of %1 in its own "
                                     "window: type it there (Stop ends the wait).")
                          .arg(call.captured(1)));
            return;
        }
    }
    if (m_echoed < kMaxEchoedLines || isStatusLine(line)) {
        ++m_echoed;
        m_monitor.AddUploadEvent(QStringLiteral("TQSL: ") + line);
    } else {
        ++m_dropped;
    }
}

void TqslRun::takeLines(QByteArray& buffer, bool flush)
{
    qsizetype start = 0;
    for (;;) {
        const qsizetype end = buffer.indexOf('\n', start);
        if (end < 0)
            break;
        qsizetype stop = end;
        if (stop > start && buffer.at(stop - 1) == '\r')
            --stop;
        echo(QString::fromLocal8Bit(buffer.constData() + start, stop - start));
        start = end + 1;
    }
    buffer.remove(0, start);
    // A line that never ends is shown cut; the rest of it up to its end is dropped.
    if (buffer.size() >= kMaxPending || (flush && !buffer.isEmpty())) {
        echo(QString::fromLocal8Bit(buffer.left(kMaxLineLength)));
        buffer.clear();
        m_skipping = !flush;
    }
}

TqslOutcome TqslRun::sign(const TqslSigning& signing)
{
    m_signing = &signing;
    m_echoed = 0;
    m_dropped = 0;
    m_skipping = false;
    m_toldPassphrase = false;
    m_tail.clear();
    m_reasons.clear();

    TqslOutcome outcome;
    outcome.failedStep = Step::SignAdif;
    const QFileInfo program(m_program);
    if (m_program.isEmpty() || !program.exists() || program.isDir()) {
        outcome.kind = TqslOutcome::Kind::NotInstalled;
        outcome.reason = m_program.isEmpty() ? QStringLiteral("TQSL is not installed (no TQSL program was found)")
                                             : QStringLiteral("TQSL is not installed (there is no program %1)").arg(m_program);
        return outcome;
    }

    const QStringList args = arguments(signing);
    QStringList shown;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args.at(i);
        if (i > 0 && args.at(i - 1) == QLatin1String("-p"))
            shown.append(QStringLiteral("********")); // the passphrase is never shown
        else
            shown.append(a.contains(QLatin1Char(' ')) || a.isEmpty() ? QLatin1Char('"') + a + QLatin1Char('"') : a);
    }
    m_monitor.AddUploadEvent(QStringLiteral("Starting TQSL: ") + m_program + QLatin1Char(' ') + shown.join(QLatin1Char(' ')));

    QProcess process;
    process.setProgram(m_program);
    process.setArguments(args);
    // TQSL writes its progress and final status to its standard error; both streams are shown
    // in the order they come.
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QIODevice::ReadWrite);
    if (!process.waitForStarted(30000)) {
        outcome.kind = TqslOutcome::Kind::NotStarted;
        outcome.reason = QStringLiteral("TQSL could not be started: %1").arg(process.errorString());
        return outcome;
    }
    process.closeWriteChannel();

    QElapsedTimer clock;
    clock.start();
    QByteArray pending;
    enum class Ended { ByItself, Stopped, TimedOut } ended = Ended::ByItself;
    const auto read = [&] {
        QByteArray data = process.readAll();
        if (m_skipping) {
            const qsizetype end = data.indexOf('\n');
            if (end < 0)
                return;
            data.remove(0, end + 1);
            m_skipping = false;
        }
        pending += data;
        takeLines(pending, false);
    };
    while (process.state() != QProcess::NotRunning) {
        process.waitForReadyRead(kPollMs);
        read();
        m_monitor.PumpMessages();
        const bool stop = m_monitor.StopRequested();
        const bool late = signing.timeLimitSeconds > 0 && clock.elapsed() > qint64(signing.timeLimitSeconds) * 1000;
        if (stop || late) {
            ended = stop ? Ended::Stopped : Ended::TimedOut;
            process.terminate();
            if (!process.waitForFinished(kTerminateGraceMs)) {
                process.kill();
                process.waitForFinished(kTerminateGraceMs);
            }
            break;
        }
    }
    process.waitForFinished(kTerminateGraceMs);
    read();
    takeLines(pending, true);
    if (m_dropped > 0)
        m_monitor.AddUploadEvent(QStringLiteral("TQSL: ... %1 more lines of TQSL's output are not shown").arg(m_dropped));
    outcome.lastLines = m_tail;
    outcome.reasonsByLine = std::move(m_reasons);

    if (ended == Ended::Stopped) {
        outcome.kind = TqslOutcome::Kind::Stopped;
        outcome.reason = QStringLiteral("the wait for TQSL was stopped and TQSL was ended");
        return outcome;
    }
    if (ended == Ended::TimedOut) {
        outcome.kind = TqslOutcome::Kind::TimedOut;
        outcome.reason = QStringLiteral("TQSL did not finish within %1 s and was ended (was it waiting for the "
                                        "passphrase of the callsign certificate?)")
                             .arg(signing.timeLimitSeconds);
        m_monitor.AddUploadEvent(QStringLiteral("TQSL was ended: ") + outcome.reason);
        return outcome;
    }
    if (process.exitStatus() == QProcess::CrashExit) {
        outcome.kind = TqslOutcome::Kind::Crashed;
        outcome.reason = QStringLiteral("TQSL crashed or was killed before it finished");
        m_monitor.AddUploadEvent(QStringLiteral("TQSL ended abnormally: ") + outcome.reason);
        return outcome;
    }
    outcome.status = process.exitCode();
    outcome.reason = TqslStatusText(outcome.status);
    if (outcome.status == 0) {
        outcome.kind = TqslOutcome::Kind::Signed;
        outcome.failedStep.reset();
    } else if (outcome.status == 9) {
        outcome.kind = TqslOutcome::Kind::SomeSkipped;
        outcome.failedStep.reset();
    } else {
        outcome.kind = TqslOutcome::Kind::Failed;
        outcome.failedStep = stepOfStatus(outcome.status);
    }
    m_monitor.AddUploadEvent(QStringLiteral("TQSL ended with status %1: %2").arg(outcome.status).arg(outcome.reason));
    return outcome;
}
