#pragma once

#include "options/Options.h"
#include "platform/Profile.h"
#include "support/Fakes.h"
#include "support/TempDir.h"

#include <QByteArray>
#include <QDir>
#include <QList>

// A data folder, a Windows directory and a TQSL station file inside one temporary folder.
class OptionsFixture
{
public:
    OptionsFixture()
    {
        QDir(dir.path()).mkpath(QStringLiteral("data"));
        QDir(dir.path()).mkpath(QStringLiteral("win"));
        paths.data = dir.file(QStringLiteral("data"));
        paths.windows = dir.file(QStringLiteral("win"));
        paths.stationFile = dir.file(QStringLiteral("station_data"));
        tqsl.install.keyFound = true;
        tqsl.install.folder = QStringLiteral("/opt/tqsl");
    }
    QString dataFile(const QString& name) const { return paths.data + QLatin1Char('/') + name; }
    QByteArray readData(const QString& name) const { return dir.read(QStringLiteral("data/") + name); }
    void writeData(const QString& name, const QByteArray& bytes) const { dir.write(QStringLiteral("data/") + name, bytes); }
    void writeIni(const QByteArray& bytes) const { dir.write(QStringLiteral("win/Dxb2007.ini"), bytes); }

    TestDir dir;
    FakePaths paths;
    IniProfile profile;
    FakeTqslLocator tqsl;
    FakeMessageBox messages;
    FakeDesktop desktop;
};

// Joins text fields each ended by 0x05 after the first line "1" CR LF.
inline QByteArray stateFile(const QList<QByteArray>& fields)
{
    QByteArray bytes("1\r\n");
    for (const QByteArray& field : fields)
        bytes += field + '\x05';
    return bytes;
}

// The 25 fields of a complete "quorvane.dat" as the Windows program writes it.
inline QList<QByteArray> sampleOptionsFields()
{
    return {"****",
            "",
            "",
            "",
            "C:\\quorvane260\\LoTWUpload.adi",
            "C:\\quorvane260\\lotwreport.adi",
            "K1ABC",
            "Home",
            "K1ABC/M",
            "Mobile",
            "",
            "",
            "",
            "",
            "",
            "",
            "K1ABC",
            "K1ABC",
            "",
            "",
            "",
            "",
            "C:\\DXbase\\Data\\K1ABC.mdb",
            "C:\\DXbase\\Refdata.mdb",
            "C:\\DXbase\\Data"};
}
