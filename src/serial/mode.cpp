// SPDX-License-Identifier: MIT
#include "serial/mode.h"

#include <cstdint>
#include <optional>
#include <vector>

#include "base/ascii.h"

namespace talvi::serial {
namespace {

using base::EqualsNoCase;

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

// An unsigned decimal number that fits in 32 bits (leading zeros allowed).
std::optional<std::uint32_t> ParseNumber(std::string_view s) {
  if (s.empty()) return std::nullopt;
  std::uint64_t v = 0;
  for (char c : s) {
    if (!IsDigit(c)) return std::nullopt;
    v = v * 10 + static_cast<std::uint64_t>(c - '0');
    if (v > UINT32_MAX) return std::nullopt;
  }
  return static_cast<std::uint32_t>(v);
}

std::optional<std::uint8_t> ParseParity(std::string_view s) {
  if (s.size() != 1) return std::nullopt;
  switch (base::AsciiLower(s[0])) {
    case 'n': return kNoParity;
    case 'o': return kOddParity;
    case 'e': return kEvenParity;
    case 'm': return kMarkParity;
    case 's': return kSpaceParity;
    default: return std::nullopt;
  }
}

std::optional<std::uint8_t> ParseDataBits(std::string_view s) {
  auto v = ParseNumber(s);
  if (!v || *v < 5 || *v > 8) return std::nullopt;
  return static_cast<std::uint8_t>(*v);
}

std::optional<std::uint8_t> ParseStopBits(std::string_view s) {
  if (s == "1") return kOneStopBit;
  if (s == "1.5") return kOne5StopBits;
  if (s == "2") return kTwoStopBits;
  return std::nullopt;
}

// The two-digit shorthands of the short form: 96 is 9600 and so on.
std::uint32_t ExpandBaud(std::uint32_t baud) {
  switch (baud) {
    case 11: return 110;
    case 30: return 300;
    case 60: return 600;
    case 12: return 1200;
    case 24: return 2400;
    case 48: return 4800;
    case 96: return 9600;
    case 19: return 19200;
    default: return baud;
  }
}

// Skips "COMn:" (any case, blanks around the colon); leaves `s` as it is
// when it does not start with such a prefix.
void SkipPortPrefix(std::string_view& s) {
  if (s.size() < 4 || !EqualsNoCase(s.substr(0, 3), "com") || !IsDigit(s[3])) return;
  std::size_t i = 3;
  while (i < s.size() && IsDigit(s[i])) ++i;
  std::size_t j = i;
  while (j < s.size() && s[j] == ' ') ++j;
  if (j >= s.size() || s[j] != ':') return;
  ++j;
  while (j < s.size() && s[j] == ' ') ++j;
  s.remove_prefix(j);
}

std::vector<std::string_view> Split(std::string_view s, char sep) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (;;) {
    std::size_t pos = s.find(sep, start);
    if (pos == std::string_view::npos) {
      parts.push_back(s.substr(start));
      return parts;
    }
    parts.push_back(s.substr(start, pos - start));
    start = pos + 1;
  }
}

bool ParseShortForm(std::string_view s, Dcb& dcb) {
  if (!s.empty() && s.front() == ' ') return false;
  std::vector<std::string_view> fields = Split(s, ',');
  if (fields.size() < 4 || fields.size() > 5) return false;
  for (auto& f : fields) f = TrimBlanks(f);

  auto baud = ParseNumber(fields[0]);
  auto parity = ParseParity(fields[1]);
  auto data = ParseDataBits(fields[2]);
  auto stop = ParseStopBits(fields[3]);
  if (!baud || !parity || !data || !stop) return false;
  std::string_view flow = fields.size() == 5 ? fields[4] : std::string_view();
  if (!flow.empty() && !EqualsNoCase(flow, "x") && !EqualsNoCase(flow, "p")) return false;

  dcb.BaudRate = ExpandBaud(*baud);
  dcb.Parity = *parity;
  dcb.ByteSize = *data;
  dcb.StopBits = *stop;
  const bool xon = EqualsNoCase(flow, "x");
  const bool hardware = EqualsNoCase(flow, "p");
  dcb.SetFlag(Dcb::fOutX, xon);
  dcb.SetFlag(Dcb::fInX, xon);
  dcb.SetFlag(Dcb::fOutxCtsFlow, hardware);
  dcb.SetFlag(Dcb::fOutxDsrFlow, hardware);
  dcb.SetDtrControl(hardware ? kDtrHandshake : kDtrEnable);
  dcb.SetRtsControl(hardware ? kRtsHandshake : kRtsEnable);
  return true;
}

std::optional<bool> ParseOnOff(std::string_view v) {
  if (EqualsNoCase(v, "on")) return true;
  if (EqualsNoCase(v, "off")) return false;
  return std::nullopt;
}

bool ParseKeywordForm(std::string_view s, Dcb& dcb) {
  Dcb out = dcb;
  bool stopGiven = false;
  bool anyKeyword = false;
  for (std::string_view token : Split(s, ' ')) {
    if (token.empty()) continue;
    std::size_t eq = token.find('=');
    if (eq == std::string_view::npos) return false;
    std::string_view key = token.substr(0, eq);
    std::string_view value = token.substr(eq + 1);
    anyKeyword = true;
    if (EqualsNoCase(key, "baud")) {
      auto v = ParseNumber(value);
      if (!v) return false;
      out.BaudRate = *v;
    } else if (EqualsNoCase(key, "parity")) {
      auto v = ParseParity(value);
      if (!v) return false;
      out.Parity = *v;
    } else if (EqualsNoCase(key, "data")) {
      auto v = ParseDataBits(value);
      if (!v) return false;
      out.ByteSize = *v;
    } else if (EqualsNoCase(key, "stop")) {
      auto v = ParseStopBits(value);
      if (!v) return false;
      out.StopBits = *v;
      stopGiven = true;
    } else if (EqualsNoCase(key, "to")) {
      // Time-outs live outside the record: checked, then nothing to store.
      if (!ParseOnOff(value)) return false;
    } else if (EqualsNoCase(key, "xon")) {
      auto v = ParseOnOff(value);
      if (!v) return false;
      out.SetFlag(Dcb::fOutX, *v);
      out.SetFlag(Dcb::fInX, *v);
    } else if (EqualsNoCase(key, "odsr")) {
      auto v = ParseOnOff(value);
      if (!v) return false;
      out.SetFlag(Dcb::fOutxDsrFlow, *v);
    } else if (EqualsNoCase(key, "octs")) {
      auto v = ParseOnOff(value);
      if (!v) return false;
      out.SetFlag(Dcb::fOutxCtsFlow, *v);
    } else if (EqualsNoCase(key, "idsr")) {
      auto v = ParseOnOff(value);
      if (!v) return false;
      out.SetFlag(Dcb::fDsrSensitivity, *v);
    } else if (EqualsNoCase(key, "dtr")) {
      if (EqualsNoCase(value, "hs")) {
        out.SetDtrControl(kDtrHandshake);
      } else if (auto v = ParseOnOff(value)) {
        out.SetDtrControl(*v ? kDtrEnable : kDtrDisable);
      } else {
        return false;
      }
    } else if (EqualsNoCase(key, "rts")) {
      if (EqualsNoCase(value, "hs")) {
        out.SetRtsControl(kRtsHandshake);
      } else if (EqualsNoCase(value, "tg")) {
        out.SetRtsControl(kRtsToggle);
      } else if (auto v = ParseOnOff(value)) {
        out.SetRtsControl(*v ? kRtsEnable : kRtsDisable);
      } else {
        return false;
      }
    } else {
      return false;
    }
  }
  if (!anyKeyword) return false;
  if (!stopGiven) out.StopBits = out.BaudRate == 110 ? kTwoStopBits : kOneStopBit;
  dcb = out;
  return true;
}

}  // namespace

bool ParseCommMode(std::string_view mode, Dcb& dcb) {
  // Zero bytes, tabs and semicolons never belong to a mode string.
  if (mode.find_first_of(std::string_view("\0\t;", 3)) != std::string_view::npos) return false;
  SkipPortPrefix(mode);
  if (mode.find('=') != std::string_view::npos) {
    return mode.find(',') == std::string_view::npos && ParseKeywordForm(mode, dcb);
  }
  return ParseShortForm(mode, dcb);
}

}  // namespace talvi::serial
