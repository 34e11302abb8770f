#include "CBrindlewickDoc.h"
#include "CBrindlewickView.h"
#include "CMainFrame.h"
#include "FormMonitor.h"
#include "FormOperations.h"
#include "MonitorModel.h"
#include "MonitorView.h"
#include "demo/DemoData.h"
#include "platform/Errors.h"
#include "platform/RunLock.h"
#include "support/Fakes.h"
#include "support/RealTqsl.h"
#include "support/SqliteFixture.h"
#include "support/StandInTqsl.h"
#include "support/TempDir.h"

#include <QBuffer>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSemaphore>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <memory>

namespace {

QString L(const char* text)
{
    return QString::fromLatin1(text);
}

// The control of a form with that resource number, or null.
template <class T = QWidget>
T* find(const QWidget& root, int controlId)
{
    const auto widgets = root.findChildren<QWidget*>();
    for (QWidget* widget : widgets) {
        const QVariant id = widget->property("controlId");
        if (id.isValid() && id.toInt() == controlId)
            return qobject_cast<T*>(widget);
    }
    return nullptr;
}

QString text(const QWidget& root, int controlId)
{
    QWidget* widget = find(root, controlId);
    if (auto* edit = qobject_cast<QLineEdit*>(widget))
        return edit->text();
    if (auto* label = qobject_cast<QLabel*>(widget))
        return label->text();
    ADD_FAILURE() << "no text control " << controlId;
    return QString();
}

bool checked(const QWidget& root, int controlId)
{
    auto* button = find<QAbstractButton>(root, controlId);
    if (!button) {
        ADD_FAILURE() << "no button " << controlId;
        return false;
    }
    return button->isChecked();
}

void click(const QWidget& root, int controlId)
{
    auto* button = find<QAbstractButton>(root, controlId);
    ASSERT_NE(button, nullptr) << controlId;
    QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, QPoint(4, button->height() / 2));
}

// Waits until the form's run has ended and everything it reported is shown.
void waitForRun(const CBrindlewickView& v, int timeoutMs = 60000)
{
    EXPECT_TRUE(QTest::qWaitFor([&] { return !v.isRunning(); }, timeoutMs)) << "the run did not end";
}

// Clicks a button that starts an operation and waits for the operation's end.
void run(const CBrindlewickView& v, int controlId)
{
    click(v, controlId);
    waitForRun(v);
}

// A form started on a small demo log in a test folder.
class FormTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        paths.data = dir.file(QStringLiteral("data"));
        options.sourceMdbPath = dir.file(QStringLiteral("log.sqlite"));
        options.refdataMdbPath = dir.file(QStringLiteral("refdata.sqlite"));
        options.uploadAdifPath = QStringLiteral("/home/op/quorvane260/LoTWUpload.adi");
        options.reportAdifPath = QStringLiteral("/home/op/quorvane260/lotwreport.adi");
        options.errorFilePath = QStringLiteral("/home/op/quorvane260/SemiQuorvaneErrors.txt");
        options.importedListPath = QStringLiteral("/home/op/quorvane260/SemiQuorvaneImportedQSOs.txt");
        options.tqslExePath = QStringLiteral("/usr/bin/tqsl");
        options.spareText = QStringLiteral("spare");
        setSlot(1, "K1ABC", "K1ABC", "pw1");
        DemoData::writeLog(options.sourceMdbPath, 5, 1);
    }

    void setSlot(int slot, const char* opr, const char* login, const char* password)
    {
        options.stations[slot - 1].oprCall = L(opr);
        options.stations[slot - 1].location = QStringLiteral("Location %1").arg(slot);
        options.logins[slot - 1].loginCall = L(login);
        options.logins[slot - 1].passwordLoaded = L(password);
    }

    CBrindlewickView& start()
    {
        doc = std::make_unique<CBrindlewickDoc>(options.sourceMdbPath);
        view = std::make_unique<CBrindlewickView>(*doc, options, paths, desktop, messages);
        view->resize(800, 660);
        view->OnInitialUpdate();
        view->show();
        QCoreApplication::processEvents();
        return *view;
    }

    TestDir dir;
    Options options;
    FakePaths paths;
    FakeDesktop desktop;
    FakeMessageBox messages;
    std::unique_ptr<CBrindlewickDoc> doc;
    std::unique_ptr<CBrindlewickView> view;
};

TEST_F(FormTest, InitialUpdateShowsOptions)
{
    CBrindlewickView& v = start();
    EXPECT_EQ(v.windowTitle(), L("Quorvane Version 2.71 - - K1ABC"));
    EXPECT_EQ(doc->title(), L("Quorvane Version 2.71"));
    EXPECT_TRUE(doc->qsoSet().isOpen());
    EXPECT_TRUE(messages.shown.isEmpty()) << messages.shown.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(text(v, 1096), options.reportAdifPath);
    EXPECT_EQ(text(v, 1043), options.sourceMdbPath);
    EXPECT_EQ(text(v, 1044), options.errorFilePath);
    EXPECT_EQ(text(v, 1059), options.importedListPath);
    EXPECT_EQ(text(v, 1091), options.uploadAdifPath);
    EXPECT_EQ(text(v, 1092), options.tqslExePath);
    EXPECT_EQ(text(v, 1090), options.spareText);
    EXPECT_EQ(text(v, 1080), L("K1ABC"));
    EXPECT_EQ(text(v, 1085), L("K1ABC"));
    EXPECT_EQ(text(v, 1081), L(""));
    EXPECT_TRUE(QDir(paths.data).exists());
    EXPECT_FALSE(find(v, 1090)->isVisible());
    EXPECT_FALSE(find(v, 1092)->isVisible());
    EXPECT_TRUE(find<QLineEdit>(v, 1041)->isReadOnly());
    EXPECT_TRUE(find<QLineEdit>(v, 1096)->isReadOnly());
    for (int id : {1099, 1100, 1101, 1102, 1103, 1104, 1108}) {
        auto* icon = find<QLabel>(v, id);
        ASSERT_NE(icon, nullptr) << id;
        EXPECT_EQ(icon->property("icon").toInt(), 140) << id;
        EXPECT_FALSE(icon->pixmap().isNull()) << id;
    }
}

TEST_F(FormTest, EveryControlIsThere)
{
    CBrindlewickView& v = start();
    for (int id : {1001, 1004, 1036, 1037, 1038, 1039, 1041, 1043, 1044, 1045, 1048, 1050, 1053, 1054, 1055,
                   1056, 1057, 1058, 1059, 1060, 1080, 1081, 1082, 1083, 1084, 1085, 1086, 1087, 1088, 1089,
                   1090, 1091, 1092, 1094, 1095, 1096, 1099, 1100, 1101, 1102, 1103, 1104, 1105, 1106, 1107,
                   1108, 1109, 1110})
        EXPECT_NE(find(v, id), nullptr) << id;
    EXPECT_EQ(find<QPushButton>(v, 1004)->text(), L("&Upload"));
    EXPECT_EQ(find<QPushButton>(v, 1057)->text(), L("#&1 - Download fm LoTW"));
    EXPECT_EQ(find<QPushButton>(v, 1054)->text(), L("#&2 - LoTW Import"));
    EXPECT_EQ(find<QPushButton>(v, 1095)->text(), L("Save &Date ^"));
    EXPECT_EQ(find<QRadioButton>(v, 1109)->text(), L("Over&write IOTA && GRID with LoTW info"));
    EXPECT_EQ(find<QCheckBox>(v, 1045)->text(), L("T&est only - No ADIF file created"));
}

