// SPDX-License-Identifier: MIT
#include "serial/line_posix.h"

#include <array>
#include <utility>

namespace talvi::serial {
namespace {

constexpr std::array<std::pair<std::uint32_t, speed_t>, 30> kSpeeds = {{
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
}};

bool IsDigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    char c = s[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != prefix[i]) return false;
  }
  return true;
}

}  // namespace

std::string DevicePath(std::string_view name) {
  if (name.find('\0') != std::string_view::npos) return {};
  if (name.starts_with("\\\\.\\")) name.remove_prefix(4);
  if (name.empty()) return {};
  std::string_view number = name.substr(std::min<std::size_t>(3, name.size()));
  if (StartsWithNoCase(name, "COM") && IsDigits(number) && number.size() <= 9) {
    unsigned long n = std::stoul(std::string(number));
    if (n >= 1) return "/dev/ttyS" + std::to_string(n - 1);
  }
  if (name.front() == '/') return std::string(name);
  return "/dev/" + std::string(name);
}

speed_t SpeedFor(std::uint32_t baud) {
  for (const auto& [rate, speed] : kSpeeds) {
    if (rate == baud) return speed;
  }
  return B0;
}

bool DcbToTermios(const Dcb& dcb, termios& tio) {
  const speed_t speed = SpeedFor(dcb.BaudRate);
  if (speed == B0) return false;

  tcflag_t size = 0;
  switch (dcb.ByteSize) {
    case 5: size = CS5; break;
    case 6: size = CS6; break;
    case 7: size = CS7; break;
    case 8: size = CS8; break;
    default: return false;
  }

  tcflag_t parity = 0;
  switch (dcb.Parity) {
    case kNoParity: break;
    case kOddParity: parity = PARENB | PARODD; break;
    case kEvenParity: parity = PARENB; break;
    case kMarkParity: parity = PARENB | CMSPAR | PARODD; break;
    case kSpaceParity: parity = PARENB | CMSPAR; break;
    default: return false;
  }

  tcflag_t stop = 0;
  switch (dcb.StopBits) {
    case kOneStopBit: break;
    // One and a half stop bits exist only with 5 data bits, where CSTOPB
    // gives exactly that.
    case kOne5StopBits:
      if (dcb.ByteSize != 5) return false;
      stop = CSTOPB;
      break;
    case kTwoStopBits:
      if (dcb.ByteSize == 5) return false;
      stop = CSTOPB;
      break;
    default: return false;
  }

  termios t = tio;
  cfmakeraw(&t);
  t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  t.c_cflag |= size | parity | stop | CLOCAL | CREAD;
  if (dcb.Flag(Dcb::fOutxCtsFlow) || dcb.RtsControl() == kRtsHandshake) t.c_cflag |= CRTSCTS;
  t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
  if (dcb.Flag(Dcb::fOutX)) t.c_iflag |= IXON;
  if (dcb.Flag(Dcb::fInX)) t.c_iflag |= IXOFF;
  const bool defaultChars = dcb.XonChar == 0 && dcb.XoffChar == 0;
  t.c_cc[VSTART] = static_cast<cc_t>(defaultChars ? 0x11 : dcb.XonChar);
  t.c_cc[VSTOP] = static_cast<cc_t>(defaultChars ? 0x13 : dcb.XoffChar);
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  if (cfsetispeed(&t, speed) != 0 || cfsetospeed(&t, speed) != 0) return false;
  tio = t;
  return true;
}

}  // namespace talvi::serial
