// SPDX-License-Identifier: MIT
// The text of a private-profile (INI) file, read and edited in memory with
// the rules of the Windows profile functions. Lines that an edit does not
// concern keep their bytes and their line endings.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace talvi::fs {

class IniText {
 public:
  IniText() = default;
  // Takes the file's bytes: CRLF, LF and CR endings, a leading UTF-8 BOM.
  explicit IniText(std::string_view content);

  // The value of a key (blanks trimmed, one pair of matching quotes removed),
  // or nothing when the section or the key is absent. Names match without
  // regard to ASCII letter case; the first section and the first key win.
  std::optional<std::string> Value(std::string_view section, std::string_view key) const;
  // Section names in file order, each name once.
  std::vector<std::string> SectionNames() const;
  // Key names of the section in file order, each once; nothing when the
  // section is absent.
  std::optional<std::vector<std::string>> KeyNames(std::string_view section) const;

  // Replaces the key's value in place, or adds the key after the section's
  // last key, or adds the section at the end.
  void Set(std::string_view section, std::string_view key, std::string_view value);
  // Removes the key's line; the section header stays. False when absent.
  bool DeleteKey(std::string_view section, std::string_view key);
  // Removes the section header and all its lines. False when absent.
  bool DeleteSection(std::string_view section);

  // The file's bytes after the edits.
  std::string Content() const;

 private:
  struct Line {
    std::string text;
    std::string eol;  // "\r\n", "\n", "\r" or empty for a last line without one
  };
  struct Range {
    std::size_t header;  // index of the "[...]" line
    std::size_t end;     // one past the section's last line
  };

  std::optional<Range> FindSection(std::string_view section) const;
  std::optional<std::size_t> FindKey(const Range& range, std::string_view key) const;
  std::string DefaultEol() const;

  std::string bom_;
  std::vector<Line> lines_;
};

// False for names and values that the file could not hold as written and
// read back: a line break in any of them, a section name with "]", a key
// name that is empty or holds "=" or starts with ";" or "[" (after blanks
// are trimmed). Writing such an entry would add or change other lines.
bool IsStorableEntry(std::string_view section, const std::string* key, const std::string* value);

// Trims spaces and tabs at both ends.
std::string_view TrimBlanks(std::string_view text);
// Compares two names without regard to ASCII letter case.
bool SameName(std::string_view a, std::string_view b);

}  // namespace talvi::fs
