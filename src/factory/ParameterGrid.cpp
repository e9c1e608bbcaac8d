#include "factory/ParameterGrid.h"

#include "instrument/SettingText.h"
#include "instrument/clsInstrument.h"
#include "shell/AppState.h"
#include "shell/Messages.h"
#include "shell/clsToken.h"
#include "shell/modGasCommon.h"

#include <QDate>
#include <QTime>

namespace {

// "~1: allowed from ~2 to ~3."
constexpr int kMsgAllowedRange = 5913;

// How a row is edited and read back.
enum class Kind {
    Text,   // free text
    Number, // digits within a range
    List,   // one of the row's choices; the record holds its position
    OffOn   // "Off" or "On"; the record holds 0 or 1
};

struct Rule {
    Kind kind;
    int min = 0;
    int max = 0;
};

Rule RowRule(int row) {
    switch (row) {
    case ParameterGrid::RowDummySerial:
    case ParameterGrid::RowSpecNo:
    case ParameterGrid::RowJH:
    case ParameterGrid::RowSensorDate:
    case ParameterGrid::RowUserPassword2:
        return {Kind::Text};
    case ParameterGrid::RowSE:
        return {Kind::Number, 0, 120};
    case ParameterGrid::RowCalLimit:
        return {Kind::Number, 1, 365};
    case ParameterGrid::RowBumpLimit:
        return {Kind::Number, 0, 30};
    case ParameterGrid::RowLcdBackLight:
        return {Kind::Number, 1, 255};
    case ParameterGrid::RowBumpTime:
        return {Kind::Number, 5, 90};
    case ParameterGrid::RowBumpThreshold:
        return {Kind::Number, 10, 50};
    case ParameterGrid::RowBumpFailCalTime:
        return {Kind::Number, 60, 120};
    case ParameterGrid::RowAIdata:
    case ParameterGrid::RowAJdata:
        return {Kind::Number, 0, 255};
    case ParameterGrid::RowAlarmMode:
    case ParameterGrid::RowAlarmMode2:
    case ParameterGrid::RowCalCheck:
    case ParameterGrid::RowBumpCheck:
    case ParameterGrid::RowSpecType:
    case ParameterGrid::RowBumpFailBehavior:
    case ParameterGrid::RowAlarmO2:
    case ParameterGrid::RowAK:
        return {Kind::List};
    default:
        return {Kind::OffOn};
    }
}

QString Caption(int row) {
    switch (row) {
    case ParameterGrid::RowDummySerial:
        return LoadMessage(8003);
    case ParameterGrid::RowSpecNo:
        return LoadMessage(8042);
    case ParameterGrid::RowAlarmMode:
        return LoadMessage(8004);
    case ParameterGrid::RowAlarmMode2:
        return LoadMessage(9101);
    case ParameterGrid::RowJW:
        return LoadMessage(8084);
    case ParameterGrid::RowJH:
        return LoadMessage(8085);
    case ParameterGrid::RowSE:
        return LoadMessage(8086);
    case ParameterGrid::RowABdata:
        return LoadMessage(9104);
    case ParameterGrid::RowLogOverWrite:
        return LoadMessage(8009);
    case ParameterGrid::RowCalLimit:
        return LoadMessage(8007);
    case ParameterGrid::RowDispCalLimit:
        return LoadMessage(8010);
    case ParameterGrid::RowCalCheck:
        return LoadMessage(8011);
    case ParameterGrid::RowBumpFunction:
        return LoadMessage(8083);
    case ParameterGrid::RowBumpLimit:
        return LoadMessage(8080);
    case ParameterGrid::RowDispBumpLimit:
        return LoadMessage(8081);
    case ParameterGrid::RowBumpCheck:
        return LoadMessage(8082);
    case ParameterGrid::RowSpecType:
        return LoadMessage(8015);
    case ParameterGrid::RowLcdBackLight:
        return LoadMessage(8023);
    case ParameterGrid::RowBumpTime:
        return LoadMessage(8029);
    case ParameterGrid::RowBumpThreshold:
        return LoadMessage(8030);
    case ParameterGrid::RowBumpFailCalTime:
        return LoadMessage(8032);
    case ParameterGrid::RowBumpFailAfter:
        return LoadMessage(8031);
    case ParameterGrid::RowAutoZero:
        return LoadMessage(8019);
    case ParameterGrid::RowDemandZero:
        return LoadMessage(8020);
    case ParameterGrid::RowSpanAllowance:
        return LoadMessage(8057);
    case ParameterGrid::RowBumpFailBehavior:
        return LoadMessage(8058);
    case ParameterGrid::RowSensorDate:
        return LoadMessage(8059);
    case ParameterGrid::RowPasswordProtect:
        return LoadMessage(8062);
    case ParameterGrid::RowUseUserPassword:
        return LoadMessage(8021);
    case ParameterGrid::RowUserPassword2:
        return LoadMessage(8024);
    case ParameterGrid::RowConfirmation:
        return LoadMessage(8044);
    case ParameterGrid::RowAlarmO2:
        return LoadMessage(8022);
    case ParameterGrid::RowAK:
        return LoadMessage(20013);
    case ParameterGrid::RowAIdata:
        return LoadMessage(9102);
    case ParameterGrid::RowAJdata:
        return LoadMessage(9103);
    default:
        return {};
    }
}

// The "|"-separated choice list of a list row, in the current language.
QString ListText(int row, bool debug) {
    using SettingText::Choices;
    Choices choices = Choices::OffOn;
    switch (row) {
    case ParameterGrid::RowAlarmMode:
    case ParameterGrid::RowAlarmMode2:
        choices = Choices::AlarmPattern;
        break;
    case ParameterGrid::RowCalCheck:
    case ParameterGrid::RowBumpCheck:
        choices = Choices::LimitCheck;
        break;
    case ParameterGrid::RowSpecType:
        choices = Choices::Destination;
        break;
    case ParameterGrid::RowBumpFailBehavior:
        choices = Choices::BumpFailBehavior;
        break;
    case ParameterGrid::RowAlarmO2:
        choices = Choices::OxyAlarm;
        break;
    case ParameterGrid::RowAK:
        choices = Choices::TwaMode;
        break;
    default:
        if (RowRule(row).kind != Kind::OffOn) return {};
    }
    return SettingText::List(choices, debug).join(QLatin1Char('|'));
}

// The record value of a list or Off/On row (-1 for a destination that is not a number).
int ListValue(const clsInstrument& r, int row) {
    switch (row) {
    case ParameterGrid::RowAlarmMode:
        return r.AlarmMode();
    case ParameterGrid::RowAlarmMode2:
        return r.AlarmMode2();
    case ParameterGrid::RowJW:
        return r.JW();
    case ParameterGrid::RowABdata:
        return r.ABdata();
    case ParameterGrid::RowLogOverWrite:
        return r.LogOverWrite();
    case ParameterGrid::RowDispCalLimit:
        return r.DispCalLimit();
    case ParameterGrid::RowCalCheck:
        return r.CalCheck();
    case ParameterGrid::RowBumpFunction:
        return r.BumpFunction();
    case ParameterGrid::RowDispBumpLimit:
        return r.DispBumpLimit();
    case ParameterGrid::RowBumpCheck:
        return r.BumpCheck();
    case ParameterGrid::RowSpecType: {
        bool ok = false;
        const int value = r.SpecType().trimmed().toInt(&ok);
        return ok ? value : -1;
    }
    case ParameterGrid::RowBumpFailAfter:
        return r.BumpFailAfter();
    case ParameterGrid::RowAutoZero:
        return r.AutoZero();
    case ParameterGrid::RowDemandZero:
        return r.DemandZero();
    case ParameterGrid::RowSpanAllowance:
        return r.SpanAllowance();
    case ParameterGrid::RowBumpFailBehavior:
        return r.BumpFailBehavior();
    case ParameterGrid::RowPasswordProtect:
        return r.PasswordProtect();
    case ParameterGrid::RowUseUserPassword:
        return r.UseUserPassword();
    case ParameterGrid::RowConfirmation:
        return r.Confirmation();
    case ParameterGrid::RowAlarmO2:
        return r.AlarmO2();
    case ParameterGrid::RowAK:
        return r.AK();
    default:
        return -1;
    }
}

void SetListValue(clsInstrument& r, int row, int value) {
    const auto v = static_cast<qint16>(value);
    switch (row) {
    case ParameterGrid::RowAlarmMode:
        return r.setAlarmMode(v);
    case ParameterGrid::RowAlarmMode2:
        return r.setAlarmMode2(v);
    case ParameterGrid::RowJW:
        return r.setJW(v);
    case ParameterGrid::RowABdata:
        return r.setABdata(v);
    case ParameterGrid::RowLogOverWrite:
        return r.setLogOverWrite(v);
    case ParameterGrid::RowDispCalLimit:
        return r.setDispCalLimit(v);
    case ParameterGrid::RowCalCheck:
        return r.setCalCheck(v);
    case ParameterGrid::RowBumpFunction:
        return r.setBumpFunction(v);
    case ParameterGrid::RowDispBumpLimit:
        return r.setDispBumpLimit(v);
    case ParameterGrid::RowBumpCheck:
        return r.setBumpCheck(v);
    case ParameterGrid::RowSpecType:
        return r.setSpecType(QString::number(value));
    case ParameterGrid::RowBumpFailAfter:
        return r.setBumpFailAfter(v);
    case ParameterGrid::RowAutoZero:
        return r.setAutoZero(v);
    case ParameterGrid::RowDemandZero:
        return r.setDemandZero(v);
    case ParameterGrid::RowSpanAllowance:
        return r.setSpanAllowance(v);
    case ParameterGrid::RowBumpFailBehavior:
        return r.setBumpFailBehavior(v);
    case ParameterGrid::RowPasswordProtect:
        return r.setPasswordProtect(v);
    case ParameterGrid::RowUseUserPassword:
        return r.setUseUserPassword(v);
    case ParameterGrid::RowConfirmation:
        return r.setConfirmation(v);
    case ParameterGrid::RowAlarmO2:
        return r.setAlarmO2(v);
    case ParameterGrid::RowAK:
        return r.setAK(v);
    default:
        return;
    }
}

int NumberValue(const clsInstrument& r, int row) {
    switch (row) {
    case ParameterGrid::RowSE:
        return r.SE();
    case ParameterGrid::RowCalLimit:
        return r.CalLimit();
    case ParameterGrid::RowBumpLimit:
        return r.BumpLimit();
    case ParameterGrid::RowLcdBackLight:
        return r.LcdBackLight();
    case ParameterGrid::RowBumpTime:
        return r.BumpTime();
    case ParameterGrid::RowBumpThreshold:
        return r.BumpThreshold();
    case ParameterGrid::RowBumpFailCalTime:
        return r.BumpFailCalTime();
    case ParameterGrid::RowAIdata:
        return r.AIdata();
    case ParameterGrid::RowAJdata:
        return r.AJdata();
    default:
        return 0;
    }
}

void SetNumberValue(clsInstrument& r, int row, int value) {
    const auto v = static_cast<qint16>(value);
    switch (row) {
    case ParameterGrid::RowSE:
        return r.setSE(v);
    case ParameterGrid::RowCalLimit:
        return r.setCalLimit(v);
    case ParameterGrid::RowBumpLimit:
        return r.setBumpLimit(v);
    case ParameterGrid::RowLcdBackLight:
        return r.setLcdBackLight(v);
    case ParameterGrid::RowBumpTime:
        return r.setBumpTime(v);
    case ParameterGrid::RowBumpThreshold:
        return r.setBumpThreshold(v);
    case ParameterGrid::RowBumpFailCalTime:
        return r.setBumpFailCalTime(v);
    case ParameterGrid::RowAIdata:
        return r.setAIdata(v);
    case ParameterGrid::RowAJdata:
        return r.setAJdata(v);
    default:
        return;
    }
}

QString TextValue(const clsInstrument& r, int row) {
    switch (row) {
    case ParameterGrid::RowDummySerial:
        return r.DummySerial();
    case ParameterGrid::RowSpecNo:
        return r.SpecNo();
    case ParameterGrid::RowJH:
        return r.JH();
    case ParameterGrid::RowSensorDate:
        return r.SensorDate();
    case ParameterGrid::RowUserPassword2:
        return r.UserPassword2();
    default:
        return {};
    }
}

void SetTextValue(clsInstrument& r, int row, const QString& text) {
    switch (row) {
    case ParameterGrid::RowDummySerial:
        return r.setDummySerial(text);
    case ParameterGrid::RowSpecNo:
        return r.setSpecNo(text);
    case ParameterGrid::RowJH:
        return r.setJH(text);
    case ParameterGrid::RowSensorDate:
        return r.setSensorDate(text);
    case ParameterGrid::RowUserPassword2:
        return r.setUserPassword2(text);
    default:
        return;
    }
}

// True when every character of `text` passes the identifier key filter.
bool AllIdKeys(const QString& text) {
    for (QChar c : text)
        if (FilterIdKey(c.unicode()) == 0) return false;
    return true;
}

// True when `text` is six digits YYMMDD naming a real date of the years 2000 to 2099.
bool IsDateText(const QString& text) {
    if (text.size() != 6 || !IsAllDigits(text)) return false;
    return QDate(2000 + text.left(2).toInt(), text.mid(2, 2).toInt(), text.mid(4, 2).toInt())
        .isValid();
}

// True when `text` is four digits hhmm naming a time of day.
bool IsTimeText(const QString& text) {
    if (text.size() != 4 || !IsAllDigits(text)) return false;
    return QTime::isValid(text.left(2).toInt(), text.mid(2, 2).toInt(), 0);
}

// Longest texts of the identifier rows.
int IdLength(int row) {
    return row == ParameterGrid::RowDummySerial ? 20 : 10;
}

} // namespace

