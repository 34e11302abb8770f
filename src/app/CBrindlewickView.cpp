#include "CBrindlewickView.h"

#include "CBrindlewickDoc.h"
#include "CMainFrame.h"
#include "ControlIds.h"
#include "FormMonitor.h"
#include "MonitorView.h"
#include "OperationRunner.h"
#include "RunProgress.h"
#include "logdb/CQSO2006SRC.h"
#include "options/OptionsStore.h"
#include "options/QslDateFile.h"
#include "platform/Desktop.h"
#include "platform/Errors.h"
#include "platform/EventMonitor.h"
#include "platform/Paths.h"
#include "platform/RunLock.h"
#include "undo/UndoJournal.h"
#include "platform/Strings.h"
#include "service/FormText.h"
#include "service/Operations.h"
#include "ui_CBrindlewickView.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QTimer>

namespace {
const char kControlId[] = "controlId";

// Resource numbers of the form's controls used here.
enum : int {
    UploadButton = 1004,
    AllQslsRadio = 1036,
    SinceRadio = 1037,
    AllRecordsRadio = 1038,
    NotConfirmedRadio = 1039,
    Tq8Path = 1041,
    SourceMdb = 1043,
    ErrorFile = 1044,
    TestOnlyCheck = 1045,
    TqslUploadCheck = 1111,
    StopButton = 1112,
    ImportButton = 1054,
    DownloadButton = 1057,
    ImportedList = 1059,
    FirstSigningLabel = 1080,
    FirstDownloadLabel = 1085,
    SpareText = 1090,
    AdifUploadPath = 1091,
    TqslProgram = 1092,
    DateEdit = 1094,
    SaveDateButton = 1095,
    ReportAdifPath = 1096,
    ViewErrorsButton = 1105,
    ViewImportedButton = 1106,
    OverwriteRadio = 1109,
    KeepRadio = 1110,
    CheckLotwButton = 1113,
    ImportAtOnceCheck = 1114,
    BrowserInsteadCheck = 1115,
    RedueCheck = 1116,
    FirstSigningButton = 2001,
    AnyCallButton = 2011,
    FirstDownloadButton = 2012,
};

// The index of the checked button of a pair, -1 when neither is checked.
int radioIndex(const QAbstractButton* first, const QAbstractButton* second)
{
    if (first && first->isChecked())
        return 0;
    if (second && second->isChecked())
        return 1;
    return -1;
}

// Checks the pair's button for an index: -1 and 0 the first, 1 the second; any other value
// leaves both as they are.
void setRadioIndex(QAbstractButton* first, QAbstractButton* second, int index)
{
    if (!first || !second)
        return;
    if (index == -1 || index == 0)
        first->setChecked(true);
    else if (index == 1)
        second->setChecked(true);
}

void closeQuietly(CRecordset& set)
{
    try {
        if (set.isOpen())
            set.close();
    } catch (const CDbException&) {
        // The window is closing; the connection goes with the recordset.
    }
}

// The choices a run takes when it starts (and the import writes back): disabled while one runs,
// so that a click cannot seem to change a run that will not see it.
constexpr int kRunChoices[] = {AllQslsRadio, SinceRadio, AllRecordsRadio, NotConfirmedRadio, OverwriteRadio, KeepRadio,
                               TestOnlyCheck, TqslUploadCheck, DateEdit, ImportAtOnceCheck, BrowserInsteadCheck, RedueCheck, FirstSigningButton, FirstSigningButton + 1,
                               FirstSigningButton + 2, FirstSigningButton + 3, FirstSigningButton + 4, AnyCallButton,
                               FirstDownloadButton, FirstDownloadButton + 1, FirstDownloadButton + 2,
                               FirstDownloadButton + 3, FirstDownloadButton + 4};

// How often the form asks a run for its lines and shows its progress, in milliseconds.
constexpr int kProgressInterval = 40;
}

// What a run was started with: its own copies, which its worker thread works on.
struct CBrindlewickView::Run
{
    RunKind kind;
    Options options;
    ChoiceModel choices;
    FormTexts texts;
    QString qslDateFilePath;
    bool closeBoundSet = false;
    std::unique_ptr<RunLock> lock; // the data folder's, for as long as the run goes on
    QString undoRun;
    ProblemMemory problems;
};

