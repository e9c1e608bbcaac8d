#include "shell/Messages.h"

#include <QFile>
#include <QHash>
#include <QLocale>
#include <QTextStream>

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

const Table& tableFor(const QString& language) {
    static const Table english = readTable(QStringLiteral(":/core/messages_en.txt"));
    static const Table japanese = readTable(QStringLiteral(":/core/messages_ja.txt"));
    return language == QLatin1String("JP") ? japanese : english;
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

} // namespace

void SetMessageLanguage(const QString& language) {
    currentLanguage() = language.toUpper() == QLatin1String("JP") ? QStringLiteral("JP")
                                                                   : QStringLiteral("EN");
}

QString LoadMessage(int number, const QStringList& arguments) {
    const auto& entries = tableFor(currentLanguage()).entries;
    const auto it = entries.constFind(number);
    if (it == entries.constEnd()) return QStringLiteral("[%1]").arg(number);
    QString text = *it;
    // Each pass expands the first tilde; the scan restarts from the beginning so an argument
    // that itself holds a tilde is expanded too. Every pass removes one tilde pair or
    // replaces it, and the number of passes is bounded to keep a self-referencing argument
    // ("~1" holding "~1") from looping for ever.
    int passes = 0;
    for (qsizetype p = text.indexOf(u'~'); p >= 0 && passes < 10000; p = text.indexOf(u'~'), ++passes) {
        const QChar c = p + 1 < text.size() ? text.at(p + 1) : QChar();
        if (c == u'c' || c == u'C') {
            text.replace(p, 2, QStringLiteral("\r\n"));
        } else if (c == u't' || c == u'T') {
            text.replace(p, 2, QStringLiteral("\t"));
        } else if (c.isDigit() && c.unicode() < 128) {
            const int n = c.digitValue();
            text.replace(p, 2, n >= 1 && n <= arguments.size() ? arguments.at(n - 1) : QString());
        } else {
            text.remove(p, c.isNull() ? 1 : 2);
        }
    }
    return text;
}

bool HasMessage(int number) { return tableFor(currentLanguage()).entries.contains(number); }

int MessageTableSize() { return int(tableFor(currentLanguage()).entries.size()); }

QList<int> MessageNumbers(const QString& language) {
    QList<int> numbers = tableFor(language).entries.keys();
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

QString AppTitle() { return LoadMessage(5001); }

QString UiLanguage() { return LoadMessage(101); }