ParameterGrid::ParameterGrid(QWidget* parent) : FsGrid(parent) {
    setObjectName(QStringLiteral("vfgDatas"));
    setColumnCount(ColumnTotal);
    setRowCount(RowTotal);
    hideColumn(ColList);
}

void ParameterGrid::Fill(clsInstrument* record) {
    CommitOpenEditor();
    clear();
    setColumnCount(ColumnTotal);
    setRowCount(RowTotal);
    m_record = record;
    m_debug = AppState::DebugMode();
    m_model = record ? record->ModelTyp().trimmed() : QString();

    setHeaderCell(0, ColCaption, LoadMessage(8103));
    setHeaderCell(0, ColValue, LoadMessage(8104));
    setHeaderCell(0, ColList, QString());
    for (int row = 1; row < RowTotal; ++row) {
        setHeaderCell(row, ColCaption, Caption(row));
        setCellText(row, ColValue, QString());
        setCellText(row, ColList, QString());
        if (!record || !RowApplies(row)) continue;
        const Rule rule = RowRule(row);
        switch (rule.kind) {
        case Kind::Text:
            setCellText(row, ColValue, TextValue(*record, row));
            break;
        case Kind::Number:
            setCellText(row, ColValue, QString::number(NumberValue(*record, row)));
            break;
        case Kind::List:
        case Kind::OffOn: {
            setCellText(row, ColList, ListText(row, m_debug));
            const QStringList list = RowList(row);
            int position = ListValue(*record, row);
            // Any non-zero value of an Off/On setting is on.
            if (rule.kind == Kind::OffOn) position = position != 0 ? 1 : 0;
            setCellText(row, ColValue,
                        position >= 0 && position < list.size() ? list.at(position) : QString());
            break;
        }
        }
    }
    hideColumn(ColList);
    setReadOnlyState(!AppState::FactoryMode());
    resizeColumnToContents(ColCaption);
    setColumnWidth(ColValue, qMax(180, fontMetrics().horizontalAdvance(QString(24, u'W'))));
}

