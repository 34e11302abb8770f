// Every record the upload writes passes the checks TQSL makes of a record before it signs it,
// made with TQSL's own library and configuration: the band is one of TQSL's bands, the MODE
// (and SUBMODE) maps to one of TQSL's modes the way TQSL maps them, the date and time are
// ones TQSL reads, the satellite is one TQSL knows under that name and comes with PROP_MODE
// SAT. A QSO that would fail is refused before it is written or marked.

#include "support/UploadLogFixture.h"

#include "demo/DemoData.h"
#include "upload/AdifUploadMapping.h"
#include "upload/UploadRun.h"

#include "support/Fakes.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QLibrary>
#include <QSet>

namespace {

QString S(const char* text) { return QString::fromLatin1(text); }

// TQSL's library, as Debian installs it.
class TqslLibrary
{
public:
    struct Date { int year, month, day; };
    struct Time { int hour, minute, second; };

    TqslLibrary() : m_library(QStringLiteral("/usr/lib/trustedqsl/libtqsllib.so"))
    {
        if (!m_library.load())
            return;
        init = reinterpret_cast<int (*)()>(m_library.resolve("tqsl_init"));
        getAdifMode = reinterpret_cast<int (*)(const char*, char*, int)>(m_library.resolve("tqsl_getADIFMode"));
        numMode = reinterpret_cast<int (*)(int*)>(m_library.resolve("tqsl_getNumMode"));
        getMode = reinterpret_cast<int (*)(int, const char**, const char**)>(m_library.resolve("tqsl_getMode"));
        numBand = reinterpret_cast<int (*)(int*)>(m_library.resolve("tqsl_getNumBand"));
        getBand = reinterpret_cast<int (*)(int, const char**, const char**, int*, int*)>(m_library.resolve("tqsl_getBand"));
        numSatellite = reinterpret_cast<int (*)(int*)>(m_library.resolve("tqsl_getNumSatellite"));
        getSatellite = reinterpret_cast<int (*)(int, const char**, const char**, Date*, Date*)>(
            m_library.resolve("tqsl_getSatellite"));
        numPropMode = reinterpret_cast<int (*)(int*)>(m_library.resolve("tqsl_getNumPropagationMode"));
        getPropMode = reinterpret_cast<int (*)(int, const char**, const char**)>(m_library.resolve("tqsl_getPropagationMode"));
        initDate = reinterpret_cast<int (*)(Date*, const char*)>(m_library.resolve("tqsl_initDate"));
        isDateValid = reinterpret_cast<int (*)(const Date*)>(m_library.resolve("tqsl_isDateValid"));
        initTime = reinterpret_cast<int (*)(Time*, const char*)>(m_library.resolve("tqsl_initTime"));
        m_ready = init && getAdifMode && numMode && getMode && numBand && getBand && numSatellite && getSatellite
                  && numPropMode && getPropMode && initDate && isDateValid && initTime && init() == 0;
        if (!m_ready)
            return;
        int n = 0;
        numMode(&n);
        for (int i = 0; i < n; ++i) {
            const char* mode = nullptr;
            const char* group = nullptr;
            if (getMode(i, &mode, &group) == 0)
                modes.insert(QString::fromLatin1(mode));
        }
        numBand(&n);
        for (int i = 0; i < n; ++i) {
            const char* name = nullptr;
            const char* spectrum = nullptr;
            int low = 0, high = 0;
            if (getBand(i, &name, &spectrum, &low, &high) == 0)
                bands.insert(QString::fromLatin1(name));
        }
        numSatellite(&n);
        for (int i = 0; i < n; ++i) {
            const char* name = nullptr;
            const char* description = nullptr;
            Date start{}, end{};
            if (getSatellite(i, &name, &description, &start, &end) == 0)
                satellites.insert(QString::fromLatin1(name));
        }
        numPropMode(&n);
        for (int i = 0; i < n; ++i) {
            const char* name = nullptr;
            const char* description = nullptr;
            if (getPropMode(i, &name, &description) == 0)
                propModes.insert(QString::fromLatin1(name));
        }
    }

    bool ready() const { return m_ready; }

    // TQSL's mode for a record's MODE and SUBMODE, found as TQSL finds it: "MODE%SUBMODE",
    // then the submode, then the mode through its ADIF table; a value the table does not map
    // stays as it is. Empty when the result is none of TQSL's modes.
    QString tqslMode(const QString& mode, const QString& submode) const
    {
        char value[256] = "";
        QString result;
        const auto lookup = [&](const QString& key) {
            value[0] = '\0';
            return getAdifMode(key.toUpper().toLatin1().constData(), value, sizeof value) == 0;
        };
        if (!submode.isEmpty()) {
            if (lookup(mode + QLatin1Char('%') + submode) || lookup(submode) || lookup(mode))
                result = QString::fromLatin1(value);
        } else if (lookup(mode)) {
            result = QString::fromLatin1(value);
        }
        if (result.isEmpty())
            result = mode.toUpper();
        return modes.contains(result) ? result : QString();
    }

