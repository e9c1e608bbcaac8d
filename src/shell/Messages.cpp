#include "shell/Messages.h"

#include <QFile>
#include <QHash>
#include <QLocale>
#include <QTextStream>

#include <QVarLengthArray>

#include <algorithm>

namespace {

struct Table {
    QHash<int, QString> entries;
};

// Reads "number<TAB>text" lines; blank lines and lines starting with '#' are skipped.
Table readTable(const QString& path) {
    Table table;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return table;
    QTextStream in(&file);
    in.setEncoding(QStringConverter::Utf8);
    while (!in.atEnd()) {
        const QString line = in.readLine();
        if (line.isEmpty() || line.startsWith(u'#')) continue;
        const qsizetype tab = line.indexOf(u'\t');
        if (tab <= 0) continue;
        bool ok = false;
        const int number = line.left(tab).trimmed().toInt(&ok);
        if (ok) table.entries.insert(number, line.mid(tab + 1));
    }
    return table;
}

// Each table is read on its first use, so a program that never switches language reads one.
const Table& tableFor(const QString& language) {
    if (language == QLatin1String("JP")) {
        static const Table japanese = readTable(QStringLiteral(":/core/messages_ja.txt"));
        return japanese;
    }
    static const Table english = readTable(QStringLiteral(":/core/messages_en.txt"));
    return english;
}

QString systemLanguage() {
    const QStringList ui = QLocale::system().uiLanguages();
    if (!ui.isEmpty() && ui.first().startsWith(QLatin1String("ja"))) return QStringLiteral("JP");
    return QStringLiteral("EN");
}

QString& currentLanguage() {
    static QString language = systemLanguage();
    return language;
}

// Text still to be expanded: the entry itself or an argument inserted into it. `chain` holds
// one bit per argument (1..9) whose text this segment lies inside.
struct Segment {
    QStringView text;
    qsizetype pos = 0;
    unsigned chain = 0;
};

// Upper bound of argument insertions for one lookup; real entries need a handful. It keeps a
// set of arguments that refer to each other from growing the text without limit.
constexpr int kMaxInsertions = 256;

// Expands the escapes of `text`. The expansion reads the text from left to right; an inserted
// argument is read next, before the rest of the text, so a "~" at the end of an argument pairs
// with the character that follows the argument, and escapes inside arguments are expanded. An
// argument reference met inside that same argument (directly or through another argument) is
// replaced by nothing, so a text such as "~1" passed as argument 1 cannot expand for ever.
// The text between two escapes is copied in one piece.
QString expandEscapes(const QString& text, const QStringList& arguments) {
    if (!text.contains(u'~')) return text;
    QString out;
    out.reserve(text.size() + 32);
    QVarLengthArray<Segment, 8> stack{{text, 0, 0}};
    int insertions = 0;
    const auto dropFinished = [&stack] {
        while (!stack.empty() && stack.back().pos >= stack.back().text.size())
            stack.pop_back();
    };
    for (;;) {
        dropFinished();
        if (stack.empty()) break;
        Segment& top = stack.back();
        const qsizetype tilde = top.text.indexOf(u'~', top.pos);
        const qsizetype end = tilde < 0 ? top.text.size() : tilde;
        out.append(top.text.sliced(top.pos, end - top.pos));
        top.pos = end;
        if (tilde < 0) continue;
        ++top.pos; // the "~"
        dropFinished();
        if (stack.empty()) break; // a trailing "~" is deleted
        Segment& next = stack.back();
        const QChar c = next.text.at(next.pos++);
        const unsigned chain = next.chain;
        if (c == u'c' || c == u'C') {
            out.append(QLatin1StringView("\r\n"));
        } else if (c == u't' || c == u'T') {
            out.append(u'\t');
        } else if (c >= u'0' && c <= u'9') {
            const int n = c.unicode() - u'0';
            const unsigned bit = 1u << n;
            if (n >= 1 && n <= arguments.size() && !(chain & bit) && insertions < kMaxInsertions) {
                ++insertions;
                stack.push_back({arguments.at(n - 1), 0, chain | bit});
            }
        } else if (c.isHighSurrogate() && next.pos < next.text.size() &&
                   next.text.at(next.pos).isLowSurrogate()) {
            ++next.pos; // the pair is one character: delete it whole
        }
    }
    return out;
}

} // namespace

void SetMessageLanguage(const QString& language) {
    currentLanguage() =
        language.toUpper() == QLatin1String("JP") ? QStringLiteral("JP") : QStringLiteral("EN");
}

QString LoadMessage(int number, const QStringList& arguments) {
    const auto& entries = tableFor(currentLanguage()).entries;
    const auto it = entries.constFind(number);
    if (it == entries.constEnd()) return QStringLiteral("[%1]").arg(number);
    return expandEscapes(*it, arguments);
}

bool HasMessage(int number) {
    return tableFor(currentLanguage()).entries.contains(number);
}

int MessageTableSize() {
    return int(tableFor(currentLanguage()).entries.size());
}

QList<int> MessageNumbers(const QString& language) {
    QList<int> numbers = tableFor(language).entries.keys();
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

QString AppTitle() {
    return LoadMessage(5001);
}

QString UiLanguage() {
    return LoadMessage(101);
}

QString OneLineText(const QString& text) {
    QString line;
    line.reserve(text.size());
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            line += QStringLiteral("\\x") +
                    QString::number(c.unicode(), 16).rightJustified(2, u'0').toUpper();
        else
            line += c;
    }
    return line;
}
