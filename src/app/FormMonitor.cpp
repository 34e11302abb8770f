#include "FormMonitor.h"

#include "ControlIds.h"
#include "MonitorModel.h"
#include "MonitorView.h"
#include "RelayMonitor.h"
#include "platform/Desktop.h"

#include <QLabel>
#include <QPixmap>
#include <QTimer>

// The status icons live in the library's resources, which a static library must load itself.
static void loadStatusIcons()
{
    Q_INIT_RESOURCE(StatusIcons);
}

FormMonitor::FormMonitor(FormIndicators indicators, MonitorView& uploadView, MonitorView& downloadView,
                         MessageBox& messageBox)
    : m_indicators(std::move(indicators)),
      m_uploadView(uploadView),
      m_downloadView(downloadView),
      m_messageBox(messageBox),
      m_uploadModel(new MonitorModel(&uploadView)),
      m_downloadModel(new MonitorModel(&downloadView)),
      m_showTimer(new QTimer(&uploadView))
{
    m_uploadView.setModel(m_uploadModel);
    m_downloadView.setModel(m_downloadModel);
    loadStatusIcons();
    m_showTimer->setSingleShot(true);
    QObject::connect(m_showTimer, &QTimer::timeout, &uploadView, [this] { showLines(); });
}

FormMonitor::~FormMonitor() = default;

void FormMonitor::AddUploadEvent(const QString& text)
{
    m_uploadModel->append(text);
    linesAdded();
}

void FormMonitor::AddUploadLines(QByteArrayView utf8Lines)
{
    m_uploadModel->appendUtf8Lines(utf8Lines);
    linesAdded();
}

void FormMonitor::AddDownloadEvent(const QString& text)
{
    m_downloadModel->append(text);
    linesAdded();
}

void FormMonitor::ClearUploadMonitor()
{
    m_uploadModel->clear();
}

void FormMonitor::ClearDownloadMonitor()
{
    m_downloadModel->clear();
}

void FormMonitor::ShowCounters(const RunCounters& counters)
{
    showCountersNow(counters, nullptr);
}

void FormMonitor::showCountersNow(const RunCounters& counters, const Choices* taken)
{
    counters.forEachSet([this](Counter counter, long value) {
        if (QLabel* label = m_indicators.counters[std::size_t(counter)])
            label->setText(QString::asprintf("%ld", value));
    });
    if (m_indicators.refreshChoices)
        m_indicators.refreshChoices(taken);
}

void FormMonitor::SetStepIcon(Step step, StepIcon icon)
{
    QLabel* label = m_indicators.steps[std::size_t(step)];
    if (!label)
        return;
    const int id = IconIdOf(icon);
    label->setPixmap(QPixmap(QStringLiteral(":/icons/%1.png").arg(id)));
    label->setProperty("icon", id);
}

void FormMonitor::ShowMessage(const QString& text)
{
    queueMessage(text);
    showQueuedMessages();
}

bool FormMonitor::AskOperator(const QString& question)
{
    // The lines the question is about are shown first.
    showLines();
    return m_messageBox.ask(question);
}

void FormMonitor::ShowInformation(const QString& text)
{
    queueMessage(text, true);
    showQueuedMessages();
}

void FormMonitor::queueMessage(const QString& text, bool informational)
{
    if (!m_messages.empty() && m_messages.back().text == text)
        ++m_messages.back().times;
    else
        m_messages.push_back({text, 1, informational});
}

void FormMonitor::showQueuedMessages()
{
    // A message box runs its own event loop, in which the run's next batches are shown and
    // may bring messages of their own: those wait for this box.
    if (m_showingMessage)
        return;
    m_showingMessage = true;
    while (!m_messages.empty()) {
        const QueuedMessage message = m_messages.front();
        m_messages.pop_front();
        QString text = message.text;
        if (message.times > 1)
            text += QStringLiteral("\n\n(This message came %1 times.)").arg(message.times);
        if (message.informational)
            m_messageBox.inform(text);
        else
            m_messageBox.show(text);
    }
    m_showingMessage = false;
}

void FormMonitor::apply(const MonitorBatch& batch)
{
    bool added = false;
    for (const MonitorBatch::Line& line : batch.lines) {
        switch (line.kind) {
        case MonitorBatch::Kind::AddUpload:
            m_uploadModel->append(line.text);
            added = true;
            break;
        case MonitorBatch::Kind::AddUploadUtf8:
            m_uploadModel->appendUtf8Lines(line.utf8);
            added = true;
            break;
        case MonitorBatch::Kind::AddDownload:
            m_downloadModel->append(line.text);
            added = true;
            break;
        case MonitorBatch::Kind::ClearUpload:
            m_uploadModel->clear();
            break;
        case MonitorBatch::Kind::ClearDownload:
            m_downloadModel->clear();
            break;
        }
    }
    for (const auto& [step, icon] : batch.icons)
        SetStepIcon(step, icon);
    if (batch.countersShown)
        showCountersNow(batch.counters, batch.choices ? &*batch.choices : nullptr);
    if (added)
        linesAdded();
    for (qsizetype i = 0; i < batch.messages.size(); ++i)
        queueMessage(batch.messages.at(i), size_t(i) < batch.informational.size() && batch.informational[size_t(i)]);
    showQueuedMessages();
}

void FormMonitor::setRunning(bool running)
{
    m_running = running;
    m_showGap = kShowInterval;
    if (!running)
        showLines();
}

void FormMonitor::linesAdded()
{
    if (m_showTimer->isActive())
        return;
    // Idle, the lines are shown at the next turn of the event loop; during a run, no sooner
    // than the gap after the last showing.
    qint64 wait = 0;
    if (m_running && m_showClock.isValid())
        wait = qMax<qint64>(0, m_showGap - m_showClock.elapsed());
    m_showTimer->start(int(wait));
}

void FormMonitor::showLines()
{
    m_showTimer->stop();
    QElapsedTimer cost;
    cost.start();
    publish(*m_uploadModel, m_uploadView);
    publish(*m_downloadModel, m_downloadView);
    // A box of a million lines takes a while to lay out; wait long enough between two batches
    // that this stays a small share of the run.
    m_showGap = qMax(kShowInterval, 16 * cost.elapsed());
    m_showClock.start();
}

void FormMonitor::publish(MonitorModel& model, MonitorView& view)
{
    if (model.publish() > 0)
        view.scrollToLast();
}
