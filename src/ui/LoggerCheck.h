#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

class WindowHost;

// The two memory diagnostics of the main window: the logger-area check (the detector writes its
// check pattern into the logger memory, the memory is read back into the logger image file and
// compared with the reference file of the detector's gas) and the memory (FRAM) dump listing.

// Size of the logger image and of the blocks it is compared in.
inline constexpr qint64 kCheckImageSize = 32768;
inline constexpr int kCheckBlockSize = 128;
// Blocks holding the detector's working area, which changes while it runs: never compared.
inline constexpr int kCheckFirstSkippedBlock = 224;
inline constexpr int kCheckLastSkippedBlock = 254;
// File name of the memory dump listing.
inline constexpr const char* kFramDumpFile = "DumpEF.dat";

// Outcome of comparing a logger image with its reference.
struct CheckComparison {
    // Both files held a whole image and were compared.
    bool compared = false;
    // Byte positions that differ outside the skipped blocks.
    int differences = 0;
    // When not compared: the file that was missing or too short, and its size (-1 missing).
    QString problemFile;
    qint64 problemSize = -1;

    // True when the image matched its reference.
    bool same() const { return compared && differences == 0; }
};

// The reference file name for the name of gas 0: "O2" "KM71_CheckOXY.DAT", "CO"
// "KM71_CheckCO.DAT", "H2S" "KM71_CheckH2S.DAT", anything else "KM71_CheckKM.DAT".
QString CheckReferenceName(const QString& gasName);

// The folders searched for reference files, in order: the start-up folder, the program's
// folder, then the copies built into the program. A non-empty list set here replaces them.
QStringList CheckReferenceFolders();
void setCheckReferenceFolders(const QStringList& folders);

// Path of the reference file `fileName` in the first folder that holds it; empty when none does.
QString FindCheckReference(const QString& fileName);

// Compares the logger image at `imagePath` with the reference at `referencePath`, 256 blocks of
// 128 bytes, the blocks 224 to 254 excluded.
CheckComparison CompareCheckData(const QString& referencePath, const QString& imagePath);

// The "LoggerArea Check" button: asks first, then runs CheckLoggerArea().
void LoggerAreaCheckCommand(WindowHost& window);

// The logger-area check: clears both logs, has the detector write its check data, downloads the
// logger memory, clears both logs again and compares the image with the reference of the gas.
// Writes "LoggerArea Check" with the serial number and OK or NG to the information log; true
// when the image matched.
bool CheckLoggerArea(WindowHost& window);

// The "FRAM Dump" button: asks first, then reads the memory listing into "DumpEF.dat" in the
// start-up folder under the progress dialog. True when the listing was written.
bool FramDumpCommand(WindowHost& window);
