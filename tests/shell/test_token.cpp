#include "shell/clsToken.h"

#include <algorithm>
#include <array>
#include <gtest/gtest.h>

namespace {

// The splitter of the tool configuration file: tab delimited, apostrophe quotes, ";" comments.
clsToken configTokenizer() {
    clsToken t;
    t.ClearDelimiters();
    t.ClearStrings();
    t.ClearComments();
    t.AddDelimiters("\t");
    t.AddStrings("'");
    t.AddComments(";");
    return t;
}

// The splitter of detector replies: CR and "," delimit, nothing else.
clsToken replyTokenizer() {
    clsToken t;
    t.AddDelimiters("\r");
    t.AddDelimiters(",");
    return t;
}

} // namespace

TEST(Token, SplitsConfigurationLines) {
    struct Case {
        const char* line;
        QStringList tokens;
        QString afterCount; // the uncounted comment remainder
    };
    const Case cases[] = {
        {"Timeout\t\t3", {"Timeout", "3"}, {}},
        {"Font\t'MS Sans\tSerif'\t9", {"Font", "MS Sans\tSerif", "9"}, {}},
        {"Gas Inst\t1\t''\tTRUE", {"Gas Inst", "1", "", "TRUE"}, {}},
        {";  Last update = now", {}, "  Last update = now"},
        {"", {}, {}},
        {"Font\t'unterminated; name\twith tab", {"Font", "unterminated; name\twith tab"}, {}},
        {"Retry\t3\t; three tries", {"Retry", "3"}, " three tries"},
        // Text running straight into a comment mark or an opening quote is a token of its own.
        {"Retry\t3; note", {"Retry", "3"}, " note"},
        {"Key\tab'cd'ef", {"Key", "ab", "cd", "ef"}, {}},
        {"\t\tlead\t\t", {"lead"}, {}},
        {"'", {}, {}},
    };
    clsToken t = configTokenizer();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        t.setSource(QString::fromUtf8(c.line));
        EXPECT_EQ(t.Source(), QString::fromUtf8(c.line));
        EXPECT_EQ(t.TokenCount(), c.tokens.size());
        EXPECT_EQ(t.TokenList(), c.tokens);
        for (int i = 0; i < c.tokens.size(); ++i)
            EXPECT_EQ(t.Tokens(i), c.tokens[i]);
        if (!c.afterCount.isNull()) {
            EXPECT_EQ(t.Tokens(t.TokenCount()), c.afterCount);
        }
        EXPECT_FALSE(t.Truncated());
    }
}

TEST(Token, SplitsRepliesAtCommasAndCarriageReturns) {
    clsToken t = replyTokenizer();
    t.setSource("0100,,0200\r 12.5 ,;'x'");
    EXPECT_EQ(t.TokenList(), (QStringList{"0100", "0200", " 12.5 ", ";'x'"}));
}

TEST(Token, ACharacterListedAsDelimiterAndCommentIsACommentMark) {
    clsToken t;
    t.AddDelimiters(",");
    t.AddDelimiters(";");
    t.AddComments(";");
    t.setSource("XS,W,abc;rest,of;line");
    EXPECT_EQ(t.TokenList(), (QStringList{"XS", "W", "abc"}));
    EXPECT_EQ(t.Tokens(3), "rest,of;line");
}

TEST(Token, ACharacterListedAsDelimiterAndQuoteIsAQuote) {
    clsToken t;
    t.AddDelimiters("'");
    t.AddDelimiters(",");
    t.AddStrings("'");
    t.setSource("a,'b,c',d");
    EXPECT_EQ(t.TokenList(), (QStringList{"a", "b,c", "d"}));
}

TEST(Token, KeepsAtMost256TokensAndDropsTheRest) {
    clsToken t = replyTokenizer();
    QStringList fields;
    for (int i = 0; i < 300; ++i)
        fields << QString("t%1").arg(i);
    t.setSource(fields.join(','));
    EXPECT_EQ(t.TokenCount(), 256);
    EXPECT_TRUE(t.Truncated());
    EXPECT_EQ(t.Tokens(0), "t0");
    EXPECT_EQ(t.Tokens(255), "t255"); // the last stored token stays readable
    EXPECT_EQ(t.Tokens(256), "");
    EXPECT_EQ(t.TokenList().size(), 256);

    // Exactly 256 tokens fit; a comment remainder after them has no room.
    clsToken c = replyTokenizer();
    c.AddComments(";");
    c.setSource(fields.mid(0, 256).join(','));
    EXPECT_EQ(c.TokenCount(), 256);
    EXPECT_FALSE(c.Truncated());
    c.setSource(fields.mid(0, 256).join(',') + ";comment");
    EXPECT_EQ(c.TokenCount(), 256);
    EXPECT_TRUE(c.Truncated());
    EXPECT_EQ(c.Tokens(255), "t255");

    // The next, shorter line is complete again.
    t.setSource("a,b");
    EXPECT_EQ(t.TokenCount(), 2);
    EXPECT_FALSE(t.Truncated());
}

