#pragma once

#include <QByteArray>
#include <QString>

// Framing of the detector protocol: STX "0001" text ETX checksum EOT|ETB.
namespace Ctl {
constexpr char STX = 0x02;
constexpr char ETX = 0x03;
constexpr char EOT = 0x04;
constexpr char ENQ = 0x05;
constexpr char ACK = 0x06;
constexpr char NAK = 0x15;
constexpr char ETB = 0x17;
constexpr char SUB = 0x1A;
constexpr char ESC = 0x1B;
constexpr char CR = 0x0D;
constexpr char LF = 0x0A;
} // namespace Ctl

// Fixed address field of every frame.
inline constexpr const char* kFrameAddress = "0001";

// Two upper-case hex digits: the negated byte sum of `bytes`, modulo 256.
QByteArray FrameChecksum(const QByteArray& bytes);

// STX + "0001" + text + ETX + checksum + terminator.
QByteArray BuildFrame(const QByteArray& text, char terminator = Ctl::EOT);

// The frame with its control characters written out for the link log ("[STX]", "[1F]", ...).
QString RenderControlChars(const QByteArray& frame);
