#include "factory/StationCsv.h"

#include "shell/WriteError.h"
#include "shell/clsToken.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>
#include <cerrno>
#include <charconv>

namespace StationCsv {

namespace {

// Longest line kept; the rest of a longer line is skipped.
constexpr qint64 kMaxLineBytes = 64 * 1024;

} // namespace

QByteArray FileText(const QStringList& names, const QString& separator) {
    QByteArray text;
    QString line;
    for (int i = 0; i < names.size(); ++i) {
        // Each line is encoded on its own, in the locale's encoding.
        QStringEncoder encoder(QStringConverter::System, QStringConverter::Flag::Stateless);
        char number[16];
        const auto end = std::to_chars(number, number + sizeof number, i + 1).ptr;
        line.resize(0);
        line += QLatin1StringView(number, end - number);
        line += separator;
        line += names.at(i);
        const qsizetype at = text.size();
        text.resize(at + encoder.requiredSpace(line.size()));
        text.resize(encoder.appendToBuffer(text.data() + at, line) - text.constData());
        text += "\r\n";
    }
    return text;
}

QString NameOfLine(const QString& line, const QString& separator) {
    // The fields are split as a tokenizer with the separator and a tab as delimiters splits
    // them: a separator of other than one character separates nothing, and fields after the
    // tokenizer's limit are dropped.
    const char16_t delimiter = separator.size() == 1 ? separator.front().unicode() : u'\t';
    const char16_t* chars = QStringView(line).utf16();
    QString name;
    int fields = 0;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= line.size(); ++i) {
        if (i < line.size() && chars[i] != delimiter && chars[i] != u'\t') continue;
        if (i > start && fields < clsToken::MaxTokens) {
            if (fields >= 2) name += separator;
            if (fields >= 1) name += QStringView(line).sliced(start, i - start);
            ++fields;
        }
        start = i + 1;
    }
    return name;
}

bool Write(const QString& path, const QStringList& names, const QString& separator,
           QString* error) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error) *error = file.errorString();
        return false;
    }
    const QByteArray text = FileText(names, separator);
    // The last of the bytes go out in flush(), whose failure commit() does not see.
    errno = 0;
    if (file.write(text) != text.size() || !file.flush()) {
        if (error) *error = WriteErrorText(file, errno);
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        if (error) *error = file.errorString();
        return false;
    }
    return true;
}

bool Read(const QString& path, const QString& separator, int maxLines, QStringList* names,
          QString* error) {
    names->clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error) *error = file.errorString();
        return false;
    }
    return Read(file, separator, maxLines, names, error);
}

bool Read(QIODevice& file, const QString& separator, int maxLines, QStringList* names,
          QString* error) {
    names->clear();
    // A line ends at CR LF, LF or a lone CR (files saved by older editors), so that a name never
    // holds a line end of its own. A line longer than kMaxLineBytes keeps its beginning. Each
    // line is decoded on its own, from the locale's encoding, into one reused text.
    QByteArray line;
    QString text;
    bool afterCr = false;
    const auto endLine = [&] {
        QStringDecoder decoder(QStringConverter::System, QStringConverter::Flag::Stateless);
        text.resize(decoder.requiredSpace(line.size()));
        text.resize(decoder.appendToBuffer(text.data(), line) - text.constData());
        names->append(NameOfLine(text, separator));
        line.resize(0);
    };
    char block[8192];
    while (names->size() < maxLines) {
        const qint64 n = file.read(block, sizeof block);
        if (n < 0) {
            if (error) *error = file.errorString();
            return false;
        }
        if (n == 0) break;
        for (qint64 i = 0; i < n && names->size() < maxLines; ++i) {
            const char c = block[i];
            const bool crLf = afterCr && c == '\n';
            afterCr = c == '\r';
            if (crLf) continue;
            if (c == '\r' || c == '\n')
                endLine();
            else if (line.size() < kMaxLineBytes)
                line += c;
        }
    }
    // The last line may have no line end.
    if (!line.isEmpty() && names->size() < maxLines) endLine();
    return true;
}

} // namespace StationCsv