CBrindlewickView::CBrindlewickView(CBrindlewickDoc& doc, const Options& options, Paths& paths, Desktop& desktop,
                                   MessageBox& messageBox, QWidget* parent)
    : QWidget(parent),
      m_ui(std::make_unique<Ui::CBrindlewickView>()),
      m_doc(doc),
      m_options(options),
      m_paths(paths),
      m_desktop(desktop),
      m_messageBox(messageBox),
      m_choices(std::make_unique<ChoiceModel>(options))
{
    m_ui->setupUi(this);
    // The "since" takes LoTW's own cursor, a date and a time: the field shows it whole.
    m_ui->dateEdit->setMinimumWidth(m_ui->dateEdit->fontMetrics().horizontalAdvance(QStringLiteral("8888-88-88 88:88:88"))
                                    + 16);
    m_ui->dateEdit->setMaximumWidth(QWIDGETSIZE_MAX);
    indexControls();
    // The form monitor shows counters and step icons on their statics, and refreshes the
    // choices with the counters.
    FormIndicators indicators;
    for (int c = 0; c < kCounterCount; ++c)
        indicators.counters[std::size_t(c)] = qobject_cast<QLabel*>(control(ControlOf(Counter(c))));
    for (int s = 0; s < kStepCount; ++s)
        indicators.steps[std::size_t(s)] = qobject_cast<QLabel*>(control(ControlOf(Step(s))));
    indicators.refreshChoices = [this](const Choices* taken) {
        if (taken)
            m_choices->choices() = *taken;
        showChoices();
    };
    m_monitor = std::make_unique<FormMonitor>(std::move(indicators), *m_ui->uploadMonitor, *m_ui->downloadMonitor,
                                              messageBox);
    m_runner = std::make_unique<OperationRunner>(*m_monitor, m_desktop);
    connect(m_runner.get(), &OperationRunner::finished, this, &CBrindlewickView::runFinished);
    m_progressTimer = new QTimer(this);
    m_progressTimer->setInterval(kProgressInterval);
    connect(m_progressTimer, &QTimer::timeout, this, [this] {
        m_runner->requestLines();
        updateProgress();
    });
    connectChoiceRadios();
    for (int s = 0; s < kStepCount; ++s)
        m_monitor->SetStepIcon(Step(s), StepIcon::Blank);

    connect(m_ui->uploadButton, &QPushButton::clicked, this, &CBrindlewickView::OnUpload);
    connect(m_ui->downloadButton, &QPushButton::clicked, this, &CBrindlewickView::OnDownloadFromLotw);
    connect(m_ui->importButton, &QPushButton::clicked, this, &CBrindlewickView::OnLotwImport);
    connect(m_ui->checkLotwButton, &QPushButton::clicked, this, &CBrindlewickView::OnCheckLotw);
    connect(m_ui->saveDateButton, &QPushButton::clicked, this, &CBrindlewickView::OnSaveDate);
    connect(m_ui->viewErrorsButton, &QPushButton::clicked, this, &CBrindlewickView::OnViewErrorFile);
    connect(m_ui->viewImportedButton, &QPushButton::clicked, this, &CBrindlewickView::OnViewImportedList);
    connect(m_ui->stopButton, &QPushButton::clicked, this, &CBrindlewickView::OnStop);
    // Enter presses the button that has the focus, as Space does.
    for (QPushButton* push : findChildren<QPushButton*>())
        push->setAutoDefault(true);
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WindowShortcut);
    connect(escape, &QShortcut::activated, this, &CBrindlewickView::OnStop);
}

CBrindlewickView::~CBrindlewickView()
{
    if (window() != this)
        window()->removeEventFilter(this);
    DestroyWindow();
}

void CBrindlewickView::indexControls()
{
    m_controls.clear();
    const auto widgets = findChildren<QWidget*>();
    for (QWidget* widget : widgets) {
        const QVariant id = widget->property(kControlId);
        if (id.isValid())
            m_controls.insert(id.toInt(), widget);
    }
}

QWidget* CBrindlewickView::control(int controlId) const
{
    return m_controls.value(controlId, nullptr);
}

QAbstractButton* CBrindlewickView::button(int controlId) const
{
    return qobject_cast<QAbstractButton*>(control(controlId));
}

QString CBrindlewickView::controlText(int controlId) const
{
    QWidget* widget = control(controlId);
    if (auto* edit = qobject_cast<QLineEdit*>(widget))
        return edit->text();
    if (auto* label = qobject_cast<QLabel*>(widget))
        return label->text();
    return QString();
}

