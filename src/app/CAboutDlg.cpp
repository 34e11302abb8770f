#include "CAboutDlg.h"

#include "ProgramIcon.h"
#include "platform/Strings.h"
#include "platform/Version.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("About "));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setProperty("controlId", 100);

    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("programIcon"));
    icon->setPixmap(ProgramIcon().pixmap(48, 48));
    auto* version = new QLabel(Strings::text(Strings::AppTitle), this);
    version->setObjectName(QStringLiteral("versionText"));
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setProperty("controlId", 1);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* purpose = new QLabel(QStringLiteral("Carries QSOs between the DXbase log and ARRL's LoTW: uploads the due "
                                              "QSOs through TQSL and imports the LoTW QSL report."),
                               this);
    purpose->setObjectName(QStringLiteral("purposeText"));
    purpose->setWordWrap(true);
    auto* licence = new QLabel(QStringLiteral("Free software under the GNU General Public License, version 3 or "
                                              "(at your choice) any later version. It comes with no warranty."),
                               this);
    licence->setObjectName(QStringLiteral("licenceText"));
    licence->setWordWrap(true);
    const QString address = Version::homePage();
    auto* homePage = new QLabel(QStringLiteral("<a href=\"%1\">%1</a>").arg(address.toHtmlEscaped()), this);
    homePage->setObjectName(QStringLiteral("homePage"));
    homePage->setTextFormat(Qt::RichText);
    homePage->setTextInteractionFlags(Qt::TextBrowserInteraction);
    homePage->setOpenExternalLinks(true);

    auto* row = new QHBoxLayout;
    row->addWidget(icon, 0, Qt::AlignTop);
    row->addWidget(version, 1);
    row->addWidget(ok, 0, Qt::AlignTop);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addSpacing(6);
    layout->addWidget(purpose);
    layout->addWidget(licence);
    layout->addWidget(homePage);
    // Wrapped lines take the width of the top row with room to breathe, not a single long line.
    purpose->setMinimumWidth(340);
    setFixedSize(sizeHint());
}
