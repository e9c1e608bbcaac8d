#include "factory/GasTableGrid.h"

#include "instrument/clsInstrument.h"
#include "shell/Messages.h"
#include "shell/clsToken.h"
#include "shell/modGasCommon.h"

#include <QLocale>
#include <cmath>

namespace {

constexpr int kTripletStarts[] = {7, 11, 21, 25};
constexpr int kCheckFirst = 7;
constexpr int kCheckLast = 27;

QString FieldCaption(int field) {
    switch (field) {
    case GasTableGrid::FieldName:
        return LoadMessage(8112);
    case GasTableGrid::FieldFullScale:
        return LoadMessage(8113);
    case GasTableGrid::FieldDigit:
        return LoadMessage(8114);
    case GasTableGrid::FieldUnit:
        return LoadMessage(8115);
    case GasTableGrid::FieldVolt:
        return LoadMessage(8116);
    case GasTableGrid::FieldRatio:
        return LoadMessage(8117);
    case GasTableGrid::FieldLinear1a:
        return LoadMessage(8118);
    case GasTableGrid::FieldLinear1b:
        return LoadMessage(8119);
    case GasTableGrid::FieldLinear1c:
        return LoadMessage(8120);
    case GasTableGrid::FieldLinear1d:
        return LoadMessage(8121);
    case GasTableGrid::FieldLinear2a:
        return LoadMessage(8122);
    case GasTableGrid::FieldLinear2b:
        return LoadMessage(8123);
    case GasTableGrid::FieldLinear2c:
        return LoadMessage(8124);
    case GasTableGrid::FieldLinear2d:
        return LoadMessage(8125);
    default:
        return {};
    }
}

int FieldTwips(int field) {
    switch (field) {
    case GasTableGrid::FieldName:
    case GasTableGrid::FieldVolt:
        return 1000;
    case GasTableGrid::FieldFullScale:
    case GasTableGrid::FieldDigit:
    case GasTableGrid::FieldUnit:
    case GasTableGrid::FieldRatio:
        return 900;
    default:
        return 1100;
    }
}

// The number a cell text holds in the current locale ("." always accepted, no group
// separators), kept in double precision for the coefficients.
bool ParseNumber(const QString& text, double* value) {
    QLocale locale;
    locale.setNumberOptions(locale.numberOptions() | QLocale::RejectGroupSeparator);
    QString t = text.trimmed();
    const QString point = locale.decimalPoint();
    if (point != QLatin1String(".")) t.replace(QLatin1Char('.'), point);
    bool ok = false;
    const double v = locale.toDouble(t, &ok);
    if (!ok || !std::isfinite(v)) return false;
    *value = v;
    return true;
}

// Decimal places the five-character field shows for a count (1..3, anything else none).
int FieldPlaces(int places) {
    return places >= 1 && places <= 3 ? places : 0;
}

// True when a value with its decimals fits the five-character field without losing digits.
bool FitsFive(double value, int places) {
    return value >= 0.0 && QString::number(value, 'f', FieldPlaces(places)).size() <= 5;
}

QString CoefficientText(double value) {
    return QLocale().toString(value, 'f', 8);
}

bool IsUnit(const QString& text) {
    for (const char* unit : {"%LEL", "vol%", "VOL%", "%", "ppm", "ppb"})
        if (text == QLatin1String(unit)) return true;
    return false;
}

double Coefficient(const clsInstrument::LinearEntry& e, int field) {
    switch (field) {
    case GasTableGrid::FieldLinear1a:
        return e.Linear1_a;
    case GasTableGrid::FieldLinear1b:
        return e.Linear1_b;
    case GasTableGrid::FieldLinear1c:
        return e.Linear1_c;
    case GasTableGrid::FieldLinear1d:
        return e.Linear1_d;
    case GasTableGrid::FieldLinear2a:
        return e.Linear2_a;
    case GasTableGrid::FieldLinear2b:
        return e.Linear2_b;
    case GasTableGrid::FieldLinear2c:
        return e.Linear2_c;
    case GasTableGrid::FieldLinear2d:
        return e.Linear2_d;
    default:
        return 0.0;
    }
}

void SetCoefficient(clsInstrument::LinearEntry& e, int field, double value) {
    switch (field) {
    case GasTableGrid::FieldLinear1a:
        e.Linear1_a = value;
        break;
    case GasTableGrid::FieldLinear1b:
        e.Linear1_b = value;
        break;
    case GasTableGrid::FieldLinear1c:
        e.Linear1_c = value;
        break;
    case GasTableGrid::FieldLinear1d:
        e.Linear1_d = value;
        break;
    case GasTableGrid::FieldLinear2a:
        e.Linear2_a = value;
        break;
    case GasTableGrid::FieldLinear2b:
        e.Linear2_b = value;
        break;
    case GasTableGrid::FieldLinear2c:
        e.Linear2_c = value;
        break;
    case GasTableGrid::FieldLinear2d:
        e.Linear2_d = value;
        break;
    default:
        break;
    }
}

} // namespace

