// SPDX-License-Identifier: MIT
// Comma-separated values as RFC 4180 describes them: fields separated by
// commas, records ended by CR LF (a lone LF is accepted on input), fields
// holding a comma, a quote or a line break enclosed in quotes with quotes
// doubled. Bytes pass unchanged.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace talvi::dbf {

// One record, with its CR LF.
std::string CsvLine(const std::vector<std::string>& fields);

// Reads the records of `text`. False with the 1-based line of the fault in
// `line` when a quoted field is not closed or a quote stands inside an
// unquoted field.
bool ParseCsv(std::string_view text, std::vector<std::vector<std::string>>& rows,
              std::size_t& line);

}  // namespace talvi::dbf
