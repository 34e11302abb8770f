// Times the LoTW import: a report of N records against a log of N QSOs (SQLite).
//
// usage: ImportBench prepare N FOLDER   writes FOLDER/import-N/ (log, reference, report)
//        ImportBench run N FOLDER       copies the prepared log and imports the report into it
//
// The report holds one record for every QSO of the log, shaped as LoTW writes them: header
// lines, one field per line, TIME_ON a few seconds off the logged time for a third of them
// (so the seconds search runs), zones, state, county, grid, IOTA and credits, plus one record
// in a hundred that matches no QSO.

#include "demo/DemoData.h"
#include "download/ImportRun.h"
#include "options/Choices.h"
#include "options/Options.h"
#include "platform/EventMonitor.h"
#include "platform/Paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <cstdio>

namespace {

constexpr quint64 kSeed = 20261207;

QByteArray field(const char* name, const QString& value, const char* comment = nullptr)
{
    const QByteArray bytes = value.toLatin1();
    QByteArray line = QByteArray("<") + name + ':' + QByteArray::number(bytes.size()) + '>' + bytes;
    if (comment)
        line += QByteArray(" // ") + comment;
    return line + "\r\n";
}

QString bandName(const QString& code)
{
    static const char* const names[] = {"2M", "6M", "10M", "12M", "15M", "17M", "20M", "30M", "40M", "80M", "160M",
                                        "1.25M", "70CM", "35CM", "23CM", "13CM", "9CM", "6CM", "3CM", "1.25CM",
                                        "6MM", "4MM", "4M", "60M"};
    const int i = code.toInt();
    return i >= 0 && i < int(std::size(names)) ? QString::fromLatin1(names[i]) : QStringLiteral("20M");
}

QString modeName(const QString& code)
{
    static const char* const names[] = {"SSB", "SSB", "CW", "FM", "AM", "RTTY", "FT8", "SSTV"};
    const int i = code.toInt();
    return i >= 0 && i < int(std::size(names)) ? QString::fromLatin1(names[i]) : QStringLiteral("CW");
}

QString two(int value)
{
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

void writeReport(const QString& path, qint64 count)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw std::runtime_error("cannot write the report");
    QByteArray out = "ARRL Logbook of the World Status Report\r\nGenerated at 2026-03-14 17:58:41\r\nfor K1QVN\r\n"
                     "Query:\r\n    QSL ONLY: YES\r\n\r\n<PROGRAMID:4>LoTW\r\n"
                     "<APP_LoTW_LASTQSL:19>2026-03-14 17:58:41\r\n"
                     + field("APP_LoTW_NUMREC", QString::number(count)) + "<eoh>\r\n";
    static const char* const counties[] = {"CT,HARTFORD", "MA,MIDDLESEX // Middlesex County",
                                           "AK,FAIRBANKS NORTH STAR // Fairbanks North Star Borough",
                                           "MD,PRINCE GEORGE'S", "MO,SAINT LOUIS", "TX,NOWHERE"};
    for (qint64 i = 0; i < count; ++i) {
        const DemoData::Qso q = DemoData::qso(i, kSeed);
        const bool ghost = i % 100 == 99;
        const int seconds = q.time.right(2).toInt();
        const QString time = i % 3 == 1 ? q.time.left(4) + two((seconds + 7) % 60) : q.time;
        out += field("APP_LoTW_OWNCALL", q.oprCall) + field("STATION_CALLSIGN", q.oprCall);
        out += field("CALL", ghost ? QStringLiteral("ZZ9ZZZ") : q.call);
        out += field("BAND", bandName(q.band)) + field("FREQ", QStringLiteral("14.07400"));
        out += field("MODE", modeName(q.mode));
        out += field("APP_LoTW_MODEGROUP", QStringLiteral("DATA"));
        out += field("QSO_DATE", q.date) + field("TIME_ON", time);
        out += field("QSL_RCVD", QStringLiteral("Y")) + field("QSLRDATE", QStringLiteral("20260310"));
        out += field("CQZ", q.cqZone.isEmpty() ? QStringLiteral("5") : q.cqZone);
        out += field("ITUZ", q.ituZone.isEmpty() ? QStringLiteral("8") : q.ituZone);
        if (!q.state.isEmpty()) {
            out += field("STATE", q.state, "State");
            out += field("CNTY", QString::fromLatin1(counties[i % std::size(counties)]));
        }
        if (i % 4 == 0)
            out += field("GRIDSQUARE", QStringLiteral("FN42ab"));
        if (i % 40 == 0)
            out += field("IOTA", QStringLiteral("EU-005"));
        if (i % 4 == 1)
            out += field("CREDIT_GRANTED", QStringLiteral("DXCC,DXCC_BAND,DXCC_MODE"));
        out += "<eor>\r\n\r\n";
        if (out.size() > (1 << 20)) {
            file.write(out);
            out.clear();
        }
    }
    out += "<APP_LoTW_EOF>\r\n";
    file.write(out);
}

// Counts what an import reports; prints messages.
class CountingMonitor : public EventMonitor
{
public:
    void AddUploadEvent(const QString&) override {}
    void AddDownloadEvent(const QString&) override { ++lines; }
    void ClearUploadMonitor() override {}
    void ClearDownloadMonitor() override {}
    void ShowCounters() override {}
    void SetStepIcon(int, int) override {}
    void ShowMessage(const QString& text) override { std::fprintf(stderr, "%s\n", text.toLatin1().constData()); }
    void PumpMessages() override { ++pumps; }
    qint64 lines = 0;
    qint64 pumps = 0;
};

class FolderPaths : public Paths
{
public:
    explicit FolderPaths(QString folder) : m_folder(std::move(folder)) {}
    QString dataFolder() const override { return m_folder; }
    QString windowsDirectory() const override { return QString(); }
    QString tqslStationFile() const override { return QString(); }
    QString userName() const override { return QStringLiteral("bench"); }
    QString osVersionText() const override { return QString(); }
    QString join(const QString& folder, const QString& name) const override { return folder + QLatin1Char('/') + name; }

private:
    QString m_folder;
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: ImportBench prepare|run N FOLDER\n");
        return 2;
    }
    const QByteArray command = argv[1];
    const qint64 count = QByteArray(argv[2]).toLongLong();
    const QString folder = QString::fromLocal8Bit(argv[3]) + QStringLiteral("/import-%1").arg(count);
    QDir().mkpath(folder);
    const QString pristine = folder + QStringLiteral("/pristine.sqlite");
    const QString log = folder + QStringLiteral("/log.sqlite");
    const QString reference = folder + QStringLiteral("/refdata.sqlite");

