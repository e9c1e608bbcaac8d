#pragma once

#include "configuration/SpanAcceptance.h"
#include "instrument/clsInstrument.h"
#include "ui/CalibrationSession.h"

#include <QColor>
#include <QDialog>
#include <QPointer>
#include <QString>
#include <array>

class QGroupBox;
class QPushButton;
class QTableWidget;
class QTableWidgetItem;
class ReadingChart;
class WindowHost;
class uclHvif;

// The calibration window: zero in fresh air and span with a calibration gas while the live
// reading streams into its grid (`vfgCal`: one header row, one row per gas with the gas label,
// the span selection box, the span concentration and the current reading).
//
// Opening it reads the detector's gas and span concentration into a record of its own and starts
// the live readings; each adjustment runs in the progress dialog frmUploadCalib; leaving it by
// "Exit Calibration", Escape or the close box stops the live readings. A span concentration
// edited here and differing from the detector's is written to the detector before the span.
class frmCalibration : public QDialog, public CalibrationSession {
    Q_OBJECT
public:
    // Columns of the grid.
    enum Column { ColGas = 0, ColSelect = 1, ColAutoCal = 2, ColReading = 3, ColumnTotal = 4 };
    // Header rows above the first gas row.
    static constexpr int kHeaderRows = 1;
    // Number of `cmdCal` slots (0 "Zero", 1 "Span", 3 "Exit Calibration").
    static constexpr int kCommandSlots = 4;

    // Grid row of a gas.
    static int GasRow(int gas) { return gas + kHeaderRows; }
    // Text colour of a gas that cannot be calibrated.
    static QColor NotCalibratableColour();
    // Text colour of every other cell.
    static QColor TextColour();

    // The window for a main window (whose link, working record, log and prompts it uses); it
    // belongs to `parent`, the main window when none is given.
    explicit frmCalibration(WindowHost& main, QWidget* parent = nullptr);
    ~frmCalibration() override;

    // Opens a calibration window modally without blocking, deleted when it closes; the detector
    // is read while it opens.
    static frmCalibration* Open(WindowHost& main);
    // The calibration window that is loaded now, or nullptr.
    static frmCalibration* Loaded();
    // Set when a calibration window was loaded; the main window forwards readings only then.
    static bool WindowOpenFlag();
    static void setWindowOpenFlag(bool on);
    // Program-wide span selection of a gas (false outside the gas channels).
    static bool Selected(int gas);
    static void setSelected(int gas, bool on);
    // The span selection of every gas.
    static GasFlags Selection();

    // The calibration record: gas definition and span concentration read when the window opened.
    const clsInstrument& record() const override { return m_record; }
    // The window itself, over which an adjustment's dialog is placed.
    QWidget* sessionWidget() override { return this; }
    // The program-wide span selection (Selection()).
    GasFlags SpanSelection() const override { return Selection(); }
    // True when the gas was defined and had a span concentration of 0 or more at the opening.
    bool Calibratable(int gas) const;
    // The span concentration the detector holds (as read, or as last written by a span).
    float DetectorAutoCalib(int gas) const override;
    void setDetectorAutoCalib(int gas, float value) override;
    // True while an adjustment runs.
    bool Adjusting() const { return m_adjusting; }

    // Shows the latest reading of each selected gas ("-----" for the others) in the grid.
    void Refresh_InstMoment();
    // Takes the outcome of an adjustment: stores `result` and builds the result text from the
    // statuses (zero: every calibratable gas; span: the selected gases).
    void SetCalibResult(bool result, const GasFlags& statuses, bool asZero) override;
    // Outcome of the last adjustment and its text (one line per gas, CR LF ended).
    bool CalibResult() const { return m_result; }
    QString CalibResultText() const { return m_resultText; }
    // The acceptance of the last span the detector carried out; none before the first and after
    // a zero.
    const std::optional<SpanAcceptance>& LastAcceptance() const { return m_acceptance; }

    // Runs command `index`: 0 zero, 1 span, 3 leave the window.
    void cmdCal_Click(int index);
    // Whether an edit of the cell may start.
    bool BeforeEdit(int row, int column) const;
    // Checks the edit text of a span concentration and, when accepted, stores it in the
    // calibration record; `text` becomes the text the cell is to show. False when refused.
    bool ValidateEdit(int row, int column, QString& text);

    // ---- Controls ----

    QGroupBox* fraCalibration() const { return m_fraCalibration; }
    QTableWidget* vfgCal() const { return m_grid; }
    // The live chart of the selected gas's reading.
    ReadingChart* readingChart() const { return m_chart; }
    // Command button of a slot (nullptr for slot 2 and outside).
    QPushButton* cmdCal(int i) const;
    // The main window the calibration works for.
    WindowHost& mainWindow() const { return m_main; }

public slots:
    // Leaves the window (Exit button, Escape, close box): stops the live readings first;
    // refused while an adjustment runs.
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildWidgets();
    void applyCaptions();
    void Load();
    void ReadFromDetector();
    void Unload();
    void Rebuild();
    void fillGasRow(int gas);
    void setReadingCell(int gas);
    void layoutColumns();
    void onItemChanged(QTableWidgetItem* item);
    void setAdjusting(bool on);
    void ZeroAdjustment();
    void SpanAdjustment();
    void ShowResult();
    bool SpanConcentrationsWritable() const;
    void feedChart();
    void writeCertificate(bool asZero);
    void recordAdjustment(bool asZero, const QString& status, bool historyRead);
    void judgeSpan(bool historyRead);

    WindowHost& m_main;
    QPointer<uclHvif> m_link;
    clsInstrument m_record;
    std::array<bool, clsInstrument::GasCount> m_calibratable{};
    std::array<float, clsInstrument::GasCount> m_detectorAutoCal{};
    QGroupBox* m_fraCalibration = nullptr;
    QTableWidget* m_grid = nullptr;
    ReadingChart* m_chart = nullptr;
    std::array<QPushButton*, kCommandSlots> m_cmdCal{};
    bool m_firstActivation = true;
    bool m_loaded = false;
    bool m_adjusting = false;
    bool m_rebuilding = false;
    bool m_result = false;
    GasFlags m_statuses{};
    QString m_resultText;
    std::optional<SpanAcceptance> m_acceptance;
    QString m_acceptanceText;
};