void CBrindlewickView::setControlText(int controlId, const QString& text)
{
    QWidget* widget = control(controlId);
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        edit->setText(text);
        edit->setCursorPosition(0);
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
        label->setText(text);
    }
}

EventMonitor& CBrindlewickView::monitor()
{
    return *m_monitor;
}

QString CBrindlewickView::qslDateFilePath() const
{
    return QslDateFilePath(m_paths);
}



void CBrindlewickView::connectChoiceRadios()
{
    struct Pair
    {
        int first;
        int second;
        void (ChoiceModel::*choose)(int);
    };
    for (const Pair& pair : {Pair{AllQslsRadio, SinceRadio, &ChoiceModel::chooseReportRange},
                             Pair{AllRecordsRadio, NotConfirmedRadio, &ChoiceModel::chooseImportScope},
                             Pair{OverwriteRadio, KeepRadio, &ChoiceModel::chooseOverwrite}}) {
        auto* group = new QButtonGroup(this);
        QAbstractButton* buttons[2] = {button(pair.first), button(pair.second)};
        for (int index = 0; index < 2; ++index) {
            group->addButton(buttons[index], index);
            const auto choose = pair.choose;
            connect(buttons[index], &QAbstractButton::clicked, this,
                    [this, choose, index] { ((*m_choices).*choose)(index); });
        }
    }
}

void CBrindlewickView::OnInitialUpdate()
{
    // 1. The document and its bound recordset.
    m_doc.setTitle(Strings::text(Strings::AppTitle));
    try {
        if (!m_doc.qsoSet().isOpen())
            m_doc.qsoSet().open();
        // The form shows nothing of the bound row; a query left open on it would keep DXbase
        // from writing the log for as long as the window is open.
        m_doc.qsoSet().release();
    } catch (const CDbException& e) {
        m_messageBox.show(e.description());
    }

    // 2. The saved QSL date and remembered radio choices; a missing or short file leaves the
    // starting values.
    SavedQslDates dates = m_choices->saved();
    LoadQslDateFile(qslDateFilePath(), dates);
    m_choices->applySaved(dates);

    // 3.-6. The options' texts.
    setControlText(ReportAdifPath, m_options.reportAdifPath);
    setControlText(SourceMdb, m_options.sourceMdbPath);
    setControlText(ErrorFile, m_options.errorFilePath);
    setControlText(ImportedList, m_options.importedListPath);
    for (int slot = 1; slot <= kSlotCount; ++slot) {
        setControlText(FirstSigningLabel + slot - 1, m_choices->oprCall(slot));
        setControlText(FirstDownloadLabel + slot - 1, m_choices->downloadCallLabel(slot));
    }
    setControlText(SpareText, m_options.spareText);
    setControlText(AdifUploadPath, m_options.uploadAdifPath);
    setControlText(TqslProgram, m_options.tqslExePath);
    setControlText(DateEdit, m_choices->choices().sinceDate);

    // 7. The main window shrinks to the form where it is larger than the form needs.
    if (auto* frame = qobject_cast<CMainFrame*>(window()))
        frame->resizeToFitView();

    // 8. The signed file is the ADIF upload file with the extension tq8.
    setControlText(Tq8Path, FormText::tq8Text(controlText(AdifUploadPath)));

    // 9.-10. Signing call and the window's title.
    m_choices->choices().SigningCall = m_choices->oprCall(1);
    window()->setWindowTitle(Strings::text(Strings::AppTitle) + QLatin1String(" - - ") + m_options.logins[0].loginCall);

    // 11. Radio buttons from the indices.
    showChoices();

    // 12. The choice buttons.
    CreateChoiceButtons();

    // 13. The data folder.
    const QString data = m_paths.dataFolder();
    if (!data.isEmpty() && !QFileInfo(data).isDir())
        QDir().mkpath(data);

    if (window() != this)
        window()->installEventFilter(this);
}

