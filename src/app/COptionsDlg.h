#pragma once

#include "GuiRelay.h"
#include "options/CommitOptions.h"
#include "options/OptionsDialogModel.h"

#include <QDialog>
#include <array>
#include <atomic>
#include <functional>
#include <memory>

class QComboBox;
class QLineEdit;
namespace Ui {
class COptionsDlg;
}

// The options dialog shown at every start: the database paths, the ADIF files, five signing
// stations and five LoTW logins. Its controls carry their resource numbers as the property
// "controlId". The rules live in OptionsDialogModel; this class exchanges the model's copy
// with the controls and routes the commands.
class COptionsDlg : public QDialog
{
    Q_OBJECT
public:
    // Chooses a database file; returns the chosen file's path, or empty when cancelled.
    using FileChooser = std::function<QString(QWidget* parent, const QString& current)>;

    COptionsDlg(const Paths& paths, const Profile& profile, const TqslLocator& locator, MessageBox& messages,
                Desktop& desktop, QWidget* parent = nullptr);
    ~COptionsDlg() override;

    // Fills the dialog: station discovery, defaults, option files, TQSL, passwords (the model's
    // initialisation, run on a worker thread while the window stays painted; the messages it
    // shows and the desktop services it asks for are carried out on the window's thread),
    // then puts the values into the controls and sets the caption.
    void initialiseDialog(bool afterBrowse = false);

    // The values as confirmed with OK.
    OptionsDialogResult result() const;
    OptionsDialogModel& model() { return m_model; }

    void setFileChooser(FileChooser chooser) { m_chooser = std::move(chooser); }
    // At start, Cancel (or Escape) ends the program: the operator is asked first.
    void setCancelEndsProgram(bool ends) { m_cancelEndsProgram = ends; }

    // The edit with a resource number, or nullptr.
    QLineEdit* edit(int controlId) const;

public slots:
    // Refuses while a required entry is blank, naming it, with every edit kept.
    void accept() override;
    void reject() override;

private:
    void browse(int editId);
    void clearAllPasswords();
    void deleteRow(int slot);
    void putValues();  // the model's copy into the controls
    void takeValues(); // the controls into the model's copy
    std::vector<std::pair<int, QString*>> exchangedEdits();

    std::unique_ptr<Ui::COptionsDlg> m_ui;
    const std::atomic<bool> m_stays{false}; // the dialog always waits for its initialisation
    RelayMessageBox m_messages;
    RelayDesktop m_desktop;
    OptionsDialogModel m_model;
    FileChooser m_chooser;
    bool m_cancelEndsProgram = false;
    std::array<QComboBox*, kSlotCount> m_locationLists{};
};
