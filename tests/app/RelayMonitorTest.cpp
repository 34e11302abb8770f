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

// The choices go with the counters, as they stand when the batch is handed over.
TEST(RelayMonitor, TakesTheChoicesWithTheCountersAtTheHandOver)
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
    monitor.AddDownloadEvent(QStringLiteral("no counters shown"));
    monitor.handOver();
    monitor.ShowCounters(RunCounters());
    choices.choices().sinceDate = QStringLiteral("2026-03-14 17:58:41");
    monitor.handOver();
    ASSERT_EQ(batches.size(), 2u);
    EXPECT_FALSE(batches[0]->choices.has_value());
    ASSERT_TRUE(batches[1]->choices.has_value());
    EXPECT_EQ(batches[1]->choices->sinceDate, QStringLiteral("2026-03-14 17:58:41"));
}
