#pragma once

#include <QDialog>
#include <QStringList>

class QComboBox;
class QLabel;
class QPushButton;

// The port choice dialog: lists the ports of several connected USB infrared modules and lets
// the operator pick one ("OK"). Closing it otherwise keeps the choice made the last time, or the
// first port when there was none.
class frmIrCommSelect : public QDialog {
    Q_OBJECT
public:
    // A dialog listing `names` with the first selected.
    explicit frmIrCommSelect(const QStringList& names, QWidget* parent = nullptr);

    // The drop-down list (`cmbIrComm`) and the OK button.
    QComboBox* cmbIrComm() const { return m_cmbIrComm; }
    QPushButton* cmdOK() const { return m_cmdOK; }

    // Shows the dialog modally for `names`; returns the index of the chosen port, or -1 when
    // the first (provisional) port stays.
    static int Choose(QWidget* parent, const QStringList& names);
    // The stored choice: list index + 1 of the last "OK", 0 when none was ever made.
    static int StoredChoice();
    static void setStoredChoice(int choice);
    // The index that a dialog closed with `stored` as choice gives for `count` ports (-1: first).
    static int ChoiceIndex(int stored, int count);

private:
    void onOK();

    QLabel* m_lblSelect = nullptr;
    QComboBox* m_cmbIrComm = nullptr;
    QPushButton* m_cmdOK = nullptr;
};
