#include "options/ChoiceModel.h"

#include <gtest/gtest.h>

namespace {

// One slot of the options as a test writes it: operator call, login call, loaded and
// dialog passwords.
struct Slot
{
    const char* opr = "";
    const char* login = "";
    const char* loaded = "";
    const char* field = "";
};

Options makeOptions(std::initializer_list<Slot> rows)
{
    Options options;
    int i = 0;
    for (const Slot& s : rows) {
        options.stations[i].oprCall = QString::fromLatin1(s.opr);
        options.stations[i].location = QStringLiteral("Loc%1").arg(i + 1);
        options.logins[i].loginCall = QString::fromLatin1(s.login);
        options.logins[i].passwordLoaded = QString::fromLatin1(s.loaded);
        options.logins[i].passwordField = QString::fromLatin1(s.field);
        ++i;
    }
    return options;
}

QString L(const char* s)
{
    return QString::fromLatin1(s);
}

// The per-slot values worked out at start.
struct SlotCase
{
    const char* name;
    Slot slot;               // slot 2; slot 1 is always K1ABC / K1ABC / pw1
    const char* loginCall;   // expected slotLoginCall(2)
    const char* label;       // expected downloadCallLabel(2)
    bool signingButton;
    bool downloadButton;
};

// The case by its name in test listings (not its bytes).
void PrintTo(const SlotCase& c, std::ostream* os)
{
    *os << c.name;
}

class SlotValues : public ::testing::TestWithParam<SlotCase> {};

TEST_P(SlotValues, WorkedOutFromOptions)
{
    const SlotCase& c = GetParam();
    ChoiceModel model(makeOptions({{"K1ABC", "K1ABC", "pw1", ""}, c.slot}));
    EXPECT_EQ(model.slotLoginCall(2), L(c.loginCall));
    EXPECT_EQ(model.downloadCallLabel(2), L(c.label));
    EXPECT_EQ(model.hasSigningButton(2), c.signingButton);
    EXPECT_EQ(model.hasDownloadButton(2), c.downloadButton);
    EXPECT_EQ(model.slotLoginCall(1), L("K1ABC"));
    EXPECT_EQ(model.downloadCallLabel(1), L("K1ABC"));
    EXPECT_TRUE(model.hasSigningButton(1));
    EXPECT_TRUE(model.hasDownloadButton(1));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SlotValues,
    ::testing::Values(
        SlotCase{"Empty", {}, "", "", false, false},
        SlotCase{"OwnLogin", {"W1XYZ", "W1LOG", "pw2", ""}, "W1LOG", "W1XYZ", true, true},
        SlotCase{"NoLoginFallsBackToSlot1", {"W1XYZ", "", "", ""}, "K1ABC", "W1XYZ", true, true},
        // A login call without an operator call: a download button only, logging in with
        // the slot's own call.
        SlotCase{"LoginWithoutOprCall", {"", "N1LOG", "pw2", ""}, "N1LOG", "N1LOG", false, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ChoiceModel, PasswordPrefersLoadedOverField)
{
    ChoiceModel model(makeOptions({{"K1ABC", "K1ABC", "loaded1", "field1"},
                                   {"W1XYZ", "W1LOG", "", "field2"},
                                   {"W2XYZ", "W2LOG", "", ""}}));
    EXPECT_EQ(model.password(1), L("loaded1"));
    EXPECT_EQ(model.password(2), L("field2"));
    EXPECT_EQ(model.password(3), L(""));
    EXPECT_EQ(model.password(0), L(""));
    EXPECT_EQ(model.password(6), L(""));
    EXPECT_EQ(model.oprCall(6), L(""));
    EXPECT_FALSE(model.hasSigningButton(0));
    EXPECT_FALSE(model.hasDownloadButton(6));
}

TEST(ChoiceModel, PasswordTypedAnewAtThisStartIsTheOneUsed)
{
    Options options = makeOptions({{"K1ABC", "K1ABC", "%6f%6c%64%31", "%6e%65%77%31"},
                                   {"W1XYZ", "W1LOG", "%6f%6c%64%32", "****"},
                                   {"W2XYZ", "W2LOG", "%6f%6c%64%33", ""}});
    options.logins[0].password = L("%6e%65%77%31"); // typed over the stored one
    options.logins[1].password = L("%6f%6c%64%32"); // the mask left as shown
    // Slot 3's field was cleared: nothing in force; the stored one still serves this run.
    ChoiceModel model(options);
    EXPECT_EQ(model.password(1), L("%6e%65%77%31"));
    EXPECT_EQ(model.password(2), L("%6f%6c%64%32"));
    EXPECT_EQ(model.password(3), L("%6f%6c%64%33"));
    EXPECT_EQ(model.choices().CurrentPassword, L("%6e%65%77%31"));
    model.chooseDownloadSlot(2);
    EXPECT_EQ(model.choices().CurrentPassword, L("%6f%6c%64%32"));
    model.chooseAnyCall();
    EXPECT_EQ(model.choices().CurrentPassword, L("%6e%65%77%31"));
}

TEST(ChoiceModel, InitialChoicesAreSlotOne)
{
    ChoiceModel model(makeOptions({{"K1ABC/P", "K1ABC", "pw1", ""}, {"W1XYZ", "W1LOG", "pw2", ""}}));
    const Choices& c = model.choices();
    EXPECT_EQ(c.SigningCall, L("K1ABC/P"));
    EXPECT_EQ(c.CurrentLoginCall, L("K1ABC"));
    EXPECT_EQ(c.CurrentPassword, L("pw1"));
    EXPECT_EQ(c.DownloadCall, L("K1ABC"));
    EXPECT_FALSE(c.AnyCall);
    EXPECT_EQ(c.ReportRange, -1);
    EXPECT_EQ(c.SinceChoice, -1);
    EXPECT_EQ(c.ImportScope, 1);
    EXPECT_EQ(c.OverwriteChoice, 1);
    EXPECT_FALSE(c.TestOnly);
}

// A sequence of clicks and the choices it leaves.
enum class Click { Signing, AnyCall, Download };
struct Step
{
    Click click;
    int slot;
};
struct ClickCase
{
    const char* name;
    std::vector<Step> steps;
    const char* signing;
    const char* login;
    const char* password;
    const char* download;
    bool anyCall;
};

// The case by its name in test listings (not its bytes).
void PrintTo(const ClickCase& c, std::ostream* os)
{
    *os << c.name;
}

class Clicks : public ::testing::TestWithParam<ClickCase> {};

TEST_P(Clicks, LastClickDecidesLoginPair)
{
    ChoiceModel model(makeOptions({{"K1ABC", "K1ABC", "pw1", ""},
                                   {"W2XYZ", "W2LOG", "pw2", ""},
                                   {"W3XYZ", "", "", ""},
                                   {"", "N4LOG", "pw4", ""},
                                   {"W5XYZ", "W5LOG", "", "field5"}}));
    for (const Step& s : GetParam().steps) {
        switch (s.click) {
        case Click::Signing: model.chooseSigningSlot(s.slot); break;
        case Click::AnyCall: model.chooseAnyCall(); break;
        case Click::Download: model.chooseDownloadSlot(s.slot); break;
        }
    }
    const ClickCase& c = GetParam();
    const Choices& ch = model.choices();
    EXPECT_EQ(ch.SigningCall, L(c.signing));
    EXPECT_EQ(ch.CurrentLoginCall, L(c.login));
    EXPECT_EQ(ch.CurrentPassword, L(c.password));
    EXPECT_EQ(ch.DownloadCall, L(c.download));
    EXPECT_EQ(ch.AnyCall, c.anyCall);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Clicks,
    ::testing::Values(
        ClickCase{"Slot2", {{Click::Signing, 2}}, "W2XYZ", "W2LOG", "pw2", "K1ABC", false},
        ClickCase{"Slot2ThenSlot1", {{Click::Signing, 2}, {Click::Signing, 1}}, "K1ABC", "K1ABC", "pw1", "K1ABC", false},
        // Slot 3 has no login call: it signs with its own call and logs in as slot 1.
        ClickCase{"Slot3NoLogin", {{Click::Signing, 3}}, "W3XYZ", "K1ABC", "pw1", "K1ABC", false},
        ClickCase{"Slot5FieldPassword", {{Click::Signing, 5}}, "W5XYZ", "W5LOG", "field5", "K1ABC", false},
        ClickCase{"AnyCall", {{Click::Download, 2}, {Click::AnyCall, 0}}, "K1ABC", "K1ABC", "pw1", "W2XYZ", true},
        ClickCase{"DownloadAfterAnyCall", {{Click::AnyCall, 0}, {Click::Download, 3}}, "K1ABC", "K1ABC", "pw1", "W3XYZ", false},
        ClickCase{"DownloadLoginOnlySlot", {{Click::Download, 4}}, "K1ABC", "N4LOG", "pw4", "N4LOG", false},
        // The signing and download groups share the login pair: the later click wins.
        ClickCase{"SigningThenDownload", {{Click::Signing, 2}, {Click::Download, 5}}, "W2XYZ", "W5LOG", "field5", "W5XYZ", false},
        ClickCase{"DownloadThenSigning", {{Click::Download, 5}, {Click::Signing, 2}}, "W2XYZ", "W2LOG", "pw2", "W5XYZ", false},
        ClickCase{"OutOfRangeIgnored", {{Click::Signing, 2}, {Click::Signing, 0}, {Click::Download, 6}}, "W2XYZ", "W2LOG", "pw2", "K1ABC", false}),
    [](const auto& info) { return std::string(info.param.name); });

struct RadioCase
{
    const char* name;
    void (ChoiceModel::*choose)(int);
    int index;
    int reportRange;
    int sinceChoice;
    int importScope;
    int overwrite;
};

// The case by its name in test listings (not its bytes).
void PrintTo(const RadioCase& c, std::ostream* os)
{
    *os << c.name;
}

class Radios : public ::testing::TestWithParam<RadioCase> {};

TEST_P(Radios, SetTheirIndex)
{
    const RadioCase& c = GetParam();
    ChoiceModel model(makeOptions({{"K1ABC", "K1ABC", "pw1", ""}}));
    (model.*c.choose)(c.index);
    EXPECT_EQ(model.choices().ReportRange, c.reportRange);
    EXPECT_EQ(model.choices().SinceChoice, c.sinceChoice);
    EXPECT_EQ(model.choices().ImportScope, c.importScope);
    EXPECT_EQ(model.choices().OverwriteChoice, c.overwrite);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Radios,
    ::testing::Values(RadioCase{"AllQsls", &ChoiceModel::chooseReportRange, 0, 0, -1, 1, 1},
                      RadioCase{"Since", &ChoiceModel::chooseReportRange, 1, 1, 0, 1, 1},
                      RadioCase{"RangeBad", &ChoiceModel::chooseReportRange, 2, -1, -1, 1, 1},
                      RadioCase{"AllRecords", &ChoiceModel::chooseImportScope, 0, -1, -1, 0, 1},
                      RadioCase{"NotConfirmed", &ChoiceModel::chooseImportScope, 1, -1, -1, 1, 1},
                      RadioCase{"ScopeBad", &ChoiceModel::chooseImportScope, -1, -1, -1, 1, 1},
                      RadioCase{"Overwrite", &ChoiceModel::chooseOverwrite, 0, -1, -1, 1, 0},
                      RadioCase{"Keep", &ChoiceModel::chooseOverwrite, 1, -1, -1, 1, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ChoiceModel, SavedRoundTripZeroesReserved)
{
    ChoiceModel model(makeOptions({{"K1ABC", "K1ABC", "pw1", ""}}));
    SavedQslDates in;
    in.date = QStringLiteral("2011-03-05");
    in.reportRange = 1;
    in.sinceChoice = 0;
    in.importScope = 0;
    in.overwriteChoice = 0;
    in.reserved = {1, 2, 3, 4, 5, 6, 7, 8};
    model.applySaved(in);
    EXPECT_EQ(model.choices().sinceDate, L("2011-03-05"));
    EXPECT_EQ(model.choices().ReportRange, 1);
    EXPECT_EQ(model.choices().SinceChoice, 0);
    EXPECT_EQ(model.choices().ImportScope, 0);
    EXPECT_EQ(model.choices().OverwriteChoice, 0);

    model.chooseReportRange(0);
    model.choices().sinceDate = QStringLiteral("2012-01-01");
    const SavedQslDates out = model.saved();
    EXPECT_EQ(out.date, L("2012-01-01"));
    EXPECT_EQ(out.reportRange, 0);
    EXPECT_EQ(out.sinceChoice, -1);
    EXPECT_EQ(out.importScope, 0);
    EXPECT_EQ(out.overwriteChoice, 0);
    for (int r : out.reserved)
        EXPECT_EQ(r, 0);
}

} // namespace
