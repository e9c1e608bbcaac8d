#pragma once

#include <QLocale>
#include <QString>
#include <QStringView>
#include <QtGlobal>
#include <optional>

// Gas readings, status codes, captions, locale-proof numbers and keystroke validators shared by
// every window and by the link. Every text produced here is a fixed English literal. Number
// functions honour the decimal separator of the default QLocale; readers also accept "."
// whatever the locale.

// The mark of an absent threshold, full scale or decimal-point count; shown as "-----".
inline constexpr float kNoValueMark = -101.0f;
// The conversion factor a fresh tool configuration uses.
inline constexpr float kDefaultConvFactor = 0.05f;

// Status codes a reading can carry instead of a concentration.
inline constexpr float kReadingNormal = -102.0f;  // "NORMAL" / "NOR"
inline constexpr float kReadingWarning = -103.0f; // "WARNING" / "WAR"
inline constexpr float kReadingAlarm = -104.0f;   // "ALARM" / "ALR"
inline constexpr float kReadingStel = -105.0f;    // "STEL" / "STE"
inline constexpr float kReadingTwa = -106.0f;     // "TWA"
inline constexpr float kReadingOver = -107.0f;    // "OVER" / "OVE"

// The status text of a reading whose value is one of the status codes (both the detector's raw
// 16-bit markers and the program's negative codes), or an empty text for a concentration.
QString ReadingCodeText(float value);

// A reading as shown to the operator: its status text, or the value with 0..3 decimal places
// (any other count: none). With `convert`, the value times `convFactor` is shown instead.
QString FormatReading(float value, int places, bool convert = false,
                      float convFactor = kDefaultConvFactor);

// The reading a text stands for: a number, or by its first three letters (any case, blanks
// around ignored) one of the codes OVE, WAR, ALR, STE, TWA, NOR; anything else gives -101.
float ParseReading(const QString& text);

// The alarm or calibration level a reply field carries: a number ("." always accepted), or the
// code of its first three letters as ParseReading(); anything else gives -101.
float AlarmValueFromText(const QString& text);

// The display pattern for `places` decimals: "#0", "#0.0" .. "#0.000000000" for 0..9, else "".
QString DigitsFormat(int places);

// `value` formatted with DigitsFormat(places) in the current locale: at least one integer digit,
// exactly `places` decimals, halves rounded away from zero; for a count outside 0..9 the
// shortest text of the value.
QString FormatDigits(float value, int places);

// The five-character field of a concentration: "*****" for a negative value, otherwise the value
// with 0..3 decimals (else none) and "." as separator, right-aligned, its last five characters.
QString FormatFixed5(float value, int places);

// `value` rounded to a gas's decimal places (0..3; any other count means none) by the one rule
// of everything shown, stored and sent: the shortest decimal text of the value, as a person
// reads it, rounded with halves away from zero (18.05 with one place is 18.1). Negative values
// (status codes, the no-value mark) and non-finite values are returned unchanged. The result
// is shown by FormatReading() and sent by the value field exactly as held.
float RoundToPlaces(float value, int places);

// A gas caption: "----(---)" for a blank name, "NAME(UNIT)" when `fullScale` is exactly -1,
// otherwise "NAME(" + full scale with `points` decimals + unit + ")".
QString FormatGasCaption(const QString& name, const QString& unit, float fullScale, int points);

// The number of characters after the first decimal separator ("." or the locale's) of a number
// text, 0 when it has none.
qint16 DecimalPlaces(const QString& text);

// The number a text holds in the current locale, "." always accepted as decimal separator,
// blanks around ignored, group separators refused. A text that is not a finite single-precision
// number is a conversion error: `ok` is set to false and 0 is returned.
float ParseLocaleNumber(const QString& text, bool* ok = nullptr);

// True when the current locale does not write 1.5 with a ".".
bool DecimalIsComma();

// The field separator of CSV files: "," when the locale's decimal separator is ".", else ";".
QString ListSeparator();

// True when ParseLocaleNumber() accepts the text.
bool IsNumberText(const QString& text);

// The notation of numbers of the default QLocale, taken once, for reading or writing many
// numbers as ParseLocaleNumber() and FormatDigits() do (while the default locale stays).
class NumberNotation {
public:
    NumberNotation();

    // The number ParseLocaleNumber() reads from `text`, in double precision; nothing when it
    // refuses the text.
    std::optional<double> Number(QStringView text) const;
    // The number and `ok` as ParseLocaleNumber() gives them.
    float Parse(QStringView text, bool* ok = nullptr) const;
    // Appends the text FormatDigits() gives.
    void AppendDigits(QString& out, float value, int places) const;

private:
    QLocale m_locale;
    QLocale m_reading; // group separators refused
    QString m_point;
    QString m_minus;
    bool m_plain = false; // writes "-12.5" as it stands
};

// Key filter of identifier fields: backspace (8), digits, letters, blank, "*" and "-" are
// accepted; returns the key (lower-case letters turned into upper case), or 0 when rejected.
int FilterIdKey(int key);

// Key filter of name fields: backspace (8), digits, letters, blank, "-", "_", "/", ">" and "<"
// are accepted; returns the key unchanged, or 0 when rejected.
int FilterTextKey(int key);

// True when every character of the text is one FilterTextKey() accepts (backspace excluded);
// an empty text is valid.
bool IsValidListText(const QString& text);

// True when every character is "0".."9"; an empty text is true.
bool IsAllDigits(const QString& text);

// The trimmed text; when it is empty, 16 "-" for kinds 0 and 1, 20 "-" for kinds 2 and 3, and an
// empty text for any other kind.
QString DashIfBlank(const QString& text, int kind);

// The list index of a logging interval in seconds: 10, 20, 30, 60, 180, 600 give 0, 1, 2, 3, 4,
// 6; every other value gives 5 (the 300-second item).
int IntervalIndex(qint16 seconds);

// `value` snapped to a multiple of `step`, halves to the even multiple; 0 for a negative value or
// a zero step.
float RoundToStep(float value, float step);
