#include "shell/Messages.h"

#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTextStream>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

namespace {

struct EnglishTable : ::testing::Test {
    void SetUp() override { SetMessageLanguage("EN"); }
};

struct JapaneseTable : ::testing::Test {
    void SetUp() override { SetMessageLanguage("JP"); }
    void TearDown() override { SetMessageLanguage("EN"); }
};

// The raw lines of a table file as compiled into the program: number -> text, plus order checks.
struct RawTable {
    QList<int> order;
    QList<int> duplicates;
    std::map<int, QString> texts;
};

RawTable readRaw(const QString& path) {
    RawTable raw;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return raw;
    QTextStream in(&file);
    in.setEncoding(QStringConverter::Utf8);
    while (!in.atEnd()) {
        const QString line = in.readLine();
        if (line.isEmpty() || line.startsWith(u'#')) continue;
        const int number = line.section(u'\t', 0, 0).toInt();
        if (raw.texts.count(number)) raw.duplicates << number;
        raw.order << number;
        raw.texts[number] = line.section(u'\t', 1);
    }
    return raw;
}

// The escapes an entry carries, sorted ("~1", "~c", ...), so that both languages can be
// compared: a translation that lost its "~1" would silently drop the argument.
QStringList escapesOf(const QString& text) {
    QStringList escapes;
    static const QRegularExpression tilde(QStringLiteral("~."));
    for (auto it = tilde.globalMatch(text); it.hasNext();)
        escapes << it.next().captured();
    escapes.sort();
    return escapes;
}

TEST(MessageTables, BothLanguagesHoldTheSameNumbers) {
    const QList<int> english = MessageNumbers("EN");
    const QList<int> japanese = MessageNumbers("JP");
    EXPECT_GT(english.size(), 100);
    EXPECT_EQ(english, japanese);
}

TEST(MessageTables, FilesAreSortedWithoutDuplicatesAndEveryEntryHasText) {
    for (const char* path : {":/core/messages_en.txt", ":/core/messages_ja.txt"}) {
        SCOPED_TRACE(path);
        const RawTable raw = readRaw(QString::fromLatin1(path));
        ASSERT_FALSE(raw.order.isEmpty());
        EXPECT_TRUE(raw.duplicates.isEmpty()) << "first duplicate: " << raw.duplicates.value(0);
        EXPECT_TRUE(std::is_sorted(raw.order.begin(), raw.order.end()));
        for (const auto& [number, text] : raw.texts)
            EXPECT_FALSE(text.trimmed().isEmpty()) << "entry " << number;
    }
}

TEST(MessageTables, TranslationsKeepEveryArgumentAndLineBreak) {
    const RawTable english = readRaw(":/core/messages_en.txt");
    const RawTable japanese = readRaw(":/core/messages_ja.txt");
    for (const auto& [number, text] : english.texts) {
        const auto ja = japanese.texts.find(number);
        ASSERT_NE(ja, japanese.texts.end()) << "entry " << number;
        EXPECT_EQ(escapesOf(text), escapesOf(ja->second)) << "entry " << number;
    }
}

// The message numbers a source text names: direct calls written as `LoadMessage(5405` (with or
// without further arguments) and constants named kMsg<Name>.
QList<int> numbersUsedIn(const QString& source) {
    static const QRegularExpression usage(
        QStringLiteral(R"(\bLoadMessage\s*\(\s*(\d+)|\bkMsg[A-Z_]\w*\s*(?:=|\{)\s*(\d+))"));
    QList<int> numbers;
    for (auto it = usage.globalMatch(source); it.hasNext();) {
        const auto match = it.next();
        numbers << (match.hasCaptured(1) ? match.captured(1) : match.captured(2)).toInt();
    }
    return numbers;
}

TEST(MessageTables, UsageScanRecognisesTheWrittenForms) {
    EXPECT_EQ(numbersUsedIn("LoadMessage(5405)"), QList<int>{5405});
    EXPECT_EQ(numbersUsedIn("AddLog(LoadMessage(5405, {date}));"), QList<int>{5405});
    EXPECT_EQ(numbersUsedIn("x = LoadMessage( 5412 ,{QString::number(n)});"), QList<int>{5412});
    EXPECT_EQ(numbersUsedIn("constexpr int kMsgNoResponse = 5405;"), QList<int>{5405});
    EXPECT_EQ(numbersUsedIn("inline constexpr int kMsgUploadStarted{5536};"), QList<int>{5536});
    EXPECT_EQ(numbersUsedIn("a(LoadMessage(5536)); b(LoadMessage(5538, {now}));"),
              (QList<int>{5536, 5538}));
    EXPECT_TRUE(
        numbersUsedIn("int kMessages = 3; int retries = 5405; LoadMessage(number)").isEmpty());
}

// Every message number the program names must exist in both tables.
TEST(MessageTables, EveryNumberUsedBySourceExistsInBothTables) {
    const QList<int> enList = MessageNumbers("EN");
    const QList<int> jaList = MessageNumbers("JP");
    const QSet<int> english(enList.cbegin(), enList.cend());
    const QSet<int> japanese(jaList.cbegin(), jaList.cend());
    int found = 0;
    for (const char* folder : {"/src", "/app"}) {
        QDirIterator it(QStringLiteral(KM71_SOURCE_DIR) + QLatin1String(folder),
                        {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
            for (int number : numbersUsedIn(QString::fromUtf8(file.readAll()))) {
                ++found;
                EXPECT_TRUE(english.contains(number))
                    << number << " used in " << path.toStdString() << " is not in English table";
                EXPECT_TRUE(japanese.contains(number))
                    << number << " used in " << path.toStdString() << " is not in Japanese table";
            }
        }
    }
    // The title lookup alone is written as LoadMessage(5001), so the scan must find something.
    EXPECT_GE(found, 1);
}

TEST_F(EnglishTable, QuotedTextsAreExact) {
    const std::map<int, QString> quoted{
        {99, "It has already started."},
        {101, "EN"},
        {1000, "modMain"},
        {5001, "71-Series - Setup Program"},
        {5373, "End ?"},
        {5405, "71-Series No Response. Check Port,Cable And Power.\r\n"},
        {5412, "Connect Sequence 71-Series ...(3)"},
        {5543, "Flame Error. Date = 3"},
        {5550, "71-Series ...Conneted. Date = 3"},
        {5608, "Serial No."},
        {5560, "--- Current reading download time out.Date= 3 ---\r\n"},
        {6001, "Now Uploading"},
        {7005, "Please input password."},
        {7101, "Incorrect Password Entered"},
        {8039, "Export     csv file"},
        {8040, "Import    csv file"},
        {8056, "Improper data found  ( 3 )"},
        {8032, "Calibration Time(60-120sec) after Bump Test Failed"},
        {8088, "Latch + Reset"},
        {9103, "Reset Time (sec)"},
        {20013, "TWA/A-1H"},
        {20014, "More than one USB Serial Converter is connected."},
    };
    for (const auto& [number, text] : quoted)
        EXPECT_EQ(LoadMessage(number, {"3"}), text) << number;
    EXPECT_EQ(AppTitle(), "71-Series - Setup Program");
    EXPECT_EQ(UiLanguage(), "EN");
}

TEST_F(JapaneseTable, QuotedJapaneseTextsAreExact) {
    const std::map<int, QString> quoted{
        {99, QString::fromUtf8("既に起動しています。")},
        {101, "JP"},
        {5001, QString::fromUtf8("71-Series 設定ﾌﾟﾛｸﾞﾗﾑ")},
        {5373, QString::fromUtf8("ﾌﾟﾛｸﾞﾗﾑを終了してよろしいですか？")},
        {7005, QString::fromUtf8("ﾊﾟｽﾜｰﾄﾞを入力してください。")},
        {7010, "OK"},
        {7011, QString::fromUtf8("ｷｬﾝｾﾙ")},
        {7101, QString::fromUtf8("ﾊﾟｽﾜｰﾄﾞが合いません。")},
        {7102, QString::fromUtf8("ﾊﾟｽﾜｰﾄﾞ")},
        {8025, QString::fromUtf8("71-Series 詳細設定")},
    };
    for (const auto& [number, text] : quoted)
        EXPECT_EQ(LoadMessage(number), text) << number;
    EXPECT_EQ(UiLanguage(), "JP");
    EXPECT_EQ(AppTitle(), LoadMessage(5001));
}

TEST(MessageTables, IdentifiersStayAsInEnglish) {
    const RawTable english = readRaw(":/core/messages_en.txt");
    const RawTable japanese = readRaw(":/core/messages_ja.txt");
    for (int number : {1000, 3000, 5549, 5552, 5652, 5653, 6000, 7000, 7010, 20000, 20006, 20012})
        EXPECT_EQ(japanese.texts.at(number), english.texts.at(number)) << number;
}

TEST(MessageLanguage, SelectionIgnoresCaseAndFallsBackToEnglish) {
    SetMessageLanguage("jp");
    EXPECT_EQ(UiLanguage(), "JP");
    SetMessageLanguage("DE");
    EXPECT_EQ(UiLanguage(), "EN");
    SetMessageLanguage("EN");
}

// Expansion cases, on entries whose templates are "R : ~1" (5549) and
// "---Instrument Upload Finished---. Date = ~1[Time = ~2]~c" (5537).
struct ExpansionCase {
    const char* name;
    int number;
    QStringList arguments;
    QString expected;
};

class Expansion : public ::testing::TestWithParam<ExpansionCase> {
protected:
    void SetUp() override { SetMessageLanguage("EN"); }
};

TEST_P(Expansion, GivesTheExpectedText) {
    const ExpansionCase& c = GetParam();
    EXPECT_EQ(LoadMessage(c.number, c.arguments), c.expected);
}

const QString kFinished = QStringLiteral("---Instrument Upload Finished---. Date = ");

INSTANTIATE_TEST_SUITE_P(
    MessageLookup, Expansion,
    ::testing::Values(
        ExpansionCase{"TildeDigitsTakeTheirArguments",
                      5537,
                      {"d", "00:01:02"},
                      kFinished + "d[Time = 00:01:02]\r\n"},
        ExpansionCase{"MissingSecondArgumentIsEmpty", 5537, {"d"}, kFinished + "d[Time = ]\r\n"},
        ExpansionCase{"NoArgumentsAtAll", 5549, {}, "R : "},
        ExpansionCase{"TildeCInAnyCase", 5549, {"a~cb~Cc"}, "R : a\r\nb\r\nc"},
        ExpansionCase{"TildeTInAnyCase", 5549, {"a~tb~Tc"}, "R : a\tb\tc"},
        ExpansionCase{"UnknownPairIsDeleted", 5549, {"x~qy~~z"}, "R : xyz"},
        ExpansionCase{"TrailingTildeIsDeleted", 5549, {"abc~"}, "R : abc"},
        ExpansionCase{"TildeZeroIsEmpty", 5549, {"a~0b"}, "R : ab"},
        ExpansionCase{"OnlyOneDigitIsRead", 5537, {"A", "~10"}, kFinished + "A[Time = A0]\r\n"},
        ExpansionCase{
            "ArgumentMayReferToAnother", 5537, {"~2", "x"}, kFinished + "x[Time = x]\r\n"},
        ExpansionCase{"TildeAtArgumentEndPairsWithWhatFollows",
                      5537,
                      {"x~", "y"},
                      kFinished + "xTime = y]\r\n"},
        ExpansionCase{"NonBmpCharacterAfterTildeIsDeletedWhole",
                      5549,
                      {QString::fromUtf8("a~\xF0\x9F\x98\x80"
                                         "b")},
                      "R : ab"},
        ExpansionCase{"ArgumentReferringToItselfStops", 5549, {"a~1b"}, "R : ab"},
        ExpansionCase{"ArgumentsReferringToEachOtherStop",
                      5537,
                      {"p~2", "q~1"},
                      kFinished + "pq[Time = qp]\r\n"},
        ExpansionCase{"TextWithoutTildeIsUnchanged",
                      5549,
                      {"[STX]0001XS,R,[ETX]C4[EOT]"},
                      "R : [STX]0001XS,R,[ETX]C4[EOT]"}),
    [](const ::testing::TestParamInfo<ExpansionCase>& info) { return info.param.name; });

TEST_F(EnglishTable, ArgumentsThatMultiplyEachOtherStayBounded) {
    // Each argument names the next one eight times: unbounded expansion would give 8^8 copies.
    QStringList arguments;
    for (int i = 2; i <= 9; ++i)
        arguments << QString(QStringLiteral("~%1").arg(i)).repeated(8);
    arguments << QStringLiteral("leaf");
    const QString text = LoadMessage(5549, arguments);
    EXPECT_TRUE(text.startsWith("R : leaf"));
    EXPECT_LT(text.size(), 10000);
    EXPECT_FALSE(text.contains(u'~'));
}

TEST_F(EnglishTable, MissingNumberIsVisible) {
    EXPECT_FALSE(HasMessage(123456));
    EXPECT_EQ(LoadMessage(123456), "[123456]");
    EXPECT_TRUE(HasMessage(5001));
}

} // namespace
