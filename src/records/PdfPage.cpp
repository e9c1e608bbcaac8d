#include "records/PdfPage.h"

#include <QBuffer>
#include <QDir>
#include <QFont>
#include <QSaveFile>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextDocument>

namespace PdfPage {

bool Write(const QString& path, const QString& title,
           const QList<QPair<QString, QString>>& rows, const Table& table, QString* error) {
    QString html = QStringLiteral("<h2>%1</h2><table cellpadding='4' width='100%'>")
                       .arg(title.toHtmlEscaped());
    for (const auto& [caption, value] : rows)
        html += QStringLiteral("<tr><td width='40%'><b>%1</b></td><td>%2</td></tr>")
                    .arg(caption.toHtmlEscaped(), value.toHtmlEscaped());
    html += QStringLiteral("</table>");
    if (!table.header.isEmpty()) {
        html += QStringLiteral("<h3>%1</h3><table cellpadding='3' border='1' cellspacing='0' "
                               "width='100%'><tr>")
                    .arg(table.title.toHtmlEscaped());
        for (const QString& cell : table.header)
            html += QStringLiteral("<th>%1</th>").arg(cell.toHtmlEscaped());
        html += QStringLiteral("</tr>");
        for (const QStringList& row : table.rows) {
            html += QStringLiteral("<tr>");
            for (const QString& cell : row)
                html += QStringLiteral("<td>%1</td>").arg(cell.toHtmlEscaped());
            html += QStringLiteral("</tr>");
        }
        html += QStringLiteral("</table>");
    }

    // The document is made in memory and then replaces the file whole, so that a full disk
    // leaves no cut-off PDF behind.
    QByteArray bytes;
    {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter writer(&buffer);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(20, 20, 20, 20), QPageLayout::Millimeter);
        writer.setTitle(title);
        writer.setCreator(QStringLiteral("km71setup " KM71_VERSION));
        QTextDocument document;
        QFont font = document.defaultFont();
        font.setHintingPreference(QFont::PreferNoHinting);
        document.setDefaultFont(font);
        document.setHtml(html);
        document.print(&writer);
    }
    QSaveFile file(path);
    if (!bytes.isEmpty() && file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() &&
        file.flush() && file.commit())
        return true;
    if (error)
        *error = QDir::toNativeSeparators(path) + QStringLiteral(": ") +
                 (bytes.isEmpty() ? QStringLiteral("no document") : file.errorString());
    return false;
}

} // namespace PdfPage
