// SPDX-License-Identifier: MIT
// The 28-byte line-settings record (the system's DCB) and its little-endian
// byte layout, so that the record can travel as a byte string and be built
// and read on any system.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace talvi::serial {

inline constexpr std::size_t kDcbSize = 28;

// Values of the DTR and RTS control fields.
inline constexpr unsigned kDtrDisable = 0, kDtrEnable = 1, kDtrHandshake = 2;
inline constexpr unsigned kRtsDisable = 0, kRtsEnable = 1, kRtsHandshake = 2, kRtsToggle = 3;
// Parity and stop-bit codes.
inline constexpr std::uint8_t kNoParity = 0, kOddParity = 1, kEvenParity = 2, kMarkParity = 3,
                              kSpaceParity = 4;
inline constexpr std::uint8_t kOneStopBit = 0, kOne5StopBits = 1, kTwoStopBits = 2;

struct Dcb {
  std::uint32_t DCBlength = kDcbSize;
  std::uint32_t BaudRate = 0;
  std::uint32_t flags = 0;  // the packed bit fields; use the accessors below
  std::uint16_t wReserved = 0;
  std::uint16_t XonLim = 0;
  std::uint16_t XoffLim = 0;
  std::uint8_t ByteSize = 0;
  std::uint8_t Parity = 0;
  std::uint8_t StopBits = 0;
  std::uint8_t XonChar = 0;
  std::uint8_t XoffChar = 0;
  std::uint8_t ErrorChar = 0;
  std::uint8_t EofChar = 0;
  std::uint8_t EvtChar = 0;
  std::uint16_t wReserved1 = 0;

  // Bit positions of the packed fields.
  enum Bit : unsigned {
    fBinary = 0,
    fParity = 1,
    fOutxCtsFlow = 2,
    fOutxDsrFlow = 3,
    fDtrControl = 4,  // two bits
    fDsrSensitivity = 6,
    fTXContinueOnXoff = 7,
    fOutX = 8,
    fInX = 9,
    fErrorChar = 10,
    fNull = 11,
    fRtsControl = 12,  // two bits
    fAbortOnError = 14,
  };

  bool Flag(Bit bit) const { return ((flags >> bit) & 1U) != 0; }
  void SetFlag(Bit bit, bool on) { flags = on ? (flags | (1U << bit)) : (flags & ~(1U << bit)); }
  unsigned DtrControl() const { return (flags >> fDtrControl) & 3U; }
  unsigned RtsControl() const { return (flags >> fRtsControl) & 3U; }
  void SetDtrControl(unsigned v) {
    flags = (flags & ~(3U << fDtrControl)) | ((v & 3U) << fDtrControl);
  }
  void SetRtsControl(unsigned v) {
    flags = (flags & ~(3U << fRtsControl)) | ((v & 3U) << fRtsControl);
  }
};

// The record as its 28 little-endian bytes.
std::string EncodeDcb(const Dcb& dcb);
// The record from exactly 28 bytes; nothing for any other length.
std::optional<Dcb> DecodeDcb(std::string_view bytes);

}  // namespace talvi::serial
