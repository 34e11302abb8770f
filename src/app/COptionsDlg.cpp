#include "COptionsDlg.h"

#include "UpperCaseValidator.h"
#include "ui_COptionsDlg.h"

#include "platform/Strings.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QLineEdit>
#include <QPushButton>

namespace {
QString chooseDatabase(QWidget* parent, const QString& current)
{
    const QString chosen = QFileDialog::getOpenFileName(
        parent, QString(), current, QStringLiteral("DXbase (*.mdb *.accdb *.sqlite *.db)"));
    return chosen.isEmpty() ? chosen : QDir::toNativeSeparators(chosen);
}
}

COptionsDlg::COptionsDlg(const Paths& paths, const Profile& profile, const TqslLocator& locator,
                         MessageBox& messages, Desktop& desktop, QWidget* parent)
    : QDialog(parent),
      m_ui(std::make_unique<Ui::COptionsDlg>()),
      m_messages(messages, this, m_stays),
      m_desktop(desktop, this, m_stays),
      m_model(paths, profile, locator, m_messages, m_desktop),
      m_chooser(chooseDatabase)
{
    m_ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    m_ui->spareTextEdit->setVisible(false);
    m_ui->tqslFolderEdit->setVisible(false);

    // Call signs are kept in capitals.
    for (int id : {1065, 1067, 1069, 1071, 1073, 1075, 1076, 1077, 1078, 1079})
        edit(id)->setValidator(new UpperCaseValidator(edit(id)));
    // Passwords are not shown as they are typed.
    for (int id = 1080; id < 1080 + kSlotCount; ++id)
        edit(id)->setEchoMode(QLineEdit::Password);
    // A location is typed or picked from TQSL's own: each location edit becomes the text of an
    // editable list in its place (it keeps its resource number).
    for (int k = 0; k < kSlotCount; ++k) {
        QLineEdit* location = edit(1066 + 2 * k);
        auto* list = new QComboBox(location->parentWidget());
        list->setEditable(true);
        list->setInsertPolicy(QComboBox::NoInsert);
        list->setSizePolicy(location->sizePolicy());
        list->setMinimumWidth(location->minimumWidth());
        if (QLayout* layout = location->parentWidget()->layout())
            delete layout->replaceWidget(location, list);
        list->setLineEdit(location);
        m_locationLists[size_t(k)] = list;
    }

    connect(m_ui->okButton, &QPushButton::clicked, this, &COptionsDlg::accept);
    connect(m_ui->cancelButton, &QPushButton::clicked, this, &COptionsDlg::reject);
    connect(m_ui->browseSourceButton, &QPushButton::clicked, this, [this] { browse(1041); });
    connect(m_ui->browseRefdataButton, &QPushButton::clicked, this, [this] { browse(1042); });
    connect(m_ui->clearPasswordsButton, &QPushButton::clicked, this, &COptionsDlg::clearAllPasswords);
    const QPushButton* deletes[] = {m_ui->deleteButton2, m_ui->deleteButton3, m_ui->deleteButton4, m_ui->deleteButton5};
    for (int k = 0; k < 4; ++k)
        connect(deletes[k], &QPushButton::clicked, this, [this, k] { deleteRow(k + 1); });
}

COptionsDlg::~COptionsDlg() = default;

QLineEdit* COptionsDlg::edit(int controlId) const
{
    for (QLineEdit* e : findChildren<QLineEdit*>()) {
        if (e->property("controlId").toInt() == controlId)
            return e;
    }
    return nullptr;
}

std::vector<std::pair<int, QString*>> COptionsDlg::exchangedEdits()
{
    Options& c = m_model.copy();
    std::vector<std::pair<int, QString*>> edits = {
        {1041, &c.sourceMdbPath}, {1042, &c.refdataMdbPath}, {1063, &c.uploadAdifPath},
        {1064, &c.reportAdifPath}, {1061, &c.spareText},     {1062, &c.tqslFolder},
    };
    for (int k = 0; k < kSlotCount; ++k) {
        edits.push_back({1065 + 2 * k, &c.stations[k].oprCall});
        edits.push_back({1066 + 2 * k, &c.stations[k].location});
        edits.push_back({1075 + k, &c.logins[k].loginCall});
        edits.push_back({1080 + k, &c.logins[k].passwordField});
    }
    return edits;
}

void COptionsDlg::putValues()
{
    // TQSL's locations in every list; the text of each stays what the copy holds.
    for (QComboBox* list : m_locationLists) {
        if (!list)
            continue;
        const QString text = list->lineEdit()->text();
        list->clear();
        list->addItems(m_model.knownLocations());
        list->lineEdit()->setText(text);
    }
    for (const auto& [id, value] : exchangedEdits())
        edit(id)->setText(*value);
    m_ui->versionLabel->setText(m_model.versionText());
}

void COptionsDlg::takeValues()
{
    for (const auto& [id, value] : exchangedEdits())
        *value = edit(id)->text();
}

void COptionsDlg::initialiseDialog(bool afterBrowse)
{
    putValues();
    RunOnWorkerThread([this, afterBrowse] { m_model.initialise(afterBrowse); });
    putValues();
    // The paths are shown in the caption as they are set; the report file's comes last.
    const Options& c = m_model.copy();
    for (const QString* path : {&c.sourceMdbPath, &c.refdataMdbPath, &c.uploadAdifPath, &c.reportAdifPath})
        setWindowTitle(*path);
}

OptionsDialogResult COptionsDlg::result() const
{
    OptionsDialogResult r;
    r.values = m_model.copy();
    r.deleted = m_model.deletedRows();
    return r;
}

void COptionsDlg::accept()
{
    takeValues();
    const QStringList blank = m_model.blankRequiredEntries();
    if (!blank.isEmpty()) {
        // The edits stay; the first blank entry gets the focus.
        m_messages.show(Strings::text(Strings::RequiredBlank) + QStringLiteral("\n\nBlank: ") + blank.join(QStringLiteral(", "))
                        + QLatin1Char('.'));
        for (const auto& [id, value] : exchangedEdits()) {
            if (value->isEmpty() && edit(id)->isVisible()) {
                edit(id)->setFocus();
                break;
            }
        }
        return;
    }
    QDialog::accept();
}

void COptionsDlg::reject()
{
    if (m_cancelEndsProgram
        && !m_messages.ask(QStringLiteral("Quit Quorvane? The options stay as they were saved last.")))
        return;
    QDialog::reject();
}

void COptionsDlg::browse(int editId)
{
    // What was typed since the last initialisation is kept through the re-initialisation.
    takeValues();
    const QString chosen = m_chooser(this, edit(editId)->text());
    if (!chosen.isEmpty()) {
        if (editId == 1041)
            m_model.copy().sourceMdbPath = chosen;
        else
            m_model.copy().refdataMdbPath = chosen;
    }
    initialiseDialog(true);
}

void COptionsDlg::clearAllPasswords()
{
    if (!m_messages.ask(QStringLiteral("Clear the LoTW passwords of all five logins? They are removed when the "
                                       "options are confirmed with OK; Cancel keeps them.")))
        return;
    takeValues();
    m_model.clearAllPasswords();
    putValues();
}

void COptionsDlg::deleteRow(int slot)
{
    takeValues();
    m_model.deleteRow(slot);
    putValues();
}
