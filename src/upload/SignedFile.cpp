#include "SignedFile.h"

#include "Gunzip.h"
#include "TaggedFields.h"

#include <QFile>

namespace {

// Keeps what a contact record and the station record need, and hands each contact on at the
// end of its record.
class SignedRecords : public TaggedFields::Handler
{
public:
    SignedRecords(const SignedFileReader::Sink& sink, qint64& contacts, QString& stationCall)
        : m_sink(sink), m_contacts(contacts), m_stationCall(stationCall)
    {
    }

    void field(QByteArrayView name, QByteArrayView value, qint64, qint64) override
    {
        const auto is = [&name](const char* n) { return name.compare(QByteArrayView(n), Qt::CaseInsensitive) == 0; };
        if (is("TQSL_IDENT"))
            return; // the file's first line stands outside any record
        m_inRecord = true;
        QString* target = nullptr;
        if (is("Rec_Type"))
            target = &m_type;
        else if (is("CALL"))
            target = &m_contact.call;
        else if (is("BAND"))
            target = &m_contact.band;
        else if (is("MODE"))
            target = &m_contact.mode;
        else if (is("FREQ"))
            target = &m_contact.freq;
        else if (is("QSO_DATE"))
            target = &m_contact.date;
        else if (is("QSO_TIME"))
            target = &m_contact.time;
        else if (is("PROP_MODE"))
            target = &m_contact.propMode;
        else if (is("SAT_NAME"))
            target = &m_contact.satName;
        if (target)
            *target = QString::fromUtf8(value).trimmed();
    }

    void tag(QByteArrayView name, qint64, qint64) override
    {
        if (name.compare(QByteArrayView("eor"), Qt::CaseInsensitive) != 0)
            return;
        if (m_type.compare(QLatin1String("tCONTACT"), Qt::CaseInsensitive) == 0) {
            if (m_contact.call.isEmpty() || m_contact.date.isEmpty() || m_contact.time.isEmpty()
                || m_contact.band.isEmpty() || m_contact.mode.isEmpty())
                throw TaggedFields::Damaged{QStringLiteral("its contact record %1 lacks its call, date, time, band or mode")
                                                .arg(m_contacts + 1)};
            ++m_contacts;
            m_sink(m_contact);
        } else if (m_type.compare(QLatin1String("tSTATION"), Qt::CaseInsensitive) == 0) {
            m_stationCall = m_contact.call;
        }
        m_contact = SignedContact();
        m_type.clear();
        m_inRecord = false;
    }

    bool inRecord() const { return m_inRecord; }

private:
    const SignedFileReader::Sink& m_sink;
    qint64& m_contacts;
    QString& m_stationCall;
    QString m_type;
    SignedContact m_contact;
    bool m_inRecord = false;
};

} // namespace

bool SignedFileReader::read(const QString& path, const Sink& sink)
{
    m_problem.clear();
    m_contacts = 0;
    m_stationCall.clear();
    QFile file(path);
    if (!file.exists()) {
        m_problem = QStringLiteral("it does not exist");
        return false;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        m_problem = QStringLiteral("it cannot be read (%1)").arg(file.errorString());
        return false;
    }
    SignedRecords records(sink, m_contacts, m_stationCall);
    TaggedFields fields(1024 * 1024);
    Gunzip gunzip;
    QString damaged;
    const bool unpacked = gunzip.unpack(file, [&](QByteArrayView piece) {
        try {
            fields.feed(piece, records);
        } catch (const TaggedFields::Damaged& d) {
            damaged = d.text;
            return false;
        }
        return true;
    });
    if (!damaged.isEmpty())
        m_problem = damaged;
    else if (!unpacked)
        m_problem = gunzip.problem();
    else if (!fields.complete() || records.inRecord())
        m_problem = QStringLiteral("it ends in the middle of a record");
    return m_problem.isEmpty();
}
