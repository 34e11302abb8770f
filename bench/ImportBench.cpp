// Times the LoTW import against the floor of the SQLite C API, measured in the same run.
//
// usage: ImportBench prepare N FOLDER [--shape SHAPE]
//            writes FOLDER/import-N[-SHAPE]/: a log of N QSOs, the reference database and a LoTW
//            report of N records
//        ImportBench run N FOLDER [--shape SHAPE] [--dump DIR] [--no-floor]
//            copies the prepared log, measures the floor, imports the report into the copy,
//            measures the floor again, and prints the times and the ratio to the floor.
//            --engine sqlite|odbc-keyed|odbc-keyless|odbc-index: the engine the import runs on
//            (BenchEngine.h); --undo: the import is taken back after it, and timed.
//            --dump DIR writes what the import produced (monitor lines, counters, error file,
//            imported-QSO list, every log row) to DIR, for comparing two builds byte for byte.
//
// Shapes (default lotw):
//   lotw       the report as LoTW orders it, by QSL date, so the rows it confirms lie scattered
//              over the log: 80% of the records match a QSO at its exact time, 10% by the
//              seconds of the minute, 10% match nothing. US QSOs carry STATE and a CNTY of that
//              state, with the comments LoTW adds.
//   same       every record of the report confirms the same QSO.
//   unmatched  no record of the report matches a QSO.
//   equalkeys  every row of the log has the same call, date, time, mode and band; the report
//              confirms that QSO over and over.
//
// The floor is what any import must at least do through SQLite's C API: read every column of
// every row, write the rows the report confirms by rowid through one prepared statement in one
// transaction in rowid order (default page cache), and read the report once. Peak memory:
// run under /usr/bin/time -v.

#include "BenchEngine.h"
#include "demo/DemoData.h"
#include "download/ImportRun.h"
#include "undo/UndoJournal.h"
#include "options/Choices.h"
#include "options/Options.h"
#include "platform/EventMonitor.h"
#include "platform/Paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <algorithm>
#include <cstdio>
#include <numeric>
#include <random>
#include <sqlite3.h>
#include <vector>