    // The reason TQSL would refuse the record, empty when it takes it.
    QString refusal(const std::map<QString, QString>& record) const
    {
        const auto field = [&](const char* name) {
            auto it = record.find(QString::fromLatin1(name));
            return it == record.end() ? QString() : it->second;
        };
        if (field("CALL").isEmpty())
            return S("no CALL");
        if (!bands.contains(field("BAND").toUpper()))
            return S("Invalid BAND (") + field("BAND") + S(")");
        if (field("MODE").isEmpty() || tqslMode(field("MODE"), field("SUBMODE")).isEmpty())
            return S("Invalid MODE (") + field("MODE") + S(")");
        Date date{};
        if (initDate(&date, field("QSO_DATE").toLatin1().constData()) != 0 || !isDateValid(&date))
            return S("Invalid QSO_DATE (") + field("QSO_DATE") + S(")");
        Time time{};
        if (initTime(&time, field("TIME_ON").toLatin1().constData()) != 0)
            return S("Invalid TIME_ON (") + field("TIME_ON") + S(")");
        const QString prop = field("PROP_MODE");
        const QString sat = field("SAT_NAME");
        if (!prop.isEmpty() && !propModes.contains(prop))
            return S("Invalid PROP_MODE (") + prop + S(")");
        if (!sat.isEmpty() && !satellites.contains(sat))
            return S("Invalid SAT_NAME (") + sat + S(")");
        if ((prop == QLatin1String("SAT")) != !sat.isEmpty())
            return S("SAT_NAME and PROP_MODE SAT do not go together");
        return QString();
    }

    QSet<QString> modes, bands, satellites, propModes;

private:
    QLibrary m_library;
    bool m_ready = false;
    int (*init)() = nullptr;
    int (*getAdifMode)(const char*, char*, int) = nullptr;
    int (*numMode)(int*) = nullptr;
    int (*getMode)(int, const char**, const char**) = nullptr;
    int (*numBand)(int*) = nullptr;
    int (*getBand)(int, const char**, const char**, int*, int*) = nullptr;
    int (*numSatellite)(int*) = nullptr;
    int (*getSatellite)(int, const char**, const char**, Date*, Date*) = nullptr;
    int (*numPropMode)(int*) = nullptr;
    int (*getPropMode)(int, const char**, const char**) = nullptr;
    int (*initDate)(Date*, const char*) = nullptr;
    int (*isDateValid)(const Date*) = nullptr;
    int (*initTime)(Time*, const char*) = nullptr;
};

// The records of an upload file: each a map of field name to value, as the file declares them.
std::vector<std::map<QString, QString>> readRecords(const QString& path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    const QStringList lines = QString::fromUtf8(file.readAll()).split(S("\r\n"));
    std::vector<std::map<QString, QString>> records;
    std::map<QString, QString> record;
    bool header = true;
    for (const QString& line : lines) {
        if (header) {
            header = line != QLatin1String("<EOH>");
            continue;
        }
        if (line == QLatin1String("<EOR>")) {
            records.push_back(record);
            record.clear();
            continue;
        }
        const qsizetype colon = line.indexOf(QLatin1Char(':'));
        const qsizetype close = line.indexOf(QLatin1Char('>'));
        if (!line.startsWith(QLatin1Char('<')) || colon < 0 || close < colon)
            continue;
        const int length = line.mid(colon + 1, close - colon - 1).toInt();
        const QString value = line.mid(close + 1);
        EXPECT_EQ(value.toUtf8().size(), length) << line.toStdString();
        record[line.mid(1, colon - 1)] = value;
    }
    return records;
}

class TqslRecordCheck : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!tqsl.ready())
            GTEST_SKIP() << "TQSL's library (Debian package trustedqsl) is not installed";
    }

    // Uploads the log without the hand-off and checks every record of the file.
    void uploadAndCheck(const QString& signingCall, long expectedRefused = -1)
    {
        options.sourceMdbPath = logPath;
        options.refdataMdbPath = refPath;
        options.uploadAdifPath = dir.file(S("LoTWUpload.adi"));
        options.errorFilePath = dir.file(S("errors.txt"));
        Choices choices;
        choices.SigningCall = signingCall;
        UploadRun run(options, choices, monitor, desktop);
        run.setHandOff(false);
        ASSERT_TRUE(run.run());
        ASSERT_GT(run.adifOutCount(), 0);
        const auto records = readRecords(options.uploadAdifPath);
        ASSERT_EQ(long(records.size()), run.adifOutCount());
        for (const auto& record : records) {
            const QString why = tqsl.refusal(record);
            EXPECT_TRUE(why.isEmpty()) << why.toStdString() << " for " << record.at(S("CALL")).toStdString();
        }
        if (expectedRefused >= 0) {
            EXPECT_EQ(run.refusedCount(), expectedRefused);
        }
        EXPECT_EQ(monitor.download.size(), run.refusedCount());
    }

    TqslLibrary tqsl;
    TestDir dir;
    QString logPath = dir.file(S("log.sqlite"));
    QString refPath = dir.file(S("refdata.sqlite"));
    Options options;
    FakeDesktop desktop;
    RecordingMonitor monitor;
};

