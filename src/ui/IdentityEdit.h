#pragma once

#include <QLineEdit>
#include <functional>

class clsInstrument;

// One identity box of the main window (`txtOption(0..2)`): serial number (20 characters),
// station id or user id (16 characters each). Typed keys are filtered (digits, letters, blank,
// "*" and "-"; letters become upper case; a key that would break the length or the character
// set is dropped with a beep). When the box loses the focus, an acceptable text is stored into
// the record; any other text gives way to the record's value again.
class IdentityEdit : public QLineEdit {
    Q_OBJECT
public:
    // The three boxes.
    enum Box { SerialNumber = 0, StationId = 1, UserId = 2 };

    // Longest text of a box: 20 for the serial number, 16 for the two ids.
    static int MaxLength(int box);
    // True when `text` fits the box: not longer than its maximum, every character allowed.
    static bool IsAcceptableText(int box, const QString& text);
    // The record property a box edits.
    static QString RecordText(const clsInstrument& record, int box);

    // An empty box of kind `box` (0..2) without a record.
    explicit IdentityEdit(int box, QWidget* parent = nullptr);

    // Which box this is.
    int box() const { return m_box; }
    // The record stored into (not owned; nullptr stores nothing).
    void setRecord(clsInstrument* record) { m_record = record; }
    clsInstrument* record() const { return m_record; }
    // Shows the record's value (empty without a record).
    void ShowRecord();
    // Stores an acceptable text into the record (only when it differs) and shows the stored
    // value; restores the record's value for any other text. False when nothing was stored.
    bool StoreToRecord();
    // Replaces the system beep that marks a dropped key (tests count beeps this way).
    void setBeep(std::function<void()> beep);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    // Inserts typed or pasted text in place of the selection when the result fits, else beeps.
    void insertFiltered(const QString& typed);
    void beep();

    int m_box;
    clsInstrument* m_record = nullptr;
    std::function<void()> m_beep;
};
