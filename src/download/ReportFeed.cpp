#include "ReportFeed.h"

#include "CountyTable.h"
#include "DbCountyTable.h"
#include "LotwFieldRules.h"
#include "platform/Varint.h"

#include <QIODevice>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <string>
#include <stop_token>
#include <thread>

namespace {
// Batches handed from the reading thread to the import: about this many bytes each, at most
// kQueued of them waiting. While the import reads the log, the reader goes on through the
// report: a million records take some 80 MiB here, so the waiting batches hold a good part of
// what the reader can do meanwhile.
constexpr std::size_t kBatchBytes = 64 * 1024;
constexpr std::size_t kQueued = 640;

enum Item : char { Lines = 'L', County = 'C', Record = 'R' };

// The texts of a record in the order they are handed over.
QString* Field(LotwRecord& r, int i)
{
    QString* fields[] = {&r.call,       &r.qsoDate,    &r.timeOn,     &r.bandCode,   &r.modeCode,
                         &r.state,      &r.cqZone,     &r.ituZone,    &r.iota,       &r.grid,
                         &r.county,     &r.stationCall, &r.qslDate,   &r.dxccCredit, &r.vuccCredit,
                         &r.wpxCredit,  &r.ownCall,    &r.dxcc,       &r.modeName,   &r.submodeName};
    return fields[i];
}
constexpr int kFields = 20;

QString* ProblemField(ProblemRecord& p, int i)
{
    QString* fields[] = {&p.call, &p.qsoDate, &p.timeOn, &p.bandCode, &p.modeCode, &p.state, &p.county};
    return fields[i];
}
constexpr int kProblemFields = 7;

// Numbers and lengths go over as Varint; none is negative.
void PutNumber(std::string& out, qint64 value)
{
    Varint::append(out, static_cast<std::uint64_t>(value));
}

qint64 GetNumber(const char*& in)
{
    return qint64(Varint::get(in));
}

// Every text of a record is Latin-1 (read from the report's bytes): one byte a character.
void PutText(std::string& out, const QString& text)
{
    PutNumber(out, text.size());
    const std::size_t at = out.size();
    out.resize(at + std::size_t(text.size()));
    char* p = out.data() + at;
    for (QChar c : text)
        *p++ = static_cast<char>(c.unicode());
}

QByteArrayView GetText(const char*& in)
{
    const qint64 size = GetNumber(in);
    const QByteArrayView text(in, size);
    in += size;
    return text;
}

// The county table of the parser on the reading thread: never asked, the hook answers.
class NoCounties : public CountyTable
{
public:
    bool CountyExists(const QString&, const QString&) override { return false; }
};
} // namespace

struct ReportFeed::Shared
{
    std::mutex mutex;
    std::condition_variable_any changed; // also woken when the reading is asked to stop
    std::deque<std::string> full;
    std::vector<std::string> spare;
    bool done = false;
    std::exception_ptr error;
    ReportShape shape;
    // Last, so that it is stopped and joined before what it uses goes.
    std::jthread thread;
};

ReportFeed::ReportFeed(QIODevice& report, const DbCountyTable& counties)
    : m_report(report), m_counties(counties), m_shared(new Shared)
{
}

ReportFeed::~ReportFeed()
{
    // The reading thread, if it still runs, is asked to stop and waited for.
    delete m_shared;
}