bool ParameterGrid::RowApplies(int row) const {
    switch (row) {
    case RowAlarmO2:
        return m_model == QLatin1String("QZ");
    case RowAK:
        return m_model == QLatin1String("VL");
    case RowAIdata:
    case RowAJdata:
        return m_debug;
    default:
        return row >= 1 && row < RowTotal;
    }
}

bool ParameterGrid::IsListRow(int row) const {
    const Kind kind = RowRule(row).kind;
    return row >= 1 && row < RowTotal && (kind == Kind::List || kind == Kind::OffOn);
}

QStringList ParameterGrid::RowList(int row) const {
    clsToken token;
    token.AddDelimiters(QStringLiteral("|"));
    token.setSource(CellText(row, ColList));
    return token.TokenList();
}

int ParameterGrid::ListPosition(int row, const QString& text) const {
    const QString wanted = text.trimmed().toUpper();
    const QStringList list = RowList(row);
    for (int i = 0; i < list.size(); ++i)
        if (list.at(i).trimmed().toUpper() == wanted) return i;
    return -1;
}

void ParameterGrid::setReadOnlyState(bool on) {
    FsGrid::setReadOnlyState(on);
    colourValueCells();
}

void ParameterGrid::colourValueCells() {
    for (int row = 1; row < rowCount(); ++row) {
        const QColor colour = ReadOnlyState() || !RowApplies(row) ? HeaderColour() : ValidColour();
        setCellColour(row, ColValue, colour);
        setCellColour(row, ColList, colour);
    }
}

