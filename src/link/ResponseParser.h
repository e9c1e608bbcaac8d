#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>

class clsInstrument;

// The link-side state that the reply decoder reads and writes besides the instrument record.
struct ReplyContext {
    // Record that replies are decoded into; without one, replies that store settings are rejected.
    clsInstrument* instrument = nullptr;
    // The request frame last sent, complete with its framing (head check, HC,W echo check).
    QByteArray lastFrame;
    // Status texts of the zero (SZ,C) and span (S1,W) operations.
    QString zeroStatus;
    QString spanStatus;
    // Result text of the zero calibration (SN,W).
    QString zeroCalResult;
    // The last confirm poll (XC,C / XY,C / UX,C) was acknowledged.
    bool confirmAck = false;
    // Reject replies whose checksum does not match.
    bool verifyChecksum = true;
    // The PC clock as an OLE date (HC,R stores the detector clock's offset from it); the
    // system clock when empty.
    std::function<double()> now;
    // One line into the link log.
    std::function<void(const QString&)> log;
    // An RC,R reply naming the detector family was accepted (the link connects).
    std::function<void()> connectReply;
    // A concentration reading arrived (DN,R); the value may be changed by the receiver.
    std::function<void(float&)> densty;
    // A dump data block (EP,R / EF,R / ES,R): the whole frame, its head and its tokens.
    // Returns true when the block was taken.
    std::function<bool(const QByteArray& frame, const QByteArray& head, const QStringList& tokens)>
        dumpBlock;
};

// Decodes one received frame (STX .. terminator) into the record and the context.
// Returns true when the frame was accepted and applied.
bool ParseResponse(const QByteArray& frame, ReplyContext& ctx);
