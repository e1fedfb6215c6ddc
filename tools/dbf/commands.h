// SPDX-License-Identifier: MIT
// The verbs of talvi-dbf. Each gives the process exit code.
#pragma once

#include <ostream>
#include <string>

namespace talvi::dbf::tool {

int Info(const std::string& table, std::ostream& out);
int Dump(const std::string& table, std::ostream& out);
int Check(const std::string& table, std::ostream& out);
int Load(const std::string& table, const std::string& fields, const std::string& csv,
         std::ostream& out);

}  // namespace talvi::dbf::tool
