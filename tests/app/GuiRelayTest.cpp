#include "GuiRelay.h"
#include "RelayMonitor.h"
#include "support/Fakes.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

namespace {
QString S(const char* text)
{
    return QString::fromLatin1(text);
}

// The keyring and the desktop of the window's thread, noting the thread each call came on.
class ThreadKeyring : public FakeKeyring
{
public:
    Answer read(const QString& key, QString& secret) override
    {
        threads.push_back(QThread::currentThread());
        return FakeKeyring::read(key, secret);
    }
    Answer write(const QString& key, const QString& secret) override
    {
        threads.push_back(QThread::currentThread());
        return FakeKeyring::write(key, secret);
    }
    Answer remove(const QString& key) override
    {
        threads.push_back(QThread::currentThread());
        return FakeKeyring::remove(key);
    }
    std::vector<QThread*> threads;
};

class ThreadDesktop : public FakeDesktop
{
public:
    bool openUrl(const QString& address) override
    {
        threads.push_back(QThread::currentThread());
        return FakeDesktop::openUrl(address);
    }
    bool openFile(const QString& path) override
    {
        threads.push_back(QThread::currentThread());
        return FakeDesktop::openFile(path);
    }
    void setClipboardText(const QString& text) override
    {
        threads.push_back(QThread::currentThread());
        FakeDesktop::setClipboardText(text);
    }
    void pause(int milliseconds) override
    {
        threads.push_back(QThread::currentThread());
        FakeDesktop::pause(milliseconds);
    }
    bool hasClipboard() const override { return clipboardThere; }
    bool clipboardThere = true;
    std::vector<QThread*> threads;
};

class ThreadMessageBox : public FakeMessageBox
{
public:
    void show(const QString& text) override
    {
        threads.push_back(QThread::currentThread());
        FakeMessageBox::show(text);
    }
    void inform(const QString& text) override
    {
        threads.push_back(QThread::currentThread());
        informed.append(text);
    }
    bool ask(const QString& text) override
    {
        threads.push_back(QThread::currentThread());
        return FakeMessageBox::ask(text);
    }
    QStringList informed;
    std::vector<QThread*> threads;
};

class GuiRelayTest : public ::testing::Test
{
protected:
    QObject window; // an object of the window's thread
    std::atomic<bool> abandoned{false};
    ThreadKeyring keyring;
    ThreadDesktop desktop;
    ThreadMessageBox messages;
};

// Every call of a worker thread is carried out on the window's thread, and its answer comes
// back to the worker: the keyring's secrets and answers, the browser's and viewer's results,
// the operator's answer to a question.
TEST_F(GuiRelayTest, WorkerCallsRunOnTheWindowsThreadAndGetTheirAnswers)
{
    desktop.ring = &keyring;
    desktop.noViewer = true;
    keyring.secrets[S("K1ABC")] = S("pass word");
    messages.answer = true;
    RelayDesktop relay(desktop, &window, abandoned);
    RelayMessageBox boxes(messages, &window, abandoned);
    ASSERT_NE(relay.keyring(), nullptr);

    struct Answers
    {
        Keyring::Answer found, missing, written, removed, removedAgain;
        QString secret, untouched = S("as it was");
        bool url = false, file = true, asked = false, clipboard = false;
        QThread* thread = nullptr;
    } a;
    RunOnWorkerThread([&] {
        a.thread = QThread::currentThread();
        Keyring& ring = *relay.keyring();
        a.found = ring.read(S("K1ABC"), a.secret);
        a.missing = ring.read(S("W1AW"), a.untouched);
        a.written = ring.write(S("W1AW"), S("new"));
        a.removed = ring.remove(S("K1ABC"));
        a.removedAgain = ring.remove(S("K1ABC"));
        a.url = relay.openUrl(S("https://lotw.arrl.org/lotwuser/default"));
        a.file = relay.openFile(S("/tmp/LoTWUpload.adi"));
        relay.setClipboardText(S("C:\\quorvane260\\lotwreport.adi"));
        relay.pause(1);
        a.clipboard = relay.hasClipboard();
        boxes.show(S("shown"));
        boxes.inform(S("informed"));
        a.asked = boxes.ask(S("Stop?"));
    });
    EXPECT_NE(a.thread, window.thread());
    EXPECT_EQ(a.found, Keyring::Answer::Done);
    EXPECT_EQ(a.secret, S("pass word"));
    EXPECT_EQ(a.missing, Keyring::Answer::NotFound);
    EXPECT_EQ(a.untouched, S("as it was")); // only a secret found is handed back
    EXPECT_EQ(a.written, Keyring::Answer::Done);
    EXPECT_EQ(a.removed, Keyring::Answer::Done);
    EXPECT_EQ(a.removedAgain, Keyring::Answer::NotFound);
    EXPECT_EQ(keyring.secrets, (std::map<QString, QString>{{S("W1AW"), S("new")}}));
    EXPECT_TRUE(a.url);
    EXPECT_FALSE(a.file);
    EXPECT_TRUE(a.clipboard);
    EXPECT_EQ(desktop.events, (QStringList{S("url:https://lotw.arrl.org/lotwuser/default"),
                                           S("file:/tmp/LoTWUpload.adi"),
                                           S("clip:C:\\quorvane260\\lotwreport.adi"), S("pause:1")}));
    EXPECT_EQ(messages.shown, QStringList{S("shown")});
    EXPECT_EQ(messages.informed, QStringList{S("informed")});
    EXPECT_EQ(messages.asked, QStringList{S("Stop?")});
    EXPECT_TRUE(a.asked);
    for (const auto* threads : {&keyring.threads, &desktop.threads, &messages.threads}) {
        EXPECT_FALSE(threads->empty());
        for (QThread* thread : *threads)
            EXPECT_EQ(thread, window.thread());
    }
}

// The keyring's "no keyring" comes back as it is, with the keyring's reason; a desktop without
// a keyring has no relayed one either.
TEST_F(GuiRelayTest, KeyringWithoutAnswerAndDesktopWithoutKeyring)
{
    keyring.answers = false;
    desktop.ring = &keyring;
    desktop.clipboardThere = false;
    RelayDesktop relay(desktop, &window, abandoned);
    Keyring::Answer answer = Keyring::Answer::Done;
    QString secret = S("kept");
    bool clipboard = true;
    RunOnWorkerThread([&] {
        answer = relay.keyring()->read(S("K1ABC"), secret);
        clipboard = relay.hasClipboard();
    });
    EXPECT_EQ(answer, Keyring::Answer::NoKeyring);
    EXPECT_EQ(secret, S("kept"));
    EXPECT_EQ(relay.keyring()->lastProblem(), S("no keyring daemon"));
    EXPECT_FALSE(clipboard);

    FakeDesktop plain;
    RelayDesktop none(plain, &window, abandoned);
    EXPECT_EQ(none.keyring(), nullptr);
}

// On the window's thread itself a call is carried out at once, without an event loop.
TEST_F(GuiRelayTest, CallOnTheWindowsThreadRunsAtOnce)
{
    keyring.secrets[S("K1ABC")] = S("secret");
    RelayKeyring relay(keyring, &window, abandoned);
    QString secret;
    EXPECT_EQ(relay.read(S("K1ABC"), secret), Keyring::Answer::Done);
    EXPECT_EQ(secret, S("secret"));
    ASSERT_EQ(keyring.threads.size(), 1u);
    EXPECT_EQ(keyring.threads[0], QThread::currentThread());
}

// The window goes away while a worker waits for it: the wait ends with the fallback answer
// (no browser, no keyring, "No"); the call, should the window still carry it out, writes
// nothing of the worker's.
TEST_F(GuiRelayTest, AbandonedWaitEndsWithTheFallback)
{
    keyring.secrets[S("K1ABC")] = S("secret");
    desktop.ring = &keyring;
    messages.answer = true;
    RelayDesktop relay(desktop, &window, abandoned);
    RelayMessageBox boxes(messages, &window, abandoned);

    auto secret = std::make_unique<QString>(S("unread"));
    Keyring::Answer answer = Keyring::Answer::Done;
    bool url = true;
    bool asked = true;
    std::atomic<bool> waiting{false};
    std::atomic<bool> done{false};
    std::thread worker([&] {
        waiting = true;
        answer = relay.keyring()->read(S("K1ABC"), *secret);
        url = relay.openUrl(S("https://lotw.arrl.org/"));
        asked = boxes.ask(S("Stop?"));
        done = true;
    });
    // The window's thread is busy elsewhere (delivers no events), then goes away.
    while (!waiting)
        QThread::msleep(1);
    QThread::msleep(100);
    EXPECT_FALSE(done);
    abandoned = true;
    worker.join();
    EXPECT_EQ(answer, Keyring::Answer::NoKeyring);
    EXPECT_FALSE(url);
    EXPECT_FALSE(asked);
    EXPECT_EQ(*secret, S("unread"));
    // The calls queued meanwhile may still run; they use nothing the worker owned.
    secret.reset();
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(&window);
    SUCCEED();
}

// The window stays alive while the work runs: its timers fire, and what the work asks of the
// window's thread is carried out meanwhile.
TEST_F(GuiRelayTest, RunOnWorkerThreadKeepsTheWindowsEventsGoing)
{
    std::atomic<bool> timerFired{false};
    bool sawTimer = false;
    RunOnWorkerThread([&] {
        QTimer::singleShot(0, &window, [&] { timerFired = true; });
        QElapsedTimer clock;
        clock.start();
        while (!timerFired && clock.elapsed() < 10000)
            QThread::msleep(1);
        sawTimer = timerFired;
    });
    EXPECT_TRUE(sawTimer);
}

// What the work throws comes out of RunOnWorkerThread on the calling thread, whole.
TEST_F(GuiRelayTest, RunOnWorkerThreadThrowsWhatTheWorkThrew)
{
    try {
        RunOnWorkerThread([] { throw std::runtime_error("the work failed"); });
        ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "the work failed");
    }
    bool ran = false;
    EXPECT_NO_THROW(RunOnWorkerThread([&] { ran = true; }));
    EXPECT_TRUE(ran);
}

