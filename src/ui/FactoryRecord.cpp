#include "ui/FactoryRecord.h"

#include "instrument/clsInstrument.h"
#include "shell/Messages.h"

#include <array>

namespace {

constexpr int kMsgAnalogListKM = 5905;
constexpr int kMsgAnalogListQZ = 5906;
constexpr int kMsgAnalogListVL = 5907;

} // namespace

void WriteFactoryRecord(const clsInstrument& record, const QString& kind) {
    // The factory record file is written by its own module; until then a record is not kept.
    Q_UNUSED(record);
    Q_UNUSED(kind);
}

QStringList AnalogValuesList(const clsInstrument& record) {
    using Labels = std::array<const char*, 4>;
    const QString model = record.ModelTyp();
    int title = 0;
    Labels labels{};
    if (model == QLatin1String("KM")) {
        title = kMsgAnalogListKM;
        labels = {"ch0 AMP1      ", "ch1 ---       ", "ch2 BAT       ", "ch3 TH        "};
    } else if (model == QLatin1String("QZ")) {
        title = kMsgAnalogListQZ;
        labels = {"ch0 AMP1      ", "ch1 BAT       ", "ch2 TH        ", "ch3 ---       "};
    } else if (model == QLatin1String("VL")) {
        title = kMsgAnalogListVL;
        labels = {"ch0 AMP1      ", "ch1 BAT       ", "ch2 TH        ", "ch3 AMP2      "};
    } else {
        return {};
    }
    QStringList lines{LoadMessage(title)};
    for (int channel = 0; channel < 4; ++channel) {
        const QString value =
            (QStringLiteral("    ") + QString::number(record.AnalogValue(channel))).right(4);
        lines << QString::fromLatin1(labels[channel]) + QStringLiteral("\t: ") + value +
                     QStringLiteral("mV");
    }
    return lines;
}