GasTableGrid::GasTableGrid(QWidget* parent) : FsGrid(parent) {
    setObjectName(QStringLiteral("vfgGasTbl"));
    setRowCount(RowTotal);
    setColumnCount(ColumnTotal);
}

int GasTableGrid::TwipsToPixels(int twips) {
    return twips / 15;
}

int GasTableGrid::FieldOf(int column) {
    if (column <= 0 || column >= ColumnTotal) return 0;
    return column > BlockWidth ? column - BlockWidth : column;
}

int GasTableGrid::EntryOf(int row, int column) {
    const bool right = column > BlockWidth;
    if (row == SelectedRow) return right ? 1 : 0;
    return right ? row + 15 : row;
}

void GasTableGrid::Fill(clsInstrument* record) {
    CommitOpenEditor();
    clear();
    setRowCount(RowTotal);
    setColumnCount(ColumnTotal);
    m_record = record;
    m_libraryEdited.fill(false);

    setHeaderCell(0, 0, LoadMessage(8111));
    setColumnWidth(0, TwipsToPixels(400));
    for (int column = 1; column < ColumnTotal; ++column) {
        setHeaderCell(0, column, FieldCaption(FieldOf(column)));
        setColumnWidth(column, TwipsToPixels(FieldTwips(FieldOf(column))));
    }
    for (int row = 1; row < RowTotal; ++row) {
        setHeaderCell(row, 0, QString::number(row == SelectedRow ? 201 : row));
        fillRow(row);
    }
    colourCells();
}

void GasTableGrid::fillRow(int row) {
    for (int column = 1; column < ColumnTotal; ++column) {
        const int entry = EntryOf(row, column);
        const clsInstrument::LinearEntry e = !m_record            ? clsInstrument::LinearEntry()
                                             : row == SelectedRow ? m_record->LS_Entry(entry)
                                                                  : m_record->LI_Entry(entry);
        const int field = FieldOf(column);
        QString text;
        switch (field) {
        case FieldName:
            text = e.Name;
            break;
        case FieldFullScale:
            text = FormatReading(e.FullScale, e.Point, false);
            break;
        case FieldDigit:
            text = FormatReading(e.Digit, e.Point, false);
            break;
        case FieldUnit:
            text = e.Unit;
            break;
        case FieldVolt:
            text = QString::number(e.elem_vol);
            break;
        case FieldRatio:
            text = QLocale().toString(e.Ratio);
            break;
        default:
            text = CoefficientText(Coefficient(e, field));
            break;
        }
        setCellText(row, column, text);
        if (field != FieldName && field != FieldUnit)
            item(row, column)->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }
}

void GasTableGrid::setReadOnlyState(bool on) {
    FsGrid::setReadOnlyState(on);
    colourCells();
}

void GasTableGrid::colourCells() {
    for (int row = 1; row < rowCount(); ++row)
        for (int column = 1; column < columnCount(); ++column) {
            if (CellColour(row, column) == InvalidColour()) continue;
            setCellColour(row, column, ReadOnlyState() ? HeaderColour() : ValidColour());
        }
}

bool GasTableGrid::TableValid() const {
    for (int column = kCheckFirst; column <= kCheckLast; ++column)
        if (CellColour(SelectedRow, column) == InvalidColour()) return false;
    return true;
}

bool GasTableGrid::LibraryEdited(int i) const {
    return i >= 1 && i < int(m_libraryEdited.size()) && m_libraryEdited[i];
}

bool GasTableGrid::BeforeEdit(int row, int column) const {
    return m_record && row >= 1 && row < RowTotal && column >= 1 && column < ColumnTotal &&
           !ReadOnlyState();
}

QStringList GasTableGrid::EditList(int row, int column) const {
    Q_UNUSED(row);
    if (FieldOf(column) != FieldUnit) return {};
    clsToken token;
    token.AddDelimiters(QStringLiteral("|"));
    token.setSource(QStringLiteral("VOL%|%LEL|ppm|ppb"));
    return token.TokenList();
}

bool GasTableGrid::EditListTyped(int row, int column) const {
    Q_UNUSED(row);
    return FieldOf(column) == FieldUnit;
}

