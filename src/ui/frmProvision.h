#pragma once

#include "instrument/MasterCompare.h"

#include <QDialog>
#include <QList>
#include <QString>
#include <QStringList>

class QLabel;
class QPushButton;
class QTableWidget;
class WindowHost;

// The differences of the master comparison as a table (setting, the detector's value, the
// master's) with a tick box per row. "Write selected" takes the ticked settings over from the
// master, writes exactly them with the window's write, reads the detector again and compares
// again; the verdict (PASS when nothing differs any more) shows in the window and the
// information log, goes to the register and into the provisioning report beside the
// certificates.
class frmProvision : public QDialog {
    Q_OBJECT
public:
    // Columns of the table; the setting's cell carries the tick box.
    enum Column { ColSetting = 0, ColDetector, ColMaster, ColumnCount };

    explicit frmProvision(WindowHost& host, QWidget* parent = nullptr);
    ~frmProvision() override;

    // Shows the differences of a comparison in the window of `host`: the open one is
    // refreshed; a new one opens when something differs. Returns the window (nullptr when none).
    static frmProvision* ShowComparison(WindowHost& host, const MasterCompare::Result& result);
    // The window open over `host`, or nullptr.
    static frmProvision* Loaded(WindowHost& host);

    // Shows `differences` in the table, every row unticked.
    void setDifferences(const QList<MasterCompare::Difference>& differences);
    // The differences shown.
    const QList<MasterCompare::Difference>& differences() const { return m_differences; }
    // Ticks or unticks the row of a setting key; false when no row shows it.
    bool setTicked(const QString& key, bool ticked);
    // Keys of the ticked rows, in the table's order.
    QStringList TickedKeys() const;

    // Writes the ticked settings from the master, reads the detector again and gives the
    // verdict. Edits of the working record not yet written are dropped after a question.
    void cmdWriteSelected_Click();

    // The verdict of the last "Write selected" ("PASS"/"FAIL"; empty before one) and the files
    // of its report.
    QString verdict() const { return m_verdict; }
    QStringList ReportFiles() const { return m_reportFiles; }

    QTableWidget* table() const { return m_table; }
    QPushButton* cmdWriteSelected() const { return m_cmdWrite; }
    QPushButton* cmdClose() const { return m_cmdClose; }
    QLabel* lblVerdict() const { return m_lblVerdict; }

private:
    void buildWidgets();
    void updateButtons();
    void showVerdict(bool passed, const QString& text);

    WindowHost& m_host;
    QList<MasterCompare::Difference> m_differences;
    QString m_verdict;
    QStringList m_reportFiles;
    QTableWidget* m_table = nullptr;
    QPushButton* m_cmdWrite = nullptr;
    QPushButton* m_cmdClose = nullptr;
    QLabel* m_lblVerdict = nullptr;
    bool m_filling = false;
};
