#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

// Bytes packed by the system's gzip program (at the given level, 1 to 9).
QByteArray Gzipped(const QByteArray& bytes, int level = 9);

// One QSO of a signed file, in TQSL's spelling.
struct TestContact
{
    const char* call;
    const char* band = "20M";
    const char* mode = "CW";
    const char* date = "2019-03-15";
    const char* time = "14:25:30Z";
    const char* satName = nullptr;
};

// The text of a signed file as TQSL writes it: its identification line, a certificate and a
// station record, then one contact record per QSO (signature fields included).
QByteArray SignedFileText(const std::vector<TestContact>& contacts, const char* stationCall = "K1ABC");
