#pragma once

#include "platform/Desktop.h"
#include "platform/SystemKeyring.h"
#include "platform/EventMonitor.h"

#include <QElapsedTimer>

// The monitor of the batch command: monitor lines to stdout in order, messages to stderr,
// progress to stderr when it is a terminal.
class CliMonitor : public EventMonitor
{
public:
    CliMonitor();
    void AddUploadEvent(const QString& text) override;
    void AddUploadLines(QByteArrayView utf8Lines) override;
    void AddDownloadEvent(const QString& text) override;
    void ClearUploadMonitor() override {}
    void ClearDownloadMonitor() override {}
    void ShowCounters(const RunCounters&) override {}
    void SetStepIcon(Step, StepIcon) override {}
    void ShowMessage(const QString& text) override;
    void PumpMessages() override;
    void FlushLines() override;
    // While a transfer with LoTW goes on: "waiting for LoTW", then the bytes received.
    void ReportProgress(qint64 done, qint64 total) override;
    // Whether progress reports are about a transfer with LoTW (shown on a terminal) or about
    // a run that shows its lines instead.
    void setTransferProgress(bool transfer);

    // Monitor lines written so far.
    qint64 lineCount() const { return m_lines; }

    // Clears the progress line from the terminal, if one is shown.
    void endProgress();

    // The closing line with a run's counters that were set, e.g. "QSOs Read-in: 12  ADIF Output: 7".
    static QString counterLine(const RunCounters& counters);

private:
    void line(const QString& text);
    bool m_progress;
    bool m_utf8Output; // the system's 8-bit encoding is UTF-8: upload lines go out as they are
    QByteArray m_bytes;
    qint64 m_lines = 0;
    quint32 m_pumps = 0;
    int m_progressWidth = 0; // characters of the progress line shown, 0 when none is
    bool m_transfer = false;
    QElapsedTimer m_transferClock;
    QElapsedTimer m_sinceProgress;
};

// The desktop of the batch command: the browser and file viewer through the system's opener,
// and the clipboard text told on stderr (there is no clipboard here), with any password in it
// masked.
class CliDesktop : public Desktop
{
public:
    bool openUrl(const QString& address) override;
    bool openFile(const QString& path) override;
    void setClipboardText(const QString& text) override;
    bool hasClipboard() const override { return false; }
    void pause(int milliseconds) override;
    Keyring* keyring() override { return &m_keyring; }

private:
    SystemKeyring m_keyring;
};
