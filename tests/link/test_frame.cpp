#include "link/Frame.h"

#include <gtest/gtest.h>

TEST(Frame, ChecksumAndFrameBytes) {
    const struct {
        QByteArray bytes;
        const char* checksum;
    } sums[] = {
        {"abc", "DA"}, // 0x126 -> -0x26 & 0xFF
        {QByteArray("\x02" "0001XS,W,\x06\x03"), "DA"}, // a successful write reply, 0x226
        {QByteArray("\x80\x80", 2), "00"},
        {QByteArray("\x01", 1), "FF"},
        {QByteArray("\xF0", 1), "10"},
    };
    for (const auto& c : sums)
        EXPECT_EQ(FrameChecksum(c.bytes), c.checksum) << c.bytes.toHex().constData();

    // STX, the address "0001", the text, ETX, the checksum of 0x21B, EOT.
    const QByteArray frame = BuildFrame("XS,R,");
    EXPECT_EQ(frame, QByteArray("\x02" "0001XS,R,\x03" "E5\x04"));
    EXPECT_EQ(RenderControlChars(frame), QStringLiteral("[STX]0001XS,R,[ETX]E5[EOT]"));
    EXPECT_EQ(RenderControlChars(QByteArray("\x00\x1f\r\n\x06\x15\x17\x1a\x1b\x05", 10)),
              QStringLiteral("[00][1F]\r\n[ACK][NAK][ETB][SUB][ESC][ENQ]"));
}
