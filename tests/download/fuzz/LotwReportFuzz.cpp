// libFuzzer target: any bytes as a LoTW report, through the line reader, the tag parser, the
// county normalisation and the field rules. Built by build.sh (clang, not part of the test
// run); the corpus beside it holds a few realistic and a few broken reports.

#include "download/CountyTable.h"
#include "download/FieldRules.h"
#include "download/LineFile.h"
#include "download/LotwFieldRules.h"
#include "download/LotwRecordParser.h"
#include "download/LotwReportReader.h"
#include "platform/Errors.h"
#include "platform/ProblemLog.h"

#include <QBuffer>
#include <QDir>
#include <cstddef>
#include <cstdint>

namespace {
class QuietMonitor : public EventMonitor
{
public:
    void AddUploadEvent(const QString&) override {}
    void AddDownloadEvent(const QString& text) override { bytes += text.size(); }
    void ClearUploadMonitor() override {}
    void ClearDownloadMonitor() override {}
    void ShowCounters(const RunCounters&) override {}
    void SetStepIcon(Step, StepIcon) override {}
    void ShowMessage(const QString&) override {}
    qsizetype bytes = 0;
};

class SmallCountyTable : public CountyTable
{
public:
    bool CountyExists(const QString& state, const QString& county) override
    {
        return state == QLatin1String("MA") && county == QLatin1String("MIDDLESEX");
    }
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QuietMonitor monitor;
    RunCounters counters;
    ProblemLog problems(monitor, counters);
    SmallCountyTable counties;
    LotwRecordParser parser(counties, &problems);
    LineFile errors; // never created: a warning line must fail cleanly, not crash
    LotwReportReader reader(buffer);
    try {
        reader.read([] {},
                    [&](QByteArrayView chunk) {
                        if (!parser.ParseTag(chunk))
                            return;
                        LotwRecord& r = parser.record();
                        r.modeCode = ResolveSidebandMode(r.modeCode, r.bandCode);
                        FieldRules rules(r, int(size % 3) - 1, problems, errors);
                        const QString logged = QStringLiteral("FN42");
                        for (const QString* value : {&r.cqZone, &r.ituZone, &r.state, &r.county, &r.iota})
                            rules.apply(QStringLiteral("Field"), *value, QString());
                        rules.apply(QStringLiteral("GRID"), r.grid, logged, true);
                        ClearLotwRecord(r);
                    });
    } catch (const CFileException&) {
        // The error file is not open: the run would end with a file error here.
    }
    return 0;
}