namespace {

constexpr quint64 kSeed = 20261207;

QByteArray field(const char* name, const QByteArray& value, const char* comment = nullptr)
{
    QByteArray line = QByteArray("<") + name + ':' + QByteArray::number(value.size()) + '>' + value;
    if (comment)
        line += QByteArray(" // ") + comment;
    return line + "\r\n";
}

QByteArray two(int value)
{
    return QByteArray::number(value).rightJustified(2, '0');
}

const char* bandName(const QString& code)
{
    static const char* const names[] = {"2M", "6M", "10M", "12M", "15M", "17M", "20M", "30M", "40M", "80M", "160M",
                                        "1.25M", "70CM", "35CM", "23CM", "13CM", "9CM", "6CM", "3CM", "1.25CM",
                                        "6MM", "4MM", "4M", "60M"};
    const int i = code.toInt();
    return i >= 0 && i < int(std::size(names)) ? names[i] : "20M";
}

// The report's MODE and SUBMODE of a logged mode code.
std::pair<const char*, const char*> modeNames(const DemoData::Qso& q)
{
    switch (q.mode.toInt()) {
    case 0: return {"SSB", "USB"};
    case 1: return {"SSB", "LSB"};
    case 2: return {"CW", nullptr};
    case 3: return {"FM", nullptr};
    case 4: return {"AM", nullptr};
    case 5: return {"RTTY", nullptr};
    case 6: return q.submode == QLatin1String("FT8") ? std::pair{"FT8", nullptr} : std::pair{"PSK", "PSK31"};
    default: return {"SSTV", nullptr};
    }
}

// Counties as LoTW spells them in CNTY, each of the state it is given with, all of them known
// to the demo's county table once normalised (Alaskan boroughs become its regions).
struct StateCounties
{
    const char* state;
    const char* name;
    std::initializer_list<std::pair<const char*, const char*>> counties; // CNTY value, comment
};
const StateCounties kStates[] = {
    {"CT", "Connecticut", {{"HARTFORD", "Hartford County"}, {"NEW HAVEN", "New Haven County"}, {"FAIRFIELD", "Fairfield County"}}},
    {"MA", "Massachusetts", {{"MIDDLESEX", "Middlesex County"}, {"ESSEX", "Essex County"}, {"WORCESTER", "Worcester County"}}},
    {"RI", "Rhode Island", {{"PROVIDENCE", "Providence County"}, {"KENT", "Kent County"}}},
    {"NH", "New Hampshire", {{"HILLSBOROUGH", "Hillsborough County"}, {"MERRIMACK", "Merrimack County"}}},
    {"MD", "Maryland", {{"PRINCE GEORGE'S", "Prince George's County"}, {"MONTGOMERY", "Montgomery County"}}},
    {"MO", "Missouri", {{"SAINT LOUIS", "Saint Louis County"}, {"GREENE", "Greene County"}}},
    {"MN", "Minnesota", {{"SAINT LOUIS", "Saint Louis County"}, {"HENNEPIN", "Hennepin County"}}},
    {"TX", "Texas", {{"HARRIS", "Harris County"}, {"TRAVIS", "Travis County"}, {"DALLAS", "Dallas County"}}},
    {"AK", "Alaska", {{"FAIRBANKS NORTH STAR", "Fairbanks North Star Borough"}, {"ANCHORAGE", "Anchorage Municipality"},
                      {"NOME", "Nome Census Area"}, {"JUNEAU", "Juneau City and Borough"}}},
};

const DemoData::PrefixRow* prefixRow(const QString& prefix)
{
    int count = 0;
    const DemoData::PrefixRow* rows = DemoData::prefixes(&count);
    for (int i = 0; i < count; ++i) {
        if (prefix == QLatin1String(rows[i].prefix))
            return &rows[i];
    }
    return nullptr;
}

// A date n days after a YYYYMMDD date (the demo's months have 28 days at most, so a simple
// calendar of 28-day months will do for the report).
QByteArray laterDate(const QString& date, int days)
{
    int year = date.left(4).toInt();
    int month = date.mid(4, 2).toInt();
    int day = date.right(2).toInt() + days;
    while (day > 28) {
        day -= 28;
        if (++month > 12) {
            month = 1;
            ++year;
        }
    }
    return QByteArray::number(year) + two(month) + two(day);
}

enum class Shape { Lotw, Same, Unmatched, EqualKeys };

struct Planned
{
    qint64 row;      // the QSO of the log the record is made from
    int kind;        // 0 exact time, 1 other seconds of the minute, 2 matches nothing
    QByteArray qsl;  // QSLRDATE
    int qslSecond;   // second of the day LoTW received the QSL
};

QByteArray record(const DemoData::Qso& q, const Planned& p, std::mt19937_64& random)
{
    QByteArray call = q.call.toLatin1();
    QByteArray time = q.time.toLatin1();
    if (p.kind == 1) {
        // The other station logged other seconds of the same minute.
        const int seconds = q.time.right(2).toInt();
        time = time.left(4) + two((seconds + 1 + int(random() % 58)) % 60);
    } else if (p.kind == 2) {
        // A QSO that is not in the log: a busted call, or a time in another minute.
        if (random() % 2)
            call = call + "X";
        else
            time = two((q.time.left(2).toInt() + 1) % 24) + time.mid(2);
    }
    const auto [mode, submode] = modeNames(q);
    const QByteArray own = q.oprCall.toLatin1();
    QByteArray r;
    r.reserve(900);
    r += field("APP_LoTW_OWNCALL", own);
    r += field("STATION_CALLSIGN", own);
    r += field("MY_DXCC", "291", "UNITED STATES OF AMERICA");
    r += field("MY_STATE", "CT", "Connecticut");
    r += field("MY_CNTY", "CT,HARTFORD", "Hartford County");
    r += field("CALL", call);
    r += field("BAND", bandName(q.band));
    r += field("FREQ", QByteArray::number(q.freq.toDouble() / 1000.0, 'f', 5));
    r += field("MODE", mode);
    if (submode)
        r += field("SUBMODE", submode);
    r += field("APP_LoTW_MODEGROUP", q.mode == QLatin1String("2") ? "CW"
                                     : q.mode == QLatin1String("5") || q.mode == QLatin1String("6") ? "DATA"
                                                                                                     : "PHONE");
    const QByteArray date = q.date.toLatin1();
    r += field("QSO_DATE", date);
    r += field("TIME_ON", time);
    r += field("APP_LoTW_QSO_TIMESTAMP", date.left(4) + '-' + date.mid(4, 2) + '-' + date.right(2) + 'T' + time.left(2)
                                             + ':' + time.mid(2, 2) + ':' + time.right(2) + 'Z');
    r += field("QSL_RCVD", "Y");
    r += field("QSLRDATE", p.qsl);
    r += field("APP_LoTW_RXQSL", p.qsl.left(4) + '-' + p.qsl.mid(4, 2) + '-' + p.qsl.right(2) + ' '
                                     + two(p.qslSecond / 3600) + ':' + two(p.qslSecond / 60 % 60) + ':'
                                     + two(p.qslSecond % 60));
    if (const DemoData::PrefixRow* prefix = prefixRow(q.prefix)) {
        const QByteArray country = QByteArray(prefix->country).toUpper();
        r += field("DXCC", prefix->arrlId, country.constData());
        r += field("COUNTRY", country);
        r += field("APP_LoTW_DXCC_ENTITY_STATUS", "Current");
        r += field("PFX", q.prefix.toLatin1());
        r += field("CONT", prefix->continent);
    }
    r += field("CQZ", q.cqZone.toLatin1());
    r += field("ITUZ", q.ituZone.toLatin1());
    if (!q.state.isEmpty()) {
        for (const StateCounties& s : kStates) {
            if (q.state != QLatin1String(s.state))
                continue;
            r += field("STATE", s.state, s.name);
            const auto& county = s.counties.begin()[random() % s.counties.size()];
            r += field("CNTY", QByteArray(s.state) + ',' + county.first, county.second);
        }
    }
    // LoTW gives the grid the other station signed with: mostly finer than the log's, now and
    // then another one.
    const int pick = int(random() % 8);
    if (!q.grid.isEmpty())
        r += field("GRIDSQUARE", pick == 0 ? QByteArray("JN58td") : q.grid.toLatin1() + "ab");
    else if (pick < 3)
        r += field("GRIDSQUARE", "FN31pr");
    if (!q.iota.isEmpty())
        r += field("IOTA", q.iota.toLatin1().left(2) + '-' + q.iota.toLatin1().mid(2));
    const int credit = int(random() % 4);
    if (credit == 0)
        r += field("CREDIT_GRANTED", "DXCC,DXCC_BAND,DXCC_MODE");
    else if (credit == 1)
        r += field("CREDIT_GRANTED", "CQWPX,CQWPX_BAND");
    r += "<eor>\r\n\r\n";
    return r;
}

// The rows the report names (with the record's QSL date), in rowid order; written beside the
// report so that the floor writes the same rows.
void writeReport(const QString& folder, qint64 count, Shape shape)
{
    std::mt19937_64 random(kSeed);
    std::vector<Planned> plan;
    plan.reserve(std::size_t(count));
    if (shape == Shape::Lotw) {
        // 90% of the QSOs of the log, chosen at random, and 10% of records that match nothing.
        std::vector<qint64> rows(static_cast<std::size_t>(count));
        std::iota(rows.begin(), rows.end(), 0);
        std::shuffle(rows.begin(), rows.end(), random);
        for (qint64 i = 0; i < count; ++i) {
            const int kind = i % 10 < 8 ? 0 : i % 10 == 8 ? 1 : 2;
            plan.push_back({rows[std::size_t(i)], kind, {}, int(random() % 86400)});
        }
    } else {
        for (qint64 i = 0; i < count; ++i)
            plan.push_back({shape == Shape::Unmatched ? i : 0, shape == Shape::Unmatched ? 2 : 0, {}, int(random() % 86400)});
    }
    // Confirmed some time after the QSO: within days mostly, years later now and then.
    for (Planned& p : plan) {
        const DemoData::Qso q = DemoData::qso(p.row, kSeed);
        const int days = random() % 4 ? int(random() % 60) : int(random() % 3000);
        p.qsl = laterDate(q.date, days);
        if (p.qsl > "20260314")
            p.qsl = "20260314";
    }
    // LoTW's order: by the date and time the QSL came in.
    std::stable_sort(plan.begin(), plan.end(), [](const Planned& a, const Planned& b) {
        return a.qsl != b.qsl ? a.qsl < b.qsl : a.qslSecond < b.qslSecond;
    });

    QFile file(folder + QStringLiteral("/lotwreport.adi"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw std::runtime_error("cannot write the report");
    QByteArray out = "ARRL Logbook of the World Status Report\r\nGenerated at 2026-03-14 17:58:41\r\nfor K1QVN\r\n"
                     "Query:\r\n    QSL ONLY: YES\r\nQSL RX SINCE: 1900-01-01 00:00:00 (user supplied value)\r\n"
                     "  OWN CALL: K1QVN\r\n\r\n<PROGRAMID:4>LoTW\r\n<APP_LoTW_LASTQSL:19>2026-03-14 17:58:41\r\n"
                     + field("APP_LoTW_NUMREC", QByteArray::number(count)) + "\r\n<eoh>\r\n";
    std::vector<std::pair<qint64, QByteArray>> matched; // rowid, QSL date
    for (const Planned& p : plan) {
        const DemoData::Qso q = DemoData::qso(p.row, kSeed);
        out += record(q, p, random);
        if (p.kind != 2)
            matched.emplace_back(p.row + 1, p.qsl);
        if (out.size() > (1 << 20)) {
            file.write(out);
            out.clear();
        }
    }
    out += "<APP_LoTW_EOF>\r\n";
    file.write(out);
    if (!file.flush())
        throw std::runtime_error("cannot write the report");

    std::sort(matched.begin(), matched.end());
    QFile rows(folder + QStringLiteral("/matched.txt"));
    if (!rows.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw std::runtime_error("cannot write the matched rows");
    out.clear();
    for (const auto& [rowid, qsl] : matched) {
        out += QByteArray::number(rowid) + ' ' + qsl + '\n';
        if (out.size() > (1 << 20)) {
            rows.write(out);
            out.clear();
        }
    }
    rows.write(out);
}

bool exec(sqlite3* db, const char* sql)
{
    char* error = nullptr;
    const bool ok = sqlite3_exec(db, sql, nullptr, nullptr, &error) == SQLITE_OK;
    if (!ok)
        std::fprintf(stderr, "%s: %s\n", sql, error);
    sqlite3_free(error);
    return ok;
}

void prepareLog(const QString& path, qint64 count, Shape shape)
{
    DemoData::writeLog(path, count, kSeed);
    if (shape != Shape::EqualKeys)
        return;
    // Every row a copy of the first one's search columns.
    const DemoData::Qso q = DemoData::qso(0, kSeed);
    sqlite3* db = nullptr;
    sqlite3_open(path.toLocal8Bit().constData(), &db);
    const QByteArray sql = "UPDATE [QSO-TAB] SET [QSO-CALL]='" + q.call.toLatin1() + "', [QSO-DATE]='" + q.date.toLatin1()
                           + "', [QSO-TIME]='" + q.time.toLatin1() + "', [QSO-MODE]='" + q.mode.toLatin1()
                           + "', [QSO-BAND]='" + q.band.toLatin1() + "', [QSO-SUBMODE]='" + q.submode.toLatin1() + "'";
    exec(db, sql.constData());
    sqlite3_close(db);
}

struct FloorTimes
{
    double scan = 0;
    double update = 0;
    double report = 0;
    double total() const { return scan + update + report; }
};

// The floor on a fresh copy of the log: every column of every row read, the confirmed rows
// written in rowid order by one prepared statement in one transaction, the report read once.
FloorTimes measureFloor(const QString& log, const QString& folder)
{
    std::vector<std::pair<qint64, QByteArray>> rows;
    {
        QFile file(folder + QStringLiteral("/matched.txt"));
        if (file.open(QIODevice::ReadOnly)) {
            for (const QByteArray& line : file.readAll().split('\n')) {
                const qsizetype blank = line.indexOf(' ');
                if (blank > 0)
                    rows.emplace_back(line.left(blank).toLongLong(), line.mid(blank + 1));
            }
        }
    }
    FloorTimes t;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(log.toLocal8Bit().constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
        throw std::runtime_error("cannot open the floor's log");
    QElapsedTimer timer;
    timer.start();
    sqlite3_stmt* scan = nullptr;
    sqlite3_prepare_v2(db, "SELECT rowid, * FROM [QSO-TAB] ORDER BY rowid", -1, &scan, nullptr);
    const int columns = sqlite3_column_count(scan);
    qint64 bytes = 0;
    while (sqlite3_step(scan) == SQLITE_ROW) {
        for (int c = 0; c < columns; ++c) {
            if (sqlite3_column_type(scan, c) == SQLITE_INTEGER)
                bytes += sqlite3_column_int64(scan, c) & 1;
            else if (sqlite3_column_text(scan, c))
                bytes += sqlite3_column_bytes(scan, c);
        }
    }
    sqlite3_finalize(scan);
    t.scan = timer.nsecsElapsed() / 1e9;

    timer.restart();
    exec(db, "BEGIN IMMEDIATE");
    sqlite3_stmt* update = nullptr;
    sqlite3_prepare_v2(db,
                       "UPDATE [QSO-TAB] SET [QSO-CONFIRM] = ?, [QSO-LOTWREC] = ?, [QSO-AWARD] = ? WHERE rowid = ?",
                       -1, &update, nullptr);
    for (const auto& [rowid, qsl] : rows) {
        sqlite3_bind_text(update, 1, "2", 1, SQLITE_STATIC);
        sqlite3_bind_text(update, 2, qsl.constData(), int(qsl.size()), SQLITE_STATIC);
        sqlite3_bind_int(update, 3, 1);
        sqlite3_bind_int64(update, 4, rowid);
        if (sqlite3_step(update) != SQLITE_DONE)
            throw std::runtime_error(sqlite3_errmsg(db));
        sqlite3_reset(update);
    }
    sqlite3_finalize(update);
    exec(db, "COMMIT");
    t.update = timer.nsecsElapsed() / 1e9;
    sqlite3_close(db);

    timer.restart();
    QFile report(folder + QStringLiteral("/lotwreport.adi"));
    report.open(QIODevice::ReadOnly);
    std::vector<char> buffer(1 << 20);
    qint64 lines = 0;
    for (qint64 n; (n = report.read(buffer.data(), qint64(buffer.size()))) > 0;)
        lines += std::count(buffer.data(), buffer.data() + n, '\n');
    t.report = timer.nsecsElapsed() / 1e9;
    if (bytes < 0 || lines < 0)
        std::printf("?\n");
    return t;
}

// Monitor lines go where the batch command's go: to a stream, here a file or /dev/null.
class StreamMonitor : public EventMonitor
{
public:
    explicit StreamMonitor(const QString& path) : m_out(std::fopen(path.toLocal8Bit().constData(), "wb")) {}
    ~StreamMonitor() override { std::fclose(m_out); }
    void AddUploadEvent(const QString& text) override { write(text); }
    void AddDownloadEvent(const QString& text) override { write(text); }
    void ClearUploadMonitor() override {}
    void ClearDownloadMonitor() override {}
    void ShowCounters(const RunCounters&) override {}
    void SetStepIcon(Step, StepIcon) override {}
    void ShowMessage(const QString& text) override { std::fprintf(stderr, "message: %s\n", text.toLatin1().constData()); }
    void PumpMessages() override { ++pumps; }
    qint64 lines = 0;
    qint64 pumps = 0;

private:
    void write(const QString& text)
    {
        QByteArray bytes = text.toLatin1();
        bytes += '\n';
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), m_out);
        ++lines;
    }
    FILE* m_out;
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

// Every row of the log as text, in rowid order.
void dumpLog(const QString& log, const QString& path)
{
    sqlite3* db = nullptr;
    sqlite3_open_v2(log.toLocal8Bit().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, "SELECT rowid, * FROM [QSO-TAB] ORDER BY rowid", -1, &stmt, nullptr);
    FILE* out = std::fopen(path.toLocal8Bit().constData(), "wb");
    const int columns = sqlite3_column_count(stmt);
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        for (int c = 0; c < columns; ++c) {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, c));
            if (c)
                std::fputc('|', out);
            std::fputs(text ? text : "<null>", out);
        }
        std::fputc('\n', out);
    }
    std::fclose(out);
    sqlite3_finalize(stmt);
    sqlite3_close(db);
}

} // namespace

