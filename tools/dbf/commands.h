// SPDX-License-Identifier: MIT
// The verbs of talvi-dbf. Each gives the process exit code.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace talvi::dbf::tool {

int Info(const std::string& table, std::ostream& out);
int Dump(const std::string& table, std::ostream& out);
int Check(const std::string& table, std::ostream& out);
// Index files: their tags, and the keys of one tag (or of every tag).
int Tags(const std::string& index, std::ostream& out);
int Keys(const std::string& index, const std::string& tag, std::ostream& out);
// Every order of the table (its structural index and `indexes`) against
// its records.
int CheckOrders(const std::string& table, const std::vector<std::string>& indexes,
                std::ostream& out);
int Load(const std::string& table, const std::string& fields, const std::string& csv,
         std::ostream& out);

}  // namespace talvi::dbf::tool
