#include "CliServices.h"

#include "platform/SystemOpener.h"

#include "platform/Redaction.h"

#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <QUrl>
#include <cstdio>
#include <cstring>
#include <string_view>
#ifdef Q_OS_WIN
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

namespace {
void printErr(const QString& text)
{
    const QByteArray bytes = text.toLocal8Bit() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

// Opens an address or a file with the system's opener. The opener's own output is not shown
// (it may repeat the address, password and all). Its exit status tells whether it
// found a program; an opener that is still running after a few seconds is the browser
// itself, started in the foreground, and is left running.
}

CliMonitor::CliMonitor()
    : m_progress(isatty(fileno(stderr)) != 0),
      m_utf8Output(QStringLiteral(u"\u00e9\u0416\u20ac").toLocal8Bit() == QByteArrayView("\xc3\xa9\xd0\x96\xe2\x82\xac"))
{
    m_sinceProgress.start();
}

void CliMonitor::line(const QString& text)
{
    QByteArray bytes = text.toLocal8Bit();
    bytes += '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    ++m_lines;
}

void CliMonitor::AddUploadEvent(const QString& text)
{
    line(text);
}

void CliMonitor::AddUploadLines(QByteArrayView utf8Lines)
{
    if (!m_utf8Output) {
        EventMonitor::AddUploadLines(utf8Lines);
        return;
    }
    // The lines with LF ends, as line() writes them.
    m_bytes.resize(utf8Lines.size() + 1);
    char* out = m_bytes.data();
    const std::string_view in(utf8Lines.data(), size_t(utf8Lines.size()));
    for (size_t from = 0; from < in.size();) {
        const size_t end = in.find("\r\n", from);
        const size_t stop = end == std::string_view::npos ? in.size() : end;
        std::memcpy(out, in.data() + from, stop - from);
        out += stop - from;
        *out++ = '\n';
        ++m_lines;
        from = end == std::string_view::npos ? in.size() : end + 2;
    }
    std::fwrite(m_bytes.constData(), 1, size_t(out - m_bytes.constData()), stdout);
}

void CliMonitor::AddDownloadEvent(const QString& text)
{
    line(text);
}

void CliMonitor::ShowMessage(const QString& text)
{
    std::fflush(stdout);
    endProgress();
    printErr(text);
}

void CliMonitor::PumpMessages()
{
    // Called at every line of a report and every QSO of a log: the clock is looked at now and
    // then only.
    if (!m_progress || (++m_pumps & 0xff) != 0 || m_sinceProgress.elapsed() < 1000)
        return;
    m_sinceProgress.restart();
    std::fflush(stdout);
    m_progressWidth = std::fprintf(stderr, "... %lld lines\r", static_cast<long long>(m_lines));
    std::fflush(stderr);
}

void CliMonitor::FlushLines()
{
    std::fflush(stdout);
}

void CliMonitor::setTransferProgress(bool transfer)
{
    m_transfer = transfer;
    if (transfer)
        m_transferClock.start();
    else
        endProgress();
}

void CliMonitor::ReportProgress(qint64 done, qint64 total)
{
    if (!m_transfer || !m_progress || m_sinceProgress.elapsed() < 1000)
        return;
    m_sinceProgress.restart();
    QString text;
    if (done <= 0) {
        const qint64 seconds = m_transferClock.elapsed() / 1000;
        text = QStringLiteral("... waiting for LoTW (%1:%2)").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
    } else if (total > 0) {
        text = QStringLiteral("... %1 of %2 MB received").arg(double(done) / 1e6, 0, 'f', 1).arg(double(total) / 1e6, 0, 'f', 1);
    } else {
        text = QStringLiteral("... %1 MB received").arg(double(done) / 1e6, 0, 'f', 1);
    }
    const QByteArray bytes = text.toLocal8Bit();
    std::fflush(stdout);
    const int width = int(bytes.size());
    std::fprintf(stderr, "%s%*s\r", bytes.constData(), qMax(0, m_progressWidth - width), "");
    m_progressWidth = qMax(width, m_progressWidth);
    std::fflush(stderr);
}

void CliMonitor::endProgress()
{
    if (m_progressWidth <= 0)
        return;
    // Blanks over the progress line, so that what follows on the terminal starts clean.
    std::fprintf(stderr, "%*s\r", m_progressWidth, "");
    std::fflush(stderr);
    m_progressWidth = 0;
}

QString CliMonitor::counterLine(const RunCounters& counters)
{
    // The form's captions, in the order of Counter.
    static const char* const labels[kCounterCount] = {"QSOs Read-in",  "ADIF Output",      "QSOs Read-in",
                                                      "LoTW Recs Used", "QSOs w/errors",   "New DXCC Credits",
                                                      "Warnings"};
    QStringList parts;
    counters.forEachSet([&parts](Counter counter, long value) {
        parts.append(QString::fromLatin1(labels[int(counter)]) + QLatin1String(": ") + RunCounters::format(value));
    });
    return parts.join(QLatin1String("  "));
}

bool CliDesktop::openUrl(const QString& address)
{
    // The address may carry the password: say where it goes, not what it holds.
    const QUrl url(address);
    printErr(QStringLiteral("Opening %1 in the browser").arg(url.toString(QUrl::RemoveQuery)));
    return OpenWithSystem(address);
}

bool CliDesktop::openFile(const QString& path)
{
    return OpenWithSystem(path);
}

void CliDesktop::setClipboardText(const QString& text)
{
    printErr(QStringLiteral("Clipboard: %1").arg(MaskPasswords(text)));
}

void CliDesktop::pause(int milliseconds)
{
    QThread::msleep(static_cast<unsigned long>(milliseconds));
}
