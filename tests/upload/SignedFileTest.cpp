// Reading TQSL's signed files: the gzip layer against the system's gzip, the records, and the
// comparison with the upload file they were made from.

#include "upload/Gunzip.h"
#include "upload/SignedFile.h"
#include "upload/SignedMatch.h"
#include "upload/TaggedFields.h"

#include "support/SignedFiles.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QFile>
#include <QRandomGenerator>

namespace {

QString S(const char* text) { return QString::fromLatin1(text); }

// Unpacks bytes; the text unpacked, or "problem: ..." when it fails.
QByteArray gunzip(const QByteArray& packed)
{
    QBuffer buffer;
    buffer.setData(packed);
    buffer.open(QIODevice::ReadOnly);
    QByteArray out;
    Gunzip g;
    if (!g.unpack(buffer, [&out](QByteArrayView piece) {
            out.append(piece.data(), piece.size());
            return true;
        }))
        return "problem: " + g.problem().toUtf8();
    return out;
}

QByteArray randomBytes(int size, quint32 seed)
{
    QRandomGenerator random(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& c : bytes)
        c = char(random.bounded(256));
    return bytes;
}

// Text that packs well and refers far back: lines that repeat with small changes.
QByteArray repetitiveText(int lines)
{
    QByteArray text;
    for (int i = 0; i < lines; ++i)
        text += "<CALL:6>DL" + QByteArray::number(i % 977) + "ABC\n<BAND:3>20M\n<QSO_TIME:9>14:25:30Z\n";
    return text;
}

TEST(Gunzip, UnpacksWhatGzipPacks)
{
    struct Case { const char* name; QByteArray bytes; };
    const Case cases[] = {
        {"empty", QByteArray()},
        {"one byte", QByteArray("x")},
        {"text", repetitiveText(20)},
        {"text beyond the window", repetitiveText(60000)},
        {"random (stored blocks)", randomBytes(300000, 7)},
        {"long runs", QByteArray(1000000, 'a') + QByteArray(70000, 'b')},
    };
    for (const Case& c : cases) {
        for (int level : {1, 6, 9}) {
            SCOPED_TRACE(std::string(c.name) + " level " + std::to_string(level));
            EXPECT_EQ(gunzip(Gzipped(c.bytes, level)), c.bytes);
        }
    }
    // Two members one after another read as their texts one after another, as gzip reads them.
    EXPECT_EQ(gunzip(Gzipped("first ") + Gzipped("second")), QByteArray("first second"));
}

TEST(Gunzip, DamageIsNamed)
{
    const QByteArray text = repetitiveText(3000);
    const QByteArray packed = Gzipped(text);
    struct Case { const char* name; QByteArray bytes; const char* problem; };
    QByteArray badCrc = packed;
    badCrc[packed.size() - 6] = char(badCrc[packed.size() - 6] ^ 0x55);
    QByteArray badLength = packed;
    badLength[packed.size() - 2] = char(badLength[packed.size() - 2] ^ 1);
    QByteArray badBlock = packed;
    badBlock[10] = char(0xFF); // a block of the kind that does not exist (and more)
    const Case cases[] = {
        {"nothing", QByteArray(), "it is empty"},
        {"not gzip", QByteArray("<TQSL_IDENT:5>TQSL\n"), "it is not a gzip file"},
        {"zlib, not gzip", qCompress(text).mid(4), "it is not a gzip file"},
        {"cut in the header", packed.left(5), "it is cut short"},
        {"cut in the data", packed.left(packed.size() / 2), "it is cut short"},
        {"cut in the trailer", packed.left(packed.size() - 3), "it is cut short"},
        {"check sum", badCrc, "its check sum does not match what it holds"},
        {"length", badLength, "its length does not match what it holds"},
        {"garbage after it", packed + "garbage", "it is not a gzip file"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(gunzip(c.bytes), QByteArray("problem: ") + c.problem) << c.name;
    EXPECT_TRUE(gunzip(badBlock).startsWith("problem: "));
}

// Every length at which a stream may be cut ends with a problem, never with a crash or a
// text that claims to be whole.
TEST(Gunzip, EveryCutIsRefused)
{
    const QByteArray packed = Gzipped(repetitiveText(200));
    for (qsizetype size = 0; size < packed.size(); ++size)
        ASSERT_TRUE(gunzip(packed.left(size)).startsWith("problem: ")) << size;
}

TEST(Gunzip, RandomDamageNeverCrashes)
{
    const QByteArray packed = Gzipped(repetitiveText(500));
    QRandomGenerator random(11);
    for (int round = 0; round < 2000; ++round) {
        QByteArray damaged = packed;
        for (int k = 0; k < 3; ++k)
            damaged[random.bounded(int(damaged.size()))] = char(random.bounded(256));
        gunzip(damaged); // any outcome but a crash
    }
}

TEST(Gunzip, ASinkThatStopsEndsTheReading)
{
    const QByteArray packed = Gzipped(repetitiveText(60000));
    QBuffer buffer;
    buffer.setData(packed);
    buffer.open(QIODevice::ReadOnly);
    Gunzip g;
    int pieces = 0;
    EXPECT_FALSE(g.unpack(buffer, [&pieces](QByteArrayView) { return ++pieces < 2; }));
    EXPECT_EQ(pieces, 2);
    EXPECT_TRUE(g.problem().isEmpty());
}

class Fields : public TaggedFields::Handler
{
public:
    void field(QByteArrayView name, QByteArrayView value, qint64 line, qint64 offset) override
    {
        seen.append(QStringLiteral("%1=%2@%3/%4").arg(QString::fromLatin1(name), QString::fromLatin1(value)).arg(line).arg(offset));
    }
    void tag(QByteArrayView name, qint64 line, qint64 offset) override
    {
        seen.append(QStringLiteral("<%1>@%2/%3").arg(QString::fromLatin1(name)).arg(line).arg(offset));
    }
    QStringList seen;
};

// Fields, lines and offsets come out the same however the text is cut into pieces.
TEST(TaggedFields, PiecesOfAnySize)
{
    const QByteArray text = "header x\r\n<EOH>\r\n\r\n<CALL:6>DL1ABC\r\n<NAME:5>A\r\nB>\r\n<SIG:7:6>ab\ncd\n\r\n<EOR>\r\n";
    const QStringList expected = {S("<EOH>@2/10"),        S("CALL=DL1ABC@4/19"), S("NAME=A\r\nB>@5/35"),
                                  S("SIG=ab\ncd\n\r@7/50"), S("<EOR>@10/67")};
    for (int piece : {1, 2, 3, 7, 1000}) {
        Fields fields;
        TaggedFields reader;
        for (qsizetype at = 0; at < text.size(); at += piece)
            reader.feed(QByteArrayView(text).sliced(at, std::min<qsizetype>(piece, text.size() - at)), fields);
        EXPECT_EQ(fields.seen, expected) << piece;
        EXPECT_TRUE(reader.complete());
    }
    Fields fields;
    TaggedFields reader;
    reader.feed("<CALL:6>DL1", fields);
    EXPECT_FALSE(reader.complete());
    TaggedFields badLength;
    EXPECT_THROW(badLength.feed("<CALL:x>", fields), TaggedFields::Damaged);
    TaggedFields endless;
    EXPECT_THROW(endless.feed("<" + QByteArray(300, 'A'), fields), TaggedFields::Damaged);
}

class SignedFileTest : public ::testing::Test
{
protected:
    // The upload file's records as the upload writes them (header, fields a line, <EOR>, an
    // empty line).
    void writeUpload(const std::vector<std::vector<std::pair<const char*, const char*>>>& records)
    {
        QByteArray text = "Brindlewick LoTW Export from Tamsorel v[1.0]\r\n<EOH>\r\n\r\n";
        for (const auto& record : records) {
            for (const auto& [name, value] : record)
                text += "<" + QByteArray(name) + ":" + QByteArray::number(qstrlen(value)) + ">" + value + "\r\n";
            text += "<EOR>\r\n\r\n";
        }
        dir.write(S("LoTWUpload.adi"), text);
        QString problem;
        ASSERT_TRUE(ReadUploadFileRecords(dir.file(S("LoTWUpload.adi")), records_, problem)) << problem.toStdString();
    }
    SignedMatch match(const QByteArray& signedBytes)
    {
        dir.write(S("LoTWUpload.tq8"), signedBytes);
        return MatchSignedFile(records_, dir.file(S("LoTWUpload.tq8")));
    }
    static std::vector<std::pair<const char*, const char*>> qso(const char* call, const char* time = "142530",
                                                                 const char* mode = "CW", const char* band = "20M")
    {
        return {{"CALL", call}, {"QSO_DATE", "20190315"}, {"TIME_ON", time}, {"OPERATOR", "K1ABC"},
                {"BAND", band}, {"MODE", mode},           {"FREQ", "14.02550"}};
    }

    TestDir dir;
    std::vector<UploadFileRecord> records_;
};

TEST_F(SignedFileTest, ReadsTheContactsOfASignedFile)
{
    dir.write(S("s.tq8"), Gzipped(SignedFileText({{"DL1ABC"}, {"JA1XX", "2M", "FM", "2019-02-02", "14:26:00Z", "QO-100"}})));
    std::vector<SignedContact> contacts;
    SignedFileReader reader;
    ASSERT_TRUE(reader.read(dir.file(S("s.tq8")), [&](const SignedContact& c) { contacts.push_back(c); }))
        << reader.problem().toStdString();
    ASSERT_EQ(contacts.size(), 2u);
    EXPECT_EQ(reader.stationCall(), S("K1ABC"));
    EXPECT_EQ(contacts[1].call, S("JA1XX"));
    EXPECT_EQ(contacts[1].band, S("2M"));
    EXPECT_EQ(contacts[1].mode, S("FM"));
    EXPECT_EQ(contacts[1].date, S("2019-02-02"));
    EXPECT_EQ(contacts[1].time, S("14:26:00Z"));
    EXPECT_EQ(contacts[1].satName, S("QO-100"));
    EXPECT_EQ(contacts[1].propMode, S("SAT"));
    EXPECT_TRUE(contacts[0].satName.isEmpty());
}

// The upload file's records: their lines as TQSL counts them, for its "on line N".
TEST_F(SignedFileTest, RecordsKnowTheirLines)
{
    writeUpload({qso("DL1ABC"), qso("DL2ABC")});
    ASSERT_EQ(records_.size(), 2u);
    EXPECT_EQ(records_[0].firstLine, 4);
    EXPECT_EQ(records_[0].lastLine, 11);
    EXPECT_EQ(records_[1].firstLine, 13);
    EXPECT_EQ(records_[1].lastLine, 20);
    QFile file(dir.file(S("LoTWUpload.adi")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    UploadFileQso second;
    ASSERT_TRUE(ReadUploadFileQso(file, records_[1].offset, second));
    EXPECT_EQ(second.call, S("DL2ABC"));
    EXPECT_EQ(second.time, S("142530"));
}

TEST_F(SignedFileTest, TheSignedFileDecidesWhichQsosWereSigned)
{
    writeUpload({qso("DL1ABC"), qso("DL2ABC", "0930"), qso("dl3abc"), qso("DL4ABC", "142530", "USB"),
                 qso("DL5ABC", "142530", "PAC2")});
    // TQSL signs a time of hours and minutes with 00 seconds, a call in capitals, USB as SSB
    // and PAC2 as PACTOR; it left DL1ABC out.
    const SignedMatch m = match(Gzipped(SignedFileText({{"DL2ABC", "20M", "CW", "2019-03-15", "09:30:00Z"},
                                                         {"DL3ABC"},
                                                         {"DL4ABC", "20M", "SSB"},
                                                         {"DL5ABC", "20M", "PACTOR"}})));
    ASSERT_TRUE(m.usable) << m.problem.toStdString();
    EXPECT_EQ(m.isSigned, (std::vector<bool>{false, true, true, true, true}));
    EXPECT_EQ(m.signedCount, 4);
    EXPECT_EQ(m.contacts, 4);
}

// A QSO logged twice is taken once for each time it was signed; of two QSOs alike but for
// their mode, the one whose mode was signed is taken.
TEST_F(SignedFileTest, TwinsAreTakenOnceEach)
{
    writeUpload({qso("DL1ABC"), qso("DL1ABC"), qso("DL1ABC", "142530", "SSB"), qso("DL1ABC", "142530", "CW")});
    SignedMatch m = match(Gzipped(SignedFileText({{"DL1ABC", "20M", "SSB"}, {"DL1ABC"}})));
    ASSERT_TRUE(m.usable);
    EXPECT_EQ(m.isSigned, (std::vector<bool>{true, false, true, false}));
    m = match(Gzipped(SignedFileText({{"DL1ABC"}, {"DL1ABC"}, {"DL1ABC"}})));
    EXPECT_EQ(m.isSigned, (std::vector<bool>{true, true, false, true}));
}

// A signed file that is not whole, or holds a QSO the upload file does not, decides nothing:
// no QSO counts as signed.
TEST_F(SignedFileTest, ASignedFileThatCannotBeTrustedSignsNothing)
{
    writeUpload({qso("DL1ABC"), qso("DL2ABC")});
    const QByteArray good = Gzipped(SignedFileText({{"DL1ABC"}, {"DL2ABC"}}));
    struct Case { const char* name; QByteArray bytes; const char* problem; };
    const Case cases[] = {
        {"empty", QByteArray(), "it is empty"},
        {"not gzip", SignedFileText({{"DL1ABC"}}), "it is not a gzip file"},
        {"cut short", good.left(good.size() - 20), "it is cut short"},
        {"a QSO not in the file", Gzipped(SignedFileText({{"DL1ABC"}, {"W9ZZZ"}})),
         "it holds 1 QSOs that are not in the upload file"},
        {"a QSO twice", Gzipped(SignedFileText({{"DL1ABC"}, {"DL1ABC"}})), "it holds 1 QSOs that are not in the upload file"},
        {"a record cut", Gzipped(SignedFileText({{"DL1ABC"}}) + "<Rec_Type:8>tCONTACT\n<CALL:6>DL2ABC\n"),
         "it ends in the middle of a record"},
        {"a contact without its date", Gzipped(SignedFileText({{"DL1ABC"}}).replace("<QSO_DATE:10>2019-03-15\n", "")),
         "its contact record 1 lacks its call, date, time, band or mode"},
    };
    for (const Case& c : cases) {
        const SignedMatch m = match(c.bytes);
        EXPECT_FALSE(m.usable) << c.name;
        EXPECT_EQ(m.problem, S(c.problem)) << c.name;
        EXPECT_EQ(m.signedCount, 0) << c.name;
        EXPECT_EQ(m.isSigned, (std::vector<bool>{false, false})) << c.name;
    }
    const SignedMatch missing = MatchSignedFile(records_, dir.file(S("none.tq8")));
    EXPECT_EQ(missing.problem, S("it does not exist"));
}

TEST(TqslSignedMode, ModesAsTqslSignsThem)
{
    const std::pair<const char*, const char*> cases[] = {
        {"CW", "CW"},       {"SSB", "SSB"},     {"USB", "SSB"},    {"FT8", "FT8"},      {"PSK31", "PSK31"},
        {"PAC2", "PACTOR"}, {"TOR", "AMTOR"},   {"JT65A", "JT65"}, {"OLIVIA 8/250", "OLIVIA"}, {"mfsk16", "MFSK16"},
        {"MFSK32", "DATA"}, {"CLO", "CLOVER"},  {"HELL", "HELL"},
    };
    for (const auto& [adif, tqsl] : cases)
        EXPECT_EQ(TqslSignedMode(S(adif)), S(tqsl)) << adif;
}

} // namespace