// Tab goes through the form as it is laid out, the choice buttons made at run time in their
// places, not last; Enter presses the button that has the focus.
TEST_F(FormTest, TabOrderFollowsTheFormAndEnterPresses)
{
    CBrindlewickView& v = start();
    QStringList order;
    QWidget* w = find(v, 1001);
    ASSERT_NE(w, nullptr);
    for (int step = 0; step < 1000; ++step) {
        const QVariant id = w->property("controlId");
        if (id.isValid() && (order.isEmpty() || order.last() != id.toString()))
            order.append(id.toString());
        w = w->nextInFocusChain();
        if (w == find(v, 1001))
            break;
    }
    const qsizetype upload = order.indexOf(QStringLiteral("1004"));
    const qsizetype firstStation = order.indexOf(QStringLiteral("2001"));
    const qsizetype downloadMonitor = order.indexOf(QStringLiteral("1048"));
    const qsizetype firstCall = order.indexOf(QStringLiteral("2012"));
    const qsizetype download = order.indexOf(QStringLiteral("1057"));
    ASSERT_GE(firstStation, 0) << order.join(QLatin1Char(' ')).toStdString();
    ASSERT_GE(firstCall, 0) << order.join(QLatin1Char(' ')).toStdString();
    EXPECT_LT(order.indexOf(QStringLiteral("1001")), firstStation);
    EXPECT_LT(firstStation, upload);
    EXPECT_LT(upload, downloadMonitor);
    EXPECT_LT(downloadMonitor, firstCall);
    EXPECT_LT(firstCall, download);
    EXPECT_LT(download, order.indexOf(QStringLiteral("1105")));

    int saved = 0;
    QObject::connect(find<QPushButton>(v, 1095), &QPushButton::clicked, [&saved] { ++saved; });
    find(v, 1095)->setFocus();
    QTest::keyClick(find(v, 1095), Qt::Key_Return);
    EXPECT_EQ(saved, 1);
}

// The text as shown: a single "&" marks the mnemonic's letter, "&&" is an "&".
QString withoutMnemonic(const QString& text)
{
    QString shown;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == QLatin1Char('&') && i + 1 < text.size())
            ++i;
        shown += text.at(i);
    }
    return shown;
}

// The operator reaches the form's buttons and choices with Alt and a letter: each of them has
// one, and no two (nor a menu of the window) share it.
TEST_F(FormTest, EveryButtonAndChoiceHasAMnemonicOfItsOwn)
{
    CBrindlewickView& v = start();
    QStringList letters = {L("f"), L("v"), L("a")}; // the menus: File, View, About
    for (int id : {1004, 1113, 1112, 1045, 1111, 1116, 1057, 1054, 1114, 1115, 1036, 1037, 1038, 1039, 1095, 1109,
                   1110}) {
        QWidget* control = find(v, id);
        ASSERT_NE(control, nullptr) << id;
        auto* button = qobject_cast<QAbstractButton*>(control);
        ASSERT_NE(button, nullptr) << id;
        const QString text = button->text();
        qsizetype at = -1;
        for (qsizetype i = 0; i + 1 < text.size(); ++i) {
            if (text.at(i) == QLatin1Char('&')) {
                if (text.at(i + 1) == QLatin1Char('&')) {
                    ++i;
                    continue;
                }
                at = i + 1;
                break;
            }
        }
        ASSERT_GE(at, 0) << id << " " << text.toStdString();
        const QString letter = text.at(at).toLower();
        EXPECT_FALSE(letters.contains(letter)) << id << " " << text.toStdString();
        letters.append(letter);
    }
}

