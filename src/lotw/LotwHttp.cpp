#include "LotwHttp.h"

#include "LotwAddress.h"
#include "platform/EventMonitor.h"
#include "platform/Redaction.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QHttpMultiPart>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslError>
#include <QStringList>
#include <QTimer>

namespace {
// How often the wait looks at the operator's Stop and the clock.
constexpr int kTickMs = 50;
// What the network layer may hold of an answer not yet handed on.
constexpr qint64 kReadBuffer = 1 << 20;
constexpr qint64 kChunk = 256 * 1024;

QString Seconds(int ms)
{
    return QString::number((ms + 999) / 1000);
}

QString ByteCount(qint64 bytes)
{
    return QStringLiteral("%1 bytes").arg(bytes);
}
} // namespace

HttpLimits HttpLimits::fromEnvironment()
{
    HttpLimits limits;
    const QStringList parts = qEnvironmentVariable("QUORVANE_LOTW_TIMEOUTS").split(QLatin1Char(','));
    if (parts.size() == 2) {
        bool firstOk = false;
        bool stallOk = false;
        const double first = parts[0].trimmed().toDouble(&firstOk);
        const double stall = parts[1].trimmed().toDouble(&stallOk);
        if (firstOk && stallOk && first > 0 && stall > 0 && first < 86400 && stall < 86400) {
            limits.firstByteMs = int(first * 1000);
            limits.stallMs = int(stall * 1000);
        }
    }
    return limits;
}

QString HostText(const QUrl& url)
{
    QString host = url.host();
    if (host.contains(QLatin1Char(':')))
        host = QLatin1Char('[') + host + QLatin1Char(']');
    return url.port() >= 0 ? host + QLatin1Char(':') + QString::number(url.port()) : host;
}

LotwHttp::LotwHttp(EventMonitor& monitor, HttpLimits limits) : m_monitor(monitor), m_limits(limits) {}

HttpOutcome LotwHttp::get(const QUrl& url, const std::function<bool(const char*, qint64, QString&)>& sink)
{
    return run(false, url, nullptr, sink);
}

HttpOutcome LotwHttp::post(const QUrl& url, QHttpMultiPart& form, QByteArray& body, qint64 maxBody)
{
    body.clear();
    return run(true, url, &form, [&body, maxBody](const char* data, qint64 size, QString&) {
        const qint64 room = maxBody - body.size();
        if (room > 0)
            body.append(data, qsizetype(qMin(room, size)));
        return true;
    });
}

