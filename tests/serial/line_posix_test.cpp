// SPDX-License-Identifier: MIT
// Port names and line settings on POSIX terminals, and the queue-size rule.
#include "serial/line_posix.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "serial/comm_port.h"
#include "serial/mode.h"

namespace talvi::serial {
namespace {

TEST(DevicePath, FollowsThePortNameRules) {
  EXPECT_EQ(DevicePath("\\\\.\\COM1"), "/dev/ttyS0");
  EXPECT_EQ(DevicePath("COM1"), "/dev/ttyS0");
  EXPECT_EQ(DevicePath("com12"), "/dev/ttyS11");
  EXPECT_EQ(DevicePath("\\\\.\\ttyUSB0"), "/dev/ttyUSB0");
  EXPECT_EQ(DevicePath("ttyACM1"), "/dev/ttyACM1");
  EXPECT_EQ(DevicePath("pts/4"), "/dev/pts/4");
  EXPECT_EQ(DevicePath("/dev/pts/4"), "/dev/pts/4");
  EXPECT_EQ(DevicePath("COM0"), "/dev/COM0");
  EXPECT_EQ(DevicePath("COM1x"), "/dev/COM1x");
  EXPECT_EQ(DevicePath("COM99999999999"), "/dev/COM99999999999");
  EXPECT_EQ(DevicePath(""), "");
  EXPECT_EQ(DevicePath("\\\\.\\"), "");
  EXPECT_EQ(DevicePath(std::string("COM1\0/etc", 9)), "");
}

termios Settings(const char* mode) {
  Dcb dcb;
  EXPECT_TRUE(ParseCommMode(mode, dcb)) << mode;
  termios tio{};
  EXPECT_TRUE(DcbToTermios(dcb, tio)) << mode;
  return tio;
}

// 57600 8N1 raw is checked on a real pty with SETCOMMSTATE; here the rest.
TEST(DcbToTermios, GivesTheRequestedFormatAndFlowControl) {
  termios t = Settings("9600,O,7,2,p");
  EXPECT_EQ(cfgetospeed(&t), B9600);
  EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS),
            static_cast<tcflag_t>(CS7 | PARENB | PARODD | CSTOPB | CRTSCTS));
  t = Settings("1200,S,5,1.5,x");
  EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | PARODD | CMSPAR | CSTOPB),
            static_cast<tcflag_t>(CS5 | PARENB | CMSPAR | CSTOPB));
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));
  EXPECT_EQ(t.c_cc[VSTART], 0x11);
  EXPECT_EQ(t.c_cc[VSTOP], 0x13);
}

TEST(DcbToTermios, RefusesWhatATerminalCannotDo) {
  for (const char* mode : {"12345,N,8,1", "0,N,8,1", "57600,N,8,1.5", "57600,N,5,2"}) {
    Dcb dcb;
    ASSERT_TRUE(ParseCommMode(mode, dcb));
    termios tio{};
    tio.c_cflag = CS7;
    EXPECT_FALSE(DcbToTermios(dcb, tio)) << mode;
    EXPECT_EQ(tio.c_cflag, static_cast<tcflag_t>(CS7)) << mode;
  }
  Dcb dcb;
  ASSERT_TRUE(ParseCommMode("57600,N,8,1", dcb));
  termios tio{};
  dcb.ByteSize = 9;
  EXPECT_FALSE(DcbToTermios(dcb, tio));
  dcb.ByteSize = 8;
  dcb.Parity = 5;
  EXPECT_FALSE(DcbToTermios(dcb, tio));
  dcb.Parity = 0;
  dcb.StopBits = 3;
  EXPECT_FALSE(DcbToTermios(dcb, tio));
}

TEST(QueueSize, DefaultsAndSixteenBitWrapping) {
  EXPECT_EQ(QueueSizeFrom(std::nullopt, 1024), 1024);
  EXPECT_EQ(QueueSizeFrom(std::nan(""), 128), 128);
  EXPECT_EQ(QueueSizeFrom(16384, 1024), 16384);
  EXPECT_EQ(QueueSizeFrom(16384.9, 1024), 16384);
  EXPECT_EQ(QueueSizeFrom(65535, 1024), 65535);
  EXPECT_EQ(QueueSizeFrom(65536, 1024), 0);
  EXPECT_EQ(QueueSizeFrom(70000, 1024), 70000 - 65536);
  EXPECT_EQ(QueueSizeFrom(-1, 1024), 65535);
  EXPECT_EQ(QueueSizeFrom(-65536 - 2, 1024), 65534);
  EXPECT_EQ(QueueSizeFrom(1e300, 1024), 0);
  EXPECT_EQ(QueueSizeFrom(-std::numeric_limits<double>::infinity(), 1024), 0);
}

}  // namespace
}  // namespace talvi::serial
