#pragma once

#include "instrument/clsInstrument.h"

#include <QString>
#include <gtest/gtest.h>

// A record with a value in every setting of the file: gas "CH4" (KM), "O2" (QZ) or "CO" (VL).
inline clsInstrument SampleRecord(const QString& gas) {
    clsInstrument r;
    r.setSpecNo("SP-0001");
    r.setUserID("USER 7");
    r.setStationID("LINE A");
    r.setSerialNo("KM71-000123");
    r.setDummySerial("MFG-55");
    const QString def = gas == "O2"  ? QStringLiteral("O2   25.0  0.1VOL%")
                        : gas == "CO" ? QStringLiteral("CO    500    1ppm ")
                                      : QStringLiteral("CH4   100    1%LEL");
    EXPECT_TRUE(r.ApplyGasDefinition(def));
    r.setModelTyp(gas == "O2" ? "QZ" : gas == "CO" ? "VL" : "KM");
    r.setAlarmMode(3);
    r.setAlarmMode2(-2);
    r.setDispCalLimit(1);
    r.setCalLimit(90);
    r.setCalCheck(1);
    r.setConfirmation(1);
    r.setLogOverWrite(1);
    r.setLcdBackLight(30);
    r.setAIdata(300);
    r.setAJdata(10);
    r.setABdata(2);
    r.setBumpFunction(1);
    r.setDispBumpLimit(1);
    r.setBumpLimit(30);
    r.setBumpCheck(1);
    r.setBumpTime(60);
    r.setBumpThreshold(20);
    r.setBumpFailCalTime(90);
    r.setBumpFailAfter(1);
    r.setAlarmO2(2);
    r.setAK(1);
    r.setJW(1);
    r.setJH("2501070930");
    r.setSE(10);
    r.setWarning(0, gas == "O2" ? 19.5f : 10.0f);
    r.setAlarm(0, gas == "O2" ? 18.0f : 50.0f);
    r.setStel(0, -101.0f);
    r.setTwa(0, gas == "CO" ? 25.0f : -101.0f);
    r.setAutoCalib(0, gas == "O2" ? 20.9f : 50.0f);
    r.setIntervals(60);
    r.setSpecType("1");
    r.setAutoZero(1);
    r.setDemandZero(1);
    r.setSpanAllowance(5);
    r.setBumpFailBehavior(1);
    r.setSensorDate("250101");
    r.setPasswordProtect(1);
    r.setUseUserPassword(1);
    r.setUserPassword2("1234");
    return r;
}
