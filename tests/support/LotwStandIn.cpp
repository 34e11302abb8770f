#include "LotwStandIn.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QStandardPaths>
#include <QTcpServer>
#include <QUrl>
#include <mutex>
#include <stdexcept>

namespace {

QString Program(const QString& name)
{
    const QString system = QStringLiteral("/usr/bin/") + name;
    if (QFileInfo(system).isExecutable())
        return system;
    return QStandardPaths::findExecutable(name);
}

// Runs openssl in folder; the error text when it failed.
QString OpenSsl(const QString& folder, const QStringList& arguments)
{
    QProcess process;
    process.setWorkingDirectory(folder);
    process.start(Program(QStringLiteral("openssl")), arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return QStringLiteral("openssl %1 failed: %2")
            .arg(arguments.join(QLatin1Char(' ')), QString::fromLocal8Bit(process.readAllStandardError()));
    return QString();
}

// The authorities and server certificates of the test run, made once.
struct Certificates
{
    QTemporaryDir folder;
    QString error;

    Certificates()
    {
        const QString f = folder.path();
        const QStringList curve = {QStringLiteral("-newkey"), QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                                   QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes")};
        QFile ext(folder.filePath(QStringLiteral("server.ext")));
        ext.open(QIODevice::WriteOnly);
        ext.write("subjectAltName=IP:127.0.0.1,DNS:localhost\nbasicConstraints=CA:FALSE\n"
                  "keyUsage=critical,digitalSignature,keyEncipherment\nextendedKeyUsage=serverAuth\n");
        ext.close();
        for (const QString& who : {QStringLiteral("trusted"), QStringLiteral("foreign")}) {
            const QString ca = who + QStringLiteral("-ca");
            const QString server = who + QStringLiteral("-server");
            const QList<QStringList> steps = {
                QStringList{QStringLiteral("req"), QStringLiteral("-x509")} + curve
                    + QStringList{QStringLiteral("-keyout"), ca + QStringLiteral(".key"), QStringLiteral("-out"),
                                  ca + QStringLiteral(".pem"), QStringLiteral("-days"), QStringLiteral("30"),
                                  QStringLiteral("-subj"), QStringLiteral("/CN=Quorvane test authority (%1)").arg(who),
                                  QStringLiteral("-addext"), QStringLiteral("basicConstraints=critical,CA:TRUE"),
                                  QStringLiteral("-addext"), QStringLiteral("keyUsage=critical,keyCertSign,cRLSign")},
                QStringList{QStringLiteral("req")} + curve
                    + QStringList{QStringLiteral("-keyout"), server + QStringLiteral(".key"), QStringLiteral("-out"),
                                  server + QStringLiteral(".csr"), QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1")},
                QStringList{QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"), server + QStringLiteral(".csr"),
                            QStringLiteral("-CA"), ca + QStringLiteral(".pem"), QStringLiteral("-CAkey"), ca + QStringLiteral(".key"),
                            QStringLiteral("-CAcreateserial"), QStringLiteral("-out"), server + QStringLiteral(".pem"),
                            QStringLiteral("-days"), QStringLiteral("30"), QStringLiteral("-extfile"), QStringLiteral("server.ext")},
            };
            for (const QStringList& step : steps) {
                error = OpenSsl(f, step);
                if (!error.isEmpty())
                    return;
            }
        }
    }
};

Certificates& TheCertificates()
{
    static Certificates* certificates = new Certificates; // kept for the whole test program
    return *certificates;
}

std::mutex environmentMutex;

} // namespace

QByteArray LotwStandIn::Request::valueBytes(const QString& name) const
{
    for (const QByteArray& pair : rawQuery.split('&')) {
        const qsizetype equals = pair.indexOf('=');
        if (QString::fromLatin1(QByteArray::fromPercentEncoding(pair.left(equals))) == name)
            return QByteArray::fromPercentEncoding(pair.mid(equals + 1));
    }
    return QByteArray();
}

QString LotwStandIn::caFile()
{
    return TheCertificates().folder.filePath(QStringLiteral("trusted-ca.pem"));
}

int LotwStandIn::refusedPort()
{
    // A port that was free a moment ago and is closed again.
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const int port = probe.serverPort();
    probe.close();
    return port;
}

QString LotwStandIn::unavailable()
{
#ifdef Q_OS_WIN
    return QStringLiteral("the LoTW stand-in is a Python HTTPS server with certificates made by openssl, Linux "
                          "programs here that a Windows build cannot start");
#else
    return QString();
#endif
}

LotwStandIn::LotwStandIn(Certificate certificate)
{
    m_error = unavailable();
    if (!m_error.isEmpty())
        return;
    Certificates& certificates = TheCertificates();
    if (!certificates.error.isEmpty()) {
        m_error = certificates.error;
        return;
    }
    const QString who = certificate == Certificate::Trusted ? QStringLiteral("trusted") : QStringLiteral("foreign");
    writeAnswers();
    m_server.setProcessChannelMode(QProcess::SeparateChannels);
    m_server.start(Program(QStringLiteral("python3")),
                   {QStringLiteral(QUORVANE_LOTW_STAND_IN),
                    certificates.folder.filePath(who + QStringLiteral("-server.pem")),
                    certificates.folder.filePath(who + QStringLiteral("-server.key")), m_folder.path()});
    if (!m_server.waitForStarted(10000)) {
        m_error = QStringLiteral("python3 could not be started: ") + m_server.errorString();
        return;
    }
    QByteArray line;
    while (!line.contains('\n') && m_server.state() == QProcess::Running) {
        if (!m_server.waitForReadyRead(15000))
            break;
        line += m_server.readAllStandardOutput();
    }
    if (line.startsWith("PORT "))
        m_port = line.mid(5).trimmed().toInt();
    if (m_port <= 0)
        m_error = QStringLiteral("the LoTW stand-in did not start: ") + QString::fromLocal8Bit(line + m_server.readAllStandardError());
}

LotwStandIn::~LotwStandIn()
{
    if (m_inProcess) {
        const std::lock_guard<std::mutex> lock(environmentMutex);
        if (m_hadUrl)
            qputenv("QUORVANE_LOTW_URL", m_oldUrl);
        else
            qunsetenv("QUORVANE_LOTW_URL");
        if (m_hadCa)
            qputenv("QUORVANE_LOTW_CA", m_oldCa);
        else
            qunsetenv("QUORVANE_LOTW_CA");
    }
    if (m_server.state() != QProcess::NotRunning) {
        m_server.closeWriteChannel(); // the server ends when its input closes
        if (!m_server.waitForFinished(3000)) {
            m_server.kill();
            m_server.waitForFinished(3000);
        }
    }
}

QString LotwStandIn::baseUrl() const
{
    return QStringLiteral("https://127.0.0.1:%1").arg(m_port);
}

void LotwStandIn::answer(const QString& route, const Answer& answer)
{
    QJsonObject a;
    a[QStringLiteral("status")] = answer.status;
    a[QStringLiteral("content_type")] = QString::fromLatin1(answer.contentType);
    if (!answer.bodyFile.isEmpty())
        a[QStringLiteral("body_file")] = answer.bodyFile;
    else
        a[QStringLiteral("body")] = QString::fromLatin1(answer.body.toBase64());
    QJsonObject headers;
    for (auto it = answer.headers.begin(); it != answer.headers.end(); ++it)
        headers[it.key()] = it.value();
    a[QStringLiteral("headers")] = headers;
    a[QStringLiteral("stall_before")] = answer.stallBefore;
    a[QStringLiteral("stall_after")] = double(answer.stallAfter);
    a[QStringLiteral("stall_seconds")] = answer.stallSeconds;
    a[QStringLiteral("truncate_at")] = double(answer.truncateAt);
    a[QStringLiteral("no_length")] = answer.noLength;
    a[QStringLiteral("endless")] = answer.endless;
    if (answer.generateRecords >= 0)
        a[QStringLiteral("generate_records")] = double(answer.generateRecords);
    if (answer.repeatBytes >= 0)
        a[QStringLiteral("repeat_bytes")] = double(answer.repeatBytes);
    m_answers[route] = a;
    writeAnswers();
}

void LotwStandIn::writeAnswers()
{
    // Replaced whole, so that the server never reads half of it.
    const QString path = m_folder.filePath(QStringLiteral("answers.json"));
    QFile file(path + QStringLiteral(".new"));
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(m_answers).toJson()) < 0)
        throw std::runtime_error("cannot write the stand-in's answers");
    file.close();
    QFile::remove(path);
    QFile::rename(path + QStringLiteral(".new"), path);
}

std::vector<LotwStandIn::Request> LotwStandIn::requests() const
{
    std::vector<Request> requests;
    QFile log(m_folder.filePath(QStringLiteral("requests.jsonl")));
    if (!log.open(QIODevice::ReadOnly))
        return requests;
    for (const QByteArray& line : log.readAll().split('\n')) {
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        if (o.isEmpty())
            continue;
        Request r;
        r.method = o.value(QStringLiteral("method")).toString();
        r.path = o.value(QStringLiteral("path")).toString();
        r.rawQuery = o.value(QStringLiteral("query")).toString().toLatin1();
        r.query = QUrlQuery(QString::fromLatin1(r.rawQuery));
        const QJsonObject headers = o.value(QStringLiteral("headers")).toObject();
        for (auto it = headers.begin(); it != headers.end(); ++it)
            r.headers.insert(it.key(), it.value().toString());
        for (const QJsonValue& p : o.value(QStringLiteral("parts")).toArray()) {
            const QJsonObject part = p.toObject();
            r.parts.push_back({part.value(QStringLiteral("name")).toString(), part.value(QStringLiteral("filename")).toString(),
                               part.value(QStringLiteral("content_type")).toString(),
                               QByteArray::fromBase64(part.value(QStringLiteral("bytes")).toString().toLatin1())});
        }
        requests.push_back(std::move(r));
    }
    return requests;
}

void LotwStandIn::useInThisProcess()
{
    const std::lock_guard<std::mutex> lock(environmentMutex);
    if (!m_inProcess) {
        m_hadUrl = qEnvironmentVariableIsSet("QUORVANE_LOTW_URL");
        m_oldUrl = qgetenv("QUORVANE_LOTW_URL");
        m_hadCa = qEnvironmentVariableIsSet("QUORVANE_LOTW_CA");
        m_oldCa = qgetenv("QUORVANE_LOTW_CA");
        m_inProcess = true;
    }
    qputenv("QUORVANE_LOTW_URL", baseUrl().toUtf8());
    qputenv("QUORVANE_LOTW_CA", caFile().toUtf8());
}

QProcessEnvironment LotwStandIn::environment(QProcessEnvironment base) const
{
    base.insert(QStringLiteral("QUORVANE_LOTW_URL"), baseUrl());
    base.insert(QStringLiteral("QUORVANE_LOTW_CA"), caFile());
    return base;
}

namespace {
QByteArray Field(const char* name, const QString& value)
{
    const QByteArray bytes = value.toLatin1();
    return QByteArray("<") + name + ':' + QByteArray::number(bytes.size()) + '>' + bytes + "\r\n";
}
} // namespace

QByteArray LotwReportBytes(const std::vector<ReportQso>& qsos, const QString& lastQsl, const QString& lastQsoRx)
{
    QByteArray report = "ARRL Logbook of the World Status Report\r\nGenerated at 2026-03-14 17:58:41\r\n"
                        "for N1TST\r\nQuery:\r\n    QSL ONLY: YES\r\n\r\n<PROGRAMID:4>LoTW\r\n";
    if (!lastQsl.isEmpty())
        report += Field("APP_LoTW_LASTQSL", lastQsl);
    if (!lastQsoRx.isEmpty())
        report += Field("APP_LoTW_LASTQSORX", lastQsoRx);
    report += Field("APP_LoTW_NUMREC", QString::number(qsos.size()));
    report += "\r\n<eoh>\r\n";
    for (const ReportQso& q : qsos) {
        if (!q.stationCall.isEmpty())
            report += Field("APP_LoTW_OWNCALL", q.stationCall) + Field("STATION_CALLSIGN", q.stationCall);
        report += Field("CALL", q.call) + Field("BAND", q.band) + Field("MODE", q.mode);
        if (!q.submode.isEmpty())
            report += Field("SUBMODE", q.submode);
        report += Field("QSO_DATE", q.date) + Field("TIME_ON", q.time);
        if (!q.qslDate.isEmpty())
            report += Field("QSL_RCVD", QStringLiteral("Y")) + Field("QSLRDATE", q.qslDate);
        else
            report += Field("QSL_RCVD", QStringLiteral("N"));
        report += "<eor>\r\n\r\n";
    }
    report += "<APP_LoTW_EOF>\r\n";
    return report;
}
