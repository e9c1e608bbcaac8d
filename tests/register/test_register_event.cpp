// Events of the fleet register: their canonical content, the chain hash, what a record and a
// write against the simulated detector give.
#include "common/SimLink.h"
#include "common/TempStartupFolder.h"

#include "instrument/GasChannel.h"
#include "register/RegisterEvent.h"

#include <QJsonArray>
#include <gtest/gtest.h>

namespace {

RegisterEvent spanEvent() {
    RegisterEvent e;
    e.uid = QStringLiteral("u1");
    e.kind = EventKind::Span;
    e.detector.serial = QStringLiteral("S1");
    e.detector.model = QStringLiteral("KM");
    e.detector.gas = QStringLiteral("CH4(%LEL)");
    e.detector.calLimit = 90;
    e.detector.lastCalibration = QDateTime(QDate(2024, 1, 2), QTime(3, 4, 5, 6));
    e.pcTimeUtc = QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9, 123), Qt::UTC);
    e.utcOffsetSeconds = 32400;
    e.computer = QStringLiteral("pc");
    e.technician = QStringLiteral("Tanaka");
    e.programVersion = QStringLiteral("0.1.0");
    e.details[QStringLiteral("status")] = QStringLiteral("ok");
    e.details[QStringLiteral("before")] = 48.5;
    e.details[QStringLiteral("after")] = 50;
    e.details[QStringLiteral("concentration")] = ReadingValue(0.1f);
    return e;
}

} // namespace

TEST(RegisterEventContent, CanonicalContentIsSortedCompactAndRoundTrips) {
    const RegisterEvent span = spanEvent();
    EXPECT_EQ(span.CanonicalContent(),
              QByteArray(R"j({"computer":"pc","details":{"after":50,"before":48.5,)j"
                         R"j("concentration":0.1,"status":"ok"},"detector":{"bumpLimit":-1,)j"
                         R"j("calLimit":90,"gas":"CH4(%LEL)","lastBump":null,)j"
                         R"j("lastCalibration":"2024-01-02T03:04:05.006","manufactureNo":"",)j"
                         R"j("model":"KM","programNo":"","serial":"S1","stationId":"","sum":"",)j"
                         R"j("userId":""},"detectorClock":null,"kind":"span",)j"
                         R"j("pcTimeUtc":"2024-03-05T14:07:09.123Z","programVersion":"0.1.0",)j"
                         R"j("success":true,"technician":"Tanaka","uid":"u1",)j"
                         R"j("utcOffsetSeconds":32400})j"));

    RegisterEvent write = span;
    write.kind = EventKind::Write;
    write.success = false;
    write.technician = QStringLiteral("\"Sato\"\t設定\n");
    write.detectorClock = QDateTime(QDate(2023, 12, 31), QTime(23, 59, 59));
    write.details = {};
    write.setChanges({{QStringLiteral("SC"), QStringLiteral("005A"), QStringLiteral("0078")},
                      {QStringLiteral("AT"), QString(), QStringLiteral("1")}});
    for (const RegisterEvent& e : {span, write}) {
        const QByteArray content = e.CanonicalContent();
        EXPECT_FALSE(content.contains('\n'));
        EXPECT_EQ(RegisterEvent::FromCanonicalContent(content), e);
        EXPECT_EQ(RegisterEvent::FromCanonicalContent(content)->CanonicalContent(), content);
    }
    EXPECT_EQ(write.changes().size(), 2);
    EXPECT_EQ(write.changes().at(1), (SettingChange{"AT", "", "1"}));
    EXPECT_EQ(ReadingValue(-101.0f), QJsonValue());

    for (const char* bad : {"", "[]", "{\"uid\":\"u\"}",
                            R"({"uid":"u","kind":"nap",)"
                            R"("success":true,"detector":{},)"
                            R"("pcTimeUtc":"2024-03-05T14:07:09Z"})"})
        EXPECT_FALSE(RegisterEvent::FromCanonicalContent(bad)) << bad;
    for (const EventKind k : {EventKind::Read, EventKind::IdentityWrite, EventKind::LogClear,
                              EventKind::MasterCompare, EventKind::Certificate,
                              EventKind::Provision})
        EXPECT_EQ(EventKindFromName(EventKindName(k)), k);
}

