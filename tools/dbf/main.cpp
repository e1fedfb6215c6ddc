// SPDX-License-Identifier: MIT
// talvi-dbf: the command-line tool beside the table engine.
//
//   talvi-dbf info TABLE                 version, date, counts, lengths, fields
//   talvi-dbf dump TABLE                 the records as CSV (RFC 4180)
//   talvi-dbf check TABLE [INDEX...]     header, size, count and memo chains, and
//                                        every order (structural CDX and INDEX files)
//   talvi-dbf tags INDEX                 the tags of an index file (CDX or NTX)
//   talvi-dbf keys INDEX [TAG]           keys in order with their record numbers
//   talvi-dbf load TABLE FIELDS CSV      a new table from a field list and CSV
//
// Exit codes: 0 done (check: consistent), 1 inconsistent or bad input,
// 2 the table cannot be opened or written, 64 usage.
#include <algorithm>
#include <iostream>
#include <string>

#include "dbf/codes.h"
#include "dbf/commands.h"
#include "dbf/settings.h"
#include "errors/error.h"

namespace {

int Usage() {
  std::cerr << "usage: talvi-dbf info TABLE\n"
               "       talvi-dbf dump TABLE\n"
               "       talvi-dbf check TABLE [INDEX...]\n"
               "       talvi-dbf tags INDEX\n"
               "       talvi-dbf keys INDEX [TAG]\n"
               "       talvi-dbf load TABLE FIELDS CSV   (FIELDS like "
               "NAME,C,10;QTY,N,8,2;DAY,D;OK,L;NOTE,M)\n";
  return 64;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace talvi;
  // Names are used as typed (the library's upper-case rule is for its own
  // programs); a companion file is still found whatever its letter case.
  dbf::Engine().file_case = dbf::NameCase::kMixed;
  errors::SetHandler([](const errors::Error& e) {
    std::cerr << "talvi-dbf: " << (e.DESCRIPTION ? *e.DESCRIPTION : "error") << " (" << e.GENCODE
              << "/" << e.SUBCODE.value_or(0);
    if (e.OSCODE != 0) std::cerr << ", system error " << e.OSCODE;
    std::cerr << ")";
    if (!e.FILENAME.empty()) std::cerr << ": " << e.FILENAME;
    std::cerr << "\n";
    return errors::Answer::Default();
  });
  if (argc < 3) return Usage();
  const std::string verb = argv[1];
  const std::string table = argv[2];
  if (verb == "info" && argc == 3) return dbf::tool::Info(table, std::cout);
  if (verb == "dump" && argc == 3) return dbf::tool::Dump(table, std::cout);
  if (verb == "check") {
    const int tableStatus = dbf::tool::Check(table, std::cout);
    if (tableStatus == 2) return 2;
    const int orderStatus =
        dbf::tool::CheckOrders(table, std::vector<std::string>(argv + 3, argv + argc), std::cout);
    return std::max(tableStatus, orderStatus);
  }
  if (verb == "tags" && argc == 3) return dbf::tool::Tags(table, std::cout);
  if (verb == "keys" && (argc == 3 || argc == 4)) {
    return dbf::tool::Keys(table, argc == 4 ? argv[3] : "", std::cout);
  }
  if (verb == "load" && argc == 5) return dbf::tool::Load(table, argv[3], argv[4], std::cout);
  return Usage();
}