TEST_F(FormTest, FixedTextsOfTheForm)
{
    CBrindlewickView& v = start();
    QStringList shown;
    for (QLabel* label : v.findChildren<QLabel*>())
        shown << label->text();
    for (QGroupBox* box : v.findChildren<QGroupBox*>())
        shown << box->title();
    for (QAbstractButton* button : v.findChildren<QAbstractButton*>())
        shown << withoutMnemonic(button->text());
    for (const char* fixed :
         {"Event monitor (Upload to ARRL LoTW)", "Event monitor (Download fm ARRL LoTW)", "QSO record stats Upload",
          "QSO record stats Download", "QSOs Read-in", "ADIF Output", "LoTW Recs Used", "QSOs w/errors",
          "New DXCC Credits", "Warnings", "LoTW", "- Any Call -", "Download ALL QSLs", "Only fm last QSL >",
          "YYYY-MM-DD", "Load all records", "Load only if not LoTW cfmd", "Do not overwrite", "TQ8 Upload file:",
          "ADIF Download file:", "Make ADIF file", "Sign ADIF file - PASSWORD", "Make TQ8 file",
          "Clipboard has TQ8 path/filename",
          "LogON LoTW website. PASTE the TQ8 path/filename on webpage. UPLOAD file.",
          "LogON LoTW website. PASTE the download ADIF path/filename on the SAVE AS window. Save File!",
          "ADI Upld file:", "Source mdb:", "Imported QSOs:", "Error file:"})
        EXPECT_TRUE(shown.contains(L(fixed))) << fixed;
    EXPECT_EQ(shown.count(L("QSOs Read-in")), 2);
    EXPECT_EQ(find<QPushButton>(v, 1105)->text(), L("View"));
    EXPECT_EQ(find<QPushButton>(v, 1106)->text(), L("View"));
    EXPECT_TRUE(find<QLineEdit>(v, 1041)->isReadOnly());
    EXPECT_TRUE(find<QLineEdit>(v, 1096)->isReadOnly());
    EXPECT_EQ(find<QLineEdit>(v, 1094)->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
}

struct Tq8Case
{
    const char* name;
    QString adif;
    QString tq8;
};

// The case by its name in test listings (not its bytes).
void PrintTo(const Tq8Case& c, std::ostream* os)
{
    *os << c.name;
}

class Tq8Path : public FormTest, public ::testing::WithParamInterface<Tq8Case> {};

TEST_P(Tq8Path, FromAdifUploadPath)
{
    options.uploadAdifPath = GetParam().adif;
    CBrindlewickView& v = start();
    EXPECT_EQ(text(v, 1041), GetParam().tq8);
}

const QString kLong = QStringLiteral("/home/op/") + QString(100, QLatin1Char('d')) + QStringLiteral("/LoTWUpload.adi");

INSTANTIATE_TEST_SUITE_P(
    Cases, Tq8Path,
    ::testing::Values(Tq8Case{"Adi", QStringLiteral("/home/op/LoTWUpload.adi"), QStringLiteral("/home/op/LoTWUpload.tq8")},
                      Tq8Case{"Upper", QStringLiteral("C:\\quorvane260\\UP.ADI"), QStringLiteral("C:\\quorvane260\\UP.tq8")},
                      Tq8Case{"Exactly99", QString(95, QLatin1Char('a')) + QStringLiteral(".adi"),
                              QString(95, QLatin1Char('a')) + QStringLiteral(".tq8")},
                      // A path is shown whole, however long.
                      Tq8Case{"Longer", kLong, kLong.chopped(3) + QStringLiteral("tq8")},
                      Tq8Case{"Empty", QString(), QString()}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FormTest, DefaultsWithoutSavedDateFile)
{
    CBrindlewickView& v = start();
    EXPECT_TRUE(checked(v, 1036));
    EXPECT_FALSE(checked(v, 1037));
    EXPECT_FALSE(checked(v, 1038));
    EXPECT_TRUE(checked(v, 1039));
    EXPECT_FALSE(checked(v, 1109));
    EXPECT_TRUE(checked(v, 1110));
    EXPECT_FALSE(checked(v, 1045));
    EXPECT_EQ(text(v, 1094), L(""));
}

struct SavedCase
{
    const char* name;
    QByteArray file;
    const char* date;
    bool since;       // 1037 checked (else 1036)
    bool allRecords;  // 1038 checked (else 1039)
    bool overwrite;   // 1109 checked (else 1110)
};

// The case by its name in test listings (not its bytes).
void PrintTo(const SavedCase& c, std::ostream* os)
{
    *os << c.name;
}

class SavedDates : public FormTest, public ::testing::WithParamInterface<SavedCase> {};

TEST_P(SavedDates, SetRadiosAndDate)
{
    QDir().mkpath(paths.data);
    dir.write(QStringLiteral("data/quorvane2.dat"), GetParam().file);
    CBrindlewickView& v = start();
    const SavedCase& c = GetParam();
    EXPECT_EQ(text(v, 1094), L(c.date));
    EXPECT_EQ(checked(v, 1037), c.since);
    EXPECT_EQ(checked(v, 1036), !c.since);
    EXPECT_EQ(checked(v, 1038), c.allRecords);
    EXPECT_EQ(checked(v, 1039), !c.allRecords);
    EXPECT_EQ(checked(v, 1109), c.overwrite);
    EXPECT_EQ(checked(v, 1110), !c.overwrite);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SavedDates,
    ::testing::Values(
        SavedCase{"Since", QByteArray("1\r\n2011-03-05\x05" "1:0:1:1:0:0:0:0:0:0:0:0\r\n"), "2011-03-05", true, false, false},
        SavedCase{"AllZero", QByteArray("1\r\n2012-01-02\x05" "0:-1:0:0:0:0:0:0:0:0:0:0\r\n"), "2012-01-02", false, true, true},
        SavedCase{"MinusOne", QByteArray("1\r\n\x05" "-1:-1:-1:-1:0:0:0:0:0:0:0:0\r\n"), "", false, true, true},
        // Cut short after the second number: the rest keep the starting values.
        SavedCase{"Short", QByteArray("1\r\n2011-03-05\x05" "1:0"), "2011-03-05", true, false, false},
        SavedCase{"Ones", QByteArray("1\r\nx\x05" "1:0:1:1:0:0:0:0:0:0:0:0\r\n"), "x", true, false, false}),
    [](const auto& info) { return std::string(info.param.name); });

// A radio value other than -1, 0 and 1 leaves its group as it is: nothing selected at start.
TEST_F(FormTest, SavedValueOutOfRangeSelectsNothing)
{
    QDir().mkpath(paths.data);
    dir.write(QStringLiteral("data/quorvane2.dat"), QByteArray("1\r\nx\x05" "7:0:2:-2:0:0:0:0:0:0:0:0\r\n"));
    CBrindlewickView& v = start();
    for (int id : {1036, 1037, 1038, 1039, 1109, 1110})
        EXPECT_FALSE(checked(v, id)) << id;
    v.ReadChoices();
    EXPECT_EQ(v.choiceModel().choices().ReportRange, -1);
    EXPECT_EQ(v.choiceModel().choices().ImportScope, -1);
    EXPECT_EQ(v.choiceModel().choices().OverwriteChoice, -1);
}

TEST_F(FormTest, OneSlotGivesOneSigningButton)
{
    CBrindlewickView& v = start();
    EXPECT_NE(find(v, 2001), nullptr);
    for (int id : {2002, 2003, 2004, 2005, 2013, 2014, 2015, 2016})
        EXPECT_EQ(find(v, id), nullptr) << id;
    EXPECT_TRUE(checked(v, 2001));
    EXPECT_FALSE(checked(v, 2011));
    EXPECT_TRUE(checked(v, 2012));
    const Choices& c = v.choiceModel().choices();
    EXPECT_EQ(c.SigningCall, L("K1ABC"));
    EXPECT_EQ(c.CurrentLoginCall, L("K1ABC"));
    EXPECT_EQ(c.CurrentPassword, L("pw1"));
    EXPECT_EQ(c.DownloadCall, L("K1ABC"));
    EXPECT_FALSE(c.AnyCall);
}

TEST_F(FormTest, FiveSlotsGiveEveryButtonBesideItsLabel)
{
    setSlot(2, "W2AA", "W2AA", "pw2");
    setSlot(3, "W3AA", "", "");
    setSlot(4, "W4AA", "W4AA", "pw4");
    setSlot(5, "W5AA", "W5AA", "pw5");
    CBrindlewickView& v = start();
    const std::pair<int, int> beside[] = {{2001, 1080}, {2002, 1081}, {2003, 1082}, {2004, 1083}, {2005, 1084},
                                          {2012, 1085}, {2013, 1086}, {2014, 1087}, {2015, 1088}, {2016, 1089}};
    for (auto [buttonId, labelId] : beside) {
        QWidget* button = find(v, buttonId);
        QWidget* label = find(v, labelId);
        ASSERT_NE(button, nullptr) << buttonId;
        EXPECT_TRUE(button->isVisible()) << buttonId;
        EXPECT_EQ(button->parentWidget(), label->parentWidget()) << buttonId;
        EXPECT_LT(button->geometry().right(), label->geometry().left()) << buttonId;
        EXPECT_LE(std::abs(button->geometry().center().y() - label->geometry().center().y()), 2) << buttonId;
    }
    EXPECT_NE(find(v, 2011), nullptr);
    EXPECT_EQ(text(v, 1086), L("W2AA"));
    EXPECT_EQ(text(v, 1087), L("W3AA"));
}

TEST_F(FormTest, ClicksSetTheChoices)
{
    setSlot(2, "W2AA", "W2LOG", "pw2");
    setSlot(3, "W3AA", "", "");
    CBrindlewickView& v = start();
    const Choices& c = v.choiceModel().choices();

    // Slot 3 has no login call: it signs as W3AA and logs in as slot 1.
    click(v, 2003);
    EXPECT_TRUE(checked(v, 2003));
    EXPECT_FALSE(checked(v, 2001));
    EXPECT_EQ(c.SigningCall, L("W3AA"));
    EXPECT_EQ(c.CurrentLoginCall, L("K1ABC"));
    EXPECT_EQ(c.CurrentPassword, L("pw1"));

    click(v, 2002);
    EXPECT_EQ(c.CurrentLoginCall, L("W2LOG"));
    EXPECT_EQ(c.CurrentPassword, L("pw2"));
    click(v, 2001);
    EXPECT_EQ(c.SigningCall, L("K1ABC"));
    EXPECT_EQ(c.CurrentLoginCall, L("K1ABC"));
    EXPECT_EQ(c.CurrentPassword, L("pw1"));

    click(v, 2013);
    EXPECT_EQ(c.DownloadCall, L("W2AA"));
    EXPECT_EQ(c.CurrentLoginCall, L("W2LOG"));
    EXPECT_TRUE(checked(v, 2001)); // the signing group keeps its own selection

    click(v, 2011);
    EXPECT_TRUE(c.AnyCall);
    EXPECT_TRUE(checked(v, 2011));
    EXPECT_FALSE(checked(v, 2013));
    EXPECT_EQ(c.DownloadCall, L("W2AA"));
    EXPECT_EQ(c.CurrentLoginCall, L("K1ABC"));
    EXPECT_EQ(c.CurrentPassword, L("pw1"));

    click(v, 1037);
    EXPECT_EQ(c.ReportRange, 1);
    EXPECT_EQ(c.SinceChoice, 0);
    EXPECT_FALSE(checked(v, 1036));
    click(v, 1038);
    EXPECT_EQ(c.ImportScope, 0);
    click(v, 1109);
    EXPECT_EQ(c.OverwriteChoice, 0);
    // The three fixed groups are independent of each other.
    EXPECT_TRUE(checked(v, 1037));
    EXPECT_TRUE(checked(v, 1038));
    EXPECT_TRUE(checked(v, 1109));
}

TEST_F(FormTest, RefreshKeepsLoadAllRecords)
{
    CBrindlewickView& v = start();
    click(v, 1038);
    RunCounters counters;
    ProblemLog problems(v.monitor(), counters);
    problems.LogRecordEvent(ProblemKind::Warning, QStringLiteral("Bad"), ProblemRecord()); // a warning refreshes the form
    EXPECT_TRUE(checked(v, 1038));
    EXPECT_FALSE(checked(v, 1039));
    EXPECT_TRUE(checked(v, 1036));
    EXPECT_TRUE(checked(v, 1110));
}

TEST_F(FormTest, ReadChoicesTakesTheControls)
{
    CBrindlewickView& v = start();
    click(v, 1045);
    click(v, 1037);
    find<QLineEdit>(v, 1094)->setText(QString(120, QLatin1Char('9')));
    v.ReadChoices();
    const Choices& c = v.choiceModel().choices();
    EXPECT_TRUE(c.TestOnly);
    EXPECT_EQ(c.ReportRange, 1);
    EXPECT_EQ(c.SinceChoice, 0);
    EXPECT_EQ(c.ImportScope, 1);
    EXPECT_EQ(c.OverwriteChoice, 1);
    EXPECT_EQ(c.sinceDate, QString(99, QLatin1Char('9')));
}

// Problem lines on the form: kind, last database error, record, expected line.
struct ProblemCase
{
    const char* name;
    ProblemKind kind;
    const char* dbError;
    const char* band;
    const char* expected;
};

// The case by its name in test listings (not its bytes).
void PrintTo(const ProblemCase& c, std::ostream* os)
{
    *os << c.name;
}

class ProblemLines : public FormTest, public ::testing::WithParamInterface<ProblemCase> {};

TEST_P(ProblemLines, ByteForByte)
{
    CBrindlewickView& v = start();
    const ProblemCase& c = GetParam();
    QBuffer errors;
    errors.open(QIODevice::WriteOnly);
    RunCounters counters;
    ProblemLog problems(v.monitor(), counters);
    problems.setErrorDevice(&errors);
    problems.noteDbError(L(c.dbError));
    problems.LogRecordEvent(c.kind, QStringLiteral("Bad"),
                            {QStringLiteral("K1ABC"), QStringLiteral("20110305"), QStringLiteral("142500"), L(c.band),
                             QStringLiteral("2"), QStringLiteral("CT"), QStringLiteral("Hartford")});
    QCoreApplication::processEvents();
    MonitorModel& lines = v.formMonitor().downloadModel();
    ASSERT_EQ(lines.rowCount(), 1);
    EXPECT_EQ(lines.data(lines.index(0)).toString(), L(c.expected));
    EXPECT_EQ(errors.data(), QByteArray(c.expected) + "\r\n");
    const bool warning = c.kind == ProblemKind::Warning;
    EXPECT_EQ(text(v, 1107), warning ? L("1") : L(""));
    EXPECT_EQ(find<QLabel>(v, 1108)->property("icon").toInt(), warning ? 142 : 140);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProblemLines,
    ::testing::Values(
        ProblemCase{"Warning", ProblemKind::Warning, "", "6", "Warning:    Bad K1ABC 20110305 142500  14m  CW CT Hartford"},
        ProblemCase{"Error", ProblemKind::Error, "", "6", "ERROR:     Bad K1ABC 20110305 142500  14m  CW CT Hartford"},
        ProblemCase{"ErrorAfterDbError", ProblemKind::Error, "Disk full", "10",
                    "ERROR:  Disk full   Bad K1ABC 20110305 142500  1.8m  CW CT Hartford"},
        ProblemCase{"WarningAfterDbError", ProblemKind::Warning, "Locked", "23",
                    "Warning: Locked   Bad K1ABC 20110305 142500  5.3m  CW CT Hartford"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FormTest, WarningsCountAndUnknownBandKeepsText)
{
    CBrindlewickView& v = start();
    RunCounters counters;
    ProblemLog problems(v.monitor(), counters);
    ProblemRecord record;
    record.bandCode = QStringLiteral("8");
    problems.LogRecordEvent(ProblemKind::Warning, QString(), record);
    record.bandCode = QStringLiteral("99");
    problems.LogRecordEvent(ProblemKind::Warning, QString(), record);
    problems.LogRecordEvent(ProblemKind::Error, QString(), record);
    EXPECT_EQ(text(v, 1107), L("2"));
    EXPECT_EQ(counters.value(Counter::DownloadWarnings), 2);
    EXPECT_EQ(problems.memory().texts.band, L("7"));
    QCoreApplication::processEvents();
    MonitorModel& lines = v.formMonitor().downloadModel();
    ASSERT_EQ(lines.rowCount(), 3);
    EXPECT_TRUE(lines.line(1).contains(QLatin1String("  7m  "))) << lines.line(1).toStdString();
}

TEST_F(FormTest, CountersShownWithLongFormat)
{
    CBrindlewickView& v = start();
    EventMonitor& m = v.monitor();
    RunCounters counters;
    counters.set(Counter::UploadReadIn, 1234567);
    counters.set(Counter::DownloadErrors, -3);
    counters.set(Counter::DownloadNewDxcc, 0);
    EXPECT_EQ(text(v, 1050), L("")); // shown only by ShowCounters
    m.ShowCounters(counters);
    EXPECT_EQ(text(v, 1050), L("1234567"));
    EXPECT_EQ(text(v, 1058), L("-3"));
    EXPECT_EQ(text(v, 1060), L("0"));
    EXPECT_EQ(text(v, 1053), L("")); // not set by the run: left as it was
    // Each counter and step reaches the control with its resource number.
    const std::pair<Counter, int> statics[] = {{Counter::UploadReadIn, 1050},     {Counter::UploadAdifOut, 1053},
                                               {Counter::DownloadReadIn, 1055},   {Counter::DownloadRecsUsed, 1056},
                                               {Counter::DownloadErrors, 1058},   {Counter::DownloadNewDxcc, 1060},
                                               {Counter::DownloadWarnings, 1107}};
    for (const auto& [counter, id] : statics) {
        RunCounters one;
        one.set(counter, id * 10);
        m.ShowCounters(one);
        EXPECT_EQ(text(v, id), QString::number(id * 10)) << id;
    }
    const std::pair<Step, int> markers[] = {{Step::MakeAdif, 1099}, {Step::SignAdif, 1100}, {Step::MakeTq8, 1101},
                                            {Step::Clipboard, 1102}, {Step::Upload, 1103},  {Step::Download, 1104},
                                            {Step::ProblemPointer, 1108}};
    const std::pair<StepIcon, int> icons[] = {{StepIcon::Tick, 141}, {StepIcon::RedArrow, 142}, {StepIcon::Blank, 140}};
    for (const auto& [step, id] : markers) {
        for (const auto& [icon, number] : icons) {
            m.SetStepIcon(step, icon);
            EXPECT_EQ(find<QLabel>(v, id)->property("icon").toInt(), number) << id;
        }
    }
}

// As a list box does, the monitor stops at its last full page: the newest line is at its
// bottom, wholly in sight, after every batch of lines and after a resize.
TEST_F(FormTest, TheNewestLineIsWhollyInSightAtTheBottom)
{
    CBrindlewickView& v = start();
    auto* box = find<MonitorView>(v, 1001);
    ASSERT_NE(box, nullptr);
    const auto newestInSight = [box] {
        const QModelIndex last = box->model()->index(box->model()->rowCount() - 1, 0);
        return box->lastWholeRow() == last.row() && box->viewport()->rect().contains(box->visualRect(last));
    };
    // A few lines fit: none is scrolled away.
    for (int i = 0; i < 3; ++i)
        v.monitor().AddUploadEvent(QStringLiteral("line %1").arg(i));
    QCoreApplication::processEvents();
    EXPECT_EQ(box->topRow(), 0);
    EXPECT_TRUE(newestInSight());

    for (int i = 3; i < 1000; ++i)
        v.monitor().AddUploadEvent(QStringLiteral("line %1").arg(i));
    QCoreApplication::processEvents();
    ASSERT_EQ(box->model()->rowCount(), 1000);
    EXPECT_TRUE(newestInSight());
    EXPECT_EQ(box->indexAt(QPoint(2, box->visualRect(box->model()->index(999, 0)).center().y())).data().toString(),
              L("line 999"));
    // The line above the box's top is not in sight: the box is full.
    EXPECT_GT(box->topRow(), 0);
    EXPECT_EQ(box->lastWholeRow() - box->topRow() + 1, box->viewport()->height() / box->visualRect(box->model()->index(999, 0)).height());
    for (int i = 0; i < 1000; ++i)
        ASSERT_EQ(box->model()->index(i, 0).data().toString(), QStringLiteral("line %1").arg(i));

    v.monitor().AddUploadEvent(QStringLiteral("one more"));
    QCoreApplication::processEvents();
    EXPECT_TRUE(newestInSight());

    // A resized window keeps the newest line in sight.
    v.resize(v.width() - 20, v.height() - 20);
    QCoreApplication::processEvents();
    box->scrollToLast();
    EXPECT_TRUE(newestInSight());

    v.monitor().ClearUploadMonitor();
    QCoreApplication::processEvents();
    EXPECT_EQ(box->model()->rowCount(), 0);
    EXPECT_EQ(box->topRow(), -1);
    EXPECT_EQ(box->lastWholeRow(), -1);
}

// While an operation runs on its worker thread the window stays live, the buttons that start
// operations and the choices a run takes are disabled, and Stop is enabled.
// A full monitor drops its oldest lines and still shows the newest one, at its bottom, and
// every row shows its line once lines before it have gone.
TEST_F(FormTest, FullMonitorKeepsItsNewestLineInSight)
{
    CBrindlewickView& v = start();
    FormMonitor& m = v.formMonitor();
    const qsizetype total = MonitorModel::kMaxLines + MonitorModel::kBlockLines + 10;
    for (qsizetype i = 0; i < total; ++i)
        m.AddDownloadEvent(QString::number(i));
    m.showLines();
    auto* box = find<MonitorView>(v, 1048);
    const int rows = box->model()->rowCount();
    EXPECT_LE(rows, MonitorModel::kMaxLines);
    EXPECT_EQ(box->lastWholeRow(), rows - 1);
    EXPECT_EQ(box->model()->index(box->lastWholeRow(), 0).data().toString(), QString::number(total - 1));

    for (qsizetype i = 0; i < MonitorModel::kBlockLines; ++i)
        m.AddDownloadEvent(QStringLiteral("more %1").arg(i));
    QCoreApplication::processEvents();
    const int now = box->model()->rowCount();
    EXPECT_EQ(now, int(m.downloadModel().lineCount()));
    EXPECT_EQ(box->lastWholeRow(), now - 1);
    EXPECT_EQ(box->model()->index(box->lastWholeRow(), 0).data().toString(),
              QStringLiteral("more %1").arg(MonitorModel::kBlockLines - 1));
    box->scrollTo(box->model()->index(0, 0), QAbstractItemView::PositionAtTop);
    EXPECT_EQ(box->topRow(), 0);
    EXPECT_EQ(box->indexAt(QPoint(2, 2)).data().toString(), m.downloadModel().line(0));
    EXPECT_NE(m.downloadModel().line(0), QStringLiteral("0"));
}

TEST_F(FormTest, ControlsDisabledWhileOperationRuns)
{
    setSlot(2, "W2AA", "W2AA", "pw2");
    CBrindlewickView& v = start();
    std::atomic<int> uploads{0};
    std::atomic<int> requests{0};
    QSemaphore entered;
    QSemaphore release;
    v.setReportRequestOperation([&](OperationContext&) { ++requests; });
    v.setUploadOperation([&](OperationContext& context) {
        ++uploads;
        context.monitor.AddUploadEvent(QStringLiteral("working"));
        entered.release();
        release.acquire();
    });
    EXPECT_FALSE(find(v, 1112)->isEnabled());
    click(v, 1004);
    ASSERT_TRUE(entered.tryAcquire(1, 10000));
    EXPECT_TRUE(v.isRunning());
    const int runChoices[] = {1036, 1037, 1038, 1039, 1045, 1094, 1109, 1110, 1111, 2001, 2002, 2011, 2012, 2013};
    for (int id : {1004, 1057, 1054, 1095})
        EXPECT_FALSE(find(v, id)->isEnabled()) << id;
    for (int id : runChoices)
        EXPECT_FALSE(find(v, id)->isEnabled()) << id;
    EXPECT_TRUE(find(v, 1112)->isEnabled());
    EXPECT_TRUE(find(v, 1105)->isEnabled());
    // Nothing starts a second operation meanwhile, and the window goes on handling events.
    v.OnUpload();
    v.OnDownloadFromLotw();
    v.OnLotwImport();
    QTest::qWait(100);
    EXPECT_TRUE(v.isRunning());
    release.release();
    waitForRun(v);
    EXPECT_EQ(uploads, 1);
    EXPECT_EQ(requests, 0);
    for (int id : {1004, 1057, 1054, 1095})
        EXPECT_TRUE(find(v, id)->isEnabled()) << id;
    for (int id : runChoices)
        EXPECT_TRUE(find(v, id)->isEnabled()) << id;
    EXPECT_FALSE(find(v, 1112)->isEnabled());
    EXPECT_EQ(v.formMonitor().uploadModel().rowCount(), 1);
    EXPECT_EQ(find<MonitorView>(v, 1001)->topRow(), 0);
}

// The data folder's run lock is held from the click until the run has ended; while another
// program holds it, a click starts nothing and says why.
TEST_F(FormTest, RunHoldsTheDataFolderUntilItEnds)
{
    CBrindlewickView& v = start();
    QSemaphore entered;
    QSemaphore release;
    std::atomic<int> runs{0};
    v.setImportOperation([&](OperationContext&) {
        ++runs;
        entered.release();
        release.acquire();
    });
    click(v, 1054);
    ASSERT_TRUE(entered.tryAcquire(1, 10000));
    QString busy;
    {
        RunLock other(paths.data);
        EXPECT_FALSE(other.acquire(busy));
    }
    release.release();
    waitForRun(v);
    {
        RunLock other(paths.data);
        ASSERT_TRUE(other.acquire(busy)) << busy.toStdString();
        click(v, 1054);
        EXPECT_FALSE(v.isRunning());
        ASSERT_EQ(messages.shown.size(), 1);
        EXPECT_TRUE(messages.shown[0].startsWith(L("Another Quorvane run is using this data folder")))
            << messages.shown[0].toStdString();
    }
    EXPECT_EQ(runs, 1);
    release.release();
    run(v, 1054);
    EXPECT_EQ(runs, 2);
}

TEST_F(FormTest, ButtonsComeBackWhenOperationThrows)
{
    CBrindlewickView& v = start();
    v.setImportOperation([](OperationContext&) { throw CDbException(QStringLiteral("Table is locked")); });
    run(v, 1054);
    EXPECT_EQ(messages.shown, QStringList{QStringLiteral("Table is locked")});
    for (int id : {1004, 1057, 1054, 1095})
        EXPECT_TRUE(find(v, id)->isEnabled()) << id;
    std::atomic<int> imports{0};
    v.setImportOperation([&](OperationContext&) { ++imports; });
    run(v, 1054);
    EXPECT_EQ(imports, 1);
}

TEST_F(FormTest, OperationReceivesChoicesAndTexts)
{
    options.uploadAdifPath = kLong;
    CBrindlewickView& v = start();
    click(v, 1045);
    click(v, 1038);
    find<QLineEdit>(v, 1094)->setText(QStringLiteral("2011-03-05"));
    std::atomic<bool> ran{false};
    v.setUploadOperation([&](OperationContext& c) {
        ran = true;
        EXPECT_TRUE(c.choices.choices().TestOnly);
        EXPECT_EQ(c.choices.choices().ImportScope, 0);
        EXPECT_EQ(c.choices.choices().sinceDate, L("2011-03-05"));
        EXPECT_EQ(c.texts.uploadAdifPath, kLong);
        EXPECT_EQ(c.texts.tq8Path, kLong.chopped(3) + QStringLiteral("tq8"));
        EXPECT_EQ(c.texts.tqslExePath, L("/usr/bin/tqsl"));
        EXPECT_EQ(c.texts.spareText, L("spare"));
        EXPECT_EQ(c.texts.reportAdifPath, options.reportAdifPath);
        EXPECT_EQ(c.qslDateFilePath, paths.data + QStringLiteral("/quorvane2.dat"));
        // The run reports through a monitor of its own, shown on the form's.
        EXPECT_NE(&c.monitor, &v.monitor());
        EXPECT_NE(&c.choices, &v.choiceModel());
        // What an operation changes in the choices is shown by the next refresh.
        c.choices.choices().ReportRange = 1;
        c.choices.choices().sinceDate = QStringLiteral("2020-01-01");
        c.monitor.ShowCounters(RunCounters());
    });
    run(v, 1004);
    EXPECT_TRUE(ran);
    EXPECT_TRUE(checked(v, 1037));
    EXPECT_EQ(text(v, 1094), L("2020-01-01"));
}

// What the problem lines of one run leave (the last database error, the band and mode texts)
// the next run of the window starts from, as the form kept it.
TEST_F(FormTest, ProblemLinesOfOneRunCarryOverToTheNext)
{
    CBrindlewickView& v = start();
    const ProblemMemory left = {QStringLiteral("database is locked"), {QStringLiteral("7"), QStringLiteral("CW")}};
    v.setUploadOperation([&](OperationContext& c) {
        EXPECT_EQ(c.result.problems, ProblemMemory());
        c.result.problems = left;
    });
    ProblemMemory seen;
    v.setImportOperation([&](OperationContext& c) { seen = c.result.problems; });
    run(v, 1004);
    run(v, 1054);
    EXPECT_EQ(seen, left);
}

TEST_F(FormTest, ReportRequestSelectsTheCopiedPath)
{
    options.reportAdifPath = kLong;
    CBrindlewickView& v = start();
    std::atomic<int> requests{0};
    v.setReportRequestOperation([&](OperationContext&) { ++requests; });
    run(v, 1057);
    EXPECT_EQ(requests, 1);
    EXPECT_EQ(find<QLineEdit>(v, 1096)->selectedText(), kLong.left(100));
}

// "Upload" on the form writes to the paths the form shows, whole however long: the upload file
// is the one named (not a file named by its first 99 characters), the TQSL run is the program
// configured (not another one at the first 99 characters of its path), the signed file lies
// beside the upload file, and a completed run also closes the document's QSO set.
TEST_F(FormTest, UploadUsesThePathsTheFormShowsWhole)
{
    if (!RealTqsl::unavailable().isEmpty())
        GTEST_SKIP() << RealTqsl::unavailable().toStdString();
    RealTqsl::Certificate certificate;
    certificate.call = QStringLiteral("K1QVN");
    certificate.location = QStringLiteral("Location 1");
    certificate.qsoFrom = QStringLiteral("2000-01-01");
    const RealTqsl realTqsl(certificate);
    DemoData::writeLog(options.sourceMdbPath, 40, 1);
    DemoData::writeRefdata(options.refdataMdbPath);
    options.errorFilePath = dir.file(QStringLiteral("errors.txt"));
    options.uploadAdifPath = dir.file(QString(150, QLatin1Char('u')) + QStringLiteral(".adi"));
    ASSERT_LT(dir.path().size(), 90);
    const QString folder = dir.path() + QLatin1Char('/') + QString(99 - dir.path().size() - 6, QLatin1Char('t'));
    QDir().mkpath(folder);
    const auto script = [](const QString& path, const QByteArray& body) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
        file.write("#!/bin/sh\n" + body);
        file.close();
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    };
    // At the first 99 characters of the configured path lies another program, which must not run.
    const QString decoy = folder + QStringLiteral("/tqsl");
    ASSERT_EQ(decoy.size(), 99);
    const QString decoyRan = dir.file(QStringLiteral("decoy-ran"));
    script(decoy, "touch '" + decoyRan.toUtf8() + "'\nexit 1\n");
    const QString tqsl = decoy + QStringLiteral("-this-one");
    script(tqsl, "exec '" + realTqsl.program().toUtf8() + "' \"$@\"\n");
    options.tqslExePath = tqsl;
    setSlot(1, DemoData::kPrimaryCall, "K1QVN", "pw1");
    CBrindlewickView& v = start();
    ConnectFormOperations(v);
    ASSERT_TRUE(doc->qsoSet().isOpen());
    desktop = FakeDesktop();

    run(v, 1004);

    EXPECT_TRUE(messages.shown.isEmpty()) << messages.shown.join(QLatin1Char('\n')).toStdString();
    EXPECT_FALSE(QFile::exists(decoyRan));
    QFile file(options.uploadAdifPath);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << options.uploadAdifPath.toStdString();
    EXPECT_TRUE(file.readAll().contains("<EOR>\r\n"));
    EXPECT_FALSE(QFile::exists(options.uploadAdifPath.left(99)));
    const QString signedFile = options.uploadAdifPath.chopped(3) + QStringLiteral("tq8");
    EXPECT_EQ(desktop.clipboard, signedFile);
    EXPECT_TRUE(QFile::exists(signedFile));
    MonitorModel& upload = v.formMonitor().uploadModel();
    QStringList started;
    for (qsizetype i = 0; i < upload.lineCount(); ++i) {
        if (upload.line(i).startsWith(QStringLiteral("Starting TQSL: ")))
            started.append(upload.line(i));
    }
    ASSERT_EQ(started.size(), 1);
    EXPECT_EQ(started.at(0), QStringLiteral("Starting TQSL: ") + tqsl + QStringLiteral(" -l \"Location 1\" -d ")
                                 + options.uploadAdifPath + QStringLiteral(" -x -a compliant"));
    EXPECT_FALSE(doc->qsoSet().isOpen());
}

// TQSL signed, but another program holds the log when the QSOs are to be marked: the window
// offers nothing (no page, no signed file on the clipboard, no tick), the step that failed has
// the red arrow, and a message says what became of the QSOs and what to do.
TEST_F(FormTest, ALogHeldWhenTheMarksAreWrittenOffersNothing)
{
    if (!RealTqsl::unavailable().isEmpty())
        GTEST_SKIP() << RealTqsl::unavailable().toStdString();
    RealTqsl::Certificate certificate;
    certificate.call = QStringLiteral("K1QVN");
    certificate.location = QStringLiteral("Location 1");
    certificate.qsoFrom = QStringLiteral("2000-01-01");
    const RealTqsl realTqsl(certificate);
    DemoData::writeLog(options.sourceMdbPath, 40, 1);
    DemoData::writeRefdata(options.refdataMdbPath);
    options.errorFilePath = dir.file(QStringLiteral("errors.txt"));
    options.uploadAdifPath = dir.file(QStringLiteral("LoTWUpload.adi"));
    options.tqslExePath = realTqsl.programThatHoldsTheLogAfterwards(dir.path(), options.sourceMdbPath, 8);
    setSlot(1, DemoData::kPrimaryCall, "K1QVN", "pw1");
    CBrindlewickView& v = start();
    ConnectFormOperations(v);
    const QStringList before = SqliteFixture::query(options.sourceMdbPath, QStringLiteral("SELECT [QSO-QSLS] FROM [QSO-TAB]"));
    desktop = FakeDesktop();

    run(v, 1004);

    // The other program lets the log go a little after the run gave up.
    QStringList after;
    for (int tries = 0; tries < 100 && after.isEmpty(); ++tries) {
        try {
            after = SqliteFixture::query(options.sourceMdbPath, QStringLiteral("SELECT [QSO-QSLS] FROM [QSO-TAB]"));
        } catch (const std::exception&) {
            QTest::qWait(100);
        }
    }
    EXPECT_EQ(after, before);
    EXPECT_TRUE(desktop.events.isEmpty()) << desktop.events.join(QLatin1Char(' ')).toStdString();
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_TRUE(messages.shown.at(0).contains(QStringLiteral("but the log could not be marked")))
        << messages.shown.at(0).toStdString();
    EXPECT_TRUE(messages.shown.at(0).contains(QStringLiteral("is in use by another program"))) << messages.shown.at(0).toStdString();
    EXPECT_EQ(find<QLabel>(v, 1099)->property("icon").toInt(), 141);
    EXPECT_EQ(find<QLabel>(v, 1100)->property("icon").toInt(), 141);
    EXPECT_EQ(find<QLabel>(v, 1102)->property("icon").toInt(), 142);
    EXPECT_EQ(find<QLabel>(v, 1103)->property("icon").toInt(), 140);
}

// "#1 - Download fm LoTW" in the browser sends the date as one value of the address and warns
// on the form of one that is not YYYY-MM-DD; the request still goes out.
TEST_F(FormTest, ReportRequestWarnsOfAMalformedDate)
{
    CBrindlewickView& v = start();
    ConnectFormOperations(v);
    click(v, 1115);
    click(v, 1037);
    find<QLineEdit>(v, 1094)->setText(QStringLiteral("31/12/2024 x&y"));
    run(v, 1057);
    ASSERT_EQ(desktop.urls.size(), 1);
    EXPECT_TRUE(desktop.urls[0].contains(L("&qso_qslsince=31/12/2024%20x%26y&qso_withown=yes"))) << desktop.urls[0].toStdString();
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_TRUE(messages.shown[0].contains(L("\"31/12/2024 x&y\" is not a date of the form YYYY-MM-DD")))
        << messages.shown[0].toStdString();
    EXPECT_EQ(dir.read(QStringLiteral("data/quorvane2.dat")),
              QByteArray("1\r\n31/12/2024 x&y\x05" "1:0:1:1:0:0:0:0:0:0:0:0\r\n"));

    find<QLineEdit>(v, 1094)->setText(QStringLiteral("2024-12-31"));
    run(v, 1057);
    EXPECT_EQ(desktop.urls.size(), 2);
    EXPECT_TRUE(desktop.urls[1].contains(L("&qso_qslsince=2024-12-31&qso_withown=yes")));
    EXPECT_EQ(messages.shown.size(), 1);
}

// The page a browser saves when the LoTW login fails is said to be no report.
TEST_F(FormTest, ImportOfALoginPageSaysSo)
{
    DemoData::writeRefdata(options.refdataMdbPath);
    options.errorFilePath = dir.file(QStringLiteral("errors.txt"));
    options.importedListPath = dir.file(QStringLiteral("imported.txt"));
    CBrindlewickView& v = start();
    ConnectFormOperations(v);
    dir.write(QStringLiteral("data/lotwreport.adi"),
              "<html>\r\n<head><title>Logbook of the World</title></head>\r\n"
              "<body><p>Username/password incorrect</p></body>\r\n</html>\r\n");
    run(v, 1054);
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_TRUE(messages.shown[0].startsWith(L("lotwreport.adi is not a LoTW report: \"<html>\""))) << messages.shown[0].toStdString();
    EXPECT_TRUE(messages.shown[0].contains(L("password"))) << messages.shown[0].toStdString();
    EXPECT_EQ(text(v, 1055), L("0"));
    EXPECT_FALSE(dir.exists(QStringLiteral("data/quorvane2.dat")));
}

TEST_F(FormTest, SaveDateWritesFile)
{
    CBrindlewickView& v = start();
    find<QLineEdit>(v, 1094)->setText(QStringLiteral("2011-03-05"));
    click(v, 1037);
    click(v, 1095);
    EXPECT_EQ(dir.read(QStringLiteral("data/quorvane2.dat")),
              QByteArray("1\r\n2011-03-05\x05" "1:0:1:1:0:0:0:0:0:0:0:0\r\n"));

    find<QLineEdit>(v, 1094)->setText(QString());
    click(v, 1036);
    click(v, 1038);
    click(v, 1109);
    click(v, 1095);
    EXPECT_EQ(dir.read(QStringLiteral("data/quorvane2.dat")), QByteArray("1\r\n\x05" "0:-1:0:0:0:0:0:0:0:0:0:0\r\n"));

    find<QLineEdit>(v, 1094)->setText(QString(120, QLatin1Char('7')));
    click(v, 1095);
    EXPECT_EQ(dir.read(QStringLiteral("data/quorvane2.dat")),
              QByteArray("1\r\n") + QByteArray(99, '7') + QByteArray("\x05" "0:-1:0:0:0:0:0:0:0:0:0:0\r\n"));
}

TEST_F(FormTest, ViewButtonsOpenFilesOrSayWhyNot)
{
    options.errorFilePath = dir.file(QStringLiteral("errors.txt"));
    options.importedListPath = dir.file(QStringLiteral("imported.txt"));
    CBrindlewickView& v = start();
    // Neither file has been written yet: the operator is told so, nothing is opened.
    click(v, 1105);
    click(v, 1106);
    EXPECT_TRUE(desktop.files.isEmpty());
    ASSERT_EQ(messages.shown.size(), 2);
    EXPECT_EQ(messages.shown.at(0), options.errorFilePath + L(" does not exist yet: it is written by the next run."));

    QFile(options.errorFilePath).open(QIODevice::WriteOnly);
    QFile(options.importedListPath).open(QIODevice::WriteOnly);
    messages.shown.clear();
    click(v, 1105);
    click(v, 1106);
    EXPECT_EQ(desktop.files, (QStringList{options.errorFilePath, options.importedListPath}));
    EXPECT_TRUE(messages.shown.isEmpty());

    // A desktop without a program for the file: a message names the file.
    desktop.noViewer = true;
    click(v, 1105);
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_EQ(messages.shown.at(0), options.errorFilePath + L(" could not be opened: no program to show it could be started."));
}

TEST_F(FormTest, DestroyWindowClosesAndKeepsDate)
{
    CBrindlewickView& v = start();
    ASSERT_TRUE(doc->qsoSet().isOpen());
    find<QLineEdit>(v, 1094)->setText(QStringLiteral("2011-04-01"));
    v.DestroyWindow();
    EXPECT_FALSE(doc->qsoSet().isOpen());
    EXPECT_EQ(v.choiceModel().choices().sinceDate, L("2011-04-01"));
    EXPECT_FALSE(QFile::exists(paths.data + QStringLiteral("/quorvane2.dat")));
}

TEST_F(FormTest, MainWindowShrinksToTheFormAtStart)
{
    doc = std::make_unique<CBrindlewickDoc>(options.sourceMdbPath);
    CMainFrame frame;
    auto* form = new CBrindlewickView(*doc, options, paths, desktop, messages);
    frame.setView(form);
    frame.resize(3000, 2500);
    form->OnInitialUpdate();
    EXPECT_LT(frame.width(), 3000);
    EXPECT_LT(frame.height(), 2500);
    frame.show();
    QCoreApplication::processEvents();
    EXPECT_LE(form->width(), form->sizeHint().width());
    EXPECT_LE(form->height(), form->sizeHint().height());
    EXPECT_EQ(frame.windowTitle(), QStringLiteral("Quorvane Version 2.71 - - K1ABC"));
    form->DestroyWindow();
}

TEST_F(FormTest, MissingLogIsReported)
{
    options.sourceMdbPath = dir.file(QStringLiteral("nothing/here.sqlite"));
    start();
    EXPECT_EQ(messages.shown.size(), 1);
    EXPECT_FALSE(doc->qsoSet().isOpen());
}

// Closing the window during a run asks whether to stop it: No leaves both running; Yes stops
// the run, and the window closes once it has ended.
TEST_F(FormTest, ClosingDuringARunAsksToStopIt)
{
    doc = std::make_unique<CBrindlewickDoc>(options.sourceMdbPath);
    QWidget frame;
    auto* v = new CBrindlewickView(*doc, options, paths, desktop, messages, &frame);
    v->OnInitialUpdate();
    frame.show();
    EXPECT_EQ(frame.windowTitle(), L("Quorvane Version 2.71 - - K1ABC"));
    std::atomic<bool> sawStop{false};
    v->setImportOperation([&](OperationContext& c) {
        QElapsedTimer clock;
        clock.start();
        while (!c.monitor.StopRequested() && clock.elapsed() < 30000) {
            c.monitor.PumpMessages();
            QThread::msleep(1);
        }
        sawStop = c.monitor.StopRequested();
    });
    click(*v, 1054);
    ASSERT_TRUE(v->isRunning());

    messages.answer = false;
    EXPECT_FALSE(frame.close());
    ASSERT_EQ(messages.asked.size(), 1);
    EXPECT_TRUE(messages.asked[0].startsWith(L("The import is still running. Stop it and close the window?")))
        << messages.asked[0].toStdString();
    QTest::qWait(100);
    EXPECT_TRUE(v->isRunning());
    EXPECT_TRUE(frame.isVisible());

    messages.answer = true;
    EXPECT_FALSE(frame.close()); // not yet: once the run has stopped
    EXPECT_EQ(messages.asked.size(), 2);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !frame.isVisible(); }, 20000));
    EXPECT_TRUE(sawStop);
    EXPECT_FALSE(v->isRunning());
    EXPECT_EQ(messages.asked.size(), 2);
}

