// SPDX-License-Identifier: MIT
#include "fs/ini_text.h"

#include "base/ascii.h"

namespace talvi::fs {
namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

// A section header: "[name]" after optional blanks. The name runs to the
// first "]" (or to the end of the line when there is none).
std::optional<std::string_view> HeaderName(std::string_view line) {
  std::string_view t = TrimBlanks(line);
  if (t.empty() || t.front() != '[') return std::nullopt;
  t.remove_prefix(1);
  const std::size_t close = t.find(']');
  if (close != std::string_view::npos) t = t.substr(0, close);
  return TrimBlanks(t);
}

struct KeyLine {
  std::string_view key;
  std::string_view value;
};

// A key line holds "=" and does not start with ";" (a comment) or "[".
std::optional<KeyLine> ParseKeyLine(std::string_view line) {
  const std::string_view t = TrimBlanks(line);
  if (t.empty() || t.front() == ';' || t.front() == '[') return std::nullopt;
  const std::size_t eq = t.find('=');
  if (eq == std::string_view::npos) return std::nullopt;
  KeyLine kl{TrimBlanks(t.substr(0, eq)), TrimBlanks(t.substr(eq + 1))};
  if (kl.key.empty()) return std::nullopt;
  return kl;
}

std::string Unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return std::string(value);
}

}  // namespace

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool IsStorableEntry(std::string_view section, const std::string* key, const std::string* value) {
  auto has_break = [](std::string_view t) {
    return t.find_first_of("\r\n") != std::string_view::npos;
  };
  if (has_break(section) || section.find(']') != std::string_view::npos) return false;
  if (key != nullptr) {
    const std::string_view k = TrimBlanks(*key);
    if (has_break(k) || k.empty() || k.find('=') != std::string_view::npos || k.front() == ';' ||
        k.front() == '[') {
      return false;
    }
  }
  return value == nullptr || !has_break(*value);
}

bool SameName(std::string_view a, std::string_view b) {
  return base::EqualsNoCase(a, b);
}

IniText::IniText(std::string_view content) {
  if (content.substr(0, kBom.size()) == kBom) {
    bom_ = kBom;
    content.remove_prefix(kBom.size());
  }
  while (!content.empty()) {
    const std::size_t end = content.find_first_of("\r\n");
    if (end == std::string_view::npos) {
      lines_.push_back({std::string(content), ""});
      break;
    }
    std::size_t eol_len = 1;
    if (content[end] == '\r' && end + 1 < content.size() && content[end + 1] == '\n') eol_len = 2;
    lines_.push_back(
        {std::string(content.substr(0, end)), std::string(content.substr(end, eol_len))});
    content.remove_prefix(end + eol_len);
  }
}

std::optional<IniText::Range> IniText::FindSection(std::string_view section) const {
  section = TrimBlanks(section);
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    const auto name = HeaderName(lines_[i].text);
    if (!name || !SameName(*name, section)) continue;
    std::size_t end = i + 1;
    while (end < lines_.size() && !HeaderName(lines_[end].text)) ++end;
    return Range{i, end};
  }
  return std::nullopt;
}

std::optional<std::size_t> IniText::FindKey(const Range& range, std::string_view key) const {
  key = TrimBlanks(key);
  for (std::size_t i = range.header + 1; i < range.end; ++i) {
    const auto kl = ParseKeyLine(lines_[i].text);
    if (kl && SameName(kl->key, key)) return i;
  }
  return std::nullopt;
}

std::optional<std::string> IniText::Value(std::string_view section, std::string_view key) const {
  const auto range = FindSection(section);
  if (!range) return std::nullopt;
  const auto index = FindKey(*range, key);
  if (!index) return std::nullopt;
  return Unquote(ParseKeyLine(lines_[*index].text)->value);
}

std::vector<std::string> IniText::SectionNames() const {
  std::vector<std::string> names;
  for (const Line& line : lines_) {
    const auto name = HeaderName(line.text);
    if (!name) continue;
    bool seen = false;
    for (const std::string& n : names) seen = seen || SameName(n, *name);
    if (!seen) names.emplace_back(*name);
  }
  return names;
}

std::optional<std::vector<std::string>> IniText::KeyNames(std::string_view section) const {
  const auto range = FindSection(section);
  if (!range) return std::nullopt;
  std::vector<std::string> names;
  for (std::size_t i = range->header + 1; i < range->end; ++i) {
    const auto kl = ParseKeyLine(lines_[i].text);
    if (!kl) continue;
    bool seen = false;
    for (const std::string& n : names) seen = seen || SameName(n, kl->key);
    if (!seen) names.emplace_back(kl->key);
  }
  return names;
}

std::string IniText::DefaultEol() const {
  for (const Line& line : lines_) {
    if (!line.eol.empty()) return line.eol;
  }
  return "\r\n";
}

void IniText::Set(std::string_view section, std::string_view key, std::string_view value) {
  section = TrimBlanks(section);
  key = TrimBlanks(key);
  const std::string eol = DefaultEol();
  const auto range = FindSection(section);
  if (!range) {
    if (!lines_.empty() && lines_.back().eol.empty()) lines_.back().eol = eol;
    lines_.push_back({"[" + std::string(section) + "]", eol});
    lines_.push_back({std::string(key) + "=" + std::string(value), eol});
    return;
  }
  if (const auto index = FindKey(*range, key)) {
    Line& line = lines_[*index];
    line.text = std::string(ParseKeyLine(line.text)->key) + "=" + std::string(value);
    return;
  }
  std::size_t after = range->header;
  for (std::size_t i = range->header + 1; i < range->end; ++i) {
    if (ParseKeyLine(lines_[i].text)) after = i;
  }
  if (lines_[after].eol.empty()) lines_[after].eol = eol;
  const std::string new_eol = lines_[after].eol;
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(after + 1),
                Line{std::string(key) + "=" + std::string(value), new_eol});
}

bool IniText::DeleteKey(std::string_view section, std::string_view key) {
  const auto range = FindSection(section);
  if (!range) return false;
  const auto index = FindKey(*range, key);
  if (!index) return false;
  lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(*index));
  return true;
}

bool IniText::DeleteSection(std::string_view section) {
  const auto range = FindSection(section);
  if (!range) return false;
  lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(range->header),
               lines_.begin() + static_cast<std::ptrdiff_t>(range->end));
  return true;
}

std::string IniText::Content() const {
  std::string out = bom_;
  for (const Line& line : lines_) {
    out += line.text;
    out += line.eol;
  }
  return out;
}

}  // namespace talvi::fs
