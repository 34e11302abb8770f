#pragma once

#include <QString>
#include <functional>

// One QSO of a signed file as TQSL signed it: its values in TQSL's spelling (date as
// YYYY-MM-DD, time as HH:MM:SSZ, the mode as TQSL names it).
struct SignedContact
{
    QString call;
    QString band;
    QString mode;
    QString freq;
    QString date;
    QString time;
    QString propMode;
    QString satName;
};

// Reads a signed file as TQSL writes it (gzip around tagged records: a certificate, a
// station, then one contact record per signed QSO), in constant memory: each contact goes to
// the sink as it is read.
class SignedFileReader
{
public:
    using Sink = std::function<void(const SignedContact&)>;

    // True when the whole file was read; false with problem() naming why it can't be (missing,
    // empty, not gzip, damaged, cut short, or records that are not what TQSL writes).
    bool read(const QString& path, const Sink& sink);

    const QString& problem() const { return m_problem; }
    qint64 contacts() const { return m_contacts; }
    // The call of the station record (the callsign certificate's call), empty when none.
    const QString& stationCall() const { return m_stationCall; }

private:
    QString m_problem;
    qint64 m_contacts = 0;
    QString m_stationCall;
};
