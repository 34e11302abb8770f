#include "SignedFiles.h"

#include <QProcess>

#include <stdexcept>

#ifndef Q_OS_WIN
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
#else
namespace {
quint32 crc32Of(const QByteArray& bytes)
{
    quint32 crc = 0xFFFFFFFFu;
    for (const char c : bytes) {
        crc ^= quint8(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void appendLittleEndian(QByteArray& out, quint32 value)
{
    for (int i = 0; i < 4; ++i)
        out.append(char((value >> (8 * i)) & 0xFF));
}
} // namespace

// Windows has no gzip program: the member is made of the deflate data of zlib inside Qt
// (qCompress gives a length, zlib's two-byte header, the data and a four-byte check), with
// gzip's header and trailer (CRC-32, length) around it as "gzip -n" writes them.
QByteArray Gzipped(const QByteArray& bytes, int level)
{
    QByteArray out("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03", 10);
    if (bytes.isEmpty()) {
        out += QByteArray("\x03\x00", 2); // one last, fixed-code block holding nothing (qCompress packs no empty data)
    } else {
        const QByteArray packed = qCompress(bytes, level);
        if (packed.size() < 4 + 2 + 4)
            throw std::runtime_error("qCompress failed");
        out += packed.mid(6, packed.size() - 6 - 4);
    }
    appendLittleEndian(out, crc32Of(bytes));
    appendLittleEndian(out, quint32(bytes.size()));
    return out;
}
#endif

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
