#include "TqslRun.h"

#include "platform/EventMonitor.h"

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
int stepOfStatus(int status)
{
    switch (status) {
    case 7:
        return Control::StepMakeTq8;
    case 2:
    case 3:
    case 11:
        return Control::StepUpload;
    default:
        return Control::StepSignAdif;
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
    case 0: return QStringLiteral("all QSOs were signed");
    case 1: return QStringLiteral("signing was cancelled in TQSL");
    case 2: return QStringLiteral("LoTW rejected the upload");
    case 3: return QStringLiteral("the LoTW server gave an unexpected response");
    case 4: return QStringLiteral("TQSL reported an error");
    case 5: return QStringLiteral("TQSL's library reported an error");
    case 6: return QStringLiteral("TQSL could not open the upload file");
    case 7: return QStringLiteral("TQSL could not write the signed file");
    case 8: return QStringLiteral("TQSL wrote no QSOs (no valid callsign certificate for the station, "
                                  "or every QSO was already uploaded or outside the certificate's dates)");
    case 9: return QStringLiteral("TQSL signed some QSOs and skipped others that were already uploaded "
                                  "or outside the certificate's dates");
    case 10: return QStringLiteral("TQSL did not accept its command line (is the station location defined in TQSL?)");
    case 11: return QStringLiteral("LoTW could not be reached (no network connection?)");
    default: return QStringLiteral("TQSL ended with an unknown status");
    }
}

TqslRun::TqslRun(QString program, EventMonitor& monitor) : m_program(std::move(program)), m_monitor(monitor) {}

QStringList TqslRun::arguments(const QString& location, const QString& adifPath, bool upload)
{
    QStringList arguments{QStringLiteral("-l"), location, QStringLiteral("-d"), adifPath, QStringLiteral("-x"),
                          QStringLiteral("-a"), QStringLiteral("compliant")};
    if (upload)
        arguments.append(QStringLiteral("-u"));
    return arguments;
}

void TqslRun::echo(const QString& rawLine)
{
    QString line = rawLine;
    if (line.size() > kMaxLineLength)
        line = line.left(kMaxLineLength) + QLatin1String(" ...");
    if (!isStatusLine(line) && !line.trimmed().isEmpty()) {
        m_tail.append(withoutTimeStamp(line).trimmed());
        if (m_tail.size() > 3)
            m_tail.removeFirst();
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

TqslOutcome TqslRun::sign(const QString& location, const QString& adifPath, bool upload)
{
    TqslOutcome outcome;
    outcome.failedStep = Control::StepSignAdif;
    const QFileInfo program(m_program);
    if (m_program.isEmpty() || !program.exists() || program.isDir()) {
        outcome.kind = TqslOutcome::Kind::NotInstalled;
        outcome.reason = m_program.isEmpty() ? QStringLiteral("TQSL is not installed (no TQSL program was found)")
                                             : QStringLiteral("TQSL is not installed (there is no program %1)").arg(m_program);
        return outcome;
    }

    const QStringList args = arguments(location, adifPath, upload);
    QStringList shown;
    for (const QString& a : args)
        shown.append(a.contains(QLatin1Char(' ')) || a.isEmpty() ? QLatin1Char('"') + a + QLatin1Char('"') : a);
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

    QByteArray pending;
    bool stopped = false;
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
        if (m_monitor.StopRequested()) {
            stopped = true;
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

    if (stopped) {
        outcome.kind = TqslOutcome::Kind::Stopped;
        outcome.reason = QStringLiteral("the wait for TQSL was stopped and TQSL was ended");
        return outcome;
    }
    if (process.exitStatus() == QProcess::CrashExit) {
        outcome.kind = TqslOutcome::Kind::Killed;
        outcome.reason = QStringLiteral("TQSL was killed before it finished");
        return outcome;
    }
    outcome.status = process.exitCode();
    outcome.reason = TqslStatusText(outcome.status);
    if (outcome.status == 0) {
        outcome.kind = TqslOutcome::Kind::Signed;
        outcome.failedStep = 0;
    } else if (outcome.status == 9) {
        outcome.kind = TqslOutcome::Kind::SomeSkipped;
        outcome.failedStep = 0;
    } else {
        outcome.kind = TqslOutcome::Kind::Failed;
        outcome.failedStep = stepOfStatus(outcome.status);
    }
    m_monitor.AddUploadEvent(QStringLiteral("TQSL ended with status %1: %2").arg(outcome.status).arg(outcome.reason));
    return outcome;
}