HttpOutcome LotwHttp::run(bool isPost, const QUrl& url, QHttpMultiPart* form,
                          const std::function<bool(const char*, qint64, QString&)>& sink)
{
    HttpOutcome outcome;
    const QString host = HostText(url);
    QSslConfiguration ssl;
    QString problem;
    if (!LotwAddress::sslConfiguration(ssl, problem)) {
        outcome.kind = HttpOutcome::Kind::Setup;
        outcome.cause = problem;
        return outcome;
    }
    if (m_monitor.StopRequested()) {
        outcome.kind = HttpOutcome::Kind::Stopped;
        outcome.cause = QStringLiteral("Stopped by the operator");
        return outcome;
    }

    QNetworkAccessManager manager;
    manager.setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    QNetworkRequest request(url);
    if (url.scheme() == QLatin1String("https"))
        request.setSslConfiguration(ssl);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Quorvane/" QUORVANE_VERSION));

    QNetworkReply* reply = isPost ? manager.post(request, form) : manager.get(request);
    reply->setReadBufferSize(kReadBuffer);

    enum class Ended { No, Stop, Timeout, Sink };
    Ended ended = Ended::No;
    bool answered = false; // the status line and headers came
    QString sinkError;
    QStringList sslErrors;
    qint64 length = -1;
    QElapsedTimer quiet; // since the last sign of life
    quiet.start();
    QEventLoop loop;

    m_monitor.ReportProgress(0, 0);
    auto drain = [&] {
        QByteArray chunk;
        while (ended == Ended::No && reply->bytesAvailable() > 0) {
            chunk = reply->read(kChunk);
            if (chunk.isEmpty())
                break;
            outcome.bytes += chunk.size();
            if (!sink(chunk.constData(), chunk.size(), sinkError)) {
                ended = Ended::Sink;
                reply->abort();
                return;
            }
        }
        m_monitor.ReportProgress(outcome.bytes, length > 0 ? length : 0);
    };
    QObject::connect(reply, &QNetworkReply::metaDataChanged, &loop, [&] {
        answered = true;
        quiet.restart();
        const QVariant header = reply->header(QNetworkRequest::ContentLengthHeader);
        length = header.isValid() ? header.toLongLong() : -1;
    });
    QObject::connect(reply, &QNetworkReply::readyRead, &loop, [&] {
        answered = true;
        quiet.restart();
        drain();
    });
    QObject::connect(reply, &QNetworkReply::uploadProgress, &loop, [&](qint64, qint64) { quiet.restart(); });
    QObject::connect(reply, &QNetworkReply::sslErrors, &loop, [&](const QList<QSslError>& errors) {
        for (const QSslError& error : errors)
            sslErrors.append(error.errorString());
    });
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer tick;
    tick.setInterval(kTickMs);
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        if (ended != Ended::No)
            return;
        if (m_monitor.StopRequested()) {
            ended = Ended::Stop;
        } else if (quiet.elapsed() > (answered ? m_limits.stallMs : m_limits.firstByteMs)) {
            ended = Ended::Timeout;
        } else {
            m_monitor.ReportProgress(outcome.bytes, length > 0 ? length : 0);
            return;
        }
        reply->abort();
    });
    tick.start();
    if (!reply->isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    tick.stop();
    if (ended == Ended::No)
        drain();

    outcome.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    outcome.contentType = reply->header(QNetworkRequest::ContentTypeHeader).toString().toLatin1();
    const QNetworkReply::NetworkError error = reply->error();
    const QString reason = reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
    const QUrl location = reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
    const QString errorText = MaskPasswords(reply->errorString());
    reply->deleteLater();

    using Kind = HttpOutcome::Kind;
    auto fail = [&](Kind kind, const QString& cause) {
        outcome.kind = kind;
        outcome.cause = cause;
        return outcome;
    };
    switch (ended) {
    case Ended::Stop:
        return fail(Kind::Stopped, QStringLiteral("Stopped by the operator"));
    case Ended::Sink:
        return fail(Kind::LocalFile, sinkError);
    case Ended::Timeout:
        if (!answered)
            return fail(Kind::NoFirstByte, QStringLiteral("LoTW (%1) sent no answer within %2 seconds")
                                               .arg(host, Seconds(m_limits.firstByteMs)));
        return fail(Kind::Stalled, QStringLiteral("LoTW's answer (%1) stopped coming for %2 seconds after %3")
                                       .arg(host, Seconds(m_limits.stallMs), ByteCount(outcome.bytes)));
    case Ended::No:
        break;
    }

    if (outcome.status >= 300 && outcome.status < 400) {
        const QUrl target = url.resolved(location).adjusted(QUrl::RemoveQuery | QUrl::RemoveFragment
                                                            | QUrl::RemoveUserInfo);
        return fail(Kind::Redirect, QStringLiteral("LoTW (%1) sent the request on to %2 (HTTP %3) instead of "
                                                   "answering it; the program does not follow such a turn")
                                        .arg(host, location.isEmpty() ? QStringLiteral("nowhere") : target.toString())
                                        .arg(outcome.status));
    }
    if (outcome.status >= 400 || (outcome.status > 0 && outcome.status < 200))
        return fail(Kind::HttpStatus, QStringLiteral("LoTW (%1) answered with HTTP status %2%3")
                                          .arg(host)
                                          .arg(outcome.status)
                                          .arg(reason.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(reason)));
    switch (error) {
    case QNetworkReply::NoError:
        break;
    case QNetworkReply::HostNotFoundError:
        return fail(Kind::HostNotFound, QStringLiteral("The address of %1 could not be found (no name server knows "
                                                       "it): check the Internet connection")
                                            .arg(url.host()));
    case QNetworkReply::ConnectionRefusedError:
        return fail(Kind::Refused, QStringLiteral("%1 refused the connection: nothing answers there").arg(host));
    case QNetworkReply::SslHandshakeFailedError:
        return fail(Kind::Tls, QStringLiteral("The secure connection to %1 failed: %2")
                                   .arg(host, sslErrors.isEmpty() ? errorText : sslErrors.join(QStringLiteral("; "))));
    case QNetworkReply::RemoteHostClosedError:
    case QNetworkReply::ProtocolFailure:
    case QNetworkReply::UnknownNetworkError:
    case QNetworkReply::NetworkSessionFailedError:
        if (answered) {
            return fail(Kind::Truncated,
                        QStringLiteral("The connection to %1 ended after %2%3 of the answer")
                            .arg(host, ByteCount(outcome.bytes),
                                 length >= 0 ? QStringLiteral(" of %1").arg(length) : QString()));
        }
        return fail(Kind::Network, QStringLiteral("The connection to %1 ended without an answer (%2)").arg(host, errorText));
    default:
        if (!sslErrors.isEmpty())
            return fail(Kind::Tls, QStringLiteral("The secure connection to %1 failed: %2")
                                       .arg(host, sslErrors.join(QStringLiteral("; "))));
        return fail(Kind::Network, QStringLiteral("The connection to %1 failed: %2").arg(host, errorText));
    }
    if (outcome.status == 0)
        return fail(Kind::Network, QStringLiteral("%1 gave no HTTP answer").arg(host));
    if (length >= 0 && outcome.bytes < length)
        return fail(Kind::Truncated, QStringLiteral("The connection to %1 ended after %2 of %3 of the answer")
                                         .arg(host, ByteCount(outcome.bytes))
                                         .arg(length));
    outcome.kind = Kind::Ok;
    return outcome;
}