void CBrindlewickView::CreateChoiceButtons()
{
    if (m_buttonsCreated)
        return;
    m_buttonsCreated = true;
    m_signingGroup = new QButtonGroup(this);
    m_downloadGroup = new QButtonGroup(this);

    // A radio button without text, put in front of the label it belongs to.
    const auto create = [this](int controlId, QWidget* label, QButtonGroup* group) {
        QWidget* holder = label->parentWidget();
        auto* radio = new QRadioButton(holder);
        radio->setObjectName(QStringLiteral("choiceButton%1").arg(controlId));
        radio->setProperty(kControlId, controlId);
        if (auto* row = qobject_cast<QHBoxLayout*>(holder->layout()))
            row->insertWidget(0, radio);
        group->addButton(radio, controlId);
        m_controls.insert(controlId, radio);
        return radio;
    };

    for (int slot = 1; slot <= kSlotCount; ++slot) {
        if (!m_choices->hasSigningButton(slot))
            continue;
        QAbstractButton* radio = create(FirstSigningButton + slot - 1, control(FirstSigningLabel + slot - 1), m_signingGroup);
        connect(radio, &QAbstractButton::clicked, this, [this, slot] { m_choices->chooseSigningSlot(slot); });
    }
    QAbstractButton* anyCall = create(AnyCallButton, m_ui->anyCallLabel, m_downloadGroup);
    connect(anyCall, &QAbstractButton::clicked, this, [this] { m_choices->chooseAnyCall(); });
    for (int slot = 1; slot <= kSlotCount; ++slot) {
        if (!m_choices->hasDownloadButton(slot))
            continue;
        QAbstractButton* radio = create(FirstDownloadButton + slot - 1, control(FirstDownloadLabel + slot - 1), m_downloadGroup);
        connect(radio, &QAbstractButton::clicked, this, [this, slot] { m_choices->chooseDownloadSlot(slot); });
    }

    button(FirstDownloadButton)->setChecked(true);
    button(FirstSigningButton)->setChecked(true);
    Choices& choices = m_choices->choices();
    choices.DownloadCall = m_choices->downloadCallLabel(1);
    choices.SigningCall = m_choices->oprCall(1);
    choices.AnyCall = false;
    choices.CurrentPassword = m_choices->password(1);
    choices.CurrentLoginCall = m_choices->slotLoginCall(1);
    setTabChain();
}

// Tab goes through the form as it is laid out: the upload side from its monitor and station
// choices to its buttons and check boxes, then the download side the same way, then the files.
// (The choice buttons are made at run time and would otherwise come last.)
void CBrindlewickView::setTabChain()
{
    std::vector<int> ids = {Control::UploadMonitor};
    for (int slot = 0; slot < kSlotCount; ++slot)
        ids.push_back(FirstSigningButton + slot);
    ids.insert(ids.end(), {1004, 1113, 1112, 1045, 1111, 1116, Control::DownloadMonitor, AnyCallButton});
    for (int slot = 0; slot < kSlotCount; ++slot)
        ids.push_back(FirstDownloadButton + slot);
    ids.insert(ids.end(), {1057, 1054, 1114, 1115, 1036, 1037, 1094, 1095, 1039, 1038, 1109, 1110, 1041, 1096, 1106, 1105});
    QWidget* previous = nullptr;
    for (int id : ids) {
        QWidget* next = control(id);
        if (!next || next->focusPolicy() == Qt::NoFocus)
            continue;
        if (previous)
            QWidget::setTabOrder(previous, next);
        previous = next;
    }
}

void CBrindlewickView::ReadChoices()
{
    Choices& choices = m_choices->choices();
    choices.ReportRange = radioIndex(button(AllQslsRadio), button(SinceRadio));
    choices.SinceChoice = button(SinceRadio)->isChecked() ? 0 : -1;
    choices.ImportScope = radioIndex(button(AllRecordsRadio), button(NotConfirmedRadio));
    choices.OverwriteChoice = radioIndex(button(OverwriteRadio), button(KeepRadio));
    choices.TestOnly = button(TestOnlyCheck)->isChecked();
    choices.TqslUpload = button(TqslUploadCheck)->isChecked();
    choices.sinceDate = FormText::handedOn(controlText(DateEdit));
    choices.ImportAtOnce = button(ImportAtOnceCheck)->isChecked();
    choices.BrowserInstead = button(BrowserInsteadCheck)->isChecked();
    choices.RedueMissing = button(RedueCheck)->isChecked();
}

