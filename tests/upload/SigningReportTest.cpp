// What TQSL's answer says of each record of an upload file: the reason of each record by the
// lines TQSL names, the QSOs it signed before, the summary of a run signed in part, and why a
// signed file did not reach LoTW.

#include "upload/SigningReport.h"

#include "lotw/SignedFileUpload.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace {

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

// Three records on lines 5-9, 11-15 and 17-21 (a blank line after each).
std::vector<UploadFileRecord> threeRecords()
{
    std::vector<UploadFileRecord> records(3);
    for (size_t i = 0; i < records.size(); ++i) {
        records[i].firstLine = 5 + qint64(i) * 6;
        records[i].lastLine = records[i].firstLine + 4;
    }
    return records;
}

SignedMatch signedAt(std::vector<bool> isSigned)
{
    SignedMatch match;
    match.usable = true;
    match.signedCount = std::count(isSigned.begin(), isSigned.end(), true);
    match.isSigned = std::move(isSigned);
    return match;
}

const QString* reasonOf(const std::vector<const QString*>& reasons, size_t place)
{
    return reasons.at(place);
}

TEST(ReasonsByRecord, ALineBelongsToTheRecordThatHoldsItOrTheBlankLineAfterIt)
{
    const std::vector<UploadFileRecord> records = threeRecords();
    TqslOutcome outcome;
    outcome.reasonsByLine = {{4, S("header")},       // before the first record: nobody's
                             {5, S("first line")},   // the first record's first line
                             {9, S("later")},        // the same record again: the first reason stays
                             {16, S("blank after")}, // the blank line after the second record
                             {23, S("far after")}};  // past the last record's blank line: nobody's
    const std::vector<const QString*> reasons = ReasonsByRecord(records, outcome);
    ASSERT_EQ(reasons.size(), 3u);
    ASSERT_NE(reasonOf(reasons, 0), nullptr);
    EXPECT_EQ(*reasons[0], S("first line"));
    ASSERT_NE(reasonOf(reasons, 1), nullptr);
    EXPECT_EQ(*reasons[1], S("blank after"));
    EXPECT_EQ(reasonOf(reasons, 2), nullptr);
}

TEST(SignedBeforeCount, CountsOnlyUnsignedRecordsTqslSignedBefore)
{
    const std::vector<UploadFileRecord> records = threeRecords();
    TqslOutcome outcome;
    outcome.reasonsByLine = {{9, S("Duplicate QSO")}, {15, S("Already Uploaded")}, {21, S("Invalid band")}};
    // The first record is signed after all (its reason does not count), the second was signed
    // before, the third refused for another reason.
    EXPECT_EQ(SignedBeforeCount(records, signedAt({true, false, false}), outcome), 1);
    EXPECT_EQ(SignedBeforeCount(records, signedAt({false, false, false}), outcome), 2);
    EXPECT_EQ(SignedPlaces(signedAt({true, false, true})), (std::vector<size_t>{0, 2}));
    EXPECT_TRUE(SignedPlaces(signedAt({false, false, false})).empty());
}

TEST(PartlySignedText, CountsTheReasonsAndSaysHowToSignAgain)
{
    const std::vector<UploadFileRecord> records = threeRecords();
    TqslOutcome outcome;
    outcome.reasonsByLine = {{15, S("Duplicate QSO")}};
    EXPECT_EQ(PartlySignedText(records, signedAt({true, false, false}), outcome, 3, 1, 0),
              S("TQSL signed 1 of the 3 QSOs of the upload file; 1 are marked as sent.\n"
                "2 QSOs were not signed and stay due (each is listed in the upload monitor and the error file):\n"
                "  Duplicate QSO: 1\n"
                "  TQSL gave no reason: 1\n"
                "TQSL signed 1 of them before; to have them signed again, answer Yes when asked (the batch command: "
                "upload --sign-again)."));
}

TEST(PartlySignedText, AllSignedButSomeChangedMeanwhile)
{
    const std::vector<UploadFileRecord> records = threeRecords();
    EXPECT_EQ(PartlySignedText(records, signedAt({true, true, true}), TqslOutcome(), 3, 1, 2),
              S("TQSL signed 3 of the 3 QSOs of the upload file; 1 are marked as sent.\n"
                "2 signed QSOs were changed by another program meanwhile and are not marked."));
}

struct NotSentCase
{
    const char* name;
    SignedFileUpload::Result result;
    const char* message;
    const char* why;
};

void PrintTo(const NotSentCase& c, std::ostream* os)
{
    *os << c.name;
}

class NotSentReasonText : public ::testing::TestWithParam<NotSentCase> {};

TEST_P(NotSentReasonText, SaysWhyInTheOperatorsWords)
{
    SignedFileUpload answer;
    answer.result = GetParam().result;
    answer.message = S(GetParam().message);
    EXPECT_EQ(NotSentReason(answer), S(GetParam().why));
}

INSTANTIATE_TEST_SUITE_P(
    Results, NotSentReasonText,
    ::testing::Values(
        NotSentCase{"Rejected", SignedFileUpload::Result::Rejected, "bad signature", "LoTW rejected it (bad signature)"},
        NotSentCase{"Unexpected", SignedFileUpload::Result::Unexpected, "", "LoTW gave an unexpected answer"},
        NotSentCase{"Stopped", SignedFileUpload::Result::Stopped, "", "the sending was stopped"},
        NotSentCase{"Unreachable", SignedFileUpload::Result::Unreachable, "connection refused",
                    "LoTW could not be reached (connection refused)"}),
    [](const ::testing::TestParamInfo<NotSentCase>& info) { return std::string(info.param.name); });

} // namespace