bool ParameterGrid::BeforeEdit(int row, int column) const {
    // Rows that do not apply are never read back, so they are not edited either.
    return m_record && column == ColValue && row >= 1 && row < RowTotal && !ReadOnlyState() &&
           RowApplies(row);
}

QStringList ParameterGrid::EditList(int row, int column) const {
    if (column != ColValue) return {};
    return RowList(row);
}

QChar ParameterGrid::KeyPressEdit(int row, int column, QChar key, const QString& result) const {
    if (column != ColValue) return QChar();
    bool accepted = true;
    switch (row) {
    case RowDummySerial:
    case RowSpecNo:
        accepted = result.size() <= IdLength(row) && AllIdKeys(result);
        break;
    case RowJH:
        accepted = result.size() <= 10 && IsAllDigits(result);
        break;
    case RowUserPassword2:
        accepted = result.size() <= 4 && IsAllDigits(result);
        break;
    case RowSE:
    case RowABdata:
    case RowCalLimit:
    case RowBumpLimit:
    case RowLcdBackLight:
    case RowAIdata:
    case RowAJdata:
        accepted = IsAllDigits(result);
        break;
    default:
        break;
    }
    if (!accepted) return QChar();
    if (key >= u'a' && key <= u'z') return key.toUpper();
    return key;
}

