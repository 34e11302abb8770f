#pragma once

#include "options/ChoiceModel.h"
#include "options/Options.h"
#include "platform/ProblemLog.h"

#include <QHash>
#include <QString>
#include <QElapsedTimer>
#include <QWidget>
#include <functional>
#include <memory>

class CBrindlewickDoc;
class Desktop;
class EventMonitor;
class FormMonitor;
class MessageBox;
class OperationRunner;
class Paths;
class QAbstractButton;
class QButtonGroup;
class QLabel;
class QTimer;

namespace Ui {
class CBrindlewickView;
}

// Texts an operation reads back from the form when it starts, each cut to its first 99
// characters as the form hands them on.
struct FormTexts
{
    QString spareText;      // 1090 (hidden)
    QString uploadAdifPath; // 1091 "ADI Upld file:"
    QString tqslExePath;    // 1092 (hidden): the TQSL program
    QString tq8Path;        // 1041 "TQ8 Upload file:"
    QString reportAdifPath; // 1096 "ADIF Download file:"
    QString sinceDate;      // 1094 the saved QSL date, as typed
};

// What an operation started from the form receives. It runs on a worker thread: everything
// here is its own (copies taken when it started) or made to be used from there, and it opens
// the databases itself. The references stay valid for the call.
struct OperationContext
{
    const Options& options;   // the view's options, as taken at start
    ChoiceModel& choices;     // the choices, just read from the form; ShowCounters shows them again
    EventMonitor& monitor;    // the run's monitor: shown on the form's monitors, counters and icons
    Desktop& desktop;         // carried out on the window's thread
    Paths& paths;
    FormTexts texts;
    QString qslDateFilePath;  // "quorvane2.dat" in the data folder
    // Set by an operation after which the document's QSO set is closed (a completed upload
    // closes it along with its own).
    bool closeBoundSet = false;
    // The kept run an undo takes back (its file), as the operator confirmed it.
    QString undoRun;
    // What the operation leaves: its counters, and what its problem lines leave (the last
    // database error, band and mode texts). Its problems start as the form's earlier runs left
    // them, and go on to the next run.
    RunResult result;
};

// The form view: the monitors and counters, the step guide, the operator's choices and the
// buttons that start the operations. Laid out by CBrindlewickView.ui; every control carries
// its resource number as the property "controlId".
//
// An operation runs on a worker thread (OperationRunner) while the window stays live: the
// buttons that start operations and the choices a run takes are disabled until it ends, Stop
// (and Escape) asks it to stop, its progress goes to runProgress, and closing the window asks
// whether to stop the run first. Between runs nothing of the view holds the log.
class CBrindlewickView : public QWidget
{
    Q_OBJECT

public:
    using Operation = std::function<void(OperationContext&)>;

    CBrindlewickView(CBrindlewickDoc& doc, const Options& options, Paths& paths, Desktop& desktop,
                     MessageBox& messageBox, QWidget* parent = nullptr);
    ~CBrindlewickView() override;

    // Fills the form from the options and the saved-date file; call once, after the view has
    // been placed in its window (the window's title is set here). The document's QSO set is
    // opened and let go of at once (it keeps its first row, and no lock on the log).
    void OnInitialUpdate();
    // Stops a run still going and waits for its end, keeps the date typed, closes the
    // document's QSO set. Runs once; the destructor runs it when nobody did.
    void DestroyWindow();

    // Creates the signing-slot and download-call radio buttons beside their labels.
    void CreateChoiceButtons();
    // Loads the choices from the controls.
    void ReadChoices();
    // Shows the held choices on the controls again (part of the form's refresh).
    void showChoices();

    // The operations the three buttons start, each on a worker thread. Without one, the button
    // reads the choices only.
    void setUploadOperation(Operation operation) { m_upload = std::move(operation); }
    void setReportRequestOperation(Operation operation) { m_reportRequest = std::move(operation); }
    void setImportOperation(Operation operation) { m_import = std::move(operation); }
    // "Check LoTW": which QSOs of the kept uploads LoTW holds.
    void setVerifyOperation(Operation operation) { m_verify = std::move(operation); }
    // The menu's "Undo last upload/import..." (the run to take back is in the context's
    // undoRun) and "Back up the log...".
    void setUndoOperation(Operation operation) { m_undo = std::move(operation); }
    void setBackupOperation(Operation operation) { m_backup = std::move(operation); }
    // Whether an operation is running (its buttons and choices are disabled meanwhile): from
    // the click until everything it reported is shown.
    bool isRunning() const;
    // The status line of the run that goes on (empty when none does).
    QString progressText() const { return m_progressText; }

    QWidget* control(int controlId) const;
    EventMonitor& monitor();
    FormMonitor& formMonitor() { return *m_monitor; }
    ChoiceModel& choiceModel() { return *m_choices; }
    const Options& options() const { return m_options; }
    QString qslDateFilePath() const;

signals:
    // A run's progress, a few times a second: the status line and how far it has come in
    // thousandths (-1 when that is not known).
    void runProgress(const QString& text, int permille);
    // The run has ended and everything it reported is shown.
    void runEnded();

public slots:
    void OnUpload();
    void OnDownloadFromLotw();
    void OnLotwImport();
    void OnCheckLotw();
    void OnSaveDate();
    void OnViewErrorFile();
    void OnViewImportedList();
    // The form's Stop button (and Escape): asks the running operation to stop.
    void OnStop();
    // "Undo last upload/import...": names the last kept run, its time and its rows, and takes
    // it back when the operator confirms.
    void OnUndoLast();
    // "Back up the log...": a consistent copy of the log in the data folder's backup folder.
    void OnBackUpLog();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    enum class RunKind { Upload, ReportRequest, Import, Undo, Backup, Verify };
    struct Run;
    void runOperation(const Operation& operation, RunKind kind);
    void runFinished();
    void updateProgress();
    // Whether the window may close now; during a run it asks whether to stop the run, and
    // closes the window once it has stopped.
    bool mayClose();
    void viewFile(const QString& path);
    void setRunControlsEnabled(bool enabled);
    FormTexts readTexts() const;
    QString controlText(int controlId) const;
    void setControlText(int controlId, const QString& text);
    void indexControls();
    void connectChoiceRadios();
    void setTabChain();
    QAbstractButton* button(int controlId) const;

    std::unique_ptr<Ui::CBrindlewickView> m_ui;
    CBrindlewickDoc& m_doc;
    Options m_options;
    Paths& m_paths;
    Desktop& m_desktop;
    MessageBox& m_messageBox;
    std::unique_ptr<ChoiceModel> m_choices;
    std::unique_ptr<FormMonitor> m_monitor;
    std::unique_ptr<OperationRunner> m_runner;
    std::shared_ptr<Run> m_run; // the run that goes on, what it was started with
    QTimer* m_progressTimer = nullptr;
    QString m_progressText;
    int m_stage = 0;            // the stage of the run's progress the window saw last
    qint64 m_stageFrom = -1;    // its progress when the window first saw it move
    QElapsedTimer m_stageClock; // since then
    bool m_closeAfterRun = false;
    QHash<int, QWidget*> m_controls;
    QButtonGroup* m_signingGroup = nullptr;
    QButtonGroup* m_downloadGroup = nullptr;
    Operation m_upload;
    Operation m_reportRequest;
    Operation m_import;
    Operation m_verify;
    Operation m_undo;
    Operation m_backup;
    QString m_undoPath; // the kept run the next undo takes back
    ProblemMemory m_problems; // what the problem lines of the runs so far left
    bool m_destroyed = false;
    bool m_buttonsCreated = false;
};
