#include "LotwAddress.h"

#include "platform/Redaction.h"

#include <QFile>
#include <QSslCertificate>
#include <QtGlobal>

namespace LotwAddress {

QUrl base(QString* problem)
{
    const QString given = qEnvironmentVariable("QUORVANE_LOTW_URL").trimmed();
    const QUrl fallback(QString::fromLatin1(kDefaultBase));
    if (given.isEmpty())
        return fallback;
    const QUrl url(given, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() || (scheme != QLatin1String("https") && scheme != QLatin1String("http"))) {
        if (problem)
            *problem = QStringLiteral("QUORVANE_LOTW_URL \"%1\" is not an http or https address such as %2")
                           .arg(given, QString::fromLatin1(kDefaultBase));
        return fallback;
    }
    QUrl base;
    base.setScheme(scheme);
    base.setHost(url.host());
    base.setPort(url.port());
    return base;
}

QUrl at(const QString& path, const QUrlQuery& query)
{
    QUrl url = base();
    url.setPath(path);
    if (!query.isEmpty())
        url.setQuery(query);
    return url;
}

bool sslConfiguration(QSslConfiguration& configuration, QString& problem)
{
    configuration = QSslConfiguration::defaultConfiguration();
    const QString caPath = qEnvironmentVariable("QUORVANE_LOTW_CA");
    if (caPath.isEmpty())
        return true;
    QFile file(caPath);
    if (!file.open(QIODevice::ReadOnly)) {
        problem = QStringLiteral("The certificate authorities of QUORVANE_LOTW_CA (%1) cannot be read: %2")
                      .arg(caPath, file.errorString());
        return false;
    }
    const QList<QSslCertificate> extra = QSslCertificate::fromData(file.readAll(), QSsl::Pem);
    if (extra.isEmpty()) {
        problem = QStringLiteral("QUORVANE_LOTW_CA (%1) holds no PEM certificate").arg(caPath);
        return false;
    }
    QList<QSslCertificate> authorities = configuration.caCertificates();
    authorities += extra;
    configuration.setCaCertificates(authorities);
    return true;
}

bool IsEscapeAt(const QString& text, qsizetype at)
{
    const auto hex = [](QChar c) {
        return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('a') && c <= QLatin1Char('f'))
               || (c >= QLatin1Char('A') && c <= QLatin1Char('F'));
    };
    return at + 2 < text.size() && text.at(at) == QLatin1Char('%') && hex(text.at(at + 1)) && hex(text.at(at + 2));
}

QString queryValue(const QString& text)
{
    bool encoded = !text.isEmpty() && text.size() % 3 == 0;
    for (qsizetype i = 0; encoded && i < text.size(); i += 3)
        encoded = IsEscapeAt(text, i);
    if (encoded)
        return text;
    return QString::fromLatin1(QUrl::toPercentEncoding(text));
}

QString shown(const QUrl& url, bool showPassword)
{
    const QString text = url.toString(QUrl::FullyEncoded);
    return showPassword ? text : MaskPasswords(text);
}

} // namespace LotwAddress
