#include "factory/StationCsv.h"

#include "shell/clsToken.h"

#include <QFile>
#include <QSaveFile>

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
    if (file.write(text) != text.size()) {
        if (error) *error = file.errorString();
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
    while (names->size() < maxLines && !file.atEnd()) {
        QByteArray line = file.readLine(kMaxLineBytes);
        if (line.isEmpty() && file.error() != QFileDevice::NoError) {
            if (error) *error = file.errorString();
            return false;
        }
        if (!line.endsWith('\n')) {
            // Skip the rest of an over-long line.
            while (!file.atEnd()) {
                const QByteArray rest = file.readLine(kMaxLineBytes);
                if (rest.isEmpty() || rest.endsWith('\n')) break;
            }
        }
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1);
        names->append(NameOfLine(QString::fromLocal8Bit(line), separator));
    }
    return true;
}

} // namespace StationCsv
