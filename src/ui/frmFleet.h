#pragma once

#include "register/FleetRegister.h"

#include <QColor>
#include <QDate>
#include <QDialog>
#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>

class QLabel;
class QLineEdit;
class QModelIndex;
class QPushButton;
class QSortFilterProxyModel;
class QStandardItemModel;
class QTableView;
class UiPrompts;
class frmFleetHistory;

// The fleet window: every detector of the register with its identity, its latest calibration,
// its calibration due date (red when overdue, amber when due within two weeks), its latest bump
// test and when it was last seen. A filter box narrows the list to the rows any column of which
// holds its text; a click on a column head sorts by it; the list as shown goes to a CSV file or
// a PDF report; a double click opens the detector's history.
class frmFleet : public QDialog {
    Q_OBJECT
public:
    // Columns of the list.
    enum Column {
        ColSerial = 0,
        ColModel,
        ColGas,
        ColStation,
        ColLastCalibration,
        ColCalibrationDue,
        ColLastBump,
        ColLastSeen,
        ColumnCount
    };
    // How close a due date is.
    enum class Due { None, Soon, Overdue };
    // Days before the due date from which a calibration counts as due soon.
    static constexpr int kDueSoonDays = 14;

    // The window on the register at `location`; `prompts` answers its boxes and file dialogs
    // (not owned; nullptr: the real dialogs). The list is read when the window opens.
    explicit frmFleet(const RegisterLocation& location, UiPrompts* prompts = nullptr,
                      QWidget* parent = nullptr);
    ~frmFleet() override;

    // The register location of the tool configuration ("Register" key), else the default file in
    // the start-up folder; a key that names no location gives the default, with its sentence in
    // `error`.
    static RegisterLocation ToolLocation(QString* error = nullptr);
    // Shows the fleet window of `parent` (one per parent, raised when it is open already), on the
    // tool's register location.
    static frmFleet* Open(QWidget* parent, UiPrompts* prompts);

    // Where a due date stands on `today`: overdue before it, soon up to kDueSoonDays after it.
    static Due DueState(const QDate& due, const QDate& today);
    // Background of a calibration due date that has passed, and of one that is near.
    static QColor OverdueColour();
    static QColor DueSoonColour();

    // The day the due dates are judged on (today unless set).
    QDate today() const { return m_today; }
    void setToday(const QDate& day);

    // Reads the list from the register again; false with the sentence shown in the status line.
    bool Reload();
    // The detectors read, in the register's order.
    const QList<DetectorRow>& rows() const { return m_rows; }
    // The texts of the list as shown (filtered and sorted), one list of cells per row.
    QList<QStringList> ShownRows() const;
    // The captions of the columns.
    static QStringList ColumnCaptions();

    // Writes the list as shown to a CSV file: the captions, then one line per row, fields
    // separated by the locale's list separator, in one piece. False with one sentence.
    bool ExportCsv(const QString& path, QString* error = nullptr) const;
    // Writes the list as shown to a PDF report. False with one sentence.
    bool ExportPdf(const QString& path, QString* error = nullptr) const;
    // The CSV text of a table: each line ended by CR LF, a field quoted when it holds the
    // separator, a quote or a line break.
    static QString CsvText(const QStringList& captions, const QList<QStringList>& rows,
                           const QString& separator);

    // Opens the history window of a detector; nullptr (with the sentence in the status line)
    // when its events cannot be read.
    frmFleetHistory* OpenHistory(const QString& serial);

    // ---- Controls ----

    QTableView* table() const { return m_table; }
    QStandardItemModel* model() const { return m_model; }
    QSortFilterProxyModel* proxy() const { return m_proxy; }
    QLineEdit* filterBox() const { return m_filter; }
    QPushButton* cmdExportCsv() const { return m_cmdCsv; }
    QPushButton* cmdExportPdf() const { return m_cmdPdf; }
    QLabel* statusLabel() const { return m_status; }

private:
    void buildWidgets();
    void fillModel();
    void updateStatus();
    void onDoubleClicked(const QModelIndex& index);
    void onExportCsv();
    void onExportPdf();
    UiPrompts& prompts() const;

    RegisterLocation m_location;
    UiPrompts* m_prompts = nullptr;
    QDate m_today;
    QList<DetectorRow> m_rows;
    QString m_readError;
    QString m_note; // why the tool's register key was not used
    QTableView* m_table = nullptr;
    QStandardItemModel* m_model = nullptr;
    QSortFilterProxyModel* m_proxy = nullptr;
    QLineEdit* m_filter = nullptr;
    QPushButton* m_cmdCsv = nullptr;
    QPushButton* m_cmdPdf = nullptr;
    QPushButton* m_cmdClose = nullptr;
    QLabel* m_status = nullptr;
};
