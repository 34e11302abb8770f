#include "ReportDownload.h"

#include "LotwAddress.h"

#include <QFileInfo>
#include <QSaveFile>

namespace {
// What is kept of the answer's start to tell what it is: LoTW's pages are small.
constexpr qsizetype kHeadBytes = 1 << 20;
constexpr qsizetype kTailBytes = 256;

bool IsSpace(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

QByteArrayView Trimmed(QByteArrayView bytes)
{
    while (!bytes.isEmpty() && IsSpace(bytes.front()))
        bytes = bytes.sliced(1);
    while (!bytes.isEmpty() && IsSpace(bytes.back()))
        bytes.chop(1);
    return bytes;
}

bool ContainsAnyCase(QByteArrayView text, QByteArrayView word)
{
    return QByteArray::fromRawData(text.data(), text.size()).toLower().contains(QByteArray(word.data(), word.size()).toLower());
}

bool StartsAnyCase(QByteArrayView text, QByteArrayView word)
{
    return text.size() >= word.size() && ContainsAnyCase(text.first(word.size()), word);
}

// The text between <title> and </title>, simplified, or the page's first words.
QString PageTitle(QByteArrayView page)
{
    const QByteArray lower = QByteArray(page.data(), page.size()).toLower();
    const qsizetype open = lower.indexOf("<title>");
    const qsizetype close = open < 0 ? -1 : lower.indexOf("</title>", open);
    QString text = open >= 0 && close > open ? QString::fromLatin1(page.sliced(open + 7, close - open - 7))
                                             : QString::fromLatin1(page.first(qMin<qsizetype>(page.size(), 200)));
    return text.simplified().left(100);
}

// The first line as readable text: control bytes shown as "?".
QString FirstLine(QByteArrayView head)
{
    QString line;
    for (char c : head) {
        if (c == '\n' || c == '\r') {
            if (!line.trimmed().isEmpty())
                break;
            continue;
        }
        const auto byte = static_cast<unsigned char>(c);
        line += byte < 0x20 || byte == 0x7f ? QLatin1Char('?') : QLatin1Char(c);
        if (line.size() >= 60) {
            line += QStringLiteral("...");
            break;
        }
    }
    return line.trimmed();
}
} // namespace

QString ReportAnswerProblem(QByteArrayView head, QByteArrayView tail, QByteArrayView contentType, qint64 bytes,
                            const QString& loginCall)
{
    const QByteArrayView end = Trimmed(tail);
    if (end.size() >= 14 && StartsAnyCase(end.last(14), "<APP_LoTW_EOF>"))
        return QString();
    if (bytes == 0 || Trimmed(head).isEmpty())
        return QStringLiteral("LoTW's answer was empty: no report came.");
    const QByteArrayView start = Trimmed(head);
    const bool html = ContainsAnyCase(contentType, "html") || StartsAnyCase(start, "<!doctype html")
                      || StartsAnyCase(start, "<html") || ContainsAnyCase(start.first(qMin<qsizetype>(start.size(), 4096)), "<body");
    if (html || !StartsAnyCase(start, "<")) {
        if (ContainsAnyCase(head, "password incorrect"))
            return QStringLiteral("LoTW refused the login %1: its answer says \"Username/password incorrect\". Check "
                                  "the LoTW login call and password in the options, then ask again (the program does "
                                  "not ask again by itself: LoTW locks out a login after repeated failures).")
                .arg(loginCall.isEmpty() ? QStringLiteral("(no login call is set)") : QLatin1Char('"') + loginCall + QLatin1Char('"'));
        if (ContainsAnyCase(head, "page request limit"))
            return QStringLiteral("LoTW limits how often its reports may be asked for, and this request went over "
                                  "the limit (its answer says \"Page Request Limit!\"). Try again later.");
    }
    if (html)
        return QStringLiteral("LoTW answered with a web page, not a report: \"%1\".").arg(PageTitle(start));
    if (StartsAnyCase(start, "ARRL Logbook of the World") || ContainsAnyCase(head, "<eoh>")
        || ContainsAnyCase(head, "<APP_LoTW_") || ContainsAnyCase(head, "<PROGRAMID"))
        return QStringLiteral("LoTW's report ended after %1 bytes without its closing tag <APP_LoTW_EOF>: the "
                              "answer is incomplete.")
            .arg(bytes);
    return QStringLiteral("LoTW's answer is no report: \"%1\".").arg(FirstLine(start));
}

ReportDownload DownloadReport(const QUrl& url, const QString& path, const QString& loginCall, EventMonitor& monitor,
                              const HttpLimits& limits)
{
    ReportDownload download;
    const QString name = QFileInfo(path).fileName();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        download.message = QStringLiteral("%1 cannot be written: %2").arg(path, file.errorString());
        return download;
    }
    QByteArray head;
    QByteArray tail;
    auto sink = [&](const char* data, qint64 size, QString& error) {
        if (head.size() < kHeadBytes)
            head.append(data, qsizetype(qMin<qint64>(size, kHeadBytes - head.size())));
        tail.append(data + qMax<qint64>(0, size - kTailBytes), qsizetype(qMin<qint64>(size, kTailBytes)));
        if (tail.size() > kTailBytes)
            tail.remove(0, tail.size() - kTailBytes);
        if (download.bytes + size > limits.maxBytes) {
            error = QStringLiteral("LoTW's answer went on past %1 MB without an end; it was given up")
                        .arg(limits.maxBytes >> 20);
            return false;
        }
        download.bytes += size;
        if (file.write(data, size) != size) {
            error = QStringLiteral("%1 could not be written: %2").arg(path, file.errorString());
            return false;
        }
        return true;
    };
    LotwHttp http(monitor, limits);
    const HttpOutcome outcome = http.get(url, sink);
    download.failure = outcome.kind;
    if (outcome.kind == HttpOutcome::Kind::Stopped) {
        file.cancelWriting();
        download.result = ReportDownload::Result::Stopped;
        download.message = QStringLiteral("Stopped by the operator: %1 is as it was.").arg(name);
        return download;
    }
    if (!outcome.ok()) {
        file.cancelWriting();
        download.message = outcome.cause + QStringLiteral(".");
        return download;
    }
    const QString problem = ReportAnswerProblem(head, tail, outcome.contentType, download.bytes, loginCall);
    if (!problem.isEmpty()) {
        file.cancelWriting();
        download.message = problem;
        return download;
    }
    if (!file.commit()) {
        download.message = QStringLiteral("%1 could not be written: %2").arg(path, file.errorString());
        return download;
    }
    download.result = ReportDownload::Result::Saved;
    return download;
}
