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

namespace {

// ---- Pages in the standard fonts ----
//
// A page whose texts are all Latin needs no embedded font: it is written directly with the
// standard Helvetica faces every PDF reader has (WinAnsi encoding, whose printable Latin-1
// characters are Latin-1's own). That takes a fraction of a millisecond where laying out and
// embedding a system font takes tens, which matters when a production line writes a report for
// every detector. Other texts (Japanese) go through the full renderer below.

constexpr double kPageWidth = 595.0; // A4 in points
constexpr double kPageHeight = 842.0;
constexpr double kMargin = 57.0;     // 20 mm
constexpr double kLine = 14.0;
constexpr int kWrap = 60;            // characters of a value per line

bool IsPlainLatin(const QString& text) {
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (!((u >= 0x20 && u < 0x7F) || (u >= 0xA0 && u <= 0xFF))) return false;
    }
    return true;
}

// A PDF string literal: brackets and backslashes escaped, non-ASCII Latin-1 as octal.
QByteArray PdfString(const QString& text) {
    QByteArray out("(");
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u'(' || u == u')' || u == u'\\') {
            out += '\\';
            out += char(u);
        } else if (u >= 0x80) {
            out += '\\' + QByteArray::number(int(u), 8).rightJustified(3, '0');
        } else {
            out += char(u);
        }
    }
    return out + ')';
}

// Pieces of at most `width` characters, broken at a blank where there is one.
QStringList Wrapped(const QString& text, int width) {
    QStringList lines;
    QString rest = text;
    while (rest.size() > width) {
        qsizetype cut = rest.lastIndexOf(u' ', width);
        if (cut <= 0) cut = width;
        lines << rest.left(cut);
        rest = rest.mid(cut).trimmed();
    }
    lines << rest;
    return lines;
}

class PlainPages {
public:
    // Text at x on the current line in face F1 (regular) or F2 (bold).
    void text(double x, const QString& t, bool bold, double size = 10.0) {
        m_content += "BT /" + QByteArray(bold ? "F2 " : "F1 ") + QByteArray::number(size) +
                     " Tf " + QByteArray::number(x, 'f', 1) + ' ' +
                     QByteArray::number(m_y, 'f', 1) + " Td " + PdfString(t) + " Tj ET\n";
    }
    // Moves down by `lines` lines, starting a new page below the margin.
    void down(double lines = 1.0) {
        m_y -= kLine * lines;
        if (m_y < kMargin) newPage();
    }
    void rule() {
        m_content += QByteArray::number(kMargin) + ' ' + QByteArray::number(m_y + 10, 'f', 1) +
                     " m " + QByteArray::number(kPageWidth - kMargin) + ' ' +
                     QByteArray::number(m_y + 10, 'f', 1) + " l S\n";
    }
    void newPage() {
        if (!m_content.isEmpty()) m_pages << m_content;
        m_content.clear();
        m_y = kPageHeight - kMargin;
    }
    QByteArray document(const QString& title) {
        if (!m_content.isEmpty()) m_pages << m_content;
        m_content.clear();
        // Objects: 1 catalog, 2 page tree, 3 and 4 fonts, 5 info, then a page and its content
        // stream for each page.
        QList<QByteArray> objects;
        QByteArray kids;
        for (int i = 0; i < m_pages.size(); ++i) kids += QByteArray::number(6 + 2 * i) + " 0 R ";
        objects << "<< /Type /Catalog /Pages 2 0 R >>"
                << "<< /Type /Pages /Kids [" + kids + "] /Count " +
                       QByteArray::number(m_pages.size()) + " >>"
                << "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>"
                << "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica-Bold /Encoding "
                   "/WinAnsiEncoding >>"
                << "<< /Title " + PdfString(title) + " /Creator (km71setup " KM71_VERSION ") >>";
        for (int i = 0; i < m_pages.size(); ++i) {
            objects << "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Resources << /Font "
                       "<< /F1 3 0 R /F2 4 0 R >> >> /Contents " +
                           QByteArray::number(7 + 2 * i) + " 0 R >>"
                    << "<< /Length " + QByteArray::number(m_pages.at(i).size()) + " >>\nstream\n" +
                           m_pages.at(i) + "endstream";
        }
        QByteArray pdf("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n");
        QList<qsizetype> offsets;
        for (int i = 0; i < objects.size(); ++i) {
            offsets << pdf.size();
            pdf += QByteArray::number(i + 1) + " 0 obj\n" + objects.at(i) + "\nendobj\n";
        }
        const qsizetype xref = pdf.size();
        pdf += "xref\n0 " + QByteArray::number(objects.size() + 1) + "\n0000000000 65535 f \n";
        for (const qsizetype offset : offsets)
            pdf += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
        pdf += "trailer\n<< /Size " + QByteArray::number(objects.size() + 1) +
               " /Root 1 0 R /Info 5 0 R >>\nstartxref\n" + QByteArray::number(xref) +
               "\n%%EOF\n";
        return pdf;
    }

private:
    QList<QByteArray> m_pages;
    QByteArray m_content;
    double m_y = kPageHeight - kMargin;
};