void CBrindlewickView::showChoices()
{
    const Choices& choices = m_choices->choices();
    setRadioIndex(button(AllQslsRadio), button(SinceRadio), choices.ReportRange);
    setRadioIndex(button(AllRecordsRadio), button(NotConfirmedRadio), choices.ImportScope);
    setRadioIndex(button(OverwriteRadio), button(KeepRadio), choices.OverwriteChoice);
    button(TestOnlyCheck)->setChecked(choices.TestOnly);
    button(TqslUploadCheck)->setChecked(choices.TqslUpload);
    button(ImportAtOnceCheck)->setChecked(choices.ImportAtOnce);
    button(BrowserInsteadCheck)->setChecked(choices.BrowserInstead);
    button(RedueCheck)->setChecked(choices.RedueMissing);
    if (controlText(DateEdit) != choices.sinceDate)
        setControlText(DateEdit, choices.sinceDate);
}

FormTexts CBrindlewickView::readTexts() const
{
    FormTexts texts;
    texts.spareText = FormText::handedOn(controlText(SpareText));
    texts.uploadAdifPath = controlText(AdifUploadPath);
    texts.tqslExePath = controlText(TqslProgram);
    texts.tq8Path = controlText(Tq8Path);
    texts.reportAdifPath = controlText(ReportAdifPath);
    texts.sinceDate = FormText::handedOn(controlText(DateEdit));
    return texts;
}

bool CBrindlewickView::isRunning() const
{
    return m_runner->isRunning();
}

void CBrindlewickView::OnUpload()
{
    runOperation(m_upload, RunKind::Upload);
}

void CBrindlewickView::OnDownloadFromLotw()
{
    // The download file's path is what the operator pastes into the browser's Save As window:
    // the field takes the focus with the part copied to the clipboard selected.
    if (!isRunning()) {
        if (auto* edit = qobject_cast<QLineEdit*>(control(ReportAdifPath))) {
            edit->setFocus();
            edit->setSelection(0, 100);
        }
    }
    runOperation(m_reportRequest, RunKind::ReportRequest);
}

void CBrindlewickView::OnLotwImport()
{
    runOperation(m_import, RunKind::Import);
}

void CBrindlewickView::OnCheckLotw()
{
    runOperation(m_verify, RunKind::Verify);
}

void CBrindlewickView::setRunControlsEnabled(bool enabled)
{
    for (int id : {UploadButton, DownloadButton, ImportButton, SaveDateButton, CheckLotwButton})
        if (QWidget* widget = control(id))
            widget->setEnabled(enabled);
    for (int id : kRunChoices)
        if (QWidget* widget = control(id))
            widget->setEnabled(enabled);
    if (QWidget* stop = control(StopButton))
        stop->setEnabled(!enabled);
}

void CBrindlewickView::OnStop()
{
    if (!isRunning())
        return;
    m_runner->requestStop();
    updateProgress();
}

void CBrindlewickView::runOperation(const Operation& operation, RunKind kind)
{
    if (isRunning())
        return;
    ReadChoices();
    if (!operation)
        return;
    // One run at a time per data folder: another window or a batch command may be using it.
    // The lock is held until the run has ended.
    auto runLock = std::make_unique<RunLock>(m_paths.dataFolder());
    QString busy;
    if (!runLock->acquire(busy)) {
        m_messageBox.show(busy + QLatin1Char('.'));
        return;
    }
    QStringList notes;
    if (!runLock->takeOverNote().isEmpty())
        notes.append(runLock->takeOverNote());

    m_run = std::make_shared<Run>(Run{kind, m_options, *m_choices, readTexts(), qslDateFilePath(), false,
                                      std::move(runLock), m_undoPath, m_problems});
    m_closeAfterRun = false;
    setRunControlsEnabled(false);
    const std::shared_ptr<Run> run = m_run;
    Paths& paths = m_paths;
    m_runner->startRun(
        [run, operation, &paths, notes](EventMonitor& monitor, Desktop& desktop) {
            OperationContext context{run->options, run->choices,         monitor,     desktop,
                                     paths,        run->texts,           run->qslDateFilePath, false, run->undoRun,
                                     RunResult{{}, run->problems}};
            QStringList said = notes;
            // Operations report their own failures; whatever still escapes one is shown, not lost.
            try {
                // Runs a kill left between their record and the log's commit are settled before
                // this one writes the log.
                said += SettleUndoRuns(paths.dataFolder());
                operation(context);
            } catch (const CDbException& e) {
                monitor.ShowMessage(e.description());
            } catch (const CFileException& e) {
                monitor.ShowMessage(e.description());
            } catch (const std::exception& e) {
                monitor.ShowMessage(QString::fromLatin1(e.what()));
            } catch (...) {
                monitor.ShowMessage(QStringLiteral("The operation stopped on an unexpected error."));
            }
            // Said after the run, whose start clears its monitor.
            for (const QString& line : said)
                monitor.AddDownloadEvent(QStringLiteral("Note: ") + line);
            run->closeBoundSet = context.closeBoundSet;
            run->problems = context.result.problems;
        },
        &run->choices);
    m_stage = -1;
    m_progressTimer->start();
    updateProgress();
}

