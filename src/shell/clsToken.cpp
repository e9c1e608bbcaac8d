#include "shell/clsToken.h"

#include <utility>

bool clsToken::CharList::contains(QChar c) const {
    for (int i = 0; i < count; ++i) {
        const QString& e = entries[static_cast<size_t>(i)];
        if (e.size() == 1 && e.at(0) == c) return true;
    }
    return false;
}

void clsToken::add(CharList& list, const QString& character) {
    if (list.count >= MaxListEntries) return;
    list.entries[static_cast<size_t>(list.count)] = character;
    ++list.count;
}

void clsToken::clear(CharList& list) {
    for (QString& e : list.entries)
        e.clear();
    list.count = 0;
}

QString clsToken::get(const CharList& list, int index) {
    if (index < 0 || index >= list.count) return {};
    return list.entries[static_cast<size_t>(index)];
}

void clsToken::set(CharList& list, int index, const QString& character) {
    if (index < 0 || index >= MaxListEntries) return;
    list.entries[static_cast<size_t>(index)] = character;
}

void clsToken::AddDelimiters(const QString& character) {
    add(m_delimiters, character);
}
void clsToken::AddStrings(const QString& character) {
    add(m_strings, character);
}
void clsToken::AddComments(const QString& character) {
    add(m_comments, character);
}

void clsToken::ClearDelimiters() {
    clear(m_delimiters);
}
void clsToken::ClearStrings() {
    clear(m_strings);
}
void clsToken::ClearComments() {
    clear(m_comments);
}

QString clsToken::Delimiters(int index) const {
    return get(m_delimiters, index);
}
void clsToken::setDelimiters(int index, const QString& character) {
    set(m_delimiters, index, character);
}

QString clsToken::StringRanges(int index) const {
    return get(m_strings, index);
}
void clsToken::setStringRanges(int index, const QString& character) {
    set(m_strings, index, character);
}

QString clsToken::Comments(int index) const {
    return get(m_comments, index);
}
void clsToken::setComments(int index, const QString& character) {
    set(m_comments, index, character);
}

void clsToken::setTokenCount(qint16 count) {
    m_tokenCount = static_cast<qint16>(qBound<int>(0, count, MaxTokens));
}

QString clsToken::Tokens(int index) const {
    if (index < 0 || index >= MaxTokens) return {};
    return m_tokens[static_cast<size_t>(index)];
}

bool clsToken::setTokens(int index, const QString& text) {
    if (index < 0 || index >= MaxTokens) return false;
    m_tokens[static_cast<size_t>(index)] = text;
    return true;
}

QStringList clsToken::TokenList() const {
    QStringList list;
    list.reserve(m_tokenCount);
    for (int i = 0; i < m_tokenCount; ++i)
        list.append(m_tokens[static_cast<size_t>(i)]);
    return list;
}

template <typename Take> clsToken::Pieces clsToken::split(QStringView line, Take take) const {
    Pieces p;
    const auto push = [&](qsizetype from, qsizetype to) {
        if (p.count >= MaxTokens) {
            p.truncated = true;
            return;
        }
        take(p.count, from, to);
        ++p.count;
    };
    // What a character is; a later list overrides an earlier one: comment before quote before
    // delimiter. The ASCII characters are looked up once for the line.
    enum Kind : unsigned char { Plain, Delimiter, Quote, Comment };
    std::array<Kind, 128> ascii{};
    for (const auto& [list, kind] :
         {std::pair{&m_delimiters, Delimiter}, std::pair{&m_strings, Quote},
          std::pair{&m_comments, Comment}}) {
        for (int i = 0; i < list->count; ++i) {
            const QString& e = list->entries[static_cast<size_t>(i)];
            if (e.size() == 1 && e.at(0).unicode() < ascii.size()) ascii[e.at(0).unicode()] = kind;
        }
    }
    const auto kindOf = [&](QChar c) {
        if (c.unicode() < ascii.size()) return ascii[c.unicode()];
        if (m_comments.contains(c)) return Comment;
        if (m_strings.contains(c)) return Quote;
        return m_delimiters.contains(c) ? Delimiter : Plain;
    };

    // The token being read runs from `start` to the current character.
    qsizetype start = 0;
    bool inQuotes = false;
    const char16_t* chars = line.utf16();
    for (qsizetype i = 0; i < line.size(); ++i) {
        const Kind kind = kindOf(QChar(chars[i]));
        if (kind == Plain) continue;
        if (kind == Comment) {
            if (inQuotes) continue;
            if (i > start) push(start, i);
            p.comment = i;
            return p;
        }
        if (kind == Quote) {
            // A closing quote ends its token even when it is empty.
            if (inQuotes || i > start) push(start, i);
            inQuotes = !inQuotes;
            start = i + 1;
            continue;
        }
        // A delimiter.
        if (inQuotes) continue;
        if (i > start) push(start, i);
        start = i + 1;
    }
    if (line.size() > start) push(start, line.size());
    return p;
}

int clsToken::Split(QStringView line, std::span<QStringView> tokens) const {
    return split(line,
                 [&](int index, qsizetype from, qsizetype to) {
                     if (size_t(index) < tokens.size())
                         tokens[size_t(index)] = line.sliced(from, to - from);
                 })
        .count;
}

void clsToken::setSource(const QString& line) {
    m_source = line;
    // An empty token (two adjacent quotes) is a null text.
    const Pieces p = split(line, [&](int index, qsizetype from, qsizetype to) {
        m_tokens[static_cast<size_t>(index)] = to > from ? line.mid(from, to - from) : QString();
    });
    m_tokenCount = static_cast<qint16>(p.count);
    m_truncated = p.truncated;
    // The rest of the line after a comment mark is kept, uncounted, after the tokens.
    if (p.comment >= 0) {
        if (p.count < MaxTokens)
            m_tokens[static_cast<size_t>(p.count)] = line.mid(p.comment + 1);
        else
            m_truncated = true;
    }
}

QString clsToken::TabToComma(const QString& text) {
    QString result = text;
    result.replace(QLatin1Char('\t'), QLatin1Char(','));
    return result;
}

QString clsToken::TabToBlank(const QString& text) {
    QString result = text;
    result.replace(QLatin1Char('\t'), QLatin1Char(' '));
    return result;
}

UpperKey::UpperKey(QStringView token) {
    char16_t any = 0;
    for (const QChar c : token)
        any |= c.unicode();
    if (any >= 0x80 || token.size() > qsizetype(m_ascii.size())) {
        m_text = token.toString().toUpper();
        m_key = m_text;
        return;
    }
    for (qsizetype i = 0; i < token.size(); ++i) {
        const char16_t c = token[i].unicode();
        m_ascii[size_t(i)] = c >= u'a' && c <= u'z' ? char16_t(c - u'a' + u'A') : c;
    }
    m_key = QStringView(m_ascii.data(), token.size());
}
