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

void AppendAdifRecord(const UploadQsoValues& qso, const QString* dxcc, QStringList& lines)
{
    lines.append(AdifField("CALL", qso.call));
    // The date tag always declares eight characters: only a date of eight digits gets here.
    lines.append(QStringLiteral("<QSO_DATE:8>") + qso.date);
    lines.append(AdifField("TIME_ON", qso.time));
    lines.append(AdifField("RST_SENT", qso.rstSent));
    lines.append(AdifField("RST_RCVD", qso.rstRcvd));
    lines.append(AdifField("TX_PWR", qso.power));
    lines.append(AdifField("ITUZ", qso.ituZone));
    lines.append(AdifField("OPERATOR", qso.oprCall));
    lines.append(AdifField("PFX", qso.wpx));
    if (const auto received = QslFlag(qso.confirm))
        lines.append(AdifField("QSL_RCVD", *received));
    if (!qso.name.isEmpty())
        lines.append(AdifField("NAME", qso.name));
    const QString iota = FormatIota(qso.iota);
    if (iota.size() > 1)
        lines.append(AdifField("IOTA", iota));
    lines.append(AdifField("BAND", UploadBandTable(qso.band).value_or(QString())));
    lines.append(AdifField("CQZ", qso.cqZone));
    lines.append(AdifField("MODE", UploadModeTable(qso.mode, qso.submode).value_or(QString())));
    if (const auto sent = QslFlag(qso.qsls))
        lines.append(AdifField("QSL_SENT", *sent));
    lines.append(AdifField("DXBPFX", qso.prefix));
    if (const auto satName = SatelliteName(qso.sat, qso.date)) {
        lines.append(AdifField("SAT_NAME", *satName));
        lines.append(QStringLiteral("<PROP_MODE:3>SAT"));
    }
    if (dxcc)
        lines.append(AdifField("DXCC", *dxcc));
    if (const auto freq = FormatFrequency(qso.freq, qso.band))
        lines.append(AdifField("FREQ", *freq));
    lines.append(QStringLiteral("<EOR>"));
    lines.append(QString());
}