void CBrindlewickView::runFinished()
{
    m_progressTimer->stop();
    const std::shared_ptr<Run> run = std::move(m_run);
    if (run) {
        // What the run made of the choices (the import keeps the first QSL date) is kept; the
        // choices could not change on the form meanwhile.
        m_choices->choices() = run->choices.choices();
        m_problems = run->problems;
        if (run->closeBoundSet)
            closeQuietly(m_doc.qsoSet());
        run->lock.reset();
    }
    m_progressText.clear();
    setRunControlsEnabled(true);
    emit runEnded();
    if (m_closeAfterRun) {
        m_closeAfterRun = false;
        QTimer::singleShot(0, window(), &QWidget::close);
    }
}

void CBrindlewickView::updateProgress()
{
    if (!m_run || !isRunning())
        return;
    static const QString titles[] = {QStringLiteral("Upload"), QStringLiteral("Report request"),
                                     QStringLiteral("Import"), QStringLiteral("Undo"), QStringLiteral("Backup"),
                                     QStringLiteral("Check LoTW")};
    static const ProgressUnit units[] = {ProgressUnit::Qsos, ProgressUnit::Download, ProgressUnit::Bytes,
                                         ProgressUnit::None, ProgressUnit::None, ProgressUnit::Download};
    const int kind = int(m_run->kind);
    const qint64 done = m_runner->progressDone();
    const qint64 total = m_runner->progressTotal();
    // A run in stages counts each stage on its own: its rate and the time left are those of the
    // work since the window first saw the stage move (a stage may go on where it was left).
    const int stage = m_runner->progressStage();
    if (stage != m_stage) {
        m_stage = stage;
        m_stageFrom = -1;
    }
    if (m_stageFrom < 0 && done > 0) {
        m_stageFrom = done;
        m_stageClock.start();
    }
    QString title = titles[kind];
    ProgressUnit unit = units[kind];
    QString note;
    switch (RunStage(stage)) {
    case RunStage::ReadingLog:
        title += QStringLiteral(", reading the log");
        unit = ProgressUnit::Qsos;
        break;
    case RunStage::Matching:
        title += QStringLiteral(", matching");
        unit = ProgressUnit::Bytes;
        note = QStringLiteral(" - counters provisional until saved");
        break;
    case RunStage::Saving:
        title += QStringLiteral(", saving the log");
        unit = ProgressUnit::Rows;
        break;
    case RunStage::Running:
        break;
    }
    QString text = stage == int(RunStage::Running)
                       ? ProgressText(title, unit, done, total, m_runner->elapsedMs())
                       : ProgressText(title, unit, done, total, m_stageFrom < 0 ? 0 : m_stageClock.elapsed(),
                                      qMax<qint64>(0, m_stageFrom))
                             + note;
    if (m_runner->stopRequested())
        text += QStringLiteral(" - stopping");
    const int permille = unit == ProgressUnit::None ? -1 : ProgressPermille(done, total);
    if (text == m_progressText)
        return;
    m_progressText = text;
    emit runProgress(text, permille);
}

