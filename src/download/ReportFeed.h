#pragma once

#include "LotwRecord.h"
#include "LotwRecordParser.h"
#include "LotwReportReader.h"
#include "platform/ProblemLog.h"

#include <QtGlobal>
#include <stop_token>

class DbCountyTable;
class QIODevice;

// The LoTW report read and cut into records on a thread of its own, so that the reading of
// the next records goes on while the import decides about the ones before. What the reader
// meets between the records (the lines it starts, the counties the county table must be asked
// about) comes out at its place among them: the import sees the report exactly as if it read
// it itself, on its own thread.
class ReportFeed
{
public:
    class Consumer
    {
    public:
        virtual ~Consumer() = default;
        // The reader started count lines before the next item; position: how far into the
        // report it had read then (bytes).
        virtual void lines(qint64 count, qint64 position) = 0;
        // A CNTY value gave a county the table must be asked about: the record as read so far
        // (its state and county are the pair). Returns whether the table holds the pair; a
        // county it doesn't hold is dropped from the record.
        virtual bool countyExists(const ProblemRecord& record) = 0;
        // The end of a record, with its fields as read and where its station call came from.
        virtual void record(LotwRecord& record, LotwRecordParser::StationCallSource source) = 0;
    };

    // counties: asked on the reading thread through knownExactly() alone; a pair it doesn't
    // know goes to the consumer.
    ReportFeed(QIODevice& report, const DbCountyTable& counties);
    ~ReportFeed();
    ReportFeed(const ReportFeed&) = delete;
    ReportFeed& operator=(const ReportFeed&) = delete;

    // Reads the whole report and hands its items to the consumer in order, on the calling
    // thread. Throws what the reading threw, after the items read before it; what the
    // consumer throws ends the reading and comes out as it is.
    ReportShape run(Consumer& consumer);

private:
    struct Shared;
    void produce(std::stop_token stop);
    void decode(const std::string& batch, Consumer& consumer);

    QIODevice& m_report;
    const DbCountyTable& m_counties;
    Shared* m_shared;
    LotwRecord m_record;         // the consumer's record, its texts reused
    ProblemRecord m_problem;     // the record a county question is about
    std::vector<bool> m_missing; // county questions answered "not in the table"
};
