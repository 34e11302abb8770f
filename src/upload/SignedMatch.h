#pragma once

#include <QString>

class QFile;
#include <vector>

// One record of the upload file, as the signed file is compared with it.
struct UploadFileRecord
{
    quint64 key = 0;  // digest of call, date, time, band, satellite and propagation mode as TQSL signs them
    quint64 mode = 0; // digest of the mode as TQSL names it
    qint64 firstLine = 0; // the lines of the file the record stands on (from 1), as TQSL counts them
    qint64 lastLine = 0;
    qint64 offset = 0; // byte offset of its first field
};

// Reads the records of an upload file in file order. False with problem set when the file
// can't be read or is not tagged fields.
bool ReadUploadFileRecords(const QString& path, std::vector<UploadFileRecord>& records, QString& problem);

// The fields of one record of the upload file that a line about it names.
struct UploadFileQso
{
    QString call;
    QString date;
    QString time;
    QString band;
    QString mode;
};
// Reads the record of the (open) upload file that begins at offset; false when there is none.
bool ReadUploadFileQso(QFile& file, qint64 offset, UploadFileQso& qso);

// The mode a QSO of the upload file is signed with: TQSL names many ADIF modes and submodes
// by their mode (USB and LSB as SSB, JT65A as JT65, PAC2 as PACTOR...).
QString TqslSignedMode(const QString& adifMode);

// Which QSOs of an upload file a signed file holds.
struct SignedMatch
{
    bool usable = false;        // the signed file was read whole and holds only QSOs of the upload file
    QString problem;            // why it is not usable
    std::vector<bool> isSigned; // by record of the upload file
    qint64 signedCount = 0;     // records of the upload file it holds
    qint64 contacts = 0;        // its contact records
    qint64 foreign = 0;         // contact records that are no QSO of the upload file
    QString stationCall;        // its station's (the certificate's) call
};

// Compares a signed file with the records of the upload file it was made from. A contact is a
// record when call, date, time (a time of hours and minutes is signed with 00 seconds), band,
// satellite and propagation mode are the same; where several records are, the first one not
// yet taken whose mode TQSL signs alike goes first, so that a QSO logged twice is taken once
// for each time it was signed.
SignedMatch MatchSignedFile(const std::vector<UploadFileRecord>& records, const QString& signedPath);
