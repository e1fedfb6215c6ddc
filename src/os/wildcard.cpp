// SPDX-License-Identifier: MIT
#include "os/wildcard.h"

#include <string>
#include <vector>

namespace talvi::os {
namespace {

enum class Kind { kLiteral, kStar, kDosStar, kDosQm, kDosDot };

struct Token {
  Kind kind;
  unsigned char c;
};

unsigned char Fold(unsigned char c) {
  if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 0x20);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<unsigned char>(c - 0x20);
  return c;
}

std::vector<Token> Compile(std::string_view p) {
  std::vector<Token> tokens;
  for (std::size_t i = 0; i < p.size(); ++i) {
    const char next = i + 1 < p.size() ? p[i + 1] : '\0';
    const auto c = static_cast<unsigned char>(p[i]);
    if (c == '?') {
      tokens.push_back({Kind::kDosQm, 0});
    } else if (c == '*') {
      tokens.push_back({next == '.' ? Kind::kDosStar : Kind::kStar, 0});
    } else if (c == '.' && (next == '?' || next == '*' || next == '\0')) {
      tokens.push_back({Kind::kDosDot, 0});
    } else {
      tokens.push_back({Kind::kLiteral, Fold(c)});
    }
  }
  return tokens;
}

class Matcher {
 public:
  Matcher(std::vector<Token> tokens, std::string_view name)
      : tokens_(std::move(tokens)),
        name_(name),
        last_dot_(name.rfind('.')),
        memo_((tokens_.size() + 1) * (name.size() + 1), kUnknown) {}

  bool Match(std::size_t t, std::size_t n) {
    char& m = memo_[t * (name_.size() + 1) + n];
    if (m == kUnknown) m = Compute(t, n) ? kYes : kNo;
    return m == kYes;
  }

 private:
  static constexpr char kUnknown = 0, kYes = 1, kNo = 2;

  bool Compute(std::size_t t, std::size_t n) {
    const bool at_end = n == name_.size();
    if (t == tokens_.size()) return at_end;
    const Token& tok = tokens_[t];
    switch (tok.kind) {
      case Kind::kLiteral:
        return !at_end && Fold(static_cast<unsigned char>(name_[n])) == tok.c &&
               Match(t + 1, n + 1);
      case Kind::kStar: return Match(t + 1, n) || (!at_end && Match(t, n + 1));
      case Kind::kDosStar:
        // Any run not containing the last dot of the name.
        return Match(t + 1, n) || (!at_end && n != last_dot_ && Match(t, n + 1));
      case Kind::kDosQm:
        if (at_end || name_[n] == '.') return Match(t + 1, n);
        return Match(t + 1, n + 1);
      case Kind::kDosDot:
        if (at_end) return Match(t + 1, n);
        return name_[n] == '.' && Match(t + 1, n + 1);
    }
    return false;
  }

  std::vector<Token> tokens_;
  std::string_view name_;
  std::size_t last_dot_;
  std::string memo_;  // one state per (pattern, name) position pair
};

}  // namespace

bool MatchesWildcard(std::string_view pattern, std::string_view name) {
  Matcher m(Compile(pattern), name);
  return m.Match(0, 0);
}

bool HasWildcards(std::string_view pattern) {
  return pattern.find_first_of("*?") != std::string_view::npos;
}

}  // namespace talvi::os
