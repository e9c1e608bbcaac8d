#include "instrument/SettingText.h"

#include "shell/Messages.h"

namespace SettingText {

QStringList List(Choices choices, bool debug) {
    switch (choices) {
    case Choices::OffOn:
        return {QStringLiteral("Off"), QStringLiteral("On")};
    case Choices::AlarmPattern: {
        QStringList list{LoadMessage(8005), LoadMessage(8006)};
        if (debug) list << LoadMessage(8088);
        return list;
    }
    case Choices::LimitCheck:
        return {LoadMessage(8012), LoadMessage(8013), LoadMessage(8014)};
    case Choices::Destination:
        return {LoadMessage(8016), LoadMessage(8017)};
    case Choices::BumpFailBehavior:
        return {LoadMessage(8061), LoadMessage(8060)};
    case Choices::OxyAlarm:
        return {QStringLiteral("L-H"), QStringLiteral("L-LL"), QStringLiteral("H-HH")};
    case Choices::TwaMode:
        return {LoadMessage(20006), LoadMessage(20012)};
    }
    return {};
}

QString Choice(Choices choices, int value, bool debug) {
    if (choices == Choices::OffOn) value = value != 0 ? 1 : 0;
    const QStringList list = List(choices, debug);
    return value >= 0 && value < list.size() ? list.at(value) : QString::number(value);
}

} // namespace SettingText
