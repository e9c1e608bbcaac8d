#include "factory/StationCsv.h"

#include "shell/WriteError.h"
#include "shell/clsToken.h"

#include <QFile>
#include <QSaveFile>
#include <cerrno>

namespace StationCsv {

namespace {

// Longest line kept; the rest of a longer line is skipped.
constexpr qint64 kMaxLineBytes = 64 * 1024;

} // namespace

QByteArray FileText(const QStringList& names, const QString& separator) {
    QByteArray text;
    for (int i = 0; i < names.size(); ++i) {
        text += (QString::number(i + 1) + separator + names.at(i)).toLocal8Bit();
        text += "\r\n";
    }
    return text;
}

QString NameOfLine(const QString& line, const QString& separator) {
    clsToken token;
    token.AddDelimiters(separator);
    token.AddDelimiters(QStringLiteral("\t"));
    token.setSource(line);
    QStringList fields = token.TokenList();
    if (fields.isEmpty()) return {};
    fields.removeFirst();
    return fields.join(separator);
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
    // holds a line end of its own. A line longer than kMaxLineBytes keeps its beginning.
    QByteArray line;
    bool afterCr = false;
    const auto endLine = [&] {
        names->append(NameOfLine(QString::fromLocal8Bit(line), separator));
        line.clear();
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