    QElapsedTimer timer;
    timer.start();
    if (command == "prepare") {
        DemoData::writeLog(pristine, count, kSeed);
        DemoData::writeRefdata(reference);
        writeReport(folder + QStringLiteral("/lotwreport.adi"), count);
        std::printf("prepared %lld QSOs and records in %s: %.2f s\n", static_cast<long long>(count),
                    folder.toLocal8Bit().constData(), double(timer.elapsed()) / 1000.0);
        return 0;
    }
    if (command != "run")
        return 2;

    QFile::remove(log);
    if (!QFile::copy(pristine, log)) {
        std::fprintf(stderr, "run 'ImportBench prepare %lld' first\n", static_cast<long long>(count));
        return 1;
    }
    Options options;
    options.sourceMdbPath = log;
    options.refdataMdbPath = reference;
    options.errorFilePath = folder + QStringLiteral("/SemiQuorvaneErrors.txt");
    options.importedListPath = folder + QStringLiteral("/SemiQuorvaneImportedQSOs.txt");
    Choices choices;
    choices.ImportScope = 0;
    choices.OverwriteChoice = 0;
    FolderPaths paths(folder);
    CountingMonitor monitor;

    timer.restart();
    ImportRun run(options, choices, paths, monitor);
    const bool ok = run.OnLotwImport();
    const double seconds = double(timer.elapsed()) / 1000.0;
    std::printf("import of %lld records against %lld QSOs: %.2f s (%s)\n", static_cast<long long>(count),
                static_cast<long long>(count), seconds, ok ? "ran to its end" : "stopped");
    std::printf("QSOs Read-in: %ld  LoTW Recs Used: %ld  QSOs w/errors: %ld  New DXCC Credits: %ld  Warnings: %ld  "
                "monitor lines: %lld\n",
                monitor.counter(Control::DownloadReadIn), monitor.counter(Control::DownloadRecsUsed),
                monitor.counter(Control::DownloadErrors), monitor.counter(Control::DownloadNewDxcc),
                monitor.counter(Control::DownloadWarnings), static_cast<long long>(monitor.lines));
    return ok ? 0 : 1;
}
