#pragma once

#include <QJsonObject>
#include <QString>
#include <optional>

// Whether a span calibration is accepted.
//
// The detector decides first: a span it reports as failed is never accepted. Otherwise the
// reading after adjustment, from the detector's latest calibration record, must lie within a
// band around the span concentration:
//  - one resolution step of the gas is 10^-places (places 0..3; a gas with other decimal places
//    counts in whole units, as its concentrations are shown);
//  - the band is the tolerance share of the concentration (the tool configuration's
//    "SpanTolerance" in percent, 5 when not set) rounded down to whole steps, and never less
//    than one step;
//  - concentration and reading are taken to the gas's decimal places; the reading passes when
//    it differs from the concentration by no more than the band, both ends included.
// A reading after adjustment that is not known (the record could not be read) is not accepted.
struct SpanAcceptance {
    // The detector reported the span as done.
    bool statusOk = false;
    // Span concentration and reading after adjustment; -101 for no value.
    float concentration = -101.0f;
    float reading = -101.0f;
    // Decimal places of the gas's concentrations.
    int places = 0;
    // The tolerance share the band was made from, in percent.
    double tolerancePercent = 0.0;
    // Half the width of the band, in the gas's unit; the band is concentration +- band.
    float band = 0.0f;
    // The verdict.
    bool passed = false;

    // Judges a span: `statusOk` from the detector, the concentration it was spanned with, its
    // reading after adjustment and the gas's decimal places, with the tolerance in percent.
    static SpanAcceptance Judge(bool statusOk, float concentration, float reading, int places,
                                double tolerancePercent);
    // Half the width of the band around `concentration` (see above).
    static float Band(float concentration, int places, double tolerancePercent);
    // One resolution step of a gas with `places` decimal places.
    static double Step(int places);

    // Whether the reading after adjustment is known.
    bool readingKnown() const;
    // The ends of the band.
    float low() const { return concentration - band; }
    float high() const { return concentration + band; }
    // A number of the band (band, low, high, concentration, reading) with the gas's decimal
    // places and "."; empty for no value.
    QString text(float value) const;
    // "PASS" or "FAIL".
    QString verdictText() const;
    // The band and the verdict as the register's details and the certificate hold them:
    // "verdict", "band", "low", "high" and "tolerancePercent".
    QJsonObject toJson() const;
};

// Default share of the span concentration the reading after a span may differ by, in percent.
inline constexpr double kDefaultSpanTolerancePercent = 5.0;

// The span tolerance in percent from the text of the tool configuration's "SpanTolerance" key
// ("." always accepted): the default for an empty text; nothing for a text that is not a
// number above 0 and not above 100.
std::optional<double> SpanTolerancePercent(const QString& text);

// The sentence km71ctl gives for a "SpanTolerance" value that cannot be used.
QString SpanToleranceRefusal(const QString& text);
