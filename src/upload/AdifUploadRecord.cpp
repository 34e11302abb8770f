#include "AdifUploadRecord.h"

#include "AdifUploadMapping.h"

UploadRecordProblem CheckUploadCodes(const UploadQsoValues& qso)
{
    if (!UploadBandTable(qso.band))
        return UploadRecordProblem::UnknownBand;
    const std::optional<QString> mode = UploadModeTable(qso.mode, qso.submode);
    if (!mode)
        return UploadRecordProblem::UnknownMode;
    if (mode->isEmpty())
        return UploadRecordProblem::NoSubmode;
    if (!TqslKnowsMode(*mode))
        return UploadRecordProblem::UnknownSubmode;
    if (!IsAdifDate(qso.date))
        return UploadRecordProblem::BadDate;
    if (!IsAdifTime(qso.time))
        return UploadRecordProblem::BadTime;
    return UploadRecordProblem::None;
}

void AppendAdifRecord(const UploadQsoValues& qso, const QString* dxcc, QString& text)
{
    const auto field = [&text](const char* tag, const QString& value) { AppendAdifFieldLine(text, tag, value); };
    const auto line = [&text](const char* fixed) {
        text += QLatin1StringView(fixed);
        text += QLatin1StringView("\r\n");
    };
    field("CALL", qso.call);
    // The date tag always declares eight characters: only a date of eight digits gets here.
    text += QLatin1StringView("<QSO_DATE:8>");
    text += qso.date;
    text += QLatin1StringView("\r\n");
    field("TIME_ON", qso.time);
    field("RST_SENT", qso.rstSent);
    field("RST_RCVD", qso.rstRcvd);
    field("TX_PWR", qso.power);
    field("ITUZ", qso.ituZone);
    field("OPERATOR", qso.oprCall);
    field("PFX", qso.wpx);
    if (const auto received = QslFlag(qso.confirm))
        field("QSL_RCVD", *received);
    if (!qso.name.isEmpty())
        field("NAME", qso.name);
    const QString iota = FormatIota(qso.iota);
    if (iota.size() > 1)
        field("IOTA", iota);
    field("BAND", UploadBandTable(qso.band).value_or(QString()));
    field("CQZ", qso.cqZone);
    field("MODE", UploadModeTable(qso.mode, qso.submode).value_or(QString()));
    if (const auto sent = QslFlag(qso.qsls))
        field("QSL_SENT", *sent);
    field("DXBPFX", qso.prefix);
    if (const auto satName = SatelliteName(qso.sat, qso.date)) {
        field("SAT_NAME", *satName);
        line("<PROP_MODE:3>SAT");
    }
    if (dxcc)
        field("DXCC", *dxcc);
    if (const auto freq = FormatFrequency(qso.freq, qso.band))
        field("FREQ", *freq);
    line("<EOR>");
    line("");
}
