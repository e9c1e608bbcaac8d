#pragma once

#include <QList>
#include <QPair>
#include <QByteArray>
#include <QString>
#include <QStringList>

// One A4 page of a record written beside the detector's files: a title, a table of captions and
// values, and an optional second table with a header row.
namespace PdfPage {

// A table with a header row, shown below the caption/value rows.
struct Table {
    QString title;
    QStringList header;
    QList<QStringList> rows;
};

// A document from HTML on A4 pages (landscape when asked) with margins in millimetres, made
// in memory; empty when it could not be made.
QByteArray RenderHtml(const QString& html, const QString& title, bool landscape,
                      double marginMm);

// Replaces the file at `path` whole with `bytes` (a full disk leaves the earlier file); false
// with "<file>: <reason>" when it cannot.
bool SaveWhole(const QString& path, const QByteArray& bytes, QString* error);

// True when the page holds a text beyond Latin-1: it is then laid out with a system font
// (QtGui), else written in the standard PDF fonts without QtGui.
bool NeedsSystemFont(const QString& title, const QList<QPair<QString, QString>>& rows,
                     const Table& table);

// Writes the page to `path`; false with a reason when it fails.
bool Write(const QString& path, const QString& title,
           const QList<QPair<QString, QString>>& rows, const Table& table, QString* error);

} // namespace PdfPage
