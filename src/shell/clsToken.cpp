#include "shell/clsToken.h"

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

void clsToken::pushToken(const QString& text) {
    if (m_tokenCount >= MaxTokens) {
        m_truncated = true;
        return;
    }
    m_tokens[static_cast<size_t>(m_tokenCount)] = text;
    ++m_tokenCount;
}

void clsToken::setSource(const QString& line) {
    m_source = line;
    m_tokenCount = 0;
    m_truncated = false;

    QString current;
    bool inQuotes = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        // A later list overrides an earlier one: comment before quote before delimiter.
        if (m_comments.contains(c)) {
            if (inQuotes) {
                current.append(c);
                continue;
            }
            if (!current.isEmpty()) pushToken(current);
            if (m_tokenCount < MaxTokens)
                m_tokens[static_cast<size_t>(m_tokenCount)] = line.mid(i + 1);
            else
                m_truncated = true;
            return;
        }
        if (m_strings.contains(c)) {
            if (inQuotes) {
                pushToken(current);
                current.clear();
                inQuotes = false;
            } else {
                if (!current.isEmpty()) pushToken(current);
                current.clear();
                inQuotes = true;
            }
            continue;
        }
        if (m_delimiters.contains(c)) {
            if (inQuotes) {
                current.append(c);
                continue;
            }
            if (!current.isEmpty()) pushToken(current);
            current.clear();
            continue;
        }
        current.append(c);
    }
    if (!current.isEmpty()) pushToken(current);
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