void ReportFeed::produce(std::stop_token stop)
{
    Shared& shared = *m_shared;
    std::string batch;
    batch.reserve(kBatchBytes + 4096);
    // Hands the batch over; false when the import wants no more.
    auto hand = [&]() {
        std::unique_lock<std::mutex> lock(shared.mutex);
        shared.changed.wait(lock, stop, [&] { return shared.full.size() < kQueued; });
        if (stop.stop_requested())
            return false;
        shared.full.push_back(std::move(batch));
        if (!shared.spare.empty()) {
            batch = std::move(shared.spare.back());
            shared.spare.pop_back();
        } else {
            batch = std::string();
            batch.reserve(kBatchBytes + 4096);
        }
        batch.clear();
        lock.unlock();
        shared.changed.notify_all();
        return true;
    };
    struct Stopped
    {
    };

    try {
        NoCounties noCounties;
        // The county hook below asks the import's thread: the parser writes no problem line.
        LotwRecordParser parser(noCounties, nullptr);
        qint64 lines = 0;
        qint64 questions = 0;
        qint64 countyQuestion = -1; // the question whose answer decides the record's county
        auto putLines = [&] {
            if (lines == 0)
                return;
            batch.push_back(Lines);
            PutNumber(batch, lines);
            PutNumber(batch, m_report.pos());
            lines = 0;
        };
        parser.setCountyHook([&](LotwRecord& r, bool toCheck) {
            countyQuestion = -1;
            if (!toCheck || m_counties.knownExactly(r.state, r.county))
                return;
            putLines();
            batch.push_back(County);
            for (const QString* text : {&r.call, &r.qsoDate, &r.timeOn, &r.bandCode, &r.modeCode, &r.state, &r.county})
                PutText(batch, *text);
            countyQuestion = questions++;
            if (batch.size() >= kBatchBytes && !hand())
                throw Stopped();
        });
        LotwReportReader reader(m_report);
        const ReportShape shape = reader.read([&] { ++lines; },
                                              [&](QByteArrayView chunk) {
                                                  if (!parser.ParseTag(chunk))
                                                      return;
                                                  putLines();
                                                  LotwRecord& r = parser.record();
                                                  batch.push_back(Record);
                                                  for (int i = 0; i < kFields; ++i)
                                                      PutText(batch, *Field(r, i));
                                                  PutNumber(batch, qint64(parser.stationCallSource()));
                                                  PutNumber(batch, countyQuestion + 1);
                                                  ClearLotwRecord(r);
                                                  countyQuestion = -1;
                                                  if (batch.size() >= kBatchBytes && !hand())
                                                      throw Stopped();
                                              });
        putLines();
        const std::lock_guard<std::mutex> lock(shared.mutex);
        shared.shape = shape;
    } catch (const Stopped&) {
        // The import stopped reading.
    } catch (...) {
        const std::lock_guard<std::mutex> lock(shared.mutex);
        shared.error = std::current_exception();
    }
    {
        const std::lock_guard<std::mutex> lock(shared.mutex);
        if (!batch.empty())
            shared.full.push_back(std::move(batch));
        shared.done = true;
    }
    shared.changed.notify_all();
}

void ReportFeed::decode(const std::string& batch, Consumer& consumer)
{
    const char* in = batch.data();
    const char* end = in + batch.size();
    while (in < end) {
        switch (*in++) {
        case Lines: {
            const qint64 count = GetNumber(in);
            consumer.lines(count, GetNumber(in));
            break;
        }
        case County: {
            for (int i = 0; i < kProblemFields; ++i)
                ReportBytes::SetLatin1(*ProblemField(m_problem, i), GetText(in));
            m_missing.push_back(!consumer.countyExists(m_problem));
            break;
        }
        case Record: {
            for (int i = 0; i < kFields; ++i)
                ReportBytes::SetLatin1(*Field(m_record, i), GetText(in));
            const auto source = LotwRecordParser::StationCallSource(GetNumber(in));
            const qint64 question = GetNumber(in) - 1;
            // A county the table doesn't hold is dropped, as the check drops it.
            if (question >= 0 && m_missing[std::size_t(question)])
                ReportBytes::Clear(m_record.county);
            consumer.record(m_record, source);
            break;
        }
        default:
            return;
        }
    }
}

ReportShape ReportFeed::run(Consumer& consumer)
{
    Shared& shared = *m_shared;
    m_missing.clear();
    shared.thread = std::jthread([this](std::stop_token stop) { produce(stop); });
    try {
        for (;;) {
            std::string batch;
            {
                std::unique_lock<std::mutex> lock(shared.mutex);
                shared.changed.wait(lock, [&] { return shared.done || !shared.full.empty(); });
                if (shared.full.empty())
                    break;
                batch = std::move(shared.full.front());
                shared.full.pop_front();
            }
            shared.changed.notify_all();
            decode(batch, consumer);
            const std::lock_guard<std::mutex> lock(shared.mutex);
            shared.spare.push_back(std::move(batch));
        }
    } catch (...) {
        shared.thread.request_stop();
        shared.thread.join();
        throw;
    }
    shared.thread.join();
    if (shared.error)
        std::rethrow_exception(shared.error);
    return shared.shape;
}
