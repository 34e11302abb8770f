#include "ReceiptCheck.h"

#include "LineFile.h"
#include "LotwFieldRules.h"
#include "LotwReportReader.h"
#include "ReportRequest.h"
#include "logdb/Connection.h"
#include "logdb/QsoTable.h"
#include "lotw/LotwAddress.h"
#include "lotw/ReportDownload.h"
#include "platform/Errors.h"
#include "platform/EventMonitor.h"
#include "platform/Paths.h"
#include "undo/UndoJournal.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QUrlQuery>
#include <vector>

namespace {


bool IsSpaceByte(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// A report chunk ("NAME:LEN>value") cut into its upper-case name and its value: the declared
// length of it when the chunk holds that many bytes, otherwise all of it, trimmed.
void CutChunk(QByteArrayView chunk, QByteArray& name, QByteArrayView& value)
{
    while (!chunk.isEmpty() && IsSpaceByte(chunk.back()))
        chunk.chop(1);
    const qsizetype close = chunk.indexOf('>');
    const qsizetype colon = chunk.indexOf(':');
    const qsizetype nameEnd = colon >= 0 && (close < 0 || colon < close) ? colon : close < 0 ? chunk.size() : close;
    name = chunk.first(nameEnd).toByteArray().toUpper();
    if (name == "EOR") // "<eor>" with its ">" cut off as the name's end
        name = "EOR>";
    value = close < 0 ? QByteArrayView() : chunk.sliced(close + 1);
    if (colon >= 0 && colon < close) {
        qsizetype length = 0;
        qsizetype i = colon + 1;
        for (; i < close && chunk[i] >= '0' && chunk[i] <= '9' && length < (1 << 20); ++i)
            length = length * 10 + (chunk[i] - '0');
        if (i > colon + 1 && length <= value.size())
            value = value.first(length);
    }
    while (!value.isEmpty() && IsSpaceByte(value.front()))
        value = value.sliced(1);
    while (!value.isEmpty() && IsSpaceByte(value.back()))
        value.chop(1);
}

// What a received QSO is matched by.
QString MatchKey(const QString& call, const QString& date, const QString& time, const QString& bandCode,
                 const QString& group)
{
    return call.trimmed().toUpper() + QLatin1Char('|') + date.trimmed() + QLatin1Char('|') + time.trimmed().left(4)
           + QLatin1Char('|') + bandCode.trimmed() + QLatin1Char('|') + group;
}

// A row a kept upload marked that still holds the mark.
struct Marked
{
    RowKey key;
    QVariant mark;  // "2" or "3"
    QVariant due;   // what it held before: "0" or "1"
    QString line;   // "CALL DATE TIME BANDm MODE"
    int run;        // index of its upload
    QStringList identity; // its call, date, time, band and mode as the log holds them
};

} // namespace

QString ModeGroupOfCode(const QString& modeCode)
{
    const QString code = modeCode.trimmed();
    if (code == QLatin1String("2"))
        return QStringLiteral("CW");
    if (code == QLatin1String("0") || code == QLatin1String("1") || code == QLatin1String("3") || code == QLatin1String("4"))
        return QStringLiteral("PHONE");
    if (code == QLatin1String("7"))
        return QStringLiteral("IMAGE");
    return QStringLiteral("DATA");
}

QString ModeGroupOfMode(const QString& mode)
{
    static const QSet<QString> phone = {QStringLiteral("SSB"), QStringLiteral("USB"), QStringLiteral("LSB"),
                                        QStringLiteral("AM"),  QStringLiteral("FM"),  QStringLiteral("PHONE"),
                                        QStringLiteral("DIGITALVOICE"), QStringLiteral("DSTAR"), QStringLiteral("C4FM")};
    static const QSet<QString> image = {QStringLiteral("SSTV"), QStringLiteral("FAX"), QStringLiteral("ATV"),
                                        QStringLiteral("IMAGE")};
    const QString m = mode.trimmed().toUpper();
    if (m == QLatin1String("CW"))
        return QStringLiteral("CW");
    if (phone.contains(m))
        return QStringLiteral("PHONE");
    if (image.contains(m))
        return QStringLiteral("IMAGE");
    return QStringLiteral("DATA");
}

ReceiptCheck::ReceiptCheck(const Options& options, const Choices& choices, const Paths& paths, EventMonitor& monitor)
    : m_options(options), m_choices(choices), m_paths(paths), m_monitor(monitor)
{
}

bool ReceiptCheck::fail(const QString& message)
{
    m_monitor.AddUploadEvent(message.section(QLatin1Char('\n'), 0, 0));
    m_monitor.SetStepIcon(Step::ProblemPointer, StepIcon::RedArrow);
    m_monitor.ShowMessage(message);
    return false;
}

bool ReceiptCheck::run()
{
    m_received = m_missing = m_madeDue = 0;
    m_url = QUrl();
    const QDateTime now = m_now.isValid() ? m_now : QDateTime::currentDateTime();
    m_monitor.ClearUploadMonitor();
    m_monitor.SetStepIcon(Step::ProblemPointer, StepIcon::Blank);
    const QString unchanged = QStringLiteral("Nothing was changed.");

    // The uploads kept for this log that LoTW has not yet been found to hold whole, oldest first.
    std::vector<UndoEntry> runs;
    for (const UndoEntry& entry : ListUndoRuns(m_paths.dataFolder())) {
        if (entry.kind == QLatin1String("upload") && entry.canBeUndone() && entry.logPath == m_options.sourceMdbPath
            && !entry.verified.isValid())
            runs.insert(runs.begin(), entry);
    }
    if (runs.empty()) {
        m_monitor.AddUploadEvent(QStringLiteral("No kept upload waits for LoTW's word: every upload kept for this log "
                                                "is known to be held by LoTW, or none is kept."));
        return true;
    }

    // LoTW's report of the QSOs it received since then.
    QString problem;
    LotwAddress::base(&problem);
    if (!problem.isEmpty())
        return fail(problem + QStringLiteral(". LoTW was not asked.\n") + unchanged);
    const QString since = runs.front().time.toUTC().addSecs(-3600 * kSinceMarginHours).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    QUrlQuery query;
    const auto add = [&query](const char* name, const QString& value) {
        query.addQueryItem(QString::fromLatin1(name), LotwAddress::queryValue(value));
    };
    add("qso_query", QStringLiteral("1"));
    add("login", m_choices.CurrentLoginCall);
    add("password", m_choices.CurrentPassword);
    add("qso_qsl", QStringLiteral("no"));
    add("qso_qsorxsince", since);
    add("qso_withown", QStringLiteral("yes"));
    if (!m_choices.AnyCall)
        add("qso_owncall", m_choices.DownloadCall);
    m_url = LotwAddress::at(QStringLiteral("/lotwuser/lotwreport.adi"), query);
    m_monitor.AddUploadEvent(QStringLiteral("Asking LoTW (%1) which QSOs of %2 it received since %3 UTC")
                                 .arg(HostText(m_url), m_choices.CurrentLoginCall, since));
    QDir().mkpath(m_paths.dataFolder());
    const QString answerPath = m_paths.join(m_paths.dataFolder(), QStringLiteral("lotwreceived.adi"));
    const ReportDownload answer = DownloadReport(m_url, answerPath, m_choices.CurrentLoginCall, m_monitor, m_limits);
    if (answer.result == ReportDownload::Result::Stopped) {
        m_monitor.AddUploadEvent(QStringLiteral("Stopped by the operator"));
        return false;
    }
    if (answer.result != ReportDownload::Result::Saved)
        return fail(answer.message + QLatin1Char('\n') + unchanged);

    // The QSOs LoTW holds, by what they are matched with.
    QSet<QString> held;
    {
        QFile file(answerPath);
        if (!file.open(QIODevice::ReadOnly))
            return fail(QStringLiteral("%1 cannot be read: %2").arg(answerPath, file.errorString()));
        QString call, date, time, band, mode, group;
        QByteArray name;
        QByteArrayView value;
        LotwReportReader reader(file);
        try {
            reader.read([] {},
                        [&](QByteArrayView chunk) {
                            CutChunk(chunk, name, value);
                            const QString text = QString::fromLatin1(value);
                            if (name == "CALL")
                                call = text;
                            else if (name == "QSO_DATE")
                                date = text;
                            else if (name == "TIME_ON")
                                time = text;
                            else if (name == "BAND")
                                band = ReportBytes::LotwBandTable(value);
                            else if (name == "MODE")
                                mode = text;
                            else if (name == "APP_LOTW_MODEGROUP")
                                group = text.trimmed().toUpper();
                            else if (name == "EOR>") {
                                held.insert(MatchKey(call, date, time, band, group.isEmpty() ? ModeGroupOfMode(mode) : group));
                                call.clear(); date.clear(); time.clear(); band.clear(); mode.clear(); group.clear();
                            }
                        });
        } catch (const CFileException& e) {
            return fail(e.description() + QLatin1Char('\n') + unchanged);
        }
    }

    // The rows the kept uploads marked, as the log holds them now.
    std::vector<Marked> missing;
    std::vector<long> stillMarked(runs.size(), 0);
    std::vector<long> heldOfRun(runs.size(), 0);
    std::shared_ptr<Connection> log;
    // A wait for another program that holds the log is said while the run reads and writes it.
    struct NoticeEnd
    {
        std::shared_ptr<Connection>& log;
        ~NoticeEnd()
        {
            if (log)
                log->setWaitNotice(nullptr);
        }
    } noticeEnd{log};
    const std::vector<ColumnSpec> columns = QsoTable::columns(
        {QsoColumn::Call, QsoColumn::Date, QsoColumn::Time, QsoColumn::Band, QsoColumn::Mode, QsoColumn::Qsls});
    EventMonitor& monitor = m_monitor;
    try {
        log = Connection::open(m_options.sourceMdbPath);
        log->setWaitNotice(WaitNotice(m_monitor, true, m_options.sourceMdbPath));
        for (size_t r = 0; r < runs.size(); ++r) {
            std::vector<ColumnSpec> kept;
            long rows = 0;
            QString damaged;
            const bool read = ReadUndoRows(
                runs[r], kept,
                [&](const RowKey& key, const QVariantList& before, const QVariantList& after) {
                    if ((++rows & 0xff) == 0)
                        monitor.PumpMessages();
                    const qsizetype at = [&] {
                        for (size_t c = 0; c < kept.size(); ++c)
                            if (kept[c].name == QsoTable::column(QsoColumn::Qsls).name)
                                return qsizetype(c);
                        return qsizetype(-1);
                    }();
                    if (at < 0)
                        return;
                    const QString mark = after.value(at).toString();
                    if (!SentMark::isMarked(mark))
                        return;
                    std::unique_ptr<Cursor> row = log->selectByKey(QsoTable::name(), columns, key);
                    if (!row->next() || row->text(5).trimmed() != mark)
                        return; // taken back or made due again since
                    ++stillMarked[r];
                    const QString band = row->text(3).trimmed();
                    const QString mode = row->text(4).trimmed();
                    if (held.contains(MatchKey(row->text(0), row->text(1), row->text(2), band, ModeGroupOfCode(mode)))) {
                        ++heldOfRun[r];
                        ++m_received;
                        return;
                    }
                    BandModeTexts& texts = m_problems.texts;
                    DecodeBandMode(band, mode, texts);
                    const QString line = row->text(0).trimmed() + QLatin1Char(' ') + row->text(1).trimmed() + QLatin1Char(' ')
                                         + row->text(2).trimmed() + QLatin1Char(' ') + texts.band + QStringLiteral("m ")
                                         + texts.mode;
                    missing.push_back({key, after.value(at), before.value(at), line, int(r),
                                       {row->text(0), row->text(1), row->text(2), row->text(3), row->text(4)}});
                },
                damaged);
            if (!read)
                return fail(QStringLiteral("The kept upload %1 cannot be read: %2.\n").arg(runs[r].time.toString(Qt::ISODate), damaged)
                            + unchanged);
            if (monitor.StopRequested()) {
                monitor.AddUploadEvent(QStringLiteral("Stopped by the operator"));
                return false;
            }
        }
    } catch (const CDbException& e) {
        return fail(QStringLiteral("The log could not be read: %1\n").arg(e.description()) + unchanged);
    }
    m_missing = long(missing.size());

    // What LoTW holds, then what it does not, a line per QSO (in the error file too).
    LineFile errors;
    errors.create(m_options.errorFilePath);
    try {
        const QString summary = QStringLiteral("LoTW holds %1 of the %2 QSOs that the kept uploads since %3 marked as "
                                               "sent; %4 not yet.")
                                    .arg(m_received)
                                    .arg(m_received + m_missing)
                                    .arg(runs.front().time.toString(QStringLiteral("yyyy-MM-dd HH:mm")))
                                    .arg(m_missing);
        m_monitor.AddUploadEvent(summary);
        errors.writeLine(summary);
        for (const Marked& m : missing) {
            const QString line = m.line + QStringLiteral("  ** not received by LoTW ** (upload of %1)")
                                              .arg(runs[size_t(m.run)].time.toString(QStringLiteral("yyyy-MM-dd HH:mm")));
            m_monitor.AddUploadEvent(line);
            errors.writeLine(line);
        }
        for (size_t r = 0; r < runs.size(); ++r) {
            const long waiting = stillMarked[r] - heldOfRun[r];
            const qint64 minutes = runs[r].time.secsTo(now) / 60;
            if (waiting > 0 && minutes < kProcessingHours * 60) {
                const QString line = QStringLiteral("Note: the upload of %1 is only %2 minutes old; LoTW may still be "
                                                    "processing its %3 QSOs not held yet. Check again in a few hours.")
                                         .arg(runs[r].time.toString(QStringLiteral("yyyy-MM-dd HH:mm")))
                                         .arg(qMax<qint64>(0, minutes))
                                         .arg(waiting);
                m_monitor.AddUploadEvent(line);
                errors.writeLine(line);
            }
        }
        errors.commitLines();
    } catch (const CFileException& e) {
        return fail(e.description());
    }
    if (m_missing > 0)
        m_monitor.SetStepIcon(Step::ProblemPointer, StepIcon::RedArrow);

    // An upload LoTW holds whole is not asked about again.
    for (size_t r = 0; r < runs.size(); ++r) {
        if (heldOfRun[r] == stillMarked[r])
            SetUndoRunVerified(runs[r], now);
    }

    if (m_redue && !missing.empty()) {
        const std::vector<ColumnSpec> qsls = QsoTable::columns({QsoColumn::Qsls});
        std::unique_ptr<UndoJournal> journal;
        std::vector<size_t> notWritten;
        try {
            journal = UndoJournal::begin(m_paths.dataFolder(), QStringLiteral("redue"), m_options.sourceMdbPath, qsls);
            for (const Marked& m : missing)
                journal->add(m.key, {m.mark}, {m.due}, m.identity);
            journal->seal();
        } catch (const CFileException& e) {
            return fail(e.description() + QStringLiteral(": no QSO was made due again."));
        } catch (const CDbException& e) {
            if (journal)
                journal->discard();
            return fail(e.description() + QStringLiteral(": no QSO was made due again."));
        }
        try {
            log->beginTransaction();
            const std::unique_ptr<ConditionalUpdate> update = log->prepareUpdateIfUnchanged(QsoTable::name(), qsls, qsls);
            for (size_t i = 0; i < missing.size(); ++i) {
                if (!update->run(missing[i].key, {missing[i].due}, {missing[i].mark}))
                    notWritten.push_back(i);
            }
            log->commit();
        } catch (const CDbException& e) {
            try {
                log->rollback();
            } catch (const CDbException&) {
            }
            journal->discard();
            return fail(QStringLiteral("The log could not be changed: %1\nNo QSO was made due again.").arg(e.description()));
        }
        journal->finish(notWritten);
        m_madeDue = long(missing.size() - notWritten.size());
        m_monitor.AddUploadEvent(QStringLiteral("Made %1 QSOs due again: the next upload sends them to LoTW once more "
                                                "(\"Undo last upload/import...\" takes this back).")
                                     .arg(m_madeDue));
        for (size_t i : notWritten)
            m_monitor.AddUploadEvent(missing[i].line + QStringLiteral("  left as it is: changed by another program since"));
    }
    return true;
}