void CBrindlewickView::OnUndoLast()
{
    if (isRunning())
        return;
    // The kept runs are settled and read while no other run can change them.
    QStringList found;
    std::vector<UndoEntry> runs;
    {
        RunLock lock(m_paths.dataFolder());
        QString busy;
        if (!lock.acquire(busy)) {
            m_messageBox.show(busy + QLatin1Char('.'));
            return;
        }
        if (!lock.takeOverNote().isEmpty())
            found.append(lock.takeOverNote());
        found += SettleUndoRuns(m_paths.dataFolder());
        runs = ListUndoRuns(m_paths.dataFolder());
    }
    // The last run the log took: runs it never took hold nothing to undo.
    QStringList passed;
    const size_t at = LastTakenRun(runs, &passed);
    const QString before = (found + passed).join(QLatin1Char('\n'));
    const QString prefix = before.isEmpty() ? QString() : before + QStringLiteral("\n\n");
    if (at == runs.size()) {
        m_messageBox.show(prefix + QStringLiteral("No upload or import is kept to be undone."));
        return;
    }
    const UndoEntry& last = runs[at];
    const QString when = UndoTexts::time(last);
    if (!last.problem.isEmpty()) {
        m_messageBox.show(prefix + QStringLiteral("The last run cannot be undone: %1.").arg(last.problem));
        return;
    }
    if (last.state == UndoJournal::State::Undone) {
        m_messageBox.show(prefix + QStringLiteral("The %1 of %2 was undone already.").arg(last.kind, when));
        return;
    }
    if (!last.canBeUndone()) {
        m_messageBox.show(prefix + QStringLiteral("The %1 of %2 cannot be undone now: %3.")
                                       .arg(last.kind, when, UndoStateText(last)));
        return;
    }
    if (!m_messageBox.ask(prefix + QStringLiteral("Undo the %1 of %2 (%3)?\n\nThose rows get back what they held "
                                                  "before it; rows another program changed since are listed and left "
                                                  "as they are.")
                                       .arg(last.kind, when, Strings::counted(last.rows, "row"))))
        return;
    m_undoPath = last.path;
    runOperation(m_undo, RunKind::Undo);
    m_undoPath.clear();
}

void CBrindlewickView::OnBackUpLog()
{
    runOperation(m_backup, RunKind::Backup);
}

bool CBrindlewickView::mayClose()
{
    if (!isRunning())
        return true;
    if (m_closeAfterRun)
        return false; // asked already: the window closes once the run has stopped
    static const QString questions[] = {
        QStringLiteral("The upload is still running. Stop it and close the window?\n\nNo QSO of this run is "
                       "marked as sent, and the previous upload file is kept."),
        QStringLiteral("The report request is still running. Stop it and close the window?"),
        QStringLiteral("The import is still running. Stop it and close the window?\n\nThe QSOs confirmed so far "
                       "stay confirmed in the log and are named in the imported-QSO list."),
        QStringLiteral("The undo is still running. Close the window when it has ended?"),
        QStringLiteral("The copy of the log is still being made. Stop it and close the window?"),
        QStringLiteral("LoTW is still being asked. Stop it and close the window?\n\nNothing is changed."),
    };
    // The question goes away by itself when the run ends while it is open: the window then
    // closes as asked.
    const bool stop = m_messageBox.askUnlessMoot(questions[int(m_run ? m_run->kind : RunKind::Upload)],
                                                 [this] { return !isRunning(); });
    if (!stop)
        return false;
    // The run may have ended while the question was open.
    if (!isRunning())
        return true;
    m_closeAfterRun = true;
    m_runner->requestStop();
    updateProgress();
    return false;
}

void CBrindlewickView::OnSaveDate()
{
    if (isRunning())
        return;
    ReadChoices();
    // A failed save is not reported: the date is saved again by the next report request.
    SaveQslDateFile(qslDateFilePath(), m_choices->saved());
}

void CBrindlewickView::OnViewErrorFile()
{
    viewFile(controlText(ErrorFile));
}

void CBrindlewickView::OnViewImportedList()
{
    viewFile(controlText(ImportedList));
}

void CBrindlewickView::viewFile(const QString& path)
{
    if (!QFileInfo::exists(path)) {
        m_messageBox.show(QStringLiteral("%1 does not exist yet: it is written by the next run.").arg(path));
        return;
    }
    if (!m_desktop.openFile(path))
        m_messageBox.show(QStringLiteral("%1 could not be opened: no program to show it could be started.").arg(path));
}

bool CBrindlewickView::eventFilter(QObject* watched, QEvent* event)
{
    // The window does not close in the middle of an operation unless the operator stops it.
    if (watched == window() && event->type() == QEvent::Close && !mayClose()) {
        event->ignore();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void CBrindlewickView::closeEvent(QCloseEvent* event)
{
    // The view is a window of its own (no frame around it).
    if (!mayClose()) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

void CBrindlewickView::DestroyWindow()
{
    if (m_destroyed)
        return;
    m_destroyed = true;
    // A run still going is stopped and waited for: it uses the log and the output files.
    m_runner->abandon();
    m_progressTimer->stop();
    m_run.reset();
    m_choices->choices().sinceDate = FormText::handedOn(controlText(DateEdit));
    closeQuietly(m_doc.qsoSet());
}
