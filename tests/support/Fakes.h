#pragma once

#include "platform/Desktop.h"
#include "platform/EventMonitor.h"
#include "platform/ProblemLog.h"
#include "platform/Keyring.h"
#include "platform/Paths.h"
#include "platform/TqslLocator.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <vector>

// Records every desktop request instead of carrying it out. With noBrowser / noViewer set it
// answers as a desktop without a browser or file viewer does.
class FakeDesktop : public Desktop
{
public:
    bool openUrl(const QString& address) override
    {
        urls.append(address);
        events.append(QStringLiteral("url:") + address);
        return !noBrowser;
    }
    bool openFile(const QString& path) override
    {
        files.append(path);
        events.append(QStringLiteral("file:") + path);
        return !noViewer;
    }
    void setClipboardText(const QString& text) override { clipboard = text; events.append(QStringLiteral("clip:") + text); }
    void pause(int milliseconds) override { pauses.push_back(milliseconds); events.append(QStringLiteral("pause:") + QString::number(milliseconds)); }

    bool noBrowser = false;
    bool noViewer = false;
    QStringList urls;
    QStringList files;
    QString clipboard;
    std::vector<int> pauses;
    QStringList events; // everything, in order
    Keyring* ring = nullptr; // the session's keyring; none by default
    Keyring* keyring() override { return ring; }
};

// A keyring held in memory, which can be absent (answers NoKeyring to everything) or stop
// answering at its N-th write, as a keyring daemon that goes away does.
class FakeKeyring : public Keyring
{
public:
    Answer read(const QString& key, QString& secret) override
    {
        ++reads;
        if (!answers)
            return Answer::NoKeyring;
        const auto it = secrets.find(key);
        if (it == secrets.end())
            return Answer::NotFound;
        secret = it->second;
        return Answer::Done;
    }
    Answer write(const QString& key, const QString& secret) override
    {
        ++writes;
        if (!answers || writes == failAtWrite) {
            answers = false;
            return Answer::NoKeyring;
        }
        secrets[key] = secret;
        return Answer::Done;
    }
    Answer remove(const QString& key) override
    {
        if (!answers)
            return Answer::NoKeyring;
        return secrets.erase(key) > 0 ? Answer::Done : Answer::NotFound;
    }
    QString lastProblem() const override { return answers ? QString() : QStringLiteral("no keyring daemon"); }

    std::map<QString, QString> secrets;
    bool answers = true;
    int failAtWrite = 0; // the write (1, 2, ...) at which it stops answering; 0: never
    int reads = 0;
    int writes = 0;
};

// Records every message and question; a question is answered with answer (and onAsk, when
// set, runs first, as the operator would while the question is open).
class FakeMessageBox : public MessageBox
{
public:
    void show(const QString& text) override
    {
        shown.append(text);
        if (onShow)
            onShow(text);
    }
    bool ask(const QString& text) override
    {
        asked.append(text);
        if (onAsk)
            onAsk(text);
        return answer;
    }
    QStringList shown;
    QStringList asked;
    bool answer = false;
    std::function<void(const QString&)> onShow;
    std::function<void(const QString&)> onAsk;
};

// Paths inside a test's own folders.
class FakePaths : public Paths
{
public:
    QString dataFolder() const override { return data; }
    QString windowsDirectory() const override { return windows; }
    QString tqslStationFile() const override { return stationFile; }
    QString userName() const override { return user; }
    QString osVersionText() const override { return osVersion; }
    QString join(const QString& folder, const QString& name) const override
    {
        return folder.isEmpty() || folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
    }

    QString data;
    QString windows;
    QString stationFile;
    QString user = QStringLiteral("op");
    QString osVersion = QStringLiteral("Test OS 1.0");
};

class FakeTqslLocator : public TqslLocator
{
public:
    TqslInstall locate() const override { return install; }
    QString programPath(const QString& folder) const override
    {
        return folder.isEmpty() ? QString() : folder + QStringLiteral("/tqsl");
    }
    TqslInstall install;
};

// Keeps every line, counter, icon and message an operation reports.
class RecordingMonitor : public EventMonitor
{
public:
    void AddUploadEvent(const QString& text) override { upload.append(text); }
    void AddDownloadEvent(const QString& text) override { download.append(text); }
    void ClearUploadMonitor() override { upload.clear(); ++uploadClears; }
    void ClearDownloadMonitor() override { download.clear(); ++downloadClears; }
    void ShowCounters(const RunCounters& counters) override
    {
        shown = counters;
        ++showCount;
    }
    void SetStepIcon(Step step, StepIcon icon) override
    {
        icons[step] = icon;
        iconLog.push_back({step, icon});
    }
    void ShowMessage(const QString& text) override { messages.append(text); }
    bool AskOperator(const QString& question) override
    {
        questions.append(question);
        return answer;
    }
    void PumpMessages() override
    {
        ++pumps;
        if (onPump)
            onPump(pumps);
    }
    bool StopRequested() const override { return stopRequested; }
    void ReportProgress(qint64 done, qint64 total) override
    {
        progress.push_back({done, total});
        if (onProgress)
            onProgress(done, total);
    }
    void ReportStage(RunStage stage) override { stages.push_back({stage, progress.size()}); }

    QStringList upload;
    QStringList download;
    int uploadClears = 0;
    int downloadClears = 0;
    // A counter as last shown (0 when it never was).
    long counter(Counter which) const { return shown.value(which); }

    RunCounters shown; // counters as last shown
    int showCount = 0;
    std::map<Step, StepIcon> icons;
    std::vector<std::pair<Step, StepIcon>> iconLog;
    QStringList messages;
    QStringList questions;
    bool answer = false; // what the operator answers to every question
    int pumps = 0;
    bool stopRequested = false;
    std::function<void(int)> onPump; // called at every pump, with the count so far
    std::vector<std::pair<qint64, qint64>> progress; // every progress report: done, total
    std::function<void(qint64, qint64)> onProgress;
    // Every stage begun, with the number of progress reports made before it.
    std::vector<std::pair<RunStage, std::size_t>> stages;
};