QChar GasTableGrid::KeyPressEdit(int row, int column, QChar key, const QString& result) const {
    Q_UNUSED(row);
    if (FieldOf(column) != FieldName) return key;
    // A name takes the name characters; a key is refused once 11 characters would remain
    // without it.
    if (FilterTextKey(key.unicode()) == 0 || result.size() > 11) return QChar();
    return key;
}

bool GasTableGrid::ValidateEdit(int row, int column, QString& text) {
    if (row < 1 || row >= RowTotal || column < 1 || column >= ColumnTotal) return false;
    const int field = FieldOf(column);
    double value = 0.0;
    switch (field) {
    case FieldName: {
        // Library names are unique within their block; the selected-gas names are normally
        // those of a library entry and are not compared.
        if (row == SelectedRow) return true;
        const QString name = text.trimmed();
        for (int other = 1; other < SelectedRow; ++other)
            if (other != row && CellText(other, column).trimmed() == name) return false;
        return true;
    }
    case FieldFullScale: {
        const int places = DecimalPlaces(CellText(row, column - FieldFullScale + FieldDigit));
        if (!ParseNumber(text, &value) || !FitsFive(value, places)) return false;
        text = FormatFixed5(static_cast<float>(value), places);
        return true;
    }
    case FieldDigit: {
        const int places = DecimalPlaces(text);
        if (!ParseNumber(text, &value) || !FitsFive(value, places)) return false;
        const QString shown = FormatFixed5(static_cast<float>(value), places);
        double shownValue = 0.0;
        if (!ParseNumber(shown, &shownValue) || !(shownValue > 0.0)) return false;
        text = shown;
        return true;
    }
    case FieldUnit:
        return IsUnit(text);
    case FieldVolt: {
        if (!ParseNumber(text, &value)) return false;
        const double whole = std::round(value);
        if (!(whole > 0.0) || whole > 65535.0) return false;
        text = QString::number(static_cast<qint64>(whole));
        return true;
    }
    case FieldRatio: {
        if (!ParseNumber(text, &value)) return false;
        const double whole = std::round(value);
        if (std::fabs(whole) > 2147483647.0) return false;
        text = QString::number(static_cast<qint64>(whole));
        return true;
    }
    default:
        if (!ParseNumber(text, &value)) return false;
        text = CoefficientText(value);
        return true;
    }
}

void GasTableGrid::AfterEdit(int row, int column) {
    if (!m_record) return;
    store(row, column);
    if (row != SelectedRow) return;
    // Both selected-gas entries carry the same name.
    if (FieldOf(column) == FieldName) {
        const int other = column > BlockWidth ? column - BlockWidth : column + BlockWidth;
        setCellText(row, other, CellText(row, column));
        store(row, other);
    }
    checkTriplets();
}

void GasTableGrid::store(int row, int column) {
    const int entry = EntryOf(row, column);
    clsInstrument::LinearEntry e =
        row == SelectedRow ? m_record->LS_Entry(entry) : m_record->LI_Entry(entry);
    const QString text = CellText(row, column);
    const int field = FieldOf(column);
    double value = 0.0;
    ParseNumber(text, &value);
    switch (field) {
    case FieldName:
        e.Name = text;
        break;
    case FieldFullScale:
        e.FullScale = static_cast<float>(value);
        break;
    case FieldDigit:
        e.Digit = static_cast<float>(value);
        e.Point = DecimalPlaces(text);
        break;
    case FieldUnit:
        e.Unit = text;
        break;
    case FieldVolt:
        e.elem_vol = static_cast<qint32>(value);
        break;
    case FieldRatio:
        e.Ratio = static_cast<float>(value);
        break;
    default:
        SetCoefficient(e, field, value);
        break;
    }
    if (row == SelectedRow) {
        m_record->setLS_Entry(entry, e);
    } else {
        m_record->setLI_Entry(entry, e);
        m_libraryEdited[entry] = true;
    }
}

void GasTableGrid::checkTriplets() {
    const QColor plain = ReadOnlyState() ? HeaderColour() : ValidColour();
    for (int column = kCheckFirst; column <= kCheckLast; ++column)
        setCellColour(SelectedRow, column, plain);
    for (int start : kTripletStarts) {
        bool allZero = true;
        for (int column = start; column < start + 3; ++column) {
            double value = 0.0;
            if (!ParseNumber(CellText(SelectedRow, column), &value) || value != 0.0)
                allZero = false;
        }
        if (allZero) {
            for (int column = start; column < start + 3; ++column)
                setCellColour(SelectedRow, column, InvalidColour());
            return;
        }
    }
}
