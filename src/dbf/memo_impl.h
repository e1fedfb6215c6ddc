// SPDX-License-Identifier: MIT
// The memo file kinds behind MemoFile.
#pragma once

#include <memory>
#include <string>

#include "dbf/memo.h"

namespace talvi::dbf {

std::unique_ptr<MemoFile> OpenDbt(std::unique_ptr<os::SharedFile> file, bool dbase4,
                                  std::string& why);
std::unique_ptr<MemoFile> OpenFpt(std::unique_ptr<os::SharedFile> file, std::string& why);
std::string NewDbtHeader();
std::string NewFptHeader();

// Big- and little-endian helpers shared by the memo readers.
std::uint32_t LoadBe32(const char* p);
std::uint32_t LoadLe32(const char* p);
void StoreBe32(char* p, std::uint32_t v);
void StoreLe32(char* p, std::uint32_t v);

}  // namespace talvi::dbf
