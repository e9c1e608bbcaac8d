#pragma once

#include "instrument/clsInstrument.h"
#include "link/Frame.h"
#include "link/ResponseParser.h"

#include <QList>
#include <QLocale>
#include <QStringList>
#include <gtest/gtest.h>

// A record, a decoder context that records what the decoder reports, and helpers that frame
// replies the way the detector sends them.
class ResponseTest : public ::testing::Test {
protected:
    static constexpr double kNow = 45000.25; // the PC clock as the decoder sees it

    void SetUp() override {
        ctx.instrument = &rec;
        ctx.log = [this](const QString& line) { logLines << line; };
        ctx.connectReply = [this] { ++connects; };
        ctx.densty = [this](float& v) { readings << v; };
        ctx.now = [] { return kNow; };
    }

    // The detector answers `request` with the frame of `reply`.
    bool Answer(const QByteArray& request, const QByteArray& reply, char end = Ctl::EOT) {
        ctx.lastFrame = BuildFrame(request);
        return ParseResponse(BuildFrame(reply, end), ctx);
    }

    // A read request "XX,R," answered by "XX,R," + values.
    bool Read(const QByteArray& code, const QByteArray& values) {
        return Answer(code + ",R,", code + ",R," + values);
    }

    // A write request "XX,W," + sent answered by "XX,W," + echo.
    bool Write(const QByteArray& code, const QByteArray& sent, const QByteArray& echo) {
        return Answer(code + ",W," + sent, code + ",W," + echo);
    }

    clsInstrument rec;
    ReplyContext ctx;
    QStringList logLines;
    int connects = 0;
    QList<float> readings;
};

// The same with "," as the decimal separator of the process locale.
class ResponseCommaTest : public ResponseTest {
protected:
    void SetUp() override {
        ResponseTest::SetUp();
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    }
    void TearDown() override {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }
};
