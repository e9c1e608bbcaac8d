#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <array>
#include <span>

// Splits one line of text into tokens. Each instance is configured once with its own delimiter,
// quote and comment characters (one-character texts) and then fed line by line through
// setSource().
//
// Rules: a delimiter ends a token (empty fields between delimiters give no token); text between
// two quote characters is one token (two adjacent quotes give one empty token; an unterminated
// quote runs to the end of the line); outside quotes a comment mark ends the token part of the
// line and the rest of the line is kept, uncounted, at index TokenCount(). A character listed in
// more than one list counts as comment mark before quote before delimiter. Text that runs
// directly into an opening quote or a comment mark is stored as a token of its own.
// At most 256 tokens are kept; further tokens of a line are dropped (see Truncated()).
class clsToken {
public:
    static constexpr int MaxTokens = 256;
    static constexpr int MaxListEntries = 10;

    clsToken() = default;

    // Appends a delimiter character; ignored when ten are configured already.
    void AddDelimiters(const QString& character);
    // Appends a quote character; ignored when ten are configured already.
    void AddStrings(const QString& character);
    // Appends a comment character; ignored when ten are configured already.
    void AddComments(const QString& character);

    // Removes every delimiter character.
    void ClearDelimiters();
    // Removes every quote character.
    void ClearStrings();
    // Removes every comment character.
    void ClearComments();

    // Delimiter entry `index`, or an empty text when index is not below DelimiterCount().
    QString Delimiters(int index) const;
    // Replaces delimiter entry `index` (0..9); the count is not changed.
    void setDelimiters(int index, const QString& character);
    // Number of configured delimiter characters.
    int DelimiterCount() const { return m_delimiters.count; }

    // Quote entry `index`, or an empty text when index is not below StringCount().
    QString StringRanges(int index) const;
    // Replaces quote entry `index` (0..9); the count is not changed.
    void setStringRanges(int index, const QString& character);
    // Number of configured quote characters.
    int StringCount() const { return m_strings.count; }

    // Comment entry `index`, or an empty text when index is not below CommentCount().
    QString Comments(int index) const;
    // Replaces comment entry `index` (0..9); the count is not changed.
    void setComments(int index, const QString& character);
    // Number of configured comment characters.
    int CommentCount() const { return m_comments.count; }

    // Number of tokens of the last line.
    qint16 TokenCount() const { return m_tokenCount; }
    // Overwrites the token count (kept within 0..256).
    void setTokenCount(qint16 count);

    // Token `index` (0..255), or an empty text for any other index.
    QString Tokens(int index) const;
    // Replaces token `index`; returns false and stores nothing when index is outside 0..255.
    bool setTokens(int index, const QString& text);

    // The tokens 0 .. TokenCount() - 1.
    QStringList TokenList() const;

    // The line last given.
    QString Source() const { return m_source; }
    // Stores the line and splits it into tokens at once.
    void setSource(const QString& line);
    // Splits `line` as setSource() does, storing nothing: its first tokens.size() tokens are
    // put into `tokens` as pieces of `line`. Returns the number TokenCount() would give.
    int Split(QStringView line, std::span<QStringView> tokens) const;

    // True when the last line held more than 256 tokens (or its comment remainder found no room).
    bool Truncated() const { return m_truncated; }

    // `text` with every tab replaced by ",".
    static QString TabToComma(const QString& text);
    // `text` with every tab replaced by a blank.
    static QString TabToBlank(const QString& text);

private:
    struct CharList {
        std::array<QString, MaxListEntries + 1> entries;
        int count = 0;
        bool contains(QChar c) const;
    };

    static void add(CharList& list, const QString& character);
    static void clear(CharList& list);
    static QString get(const CharList& list, int index);
    static void set(CharList& list, int index, const QString& character);

    // How a line splits: `take(index, from, to)` is called for each counted token in turn.
    struct Pieces {
        int count = 0;          // tokens counted, at most MaxTokens
        bool truncated = false; // a token was dropped beyond MaxTokens
        qsizetype comment = -1; // position of the comment mark that ends the tokens, or -1
    };
    template <typename Take> Pieces split(QStringView line, Take take) const;

    CharList m_delimiters;
    CharList m_strings;
    CharList m_comments;
    QString m_source;
    std::array<QString, MaxTokens> m_tokens;
    qint16 m_tokenCount = 0;
    bool m_truncated = false;
};

// A token in upper case, as QString::toUpper() gives it: the key a line is read by. A short
// ASCII token (as every key of the program's files is) is made in place, without a text of its
// own.
class UpperKey {
public:
    explicit UpperKey(QStringView token);
    UpperKey(const UpperKey&) = delete;
    UpperKey& operator=(const UpperKey&) = delete;

    // The token in upper case.
    QStringView view() const { return m_key; }

private:
    std::array<char16_t, 32> m_ascii;
    QString m_text;
    QStringView m_key;
};
