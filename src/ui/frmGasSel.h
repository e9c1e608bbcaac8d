#pragma once

#include <QDialog>
#include <QtGlobal>
#include <array>

class QButtonGroup;
class QGridLayout;
class QGroupBox;
class QPushButton;
class QRadioButton;
class QWidget;
class clsInstrument;

// The gas selection dialog: lists the gas definitions of the gas catalogue (the tool settings')
// that one model column offers, one option button per entry, and lets the operator pick one.
// Only the entries 0 to 7 can ever be chosen. The caller reads `Flags` (closed with "OK") and
// `SelNum` (the chosen entry, -1 for none) once the dialog has closed.
class frmGasSel : public QDialog {
    Q_OBJECT
public:
    // Option buttons of the dialog, and how many of them can be offered.
    static constexpr int kOptionCount = 16;
    static constexpr int kOfferedCount = 8;
    // Most entries shown in one column.
    static constexpr int kOneColumnMax = 4;

    // A dialog with the program font, nothing chosen and the list of model column 0.
    explicit frmGasSel(QWidget* parent = nullptr);

    // The model column whose entries are listed (0 KM, 1 QZ, 2 VL with H2S, 3 other VL);
    // assigning it builds the list again and forgets the choice.
    qint16 gasno() const { return m_gasno; }
    void setGasno(qint16 column);
    // The chosen entry number, -1 when none.
    qint16 SelNum() const { return m_selNum; }
    // True when the dialog was closed with "OK".
    bool Flags() const { return m_flags; }
    // Rows and columns of the option grid, and the number of entries shown.
    int Rows() const { return m_rows; }
    int Columns() const { return m_columns; }
    int ShownCount() const { return m_shown; }

    // The controls.
    QGroupBox* fraGasSel() const { return m_fraGasSel; }
    QRadioButton* optGasList(int i) const;
    // Button 0 "OK", button 1 "Cancel".
    QPushButton* cmdGasSel(int i) const;

    // "OK" (0) or "Cancel" (1): sets Flags and closes the dialog.
    void cmdGasSel_Click(int index);

public slots:
    // The close box and Escape close the dialog as "Cancel" does.
    void reject() override;

private:
    void BuildList();

    QGroupBox* m_fraGasSel = nullptr;
    QGridLayout* m_grid = nullptr;
    QButtonGroup* m_group = nullptr;
    std::array<QRadioButton*, kOptionCount> m_options{};
    std::array<QPushButton*, 2> m_buttons{};
    qint16 m_gasno = 0;
    qint16 m_selNum = -1;
    bool m_flags = false;
    int m_rows = 0;
    int m_columns = 0;
    int m_shown = 0;
};

// Copies entry `entry` of the gas catalogue column of the record's model into gas `gas` of the
// record: the gas is enabled first in every case, then name, decimal places, unit, resolution,
// full scale, ratio, Warning, Alarm, STEL, TWA, auto-calibration concentration and zero are
// copied when the entry exists. True when the entry was copied.
bool ApplyGasListEntry(clsInstrument& record, int gas, int entry);

// The gas choice of the settings grid: shows the dialog modally for the record's model class
// and, after "OK", applies the chosen entry to gas `gas`; an applied entry then sets the oxygen
// alarm type to 1 for an oxygen gas, stores the new auto-calibration concentration as the gas's
// factory value and sets the gas's over-scale setting. True when the dialog was closed with OK.
bool SelectGas(QWidget* parent, clsInstrument& record, int gas);