TEST_F(TqslRecordCheck, TheDemoLog)
{
    DemoData::writeLog(logPath, 3000, 7);
    DemoData::writeRefdata(refPath);
    uploadAndCheck(S(DemoData::kPrimaryCall));
}

// Every band code, every mode code, every submode of the submode table and the common
// digital ones, and every satellite of the table on a day it counts.
TEST_F(TqslRecordCheck, EveryBandModeSubmodeAndSatellite)
{
    {
        SqliteFile log(logPath);
        CreateQsoTable(log);
        SqliteFile ref(refPath);
        CreatePrefixTable(ref, {{"DL", "230"}});
        log.exec("BEGIN");
        int n = 0;
        const auto add = [&](const std::string& band, const std::string& mode, const std::string& submode,
                             const std::string& sat, const std::string& date) {
            InsertQso(log, {{"QSO-CALL", "DL" + std::to_string(++n) + "ABC"}, {"QSO-DATE", date},
                            {"QSO-TIME", "142530"}, {"QSO-OPRCALL", "K1ABC"}, {"QSO-QSLS", "0"},
                            {"QSO-BAND", band}, {"QSO-MODE", mode}, {"QSO-SUBMODE", submode}, {"QSO-SAT", sat},
                            {"QSO-PREFIX", "DL"}, {"QSO-CONFIRM", "0"}});
        };
        for (int band = 0; band < 24; ++band)
            add(std::to_string(band), "2", "", "None", "20200101");
        for (int mode = 0; mode < 8; ++mode)
            add("6", std::to_string(mode), mode == 6 ? "PSK31" : "", "", "20200101");
        for (const char* submode :
             {"AMTOR", "PACTOR", "PACTOR-II", "PACTORII", "PACTOR-III", "PACTORIII", "CLOVER", "GTOR", "FELDHELL",
              "FT8", "FT4", "JS8", "JT65", "JT9", "Q65", "MSK144", "FST4", "WSPR", "PSK31", "PSK63", "PSK125", "QPSK31",
              "OLIVIA", "CONTESTI", "MFSK16", "MT63", "THOR", "DOMINOEX", "HELL", "ROS", "PKT", "ft8", "Olivia"})
            add("6", "6", submode, "", "20200101");
        for (const SatelliteWindow& sat : SatelliteWindowTable())
            add("0", "2", "", sat.name, sat.first);
        // What TQSL would refuse: a digital QSO without or with an unknown submode.
        add("6", "6", "", "", "20200101");
        add("6", "6", "MADEUP", "", "20200101");
        log.exec("COMMIT");
    }
    uploadAndCheck(S("K1ABC"), 2);
    const QByteArray file = [&] {
        QFile f(options.uploadAdifPath);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();
    EXPECT_EQ(file.count("<PROP_MODE:3>SAT\r\n"), qsizetype(SatelliteWindowTable().size()));
    EXPECT_TRUE(file.contains("<BAND:4>33CM\r\n"));
}

// The tables the upload uses know no name TQSL does not, and every satellite TQSL knows.
TEST_F(TqslRecordCheck, TablesAgreeWithTqslsConfiguration)
{
    QSet<QString> written;
    for (const SatelliteWindow& sat : SatelliteWindowTable()) {
        written.insert(QString::fromLatin1(sat.written));
        EXPECT_TRUE(tqsl.satellites.contains(QString::fromLatin1(sat.written))) << sat.written;
    }
    for (const QString& sat : tqsl.satellites)
        EXPECT_TRUE(written.contains(sat)) << sat.toStdString();
    for (int band = 0; band < 24; ++band) {
        const auto name = UploadBandTable(QString::number(band));
        ASSERT_TRUE(name);
        EXPECT_TRUE(tqsl.bands.contains(*name)) << name->toStdString();
    }
    // Every mode name the upload accepts maps to one of TQSL's modes, and the other way round
    // for every mode and ADIF name TQSL takes on its own.
    for (const QString& mode : tqsl.modes)
        EXPECT_TRUE(TqslKnowsMode(mode)) << mode.toStdString();
    for (const QString& name : TqslModeNames())
        EXPECT_FALSE(tqsl.tqslMode(name, QString()).isEmpty()) << name.toStdString();
    for (const char* name : {"FELDHELL", "PACTOR-II", "XYZ", ""})
        EXPECT_FALSE(TqslKnowsMode(S(name))) << name;
}

} // namespace
