#pragma once

#include <QSslConfiguration>
#include <QString>
#include <QUrl>
#include <QUrlQuery>

// Where LoTW is and whom to trust on the way there.
//
// The address is https://lotw.arrl.org unless the environment variable QUORVANE_LOTW_URL
// names another one (its scheme, host and port; LoTW's paths stay), for a test server or a
// user's own gateway. QUORVANE_LOTW_CA names a PEM file of further certificate authorities,
// trusted beside the system's own.
namespace LotwAddress {

inline constexpr char kDefaultBase[] = "https://lotw.arrl.org";

// The base address: scheme, host and port. problem is set (and the default returned) when
// QUORVANE_LOTW_URL is set but is no http or https address.
QUrl base(QString* problem = nullptr);

// The base address with a path of LoTW's ("/lotwuser/lotwreport.adi") and a query.
QUrl at(const QString& path, const QUrlQuery& query = QUrlQuery());

// The TLS settings of every LoTW connection: the system's certificate authorities and those of
// QUORVANE_LOTW_CA. False with the cause in problem when that file cannot be read or holds no
// certificate (a connection must then not be made: the operator asked to trust it).
bool sslConfiguration(QSslConfiguration& configuration, QString& problem);

// Whether a percent escape ("%" and two hex digits) starts at position at of text.
bool IsEscapeAt(const QString& text, qsizetype at);

// A query value put in as it stands when it is already percent-encoded byte by byte (the
// password as the options keep it), and encoded as UTF-8 otherwise.
QString queryValue(const QString& text);

// The address as it may be shown: the value of every "password" parameter replaced by
// "********" (unless showPassword).
QString shown(const QUrl& url, bool showPassword = false);

} // namespace LotwAddress
