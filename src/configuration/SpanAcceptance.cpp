#include "configuration/SpanAcceptance.h"

#include "configuration/ToolConfig.h"
#include "instrument/clsInstrument.h"
#include "shell/modGasCommon.h"

#include <QJsonValue>
#include <cmath>

namespace {

// Decimal places a gas's numbers are counted and shown in.
int countedPlaces(int places) {
    return places >= 0 && places <= 3 ? places : 0;
}

// A value in whole resolution steps.
qint64 steps(double value, int places) {
    return std::llround(value / SpanAcceptance::Step(places));
}

bool hasValue(float value) {
    return std::isfinite(value) && value > clsInstrument::NoValue;
}

} // namespace

double SpanAcceptance::Step(int places) {
    return std::pow(10.0, -countedPlaces(places));
}

float SpanAcceptance::Band(float concentration, int places, double tolerancePercent) {
    const double share = std::fabs(double(concentration)) * tolerancePercent / 100.0;
    // A share that is a whole number of steps but computed a hair below stays whole.
    const qint64 shareSteps = qint64(std::floor(share / Step(places) + 1e-6));
    return float(double(qMax<qint64>(1, shareSteps)) * Step(places));
}

SpanAcceptance SpanAcceptance::Judge(bool statusOk, float concentration, float reading, int places,
                                     double tolerancePercent) {
    SpanAcceptance a;
    a.statusOk = statusOk;
    a.concentration = concentration;
    a.reading = hasValue(reading) ? reading : clsInstrument::NoValue;
    a.places = places;
    a.tolerancePercent = tolerancePercent;
    a.band = Band(concentration, places, tolerancePercent);
    if (!statusOk || !a.readingKnown() || !hasValue(concentration)) return a;
    const qint64 off = std::llabs(steps(reading, places) - steps(concentration, places));
    a.passed = off <= steps(a.band, places);
    return a;
}

bool SpanAcceptance::readingKnown() const {
    return hasValue(reading);
}

QString SpanAcceptance::text(float value) const {
    if (!std::isfinite(value) || value == clsInstrument::NoValue) return {};
    return QString::number(double(value), 'f', countedPlaces(places));
}

QString SpanAcceptance::verdictText() const {
    return passed ? QStringLiteral("PASS") : QStringLiteral("FAIL");
}

QJsonObject SpanAcceptance::toJson() const {
    const auto number = [this](float value) {
        const QString t = text(value);
        return t.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(t.toDouble());
    };
    QJsonObject o;
    o[QStringLiteral("verdict")] = verdictText();
    o[QStringLiteral("band")] = number(band);
    o[QStringLiteral("low")] = number(low());
    o[QStringLiteral("high")] = number(high());
    o[QStringLiteral("tolerancePercent")] = tolerancePercent;
    return o;
}

std::optional<double> SpanTolerancePercent(const QString& text) {
    const QString t = text.trimmed();
    if (t.isEmpty()) return kDefaultSpanTolerancePercent;
    bool ok = false;
    const double value = IsNumberText(t) ? double(ParseLocaleNumber(t, &ok)) : 0.0;
    if (!ok || !std::isfinite(value) || value <= 0.0 || value > 100.0) return std::nullopt;
    return value;
}

QString SpanToleranceRefusal(const QString& text) {
    return QStringLiteral("The span tolerance \"%1\" of %2 cannot be used: it must be a "
                          "percentage above 0 and not above 100.")
        .arg(text.trimmed(), QString::fromLatin1(kToolConfigName));
}
