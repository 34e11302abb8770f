#include "RelayMonitor.h"
#include "options/ChoiceModel.h"

#include <gtest/gtest.h>

namespace {
// A relay whose batches are kept, as the window would get them.
struct Relay
{
    RunChannel channel;
    std::vector<std::shared_ptr<MonitorBatch>> batches;
    RelayMonitor monitor{channel, [this](std::shared_ptr<MonitorBatch> batch) {
                             batches.push_back(std::move(batch));
                             channel.batchesInFlight.fetch_sub(1); // shown at once
                         },
                         nullptr};
};
} // namespace

// The counters of a batch are those last shown; a counter the run never showed is not in it.
TEST(RelayMonitor, HandsOverTheCountersAsLastShown)
{
    Relay relay;
    RunCounters counters;
    counters.set(Counter::UploadReadIn, 1);
    relay.monitor.ShowCounters(counters);
    counters.set(Counter::UploadReadIn, 2);
    counters.set(Counter::UploadAdifOut, 1);
    relay.monitor.ShowCounters(counters);
    counters.set(Counter::UploadAdifOut, 5); // not shown
    relay.monitor.handOver();
    ASSERT_EQ(relay.batches.size(), 1u);
    const MonitorBatch& batch = *relay.batches[0];
    EXPECT_TRUE(batch.countersShown);
    EXPECT_EQ(batch.counters.value(Counter::UploadReadIn), 2);
    EXPECT_EQ(batch.counters.value(Counter::UploadAdifOut), 1);
    EXPECT_FALSE(batch.counters.isSet(Counter::DownloadReadIn));

    // A batch without a showing shows no counters.
    relay.monitor.AddDownloadEvent(QStringLiteral("line"));
    relay.monitor.handOver();
    ASSERT_EQ(relay.batches.size(), 2u);
    EXPECT_FALSE(relay.batches[1]->countersShown);
}

// Lines, clears and icons keep their order; the choices go with the counters, as they stand
// when the batch is handed over.
TEST(RelayMonitor, KeepsTheOrderAndTakesTheChoicesAtTheHandOver)
{
    RunChannel channel;
    std::vector<std::shared_ptr<MonitorBatch>> batches;
    Options options;
    ChoiceModel choices(options);
    RelayMonitor monitor(
        channel,
        [&](std::shared_ptr<MonitorBatch> batch) {
            batches.push_back(std::move(batch));
            channel.batchesInFlight.fetch_sub(1);
        },
        &choices);
    monitor.ClearDownloadMonitor();
    monitor.AddDownloadEvent(QStringLiteral("one"));
    monitor.SetStepIcon(Step::ProblemPointer, StepIcon::Blank);
    monitor.AddUploadEvent(QStringLiteral("two"));
    monitor.SetStepIcon(Step::ProblemPointer, StepIcon::RedArrow);
    monitor.ShowCounters(RunCounters());
    choices.choices().sinceDate = QStringLiteral("2026-03-14 17:58:41");
    monitor.handOver();
    ASSERT_EQ(batches.size(), 1u);
    const MonitorBatch& batch = *batches[0];
    ASSERT_EQ(batch.lines.size(), 3u);
    EXPECT_EQ(batch.lines[0].kind, MonitorBatch::Kind::ClearDownload);
    EXPECT_EQ(batch.lines[1].text, QStringLiteral("one"));
    EXPECT_EQ(batch.lines[2].kind, MonitorBatch::Kind::AddUpload);
    EXPECT_EQ(batch.icons, (std::vector<std::pair<Step, StepIcon>>{{Step::ProblemPointer, StepIcon::Blank},
                                                                  {Step::ProblemPointer, StepIcon::RedArrow}}));
    ASSERT_TRUE(batch.choices.has_value());
    EXPECT_EQ(batch.choices->sinceDate, QStringLiteral("2026-03-14 17:58:41"));
}
