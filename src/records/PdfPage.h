#pragma once

#include <QList>
#include <QPair>
#include <QString>

// One A4 page of a record written beside the detector's files: a title, a table of captions and
// values, and an optional second table with a header row.
namespace PdfPage {

// A table with a header row, shown below the caption/value rows.
struct Table {
    QString title;
    QStringList header;
    QList<QStringList> rows;
};

// Writes the page to `path`; false with a reason when it fails.
bool Write(const QString& path, const QString& title,
           const QList<QPair<QString, QString>>& rows, const Table& table, QString* error);

} // namespace PdfPage
