#pragma once

#include <QByteArrayView>
#include <QString>
#include <map>

class QIODevice;

// Control numbers of the form's counters and step icons, as the operations report them.
namespace Control {
enum : int {
    UploadMonitor = 1001,
    DownloadMonitor = 1048,
    UploadReadIn = 1050,
    UploadAdifOut = 1053,
    DownloadReadIn = 1055,
    DownloadRecsUsed = 1056,
    DownloadErrors = 1058,
    DownloadNewDxcc = 1060,
    DownloadWarnings = 1107,
    StepMakeAdif = 1099,
    StepSignAdif = 1100,
    StepMakeTq8 = 1101,
    StepClipboard = 1102,
    StepUpload = 1103,
    StepDownload = 1104,
    ProblemPointer = 1108,
};
}

// Status icons shown on the step markers.
namespace StepIcon {
enum : int { Blank = 140, Tick = 141, RedArrow = 142 };
}

// The report record a problem line is about: the texts it quotes.
struct ProblemRecord
{
    QString call;
    QString qsoDate;
    QString timeOn;
    QString bandCode;
    QString modeCode;
    QString state;
    QString county;
};

// The one way an operation reports: monitor lines, counters, step icons, problem lines and
// messages. The form implements the output primitives with widgets, the batch command with
// stdout and stderr, tests with a recorder. The reporting state that problem lines quote
// (last database error, problem message, current record, band and mode texts, the warnings
// counter and the error file) lives here, shared by every front end.
class EventMonitor
{
public:
    virtual ~EventMonitor() = default;

    // Output primitives.
    virtual void AddUploadEvent(const QString& text) = 0;
    // Upload monitor lines as the upload file holds them: UTF-8, each line ended by CR LF
    // (bytes after the last CR LF are a line too). By default each goes to AddUploadEvent; a
    // front end that shows bytes can take them as they are.
    virtual void AddUploadLines(QByteArrayView utf8Lines);
    virtual void AddDownloadEvent(const QString& text) = 0;
    virtual void ClearUploadMonitor() = 0;
    virtual void ClearDownloadMonitor() = 0;
    // Shows every counter set with SetCounter so far.
    virtual void ShowCounters() = 0;
    virtual void SetStepIcon(int controlId, int icon) = 0;
    // A modal message with the application title and an OK button.
    virtual void ShowMessage(const QString& text) = 0;
    // The same for a message that tells of something done (the information icon, not the
    // warning one, where the front end shows icons).
    virtual void ShowInformation(const QString& text) { ShowMessage(text); }
    // A modal question with the buttons Yes and No (the default), answered by the operator
    // while the run waits; false where nobody can answer (the batch command decides such
    // questions by its options beforehand).
    virtual bool AskOperator(const QString& question)
    {
        Q_UNUSED(question);
        return false;
    }
    // Lets the window deliver waiting events; nothing where there is no window.
    virtual void PumpMessages() {}
    // Shows the lines given so far at once, where a front end holds them back (the batch
    // command's buffered stdout): for a line that says the run is waiting.
    virtual void FlushLines() {}
    // Whether the operator asked to stop the run (the form's Stop or Escape). A run looks at it
    // between two QSOs or records and ends cleanly there; a long wait looks at it too.
    virtual bool StopRequested() const { return false; }
    // How far the run has come: done of total (rows of the log for the upload, bytes of the
    // report for the import); a total of 0 or less is not known. Called often: it must be cheap.
    virtual void ReportProgress(qint64 done, qint64 total)
    {
        Q_UNUSED(done);
        Q_UNUSED(total);
    }

    // Counters: set one, then ShowCounters() to show it.
    void SetCounter(int controlId, long value) { m_counters[controlId] = value; }
    long counter(int controlId) const;
    const std::map<int, long>& counters() const { return m_counters; }
    // A counter as the form shows it ("%ld").
    static QString FormatCounter(long value) { return QString::number(value); }

    // Writes one problem line about the current record: kind 1 is an error, kind 2 a warning
    // (which also counts a warning, shows it and points at the error file). The line goes to
    // the download monitor and, with CR LF, to the error file when one is open. A failed write
    // of the error file throws CFileException.
    void LogRecordEvent(int kind);
    // Sets the band and mode texts from the current record's codes; an unknown code leaves
    // its text as it was.
    void DecodeBandMode();

    // The problem line as LogRecordEvent writes it, without CR LF (kind as above).
    QString problemLine(int kind) const;

    QString lastDbError;      // description of the latest database failure; never cleared
    QString problemMessage;   // set by the caller just before LogRecordEvent
    ProblemRecord record;     // the record the next problem line is about
    QString bandText;
    QString modeText;
    QIODevice* errorFile = nullptr; // open error file, or null when none is open

private:
    std::map<int, long> m_counters;
};