QString ParameterGrid::RefusalText(int row, int column) const {
    const Rule rule = RowRule(row);
    if (rule.kind != Kind::Number) return FsGrid::RefusalText(row, column);
    return LoadMessage(kMsgAllowedRange, {CellText(row, 0).trimmed(), QString::number(rule.min),
                                          QString::number(rule.max)});
}

bool ParameterGrid::ValidateEdit(int row, int column, QString& text) {
    if (column != ColValue || row < 1 || row >= RowTotal) return false;
    if (text.trimmed().isEmpty()) return false;
    switch (row) {
    case RowDummySerial:
    case RowSpecNo:
        return text.size() <= IdLength(row) && AllIdKeys(text);
    case RowJH:
        return text.size() == 10 && IsDateText(text.left(6)) && IsTimeText(text.mid(6));
    case RowSensorDate:
        return IsDateText(text);
    case RowUserPassword2:
        return text.size() == 4 && IsAllDigits(text);
    default:
        break;
    }
    const Rule rule = RowRule(row);
    if (rule.kind == Kind::Number) {
        if (!IsAllDigits(text)) return false;
        bool ok = false;
        const int value = text.toInt(&ok);
        if (!ok || value < rule.min || value > rule.max) return false;
        text = QString::number(value);
        return true;
    }
    if (rule.kind == Kind::List || rule.kind == Kind::OffOn) return ListPosition(row, text) >= 0;
    return true;
}

void ParameterGrid::AfterEdit(int row, int column) {
    if (!m_record || column != ColValue) return;
    // A confirmed limit is always written, also when the number did not change.
    if (row == RowCalLimit) m_record->setChange_CalLimit(true);
    if (row == RowBumpLimit) m_record->setChange_BumpLimit(true);
}

void ParameterGrid::ReadBack() {
    if (!m_record) return;
    clsInstrument& r = *m_record;
    for (int row = 1; row < RowTotal; ++row) {
        if (!RowApplies(row)) continue;
        const QString text = CellText(row, ColValue);
        switch (RowRule(row).kind) {
        case Kind::OffOn: {
            const int value = text.trimmed().toUpper() == QLatin1String("OFF") ? 0 : 1;
            // Any non-zero value already means on.
            if ((ListValue(r, row) != 0) != (value != 0)) SetListValue(r, row, value);
            break;
        }
        case Kind::List: {
            // A value the list cannot show (shown empty) is kept as it is.
            const int value = ListPosition(row, text);
            if (value >= 0 && value != ListValue(r, row)) SetListValue(r, row, value);
            break;
        }
        case Kind::Number: {
            bool ok = false;
            const int value = text.trimmed().toInt(&ok);
            if (ok && value != NumberValue(r, row)) SetNumberValue(r, row, value);
            break;
        }
        case Kind::Text:
            if (text != TextValue(r, row)) SetTextValue(r, row, text);
            break;
        }
    }
}