TEST(Token, TokenAccessorsStayInsideTheArray) {
    clsToken t;
    EXPECT_FALSE(t.setTokens(256, "x"));
    EXPECT_FALSE(t.setTokens(-1, "x"));
    EXPECT_TRUE(t.setTokens(255, "last"));
    EXPECT_EQ(t.Tokens(255), "last");
    EXPECT_EQ(t.Tokens(-1), "");
    EXPECT_EQ(t.Tokens(1000), "");

    t.setTokenCount(3);
    EXPECT_EQ(t.TokenCount(), 3);
    t.setTokenCount(1000);
    EXPECT_EQ(t.TokenCount(), 256);
    t.setTokenCount(-5);
    EXPECT_EQ(t.TokenCount(), 0);
}

TEST(Token, ListsHoldTenCharactersEach) {
    clsToken t;
    const QString chars = "abcdefghijk"; // eleven
    for (QChar c : chars) {
        t.AddDelimiters(QString(c));
        t.AddStrings(QString(c));
        t.AddComments(QString(c));
    }
    EXPECT_EQ(t.DelimiterCount(), 10);
    EXPECT_EQ(t.StringCount(), 10);
    EXPECT_EQ(t.CommentCount(), 10);
    EXPECT_EQ(t.Delimiters(9), "j");
    EXPECT_EQ(t.Delimiters(10), "");
    EXPECT_EQ(t.StringRanges(-1), "");
    EXPECT_EQ(t.Comments(0), "a");

    // The eleventh character was ignored: it is ordinary text.
    clsToken d;
    for (QChar c : chars)
        d.AddDelimiters(QString(c));
    d.setSource("xkyaz");
    EXPECT_EQ(d.TokenList(), (QStringList{"xky", "z"}));
}

TEST(Token, ReplacingAndClearingEntriesChangesTheSplitting) {
    clsToken t;
    t.AddDelimiters(",");
    t.setDelimiters(0, ";");
    EXPECT_EQ(t.Delimiters(0), ";");
    t.setSource("a;b,c");
    EXPECT_EQ(t.TokenList(), (QStringList{"a", "b,c"}));

    // An entry beyond the count is stored but not counted, so it neither reads back nor splits.
    t.setDelimiters(5, ",");
    EXPECT_EQ(t.DelimiterCount(), 1);
    EXPECT_EQ(t.Delimiters(5), "");
    t.setSource("a;b,c");
    EXPECT_EQ(t.TokenCount(), 2);

    t.ClearDelimiters();
    EXPECT_EQ(t.DelimiterCount(), 0);
    EXPECT_EQ(t.Delimiters(0), "");
    t.setSource("a;b,c");
    EXPECT_EQ(t.TokenList(), (QStringList{"a;b,c"}));

    t.AddStrings("\"");
    t.AddComments("#");
    t.ClearStrings();
    t.ClearComments();
    EXPECT_EQ(t.StringCount(), 0);
    EXPECT_EQ(t.CommentCount(), 0);
    t.setSource("\"a#b\"");
    EXPECT_EQ(t.TokenList(), (QStringList{"\"a#b\""}));
}

TEST(Token, EntriesOfMoreThanOneCharacterNeverMatch) {
    clsToken t;
    t.AddDelimiters(",,");
    t.AddDelimiters("");
    t.setSource("a,b,,c");
    EXPECT_EQ(t.TokenCount(), 1);
}

TEST(Token, TabReplacement) {
    EXPECT_EQ(clsToken::TabToComma("a\tb\t\tc"), "a,b,,c");
    EXPECT_EQ(clsToken::TabToBlank("a\tb\t\tc"), "a b  c");
    EXPECT_EQ(clsToken::TabToComma(""), "");
}

TEST(Token, SplitGivesTheStoredTokensAsViewsAndMarksPastAsciiSplitAlike) {
    clsToken t = configTokenizer();
    t.AddDelimiters(QStringLiteral("、"));
    t.AddStrings(QStringLiteral("«"));
    t.AddComments(QStringLiteral("※"));
    t.setSource(QStringLiteral("Font\t«MS、Sans»«、9※rest"));
    EXPECT_EQ(t.TokenList(), (QStringList{"Font", "MS、Sans»", "9"}));
    EXPECT_EQ(t.Tokens(3), "rest");

    QStringList fields;
    for (int i = 0; i < 300; ++i)
        fields << QString("t%1").arg(i);
    for (const QString& line : {QStringLiteral("Gas Inst\t1\t''\t«x※y«、z※c"), fields.join('\t'),
                                QStringLiteral("\t\t"), QString()}) {
        SCOPED_TRACE(line.left(40).toStdString());
        t.setSource(line);
        std::array<QStringView, 3> views;
        EXPECT_EQ(t.Split(line, views), t.TokenCount());
        for (int i = 0; i < std::min<int>(t.TokenCount(), 3); ++i)
            EXPECT_EQ(views[size_t(i)], t.Tokens(i));
    }
}

TEST(Token, UpperKeyIsTheTokenAsToUpperGivesIt) {
    for (const QString& key :
         {QStringLiteral("Gas Inst"), QStringLiteral("chggas"), QString(), QStringLiteral("straße"),
          QStringLiteral("ıd"), QStringLiteral("a long key of more than thirty-two letters")})
        EXPECT_EQ(UpperKey(key).view(), key.toUpper()) << key.toStdString();
}