TEST(RegisterEventContent, EachUtf16UnitOfATextIsWrittenOnItsOwn) {
    // As the stored contents have it: half of a surrogate pair is a "?".
    QString text;
    QByteArray expected;
    for (int u = 0x20; u <= 0xFFFF; ++u) {
        if (u == '"' || u == '\\') continue;
        text += QChar(char16_t(u));
        expected += QString(QChar(char16_t(u))).toUtf8();
    }
    RegisterEvent e = spanEvent();
    e.technician = text;
    EXPECT_TRUE(e.CanonicalContent().contains("\"technician\":\"" + expected + "\","));
}

TEST(RegisterEventContent, ChainHashCoversThePreviousHashAndTheContent) {
    EXPECT_EQ(ChainHash(QString(), "{}"),
              QStringLiteral("a062dd4952b935e430d409c4a5e5cd760e8781e3200d5c7e12a232dddba8a528"));
    EXPECT_EQ(ChainHash(QStringLiteral("abc"), R"({"a":1})"),
              QStringLiteral("76d60f196e163a815fca6ce112418a550ab4e61e1870c2bfc932fb0f011efb33"));
}

class RegisterEventSim : public ::testing::Test, protected SimLink {
protected:
    void TearDown() override { closeSimLink(); }
    TempStartupFolder m_folder;
};

TEST_F(RegisterEventSim, ARecordReadAndWrittenGivesItsIdentityAndExactlyTheChangedSettings) {
    clsInstrument fresh;
    const RegisterEvent none = RegisterEvent::Make(EventKind::Read, fresh, false);
    EXPECT_EQ(none.detector.serial, QString()) << "the dashes of no serial are no serial";
    EXPECT_EQ(none.detector.gas, QString());
    EXPECT_FALSE(none.detector.lastCalibration.isValid());
    EXPECT_FALSE(none.detectorClock.isValid());
    EXPECT_EQ(none.uid.size(), 36);

    clsInstrument before;
    makeSimLink(QStringLiteral("KM"), &before);
    ASSERT_TRUE(connectSimLink());
    ASSERT_TRUE(link->GetInstrument(before));
    ASSERT_TRUE(link->GetLatestHistory(before));
    const RegisterEvent read = RegisterEvent::Make(EventKind::Read, before, true);
    EXPECT_EQ(read.detector.serial, before.SerialNo().trimmed());
    EXPECT_FALSE(read.detector.serial.isEmpty());
    EXPECT_EQ(read.detector.gas, FormatGasLabel(before, 0, false));
    EXPECT_EQ(read.detector.programNo.size(), 5);
    EXPECT_EQ(read.detector.calLimit, before.CalLimit());
    EXPECT_TRUE(read.detector.lastCalibration.isValid());
    EXPECT_TRUE(read.detectorClock.isValid());
    EXPECT_LE(qAbs(read.pcTimeUtc.secsTo(QDateTime::currentDateTimeUtc())), 5);

    clsInstrument edited = before;
    edited.setStationID(QStringLiteral("LINE-2"));
    edited.setCalLimit(120);
    edited.setBumpLimit(before.BumpLimit() + 3);
    ASSERT_TRUE(link->SetInstrument(edited));
    clsInstrument after;
    ASSERT_TRUE(link->GetInstrument(after));
    const QList<SettingChange> changes = RegisterEvent::Changes(before, after);
    QStringList names;
    for (const SettingChange& c : changes) {
        names << c.name;
        EXPECT_NE(c.oldValue, c.newValue) << c.name.toStdString();
    }
    EXPECT_EQ(names, (QStringList{"XS", "SC", "BK"}));
    EXPECT_EQ(changes.at(1).newValue, QStringLiteral("0078"));
    EXPECT_TRUE(changes.at(0).newValue.startsWith(QStringLiteral("LINE-2")));

    clsInstrument oxygen = before; // a setting only one model has counts too
    oxygen.setModelTyp(QStringLiteral("QZ"));
    const QList<SettingChange> model = RegisterEvent::Changes(before, oxygen);
    ASSERT_EQ(model.size(), 1);
    EXPECT_EQ(model.at(0).name, QStringLiteral("AT"));
    EXPECT_EQ(model.at(0).oldValue, QString());
    EXPECT_TRUE(RegisterEvent::Changes(oxygen, before).at(0).newValue.isEmpty());
}
