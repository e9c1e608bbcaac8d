#include "link/Frame.h"

#include <gtest/gtest.h>

TEST(Frame, ChecksumIsNegatedByteSum) {
    EXPECT_EQ(FrameChecksum("abc"), "DA"); // 0x126 -> -0x26 & 0xFF
    EXPECT_EQ(FrameChecksum(QByteArray("\x80\x80", 2)), "00");
    EXPECT_EQ(FrameChecksum(QByteArray("\x01", 1)), "FF");
    EXPECT_EQ(FrameChecksum(QByteArray("\xF0", 1)), "10");
}

TEST(Frame, BuildFrameAndRenderForTheLog) {
    const QByteArray frame = BuildFrame("XS,R,");
    ASSERT_EQ(frame.size(), 5 + 5 + 1 + 2 + 1);
    EXPECT_EQ(frame.front(), Ctl::STX);
    EXPECT_EQ(frame.back(), Ctl::EOT);
    EXPECT_EQ(frame.mid(frame.size() - 3, 2), FrameChecksum(frame.left(frame.size() - 3)));
    EXPECT_EQ(RenderControlChars(frame),
              QStringLiteral("[STX]0001XS,R,[ETX]") + QString::fromLatin1(frame.mid(11, 2)) +
                  "[EOT]");
    EXPECT_EQ(RenderControlChars(QByteArray("\x00\x1f\r\n\x06\x15\x17\x1a\x1b\x05", 10)),
              QStringLiteral("[00][1F]\r\n[ACK][NAK][ETB][SUB][ESC][ENQ]"));
}