// The run's monitor on its worker thread: what it is told reaches the window in the order
// told, a message at once; the stop flag and the progress are read without a batch.
TEST(RelayMonitorTest, BatchesCarryWhatWasToldInOrder)
{
    RunChannel channel;
    std::vector<std::shared_ptr<MonitorBatch>> batches;
    RelayMonitor monitor(channel, [&](std::shared_ptr<MonitorBatch> batch) {
        batches.push_back(std::move(batch));
        channel.batchesInFlight.fetch_sub(1); // shown at once
    }, nullptr);

    monitor.ClearDownloadMonitor();
    monitor.AddDownloadEvent(S("first"));
    monitor.AddUploadLines("a\r\n");
    monitor.AddUploadLines("b\r\n");
    monitor.AddDownloadEvent(S("second"));
    monitor.SetStepIcon(Step::ProblemPointer, StepIcon::RedArrow);
    EXPECT_TRUE(batches.empty()); // not asked for yet
    monitor.ShowMessage(S("a message"));
    ASSERT_EQ(batches.size(), 1u);
    const MonitorBatch& first = *batches[0];
    ASSERT_EQ(first.lines.size(), 4u);
    EXPECT_EQ(first.lines[0].kind, MonitorBatch::Kind::ClearDownload);
    EXPECT_EQ(first.lines[1].text, S("first"));
    EXPECT_EQ(first.lines[2].kind, MonitorBatch::Kind::AddUploadUtf8);
    EXPECT_EQ(first.lines[2].utf8, "a\r\nb\r\n"); // upload lines one after another share a text
    EXPECT_EQ(first.lines[3].text, S("second"));
    EXPECT_EQ(first.icons, (std::vector<std::pair<Step, StepIcon>>{{Step::ProblemPointer, StepIcon::RedArrow}}));
    EXPECT_EQ(first.messages, QStringList{S("a message")});
    EXPECT_EQ(first.informational, std::vector<bool>{false});

    // The window asks; the next report hands over what waits. Nothing empty is handed over.
    channel.linesWanted = true;
    monitor.AddDownloadEvent(S("third"));
    ASSERT_EQ(batches.size(), 2u);
    EXPECT_EQ(batches[1]->lines.size(), 1u);
    EXPECT_FALSE(channel.linesWanted);
    monitor.handOver();
    EXPECT_EQ(batches.size(), 2u);

    monitor.ReportStage(RunStage::Saving);
    EXPECT_EQ(channel.stage.load(), int(RunStage::Saving));
    monitor.ReportProgress(5, 10);
    EXPECT_EQ(channel.done.load(), 5);
    EXPECT_EQ(channel.total.load(), 10);
    EXPECT_FALSE(monitor.StopRequested());
    channel.stop = true;
    EXPECT_TRUE(monitor.StopRequested());
}

// A window that went away no longer takes batches: the run does not wait for it.
TEST(RelayMonitorTest, AbandonedWindowDoesNotHoldTheRun)
{
    RunChannel channel;
    int posted = 0;
    RelayMonitor monitor(channel, [&](std::shared_ptr<MonitorBatch>) { ++posted; }, nullptr);
    channel.abandoned = true;
    for (int i = 0; i < 5; ++i)
        monitor.ShowMessage(S("never shown"));
    EXPECT_EQ(posted, 5);
}
} // namespace
