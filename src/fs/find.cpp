// SPDX-License-Identifier: MIT
#include "fs/find.h"

#include "os/find.h"
#include "os/find_data.h"
#include "os/path.h"

namespace talvi::fs {
namespace {

void Fill(std::string& buffer, const os::FindData& data) {
  if (buffer.size() < os::kFindDataSize) buffer.resize(os::kFindDataSize, '\0');
  buffer.replace(0, os::kFindDataSize, os::EncodeFindData(data));
}

std::string Field(const std::string& buffer, std::size_t offset, std::size_t size) {
  return offset < buffer.size() ? buffer.substr(offset, size) : std::string();
}

std::string Text(const std::string& buffer, std::size_t offset, std::size_t size) {
  const std::string field = Field(buffer, offset, size);
  return field.substr(0, field.find('\0'));
}

}  // namespace

Win32FindData::Win32FindData() : cBuffer(os::kFindDataSize, '\0') {}

std::uint32_t Win32FindData::nFileAttr() const {
  return os::ReadU32(cBuffer, os::kFindAttrOffset);
}
std::string Win32FindData::cCreatTime() const {
  return Field(cBuffer, os::kFindCreationOffset, 8);
}
std::string Win32FindData::cLastATime() const {
  return Field(cBuffer, os::kFindAccessOffset, 8);
}
std::string Win32FindData::cLastWTime() const {
  return Field(cBuffer, os::kFindWriteOffset, 8);
}
std::uint32_t Win32FindData::nFileSizeH() const {
  return os::ReadU32(cBuffer, os::kFindSizeHighOffset);
}
std::uint32_t Win32FindData::nFileSizeL() const {
  return os::ReadU32(cBuffer, os::kFindSizeLowOffset);
}
std::uint32_t Win32FindData::nReserved0() const {
  return os::ReadU32(cBuffer, os::kFindReserved0Offset);
}
std::uint32_t Win32FindData::nReserved1() const {
  return os::ReadU32(cBuffer, os::kFindReserved1Offset);
}
std::string Win32FindData::cFileName() const {
  return Text(cBuffer, os::kFindNameOffset, os::kFindNameSize);
}
std::string Win32FindData::cShortName() const {
  return Text(cBuffer, os::kFindShortNameOffset, os::kFindShortNameSize);
}

Win32FindData OWIN32FINDDATA() {
  return Win32FindData();
}

std::int64_t FINDFIRSTFILE(const std::string& pattern, std::string& buffer) {
  os::FindData data;
  const os::FindHandle h = os::FindFirstEntry(os::NativePath(pattern), data);
  if (h == os::kInvalidFind) return -1;
  Fill(buffer, data);
  return static_cast<std::int64_t>(h);
}

bool FINDNEXTFILE(std::int64_t handle, std::string& buffer) {
  os::FindData data;
  if (!os::FindNextEntry(static_cast<os::FindHandle>(handle), data)) return false;
  Fill(buffer, data);
  return true;
}

bool FINDCLOSE(std::int64_t handle) {
  return os::FindCloseSearch(static_cast<os::FindHandle>(handle));
}

}  // namespace talvi::fs
