// SPDX-License-Identifier: MIT
// Directory searches that fill the 318-byte find-data record.
#pragma once

#include <cstdint>
#include <string>

namespace talvi::fs {

// A find-data record: its bytes (`cBuffer`, handed to FINDFIRSTFILE and
// FINDNEXTFILE) and the members read from them.
class Win32FindData {
 public:
  Win32FindData();

  std::string cBuffer;

  std::uint32_t nFileAttr() const;
  std::string cCreatTime() const;  // 8 raw bytes
  std::string cLastATime() const;
  std::string cLastWTime() const;
  std::uint32_t nFileSizeH() const;
  std::uint32_t nFileSizeL() const;
  std::uint32_t nReserved0() const;
  std::uint32_t nReserved1() const;
  std::string cFileName() const;   // up to its terminating zero
  std::string cShortName() const;  // up to its terminating zero
};

// A new, zero-filled record.
Win32FindData OWIN32FINDDATA();

// Starts a search ("C:\DIR\*.TXT", "*.*") and fills the buffer with the
// first match: the search handle, or -1 when nothing matches. A buffer
// shorter than the record is first lengthened to 318 bytes.
std::int64_t FINDFIRSTFILE(const std::string& pattern, std::string& buffer);
// Fills the buffer with the next match; false at the end.
bool FINDNEXTFILE(std::int64_t handle, std::string& buffer);
bool FINDCLOSE(std::int64_t handle);

}  // namespace talvi::fs