QByteArray PlainDocument(const QString& title, const QList<QPair<QString, QString>>& rows,
                         const Table& table) {
    PlainPages pages;
    pages.text(kMargin, title, true, 16.0);
    pages.down(2.0);
    for (const auto& [caption, value] : rows) {
        pages.text(kMargin, caption, true);
        const QStringList lines = Wrapped(value, kWrap);
        for (qsizetype i = 0; i < lines.size(); ++i) {
            pages.text(kMargin + 180.0, lines.at(i), false);
            pages.down();
        }
    }
    if (!table.header.isEmpty()) {
        pages.down();
        pages.text(kMargin, table.title, true, 12.0);
        pages.down(1.5);
        const double column = (kPageWidth - 2 * kMargin) / double(table.header.size());
        const int wrap = int(column / 5.5);
        auto row = [&](const QStringList& cells, bool bold) {
            QList<QStringList> wrapped;
            qsizetype height = 1;
            for (const QString& cell : cells) {
                wrapped << Wrapped(cell, wrap);
                height = qMax(height, wrapped.last().size());
            }
            for (qsizetype line = 0; line < height; ++line) {
                for (qsizetype c = 0; c < wrapped.size(); ++c)
                    if (line < wrapped.at(c).size())
                        pages.text(kMargin + column * double(c), wrapped.at(c).at(line), bold);
                pages.down();
            }
        };
        row(table.header, true);
        pages.rule();
        for (const QStringList& cells : table.rows) row(cells, false);
    }
    return pages.document(title);
}

bool AllPlainLatin(const QString& title, const QList<QPair<QString, QString>>& rows,
                   const Table& table) {
    QStringList texts{title, table.title};
    texts << table.header;
    for (const auto& [caption, value] : rows) texts << caption << value;
    for (const QStringList& cells : table.rows) texts << cells;
    for (const QString& t : texts)
        if (!IsPlainLatin(t)) return false;
    return true;
}

// ---- Pages through the full renderer ----

QByteArray RenderedDocument(const QString& title, const QList<QPair<QString, QString>>& rows,
                            const Table& table) {
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

    return RenderHtml(html, title, false, 20.0);
}

} // namespace

bool NeedsSystemFont(const QString& title, const QList<QPair<QString, QString>>& rows,
                     const Table& table) {
    return !AllPlainLatin(title, rows, table);
}

bool Write(const QString& path, const QString& title,
           const QList<QPair<QString, QString>>& rows, const Table& table, QString* error) {
    // The document is made in memory and then replaces the file whole, so that a full disk
    // leaves no cut-off PDF behind.
    const QByteArray bytes = AllPlainLatin(title, rows, table)
                                 ? PlainDocument(title, rows, table)
                                 : RenderedDocument(title, rows, table);
    return SaveWhole(path, bytes, error);
}

QByteArray RenderHtml(const QString& html, const QString& title, bool landscape,
                      double marginMm) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setPageSize(QPageSize(QPageSize::A4));
    if (landscape) writer.setPageOrientation(QPageLayout::Landscape);
    writer.setPageMargins(QMarginsF(marginMm, marginMm, marginMm, marginMm),
                          QPageLayout::Millimeter);
    writer.setTitle(title);
    writer.setCreator(QStringLiteral("km71setup " KM71_VERSION));
    QTextDocument document;
    QFont font = document.defaultFont();
    font.setHintingPreference(QFont::PreferNoHinting);
    document.setDefaultFont(font);
    document.setHtml(html);
    document.print(&writer);
    buffer.close();
    return bytes;
}

bool SaveWhole(const QString& path, const QByteArray& bytes, QString* error) {
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
