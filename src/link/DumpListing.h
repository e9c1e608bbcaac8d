#pragma once

#include <QDateTime>
#include <QSaveFile>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <memory>

// The hexadecimal listing of the detector's memory: a buffer of 16 lines of 16 bytes each
// (kept as 32 hexadecimal digits with their start address) that is written out as one section
// of the listing file whenever it is full. The file replaces an earlier one only when it is
// complete (QSaveFile).
class DumpListing {
public:
    // Lines of one section.
    static constexpr int kLines = 16;
    // Hexadecimal digits of one line (16 bytes).
    static constexpr int kDigits = 32;
    // Bytes covered by one numbered block of the listing reply.
    static constexpr int kBlockBytes = 128;

    DumpListing();
    ~DumpListing();
    DumpListing(const DumpListing&) = delete;
    DumpListing& operator=(const DumpListing&) = delete;

    // One data line: address, the 16 bytes in hexadecimal and as characters.
    static QString FormatDumpLine(quint32 address, const QString& hexDigits);
    // The column header line of a section (74 characters).
    static QString SectionHeader();
    // The rule under the column header (74 "-").
    static QString SectionRule();
    // Elapsed time as "HH:NN:SS" (hours may exceed 24).
    static QString ElapsedText(qint64 ms);

    // Opens (to replace) the listing file and writes its opening lines; false when it cannot be
    // created.
    bool open(const QString& path, const QDateTime& start);
    // True while a listing file is open.
    bool isOpen() const { return m_file != nullptr; }
    // Why the file could not be opened or written (empty when all went well).
    QString errorText() const { return m_error; }

    // Takes one dump reply block (its tokens after the head: address, block number, byte
    // count, data). False when the block is malformed (a number that is not a positive
    // decimal, or data that is not hexadecimal); a block without data is taken and adds
    // nothing.
    bool takeBlock(const QStringList& tokens);
    // Appends one line of exactly 32 hexadecimal digits; a full buffer is written as a section.
    void addLine(quint32 address, const QString& hexDigits);
    // Writes the buffered lines as a section (when a file is open) and empties the buffer;
    // returns the progress text "Get Dump <first>-<last>". Nothing is written and an empty
    // text returned when the buffer is empty.
    QString writeSection();
    // Completes a partly filled buffer with lines of "F" digits and writes it.
    void flush();
    // Number of lines in the buffer (0..15 between sections).
    int bufferedLines() const { return m_fill; }
    // Writes the closing lines with the elapsed time and puts the file in place; false when
    // the file could not be written completely.
    bool finish(qint64 elapsedMs);

    // Called with the progress text of every section written.
    std::function<void(const QString&)> progress;

private:
    void writeLine(const QString& line);

    std::unique_ptr<QSaveFile> m_file;
    QString m_error;
    std::array<quint32, kLines> m_addresses{};
    std::array<QString, kLines> m_lines;
    int m_fill = 0;
};