int main(int argc, char** argv)
{
    // As the program's own SQLite engine runs (it does not count SQLite's memory use), for the
    // floor and the import alike.
    sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 4) {
        std::fprintf(stderr, "usage: ImportBench prepare|run N FOLDER [--shape lotw|same|unmatched|equalkeys] "
                             "[--dump DIR] [--no-floor] [--no-undo] [--undo]\n"
                             "  --no-undo: the import keeps no before-images; --undo: then takes the import back\n");
        return 2;
    }
    const QString command = args.at(1);
    const qint64 count = args.at(2).toLongLong();
    Shape shape = Shape::Lotw;
    QString shapeName = QStringLiteral("lotw");
    QString dump;
    bool floor = true;
    bool keepUndo = true;
    bool undo = false;
    QString engine = QStringLiteral("sqlite");
    for (qsizetype i = 4; i < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--shape") && i + 1 < args.size()) {
            shapeName = args.at(++i);
            shape = shapeName == QLatin1String("same")        ? Shape::Same
                    : shapeName == QLatin1String("unmatched") ? Shape::Unmatched
                    : shapeName == QLatin1String("equalkeys") ? Shape::EqualKeys
                                                              : Shape::Lotw;
        } else if (args.at(i) == QLatin1String("--dump") && i + 1 < args.size()) {
            dump = args.at(++i);
        } else if (args.at(i) == QLatin1String("--no-floor")) {
            floor = false;
        } else if (args.at(i) == QLatin1String("--no-undo")) {
            keepUndo = false;
        } else if (args.at(i) == QLatin1String("--undo")) {
            undo = true;
        } else if (args.at(i) == QLatin1String("--engine") && i + 1 < args.size() && BenchEngineKnown(args.at(i + 1))) {
            engine = args.at(++i);
        } else {
            std::fprintf(stderr, "unknown argument %s\n", args.at(i).toLocal8Bit().constData());
            return 2;
        }
    }
    const QString folder = args.at(3) + QStringLiteral("/import-%1").arg(count)
                           + (shape == Shape::Lotw ? QString() : QLatin1Char('-') + shapeName);
    QDir().mkpath(folder);
    const QString pristine = folder + QStringLiteral("/pristine.sqlite");
    const QString log = folder + QStringLiteral("/log.sqlite");
    const QString floorLog = folder + QStringLiteral("/floor.sqlite");
    const QString reference = folder + QStringLiteral("/refdata.sqlite");

    QElapsedTimer timer;
    timer.start();
    if (command == QLatin1String("prepare")) {
        prepareLog(pristine, count, shape);
        DemoData::writeRefdata(reference);
        writeReport(folder, count, shape);
        std::printf("prepared %lld QSOs and records (%s) in %s: %.2f s\n", static_cast<long long>(count),
                    shapeName.toLatin1().constData(), folder.toLocal8Bit().constData(), double(timer.elapsed()) / 1000.0);
        return 0;
    }
    if (command != QLatin1String("run"))
        return 2;

    auto freshCopy = [&](const QString& to) {
        QFile::remove(to);
        QFile::remove(to + QStringLiteral("-journal"));
        if (!QFile::copy(pristine, to)) {
            std::fprintf(stderr, "run 'ImportBench prepare %lld' first\n", static_cast<long long>(count));
            std::exit(1);
        }
    };
    FloorTimes before, after;
    if (floor) {
        freshCopy(floorLog);
        before = measureFloor(floorLog, folder);
    }

    freshCopy(log);
    Options options;
    options.sourceMdbPath = BenchEngineLog(engine, log);
    options.refdataMdbPath = reference;
    options.errorFilePath = folder + QStringLiteral("/SemiQuorvaneErrors.txt");
    options.importedListPath = folder + QStringLiteral("/SemiQuorvaneImportedQSOs.txt");
    Choices choices;
    choices.ImportScope = 0;
    choices.OverwriteChoice = 0;
    FolderPaths paths(folder);
    QFile::remove(folder + QStringLiteral("/quorvane2.dat"));
    if (!dump.isEmpty())
        QDir().mkpath(dump);
    StreamMonitor monitor(dump.isEmpty() ? QStringLiteral("/dev/null") : dump + QStringLiteral("/monitor.txt"));

    timer.restart();
    bool ok = false;
    RunCounters shown;
    {
        ImportRun run(options, choices, paths, monitor);
        run.setKeepUndo(keepUndo);
        ok = run.OnLotwImport();
        shown = run.counters();
    }
    const double seconds = timer.nsecsElapsed() / 1e9;
    if (undo && keepUndo) {
        const std::vector<UndoEntry> runs = ListUndoRuns(folder);
        if (!runs.empty()) {
            timer.restart();
            const UndoResult result = UndoRunAt(runs.front(), options.sourceMdbPath);
            std::printf("undo of %lld rows: %.2f s (%lld restored, %lld left alone)\n",
                        static_cast<long long>(runs.front().rows), timer.nsecsElapsed() / 1e9,
                        static_cast<long long>(result.restored), static_cast<long long>(result.leftAlone));
        }
    }
    QDir(folder + QStringLiteral("/undo")).removeRecursively();

    if (floor) {
        freshCopy(floorLog);
        after = measureFloor(floorLog, folder);
        QFile::remove(floorLog);
    }
    std::printf("import of %lld records against %lld QSOs (%s, %s): %.2f s (%s)\n", static_cast<long long>(count),
                static_cast<long long>(count), shapeName.toLatin1().constData(), engine.toLatin1().constData(), seconds,
                ok ? "ran to its end" : "stopped");
    const QString counters = QStringLiteral("QSOs Read-in: %1  LoTW Recs Used: %2  QSOs w/errors: %3  New DXCC Credits: %4  "
                                            "Warnings: %5")
                                 .arg(shown.value(Counter::DownloadReadIn))
                                 .arg(shown.value(Counter::DownloadRecsUsed))
                                 .arg(shown.value(Counter::DownloadErrors))
                                 .arg(shown.value(Counter::DownloadNewDxcc))
                                 .arg(shown.value(Counter::DownloadWarnings));
    std::printf("%s  monitor lines: %lld\n", counters.toLatin1().constData(), static_cast<long long>(monitor.lines));
    if (floor) {
        const double mean = (before.total() + after.total()) / 2;
        std::printf("floor: %.2f s before, %.2f s after (scan %.2f + updates %.2f + report %.2f, then "
                    "%.2f + %.2f + %.2f)\n",
                    before.total(), after.total(), before.scan, before.update, before.report, after.scan, after.update,
                    after.report);
        std::printf("ratio to the floor: %.2f\n", seconds / mean);
    }
    if (!dump.isEmpty()) {
        QFile counterFile(dump + QStringLiteral("/counters.txt"));
        if (counterFile.open(QIODevice::WriteOnly | QIODevice::Truncate))
            counterFile.write(counters.toLatin1() + '\n');
        for (const char* name : {"SemiQuorvaneErrors.txt", "SemiQuorvaneImportedQSOs.txt", "quorvane2.dat"}) {
            QFile::remove(dump + QLatin1Char('/') + QLatin1String(name));
            QFile::copy(folder + QLatin1Char('/') + QLatin1String(name), dump + QLatin1Char('/') + QLatin1String(name));
        }
        dumpLog(log, dump + QStringLiteral("/log.txt"));
    }
    return ok ? 0 : 1;
}
