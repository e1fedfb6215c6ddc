// SPDX-License-Identifier: MIT
// Mode strings into line-settings records, as the system's parser does it.
#include "serial/mode.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "serial/dcb.h"
#include "serial/serial.h"
#include "support/platform.h"

namespace talvi::serial {
namespace {

std::string Hex(const std::string& bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  for (char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    out += digits[byte >> 4];
    out += digits[byte & 15];
  }
  return out;
}

TEST(BuildCommDcb, GivesTheExactRecordForTheProgramsLine) {
  std::string dcb = "old";
  ASSERT_TRUE(BUILDCOMMDCB("57600,N,8,1", dcb));
  EXPECT_EQ(Hex(dcb), std::string("1C000000") + "00E10000" + "10100000" + "0000" + "0000" + "0000" +
                          "08" + "00" + "00" + "00" + "00" + "00" + "00" + "00" + "0000");
}

TEST(BuildCommDcb, GarbageGivesFalseAndTheEmptyString) {
  using namespace std::string_literals;
  // clang-format off
  std::vector<std::string> modes = {"hello", "57600", "57600,N", "57600,N,8", " 57600,N,8,1",
      "57600,N,8,1,x,", "57600;N,8,1", "57600,N,8,1\t", "-1,N,8,1", "57600x,N,8,1", "0x100,N,8,1",
      "57600,NO,8,1", "57600,,8,1", "57600,Q,8,1", "57600,N,4,1", "57600,N,9,1",
      "57600,N,8,0", "57600,N,8,3", "57600,N,8,1.0", "57600,N,8,15", "57600,N,8,1,z",
      "baud=9600,parity=n", "baud = 9600", "bogus=1", "baud=9600 57600,N,8,1", "baud=", "dtr=tg",
      "rts=maybe", "to=yes"};
  // clang-format on
  modes.push_back("57600,N,8,1\0"s);
  modes.push_back("\0"s);
  for (const std::string& mode : modes) {
    std::string dcb = "previous contents";
    EXPECT_FALSE(BUILDCOMMDCB(mode, dcb)) << '"' << mode << '"';
    EXPECT_EQ(dcb, "") << '"' << mode << '"';
  }
}

TEST(BuildCommDcb, EmptyModeAndBaudBeyond32BitsFail) {
  if (talvi::testing::UnderWine()) {
    GTEST_SKIP() << "Wine's BuildCommDCBA accepts \"\" and takes 4294967296 as 0xFFFFFFFF baud";
  }
  for (const char* mode : {"", "4294967296,N,8,1"}) {
    std::string dcb = "previous contents";
    EXPECT_FALSE(BUILDCOMMDCB(mode, dcb)) << '"' << mode << '"';
    EXPECT_EQ(dcb, "") << '"' << mode << '"';
  }
}

struct Expected {
  const char* mode;
  std::uint32_t baud;
  std::uint8_t parity, data, stop;
  std::uint32_t flags;  // from a zero-filled record
};

// flags: 0x1010 DTR and RTS enabled; 0x1310 plus XON/XOFF; 0x202C
// CTS/DSR flow with DTR and RTS handshake.
TEST(BuildCommDcb, ShortAndKeywordForms) {
  const Expected table[] = {
      {"57600,N,8,1", 57600, 0, 8, 0, 0x1010},
      {"9600,e,7,2", 9600, 2, 7, 2, 0x1010},
      {"96,O,8,1", 9600, 1, 8, 0, 0x1010},
      {"11,m,5,1.5", 110, 3, 5, 1, 0x1010},
      {"19,S,6,1", 19200, 4, 6, 0, 0x1010},
      {"30,N,8,1", 300, 0, 8, 0, 0x1010},
      {"60,N,8,1", 600, 0, 8, 0, 0x1010},
      {"12,N,8,1", 1200, 0, 8, 0, 0x1010},
      {"24,N,8,1", 2400, 0, 8, 0, 0x1010},
      {"48,N,8,1", 4800, 0, 8, 0, 0x1010},
      {"57,N,8,1", 57, 0, 8, 0, 0x1010},
      {"0,N,8,1", 0, 0, 8, 0, 0x1010},
      {"4000000000,N,8,1", 4000000000U, 0, 8, 0, 0x1010},
      {"0057600,N,8,1", 57600, 0, 8, 0, 0x1010},
      {"57600 , N ,8, 1  ", 57600, 0, 8, 0, 0x1010},
      {"57600,N,8,1,", 57600, 0, 8, 0, 0x1010},
      {"57600,N,8,1,x", 57600, 0, 8, 0, 0x1310},
      {"57600,N,8,1,p", 57600, 0, 8, 0, 0x202C},
      {"COM1:57600,N,8,1", 57600, 0, 8, 0, 0x1010},
      {"com12 : 9600,N,8,1", 9600, 0, 8, 0, 0x1010},
      // Keyword form: only the named fields change.
      {"baud=96 parity=e data=7 stop=2", 96, 2, 7, 2, 0},
      {"BAUD=110", 110, 0, 0, 2, 0},
      {"baud=9600", 9600, 0, 0, 0, 0},
      {"parity=O data=8", 0, 1, 8, 0, 0},
      {"xon=on dtr=hs rts=tg", 0, 0, 0, 0, 0x3320},
      {"odsr=on octs=on idsr=on dtr=off rts=hs to=off", 0, 0, 0, 0, 0x204C},
      {"com2: baud=19200 stop=1.5", 19200, 0, 0, 1, 0},
  };
  for (const Expected& e : table) {
    Dcb dcb;
    ASSERT_TRUE(ParseCommMode(e.mode, dcb)) << e.mode;
    EXPECT_EQ(dcb.BaudRate, e.baud) << e.mode;
    EXPECT_EQ(dcb.Parity, e.parity) << e.mode;
    EXPECT_EQ(dcb.ByteSize, e.data) << e.mode;
    EXPECT_EQ(dcb.StopBits, e.stop) << e.mode;
    EXPECT_EQ(dcb.flags, e.flags) << e.mode;
    EXPECT_EQ(dcb.DCBlength, 28U) << e.mode;
  }
}

TEST(BuildCommDcb, KeepsUnnamedFieldsAndLeavesTheRecordAloneOnFailure) {
  Dcb dcb;
  dcb.XonChar = 0x11;
  dcb.flags = 1U << Dcb::fBinary | 1U << Dcb::fAbortOnError;
  ASSERT_TRUE(ParseCommMode("9600,N,8,1,x", dcb));
  EXPECT_EQ(dcb.XonChar, 0x11);
  EXPECT_TRUE(dcb.Flag(Dcb::fBinary));
  EXPECT_TRUE(dcb.Flag(Dcb::fAbortOnError));
  ASSERT_TRUE(ParseCommMode("9600,N,8,1", dcb));
  EXPECT_FALSE(dcb.Flag(Dcb::fOutX));  // the short form switches XON/XOFF off again

  const Dcb before = dcb;
  EXPECT_FALSE(ParseCommMode("baud=1200 parity=x", dcb));
  EXPECT_EQ(EncodeDcb(dcb), EncodeDcb(before));
}

TEST(BuildCommDcb, AnyBytesGiveAResult) {
  std::mt19937 random(20261208);
  using namespace std::string_literals;
  const std::string alphabet = "0123456789,.=: NnOoEeMmSsXxPpCOMbaudtyprsx\t;\0\xFF"s;
  for (int i = 0; i < 20000; ++i) {
    std::string mode(random() % 24, '\0');
    for (char& c : mode) {
      c = (i % 2 == 0) ? alphabet[random() % alphabet.size()] : static_cast<char>(random());
    }
    std::string dcb = "x";
    const bool ok = BUILDCOMMDCB(mode, dcb);
    EXPECT_EQ(dcb.size(), ok ? 28U : 0U);
    if (ok) {
      EXPECT_EQ(mode.find('\0'), std::string::npos);
    }
  }
}

}  // namespace
}  // namespace talvi::serial
