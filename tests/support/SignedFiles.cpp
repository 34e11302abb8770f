#include "SignedFiles.h"

#include <QProcess>

#include <stdexcept>

QByteArray Gzipped(const QByteArray& bytes, int level)
{
    QProcess gzip;
    gzip.start(QStringLiteral("gzip"), {QStringLiteral("-c"), QStringLiteral("-n"), QStringLiteral("-%1").arg(level)});
    if (!gzip.waitForStarted(10000))
        throw std::runtime_error("gzip cannot be started");
    gzip.write(bytes);
    gzip.closeWriteChannel();
    QByteArray packed;
    while (gzip.state() != QProcess::NotRunning || gzip.bytesAvailable() > 0) {
        gzip.waitForReadyRead(1000);
        packed += gzip.readAllStandardOutput();
    }
    gzip.waitForFinished(10000);
    packed += gzip.readAllStandardOutput();
    if (gzip.exitCode() != 0)
        throw std::runtime_error("gzip failed");
    return packed;
}

namespace {
QByteArray field(const char* name, const QByteArray& value)
{
    return "<" + QByteArray(name) + ":" + QByteArray::number(value.size()) + ">" + value + "\n";
}
} // namespace

QByteArray SignedFileText(const std::vector<TestContact>& contacts, const char* stationCall)
{
    QByteArray text = field("TQSL_IDENT", "TQSL V2.6.5 Lib: V2.5 Config: V11.20 AllowDupes: false") + "\n";
    const QByteArray certificate = "MIICmTCCAgKgAwIBAgIUH1xXx1ZSlZknBR07hwoN1+4tbZAwDQYJKoZIhvcNAQEL\n"
                                   "BQAwUDEUMBIGCSsGAQQB4DwBAQwFSzFBQkMxFjAUBgNVBAMMDVRlc3QgT3BlcmF0\n";
    text += field("Rec_Type", "tCERT") + field("CERT_UID", "1") + field("CERTIFICATE", certificate) + "<eor>\n\n";
    text += field("Rec_Type", "tSTATION") + field("STATION_UID", "1") + field("CERT_UID", "1")
            + field("CALL", stationCall) + field("DXCC", "291") + "<eor>\n\n";
    for (const TestContact& c : contacts) {
        text += field("Rec_Type", "tCONTACT") + field("STATION_UID", "1") + field("CALL", c.call)
                + field("BAND", c.band) + field("MODE", c.mode);
        if (c.satName)
            text += field("PROP_MODE", "SAT") + field("SAT_NAME", c.satName);
        text += field("QSO_DATE", c.date) + field("QSO_TIME", c.time);
        // The signature spans lines, its declared length counting them.
        text += "<SIGN_LOTW_V2.0:175:6>" + QByteArray(64, 'k') + "\n" + QByteArray(64, 'j') + "\n"
                + QByteArray(44, 'w') + "\n";
        text += field("SIGNDATA", QByteArray(c.call) + c.band + c.mode) + "<eor>\n\n";
    }
    return text;
}