// Without a run the window closes without a question.
TEST_F(FormTest, ClosingWhenIdleAsksNothing)
{
    CBrindlewickView& v = start();
    EXPECT_TRUE(v.close());
    EXPECT_TRUE(messages.asked.isEmpty());
}

} // namespace

namespace {
// A million monitor lines from one operation: every line kept in order, the newest on top,
// and no work per line that grows with the number of lines (a layout per line would take
// minutes here; the form needs well under a second).
TEST_F(FormTest, MillionLinesStayFast)
{
    CBrindlewickView& v = start();
    constexpr int kLines = 1000000;
    std::atomic<qint64> elapsed{0};
    v.setImportOperation([&](OperationContext& c) {
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < kLines; ++i) {
            c.monitor.AddDownloadEvent(QString::number(i));
            c.monitor.PumpMessages();
        }
        elapsed = clock.elapsed();
    });
    QElapsedTimer total;
    total.start();
    v.OnLotwImport();
    waitForRun(v);
    const qint64 withLastShow = total.elapsed();
    EXPECT_LT(withLastShow, 5000) << "operation " << elapsed.load() << " ms";
    auto* box = find<MonitorView>(v, 1048);
    ASSERT_EQ(box->model()->rowCount(), kLines);
    for (int i : {0, 1, 4711, 500000, kLines - 1})
        EXPECT_EQ(box->model()->index(i, 0).data().toString(), QString::number(i));
    QCoreApplication::processEvents();
    EXPECT_EQ(box->lastWholeRow(), kLines - 1);
    std::printf("[ measure  ] %d monitor lines: %lld ms in the operation, %lld ms with the last show\n", kLines,
                elapsed.load(), withLastShow);
}
}
