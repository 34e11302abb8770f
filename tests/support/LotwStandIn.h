#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>
#include <QUrlQuery>
#include <memory>
#include <vector>

// LoTW's web site as the tests meet it: an HTTPS server on the loopback address (Python's
// http.server with ssl, run from lotw_stand_in.py), whose certificate a private certificate
// authority made for the test run has signed. The program trusts that authority through
// QUORVANE_LOTW_CA and finds the server through QUORVANE_LOTW_URL: useInThisProcess() sets
// both for code run in the test itself, environment() for a program the test starts.
//
//   LotwStandIn lotw;                     // started; ASSERT_TRUE(lotw.started()) << lotw.error();
//   lotw.useInThisProcess();
//   lotw.answer(QStringLiteral("/lotwuser/lotwreport.adi"), {.body = reportBytes});
//   ... run the code that asks LoTW ...
//   lotw.requests()                       // what the server was asked, in order
class LotwStandIn
{
public:
    // One answer of the server to the requests of a route.
    struct Answer
    {
        int status = 200;
        QByteArray body;
        QString bodyFile; // the body read from this file instead
        QByteArray contentType = "text/plain; charset=ISO-8859-1";
        QMap<QString, QString> headers;
        double stallBefore = 0;       // seconds of silence before the status line
        qint64 stallAfter = -1;       // bytes of the body sent before stallSeconds of silence
        double stallSeconds = 60;
        qint64 truncateAt = -1;       // bytes of the body sent before the connection is cut
        bool noLength = false;        // no Content-Length: the body ends with the connection
        bool endless = false;         // report records without end
        qint64 generateRecords = -1;  // a report of that many records, made as it is sent
        qint64 repeatBytes = -1;      // a report of about that many bytes, made as it is sent
    };

    // A request as the server received it.
    struct Request
    {
        QString method;
        QString path;
        QByteArray rawQuery; // as it came, still percent-encoded
        QUrlQuery query;
        QMap<QString, QString> headers; // names in lower case
        struct Part
        {
            QString name;
            QString fileName;
            QString contentType;
            QByteArray bytes;
        };
        std::vector<Part> parts; // of a multipart form
        // The value of a query parameter decoded to its bytes (the password's are Latin-1).
        QByteArray valueBytes(const QString& name) const;
    };

    // Trusted: the certificate is signed by the authority of caFile(); Foreign: by another one
    // that nobody trusts.
    enum class Certificate { Trusted, Foreign };
    explicit LotwStandIn(Certificate certificate = Certificate::Trusted);
    ~LotwStandIn();
    LotwStandIn(const LotwStandIn&) = delete;
    LotwStandIn& operator=(const LotwStandIn&) = delete;

    // Why the stand-in can't run here, or empty: on Windows its server (Python) and the
    // making of its certificates (openssl) are the Linux programs here, which a Windows build
    // cannot start.
    static QString unavailable();

    bool started() const { return m_port > 0; }
    QString error() const { return m_error; }
    int port() const { return m_port; }
    // "https://127.0.0.1:PORT"
    QString baseUrl() const;

    // The answer to requests of a route: a path, or a path with parameters that must all match
    // ("/lotwuser/lotwreport.adi?qso_qsl=no"); the route with the most matching parameters wins.
    void answer(const QString& route, const Answer& answer);
    std::vector<Request> requests() const;

    // QUORVANE_LOTW_URL and QUORVANE_LOTW_CA for code run in this process, until the stand-in goes.
    void useInThisProcess();
    // The environment with both set, for a program the test starts.
    QProcessEnvironment environment(QProcessEnvironment base = QProcessEnvironment::systemEnvironment()) const;

    // The PEM file of the certificate authority the trusted server certificate comes from.
    static QString caFile();
    // A port on the loopback address where nothing listens.
    static int refusedPort();

private:
    void writeAnswers();

    QTemporaryDir m_folder;
    QProcess m_server;
    int m_port = 0;
    QString m_error;
    QJsonObject m_answers;
    bool m_inProcess = false;
    QByteArray m_oldUrl;
    QByteArray m_oldCa;
    bool m_hadUrl = false;
    bool m_hadCa = false;
};

// A LoTW report as LoTW writes it (Latin-1, CR LF, the newest QSL first as given), for the
// stand-in to answer with.
struct ReportQso
{
    QString call;
    QString date;    // YYYYMMDD
    QString time;    // HHMMSS
    QString band;    // "20M"
    QString mode;    // "CW"
    QString qslDate; // YYYYMMDD; empty: none (a report of received QSOs)
    QString stationCall;
    QString submode;
};
// lastQsl: the header's APP_LoTW_LASTQSL (none when empty); lastQsoRx: APP_LoTW_LASTQSORX.
QByteArray LotwReportBytes(const std::vector<ReportQso>& qsos, const QString& lastQsl,
                           const QString& lastQsoRx = QString());

// Skips the test where the stand-in can't run, saying why.
#define SKIP_WITHOUT_LOTW_STAND_IN()                                                                                   \
    if (const QString whyNot = LotwStandIn::unavailable(); !whyNot.isEmpty())                                         \
    GTEST_SKIP() << whyNot.toStdString()
