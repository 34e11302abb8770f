#pragma once

#include "options/ChoiceModel.h"
#include "options/Options.h"

#include <QFile>
#include <QHash>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>

class CBrindlewickDoc;
class CDxb96CountySet;
class CPP2006SRC;
class CQSO2006SRC;
class Desktop;
class EventMonitor;
class FormMonitor;
class MessageBox;
class Paths;
class QAbstractButton;
class QButtonGroup;
class QLabel;

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

// What an operation started from the form receives. The references stay valid for the call.
struct OperationContext
{
    const Options& options;   // the view's copy of the options taken at start
    ChoiceModel& choices;     // the choices, just read from the form; ShowCounters shows them again
    EventMonitor& monitor;    // the form's monitors, counters, step icons and messages
    Desktop& desktop;
    Paths& paths;
    FormTexts texts;
    QString qslDateFilePath;  // "quorvane2.dat" in the data folder
    CQSO2006SRC& boundQsoSet; // the document's QSO set, opened at start (import matching)
    // The view's own recordsets (not open; each opens its own connection when first opened)
    // and output files (closed). The view closes whatever is left open when the window closes.
    CQSO2006SRC& qsoSet;
    CPP2006SRC& prefixSet;
    CDxb96CountySet& countySet;
    QFile& adifFile;
    QFile& errorFile;
    QFile& importedFile;
};

// The form view: the monitors and counters, the step guide, the operator's choices and the
// buttons that start the operations. Laid out by CBrindlewickView.ui; every control carries
// its resource number as the property "controlId".
class CBrindlewickView : public QWidget
{
    Q_OBJECT

public:
    using Operation = std::function<void(OperationContext&)>;

    CBrindlewickView(CBrindlewickDoc& doc, const Options& options, Paths& paths, Desktop& desktop,
                     MessageBox& messageBox, QWidget* parent = nullptr);
    ~CBrindlewickView() override;

    // Fills the form from the options and the saved-date file; call once, after the view has
    // been placed in its window (the window's title is set here).
    void OnInitialUpdate();
    // Keeps the date typed, closes the recordsets and the output files. Runs once; the
    // destructor runs it when nobody did.
    void DestroyWindow();

    // Creates the signing-slot and download-call radio buttons beside their labels.
    void CreateChoiceButtons();
    // Loads the choices from the controls.
    void ReadChoices();
    // Shows the held choices on the controls again (part of the form's refresh).
    void showChoices();

    // The operations the three buttons start. Without one, the button reads the choices only.
    void setUploadOperation(Operation operation) { m_upload = std::move(operation); }
    void setReportRequestOperation(Operation operation) { m_reportRequest = std::move(operation); }
    void setImportOperation(Operation operation) { m_import = std::move(operation); }
    // Whether an operation is running (its buttons are disabled meanwhile).
    bool isRunning() const { return m_running; }

    QWidget* control(int controlId) const;
    void setStepIcon(int controlId, int icon);
    EventMonitor& monitor();
    FormMonitor& formMonitor() { return *m_monitor; }
    ChoiceModel& choiceModel() { return *m_choices; }
    const Options& options() const { return m_options; }
    QString qslDateFilePath() const;

public slots:
    void OnUpload();
    void OnDownloadFromLotw();
    void OnLotwImport();
    void OnSaveDate();
    void OnViewErrorFile();
    void OnViewImportedList();
    // The form's Stop button (and Escape): asks the running operation to stop.
    void OnStop();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void runOperation(const Operation& operation);
    void viewFile(const QString& path);
    void setOperationButtonsEnabled(bool enabled);
    FormTexts readTexts() const;
    QString controlText(int controlId) const;
    void setControlText(int controlId, const QString& text);
    void indexControls();
    void connectChoiceRadios();
    QAbstractButton* button(int controlId) const;

    std::unique_ptr<Ui::CBrindlewickView> m_ui;
    CBrindlewickDoc& m_doc;
    Options m_options;
    Paths& m_paths;
    Desktop& m_desktop;
    MessageBox& m_messageBox;
    std::unique_ptr<ChoiceModel> m_choices;
    std::unique_ptr<FormMonitor> m_monitor;
    std::unique_ptr<CQSO2006SRC> m_qsoSet;
    std::unique_ptr<CPP2006SRC> m_prefixSet;
    std::unique_ptr<CDxb96CountySet> m_countySet;
    QFile m_adifFile;
    QFile m_errorFile;
    QFile m_importedFile;
    QHash<int, QWidget*> m_controls;
    QButtonGroup* m_signingGroup = nullptr;
    QButtonGroup* m_downloadGroup = nullptr;
    Operation m_upload;
    Operation m_reportRequest;
    Operation m_import;
    bool m_running = false;
    bool m_destroyed = false;
    bool m_buttonsCreated = false;
};
