#pragma once

#include "instrument/clsInstrument.h"

#include <QDialog>

class GasTableGrid;
class ParameterGrid;
class QLabel;
class QPushButton;
class QTabWidget;
class StationGrid;
class UiPrompts;

// The detailed (factory) settings dialog. It edits a private copy of the caller's record on
// three pages: the parameter grid, the hydrocarbon gas table and the station list. OK checks
// the station list and the gas table, reads the parameter grid back and copies into the
// caller's record exactly the settings whose change flags the copy raised (raising them there
// too); Cancel leaves the record untouched. Without factory mode the parameter grid and the gas
// table can be viewed but not edited.
//
// Use: frmFsDialog dialog(&record, parent); dialog.setPrompts(...); dialog.exec().
class frmFsDialog : public QDialog {
    Q_OBJECT
public:
    // A dialog for `record` (not owned; may also be set later with setInstrument).
    explicit frmFsDialog(clsInstrument* record, QWidget* parent = nullptr);
    ~frmFsDialog() override;

    // The caller's record: copied when the dialog is first shown, changed only by OK.
    clsInstrument* Instrument() const { return m_instrument; }
    void setInstrument(clsInstrument* record) { m_instrument = record; }
    // Message boxes and file dialogs go through `prompts` (not owned); nullptr uses the real
    // dialogs.
    void setPrompts(UiPrompts* prompts) { m_prompts = prompts; }
    // The private copy the dialog edits.
    const clsInstrument& RecordCopy() const { return m_copy; }

    // Controls.
    QTabWidget* tabMain() const { return m_tabMain; }
    ParameterGrid* vfgDatas() const { return m_vfgDatas; }
    GasTableGrid* vfgGasTbl() const { return m_vfgGasTbl; }
    StationGrid* vfgStation() const { return m_vfgStation; }
    QPushButton* cmdOK() const { return m_cmdOK; }
    QPushButton* cmdCancel() const { return m_cmdCancel; }
    QPushButton* cmdStationExport() const { return m_cmdStationExport; }
    QPushButton* cmdStationImport() const { return m_cmdStationImport; }
    QLabel* lblSpaceCount() const { return m_lblSpaceCount; }
    QLabel* lblStation() const { return m_lblStation; }

    // OK: checks the station list and the gas table, hands the changed settings back, closes.
    void cmdOK_Click();
    // Cancel: closes without touching the caller's record.
    void cmdCancel_Click();
    // Writes the station list to a CSV file the operator chooses.
    void cmdStationExport_Click();
    // Reads the station list from a CSV file the operator chooses.
    void cmdStationImport_Click();

    // Filter of the station file dialogs, in Qt notation: all files, then CSV files.
    static QString StationFileFilter();
    // The CSV entry of that filter (preselected).
    static QString StationCsvFilter();
    // The left-space counter for an edit text: "(Left space n)", n the leading blanks.
    static QString LeftSpaceText(const QString& editText);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void buildControls();
    void setCaptions();
    // Copies the caller's record and fills the three pages (first activation only).
    void activate();
    // Copies every flagged setting of the private copy into the caller's record.
    void copyBack();
    void onEditText(int row, int column, const QString& text);
    void clearSpaceCount();
    QString askSaveStationFile();
    UiPrompts& prompts() const;

    clsInstrument* m_instrument = nullptr;
    clsInstrument m_copy;
    UiPrompts* m_prompts = nullptr;
    bool m_activated = false;

    QTabWidget* m_tabMain = nullptr;
    ParameterGrid* m_vfgDatas = nullptr;
    GasTableGrid* m_vfgGasTbl = nullptr;
    StationGrid* m_vfgStation = nullptr;
    QPushButton* m_cmdOK = nullptr;
    QPushButton* m_cmdCancel = nullptr;
    QPushButton* m_cmdStationExport = nullptr;
    QPushButton* m_cmdStationImport = nullptr;
    QLabel* m_lblSpaceCount = nullptr;
    QLabel* m_lblStation = nullptr;
};
