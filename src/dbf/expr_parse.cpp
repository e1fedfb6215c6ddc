// SPDX-License-Identifier: MIT
// The expression parser: a lexer and a recursive-descent parser that gives
// operators the run-time's precedence, lowest first: .OR., .AND., .NOT./!,
// the comparisons (= == != <> # < > <= >= $), + -, * / %, ^ **, unary
// + -, then operands (literals, fields, alias->field, calls, parentheses).
#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "dbf/expr_node.h"

namespace talvi::dbf {
namespace {

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

struct Token {
  enum class Kind {
    kEnd,
    kNumber,
    kString,
    kName,
    kLogical,
    kOp,
    kLParen,
    kRParen,
    kComma,
    kArrow
  };
  Kind kind = Kind::kEnd;
  std::string text;  // name (upper case), string contents, operator
  double number = 0;
  int decimals = 0;
  bool logical = false;
  std::size_t pos = 0;  // 0-based
};

class Parser {
 public:
  explicit Parser(std::string_view text) : s_(text) {}

  std::unique_ptr<ExprNode> Parse(std::string& error, std::size_t& position) {
    std::unique_ptr<ExprNode> root;
    if (Next()) {
      root = Or();
      if (root && tok_.kind != Token::Kind::kEnd) Fail("unexpected " + Describe());
    }
    if (!error_.empty()) {
      error = error_;
      position = error_pos_ + 1;
      return nullptr;
    }
    return root;
  }

 private:
  bool Fail(const std::string& what) {
    if (error_.empty()) {
      error_ = what;
      error_pos_ = tok_.pos;
    }
    return false;
  }
  std::string Describe() const {
    if (tok_.kind == Token::Kind::kEnd) return "end of expression";
    return "\"" + std::string(s_.substr(tok_.pos, std::max<std::size_t>(1, at_ - tok_.pos))) + "\"";
  }
  bool IsOp(const char* op) const { return tok_.kind == Token::Kind::kOp && tok_.text == op; }

  // Reads the next token into tok_.
  bool Next() {
    while (at_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[at_]))) ++at_;
    tok_ = Token();
    tok_.pos = at_;
    if (at_ >= s_.size()) return true;
    const char c = s_[at_];
    const auto rest = s_.substr(at_);
    if (c == '"' || c == '\'' || c == '[') {
      const char close = c == '[' ? ']' : c;
      const std::size_t end = s_.find(close, at_ + 1);
      if (end == std::string_view::npos) {
        tok_.pos = at_;
        return Fail("string not closed");
      }
      tok_.kind = Token::Kind::kString;
      tok_.text = std::string(s_.substr(at_ + 1, end - at_ - 1));
      at_ = end + 1;
      return true;
    }
    if (c == '.') {
      // .T. .F. .Y. .N. .AND. .OR. .NOT., or a number like .5
      for (const char* word : {".AND.", ".OR.", ".NOT."}) {
        const std::string_view w(word);
        if (rest.size() >= w.size() && Upper(rest.substr(0, w.size())) == w) {
          tok_.kind = Token::Kind::kOp;
          tok_.text = w == ".AND." ? "AND" : w == ".OR." ? "OR" : "!";
          at_ += w.size();
          return true;
        }
      }
      if (rest.size() >= 3 && rest[2] == '.') {
        const char l = static_cast<char>(std::toupper(static_cast<unsigned char>(rest[1])));
        if (l == 'T' || l == 'F' || l == 'Y' || l == 'N') {
          tok_.kind = Token::Kind::kLogical;
          tok_.logical = l == 'T' || l == 'Y';
          at_ += 3;
          return true;
        }
      }
    }
    if (std::isdigit(static_cast<unsigned char>(c)) ||
        (c == '.' && at_ + 1 < s_.size() &&
         std::isdigit(static_cast<unsigned char>(s_[at_ + 1])))) {
      std::size_t end = at_;
      while (end < s_.size() && std::isdigit(static_cast<unsigned char>(s_[end]))) ++end;
      int decimals = 0;
      if (end < s_.size() && s_[end] == '.' && end + 1 < s_.size() &&
          std::isdigit(static_cast<unsigned char>(s_[end + 1]))) {
        ++end;
        while (end < s_.size() && std::isdigit(static_cast<unsigned char>(s_[end]))) {
          ++end;
          ++decimals;
        }
      }
      tok_.kind = Token::Kind::kNumber;
      tok_.number = std::strtod(std::string(s_.substr(at_, end - at_)).c_str(), nullptr);
      tok_.decimals = decimals;
      at_ = end;
      return true;
    }
    if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
      std::size_t end = at_;
      while (end < s_.size() &&
             (std::isalnum(static_cast<unsigned char>(s_[end])) || s_[end] == '_')) {
        ++end;
      }
      tok_.kind = Token::Kind::kName;
      tok_.text = Upper(s_.substr(at_, end - at_));
      at_ = end;
      return true;
    }
    if (rest.substr(0, 2) == "->") {
      tok_.kind = Token::Kind::kArrow;
      at_ += 2;
      return true;
    }
    for (const char* op : {"==", "!=", "<>", "<=", ">=", "**", "=", "#", "<", ">", "$", "+", "-",
                           "*", "/", "%", "^", "!"}) {
      const std::string_view o(op);
      if (rest.substr(0, o.size()) == o) {
        tok_.kind = Token::Kind::kOp;
        tok_.text = o == "**" ? "^" : (o == "<>" || o == "#") ? "!=" : std::string(o);
        at_ += o.size();
        return true;
      }
    }
    if (c == '(' || c == ')' || c == ',') {
      tok_.kind = c == '('   ? Token::Kind::kLParen
                  : c == ')' ? Token::Kind::kRParen
                             : Token::Kind::kComma;
      ++at_;
      return true;
    }
    return Fail("unexpected character \"" + std::string(1, c) + "\"");
  }

  std::unique_ptr<ExprNode> Binary(std::string op, std::unique_ptr<ExprNode> a,
                                   std::unique_ptr<ExprNode> b) {
    auto n = std::make_unique<ExprNode>();
    n->kind = ExprNode::Kind::kBinary;
    n->op = std::move(op);
    n->args.push_back(std::move(a));
    n->args.push_back(std::move(b));
    return Measured(std::move(n));
  }

  // Sets the node's height from its arguments'. A chain of operators
  // ("a+b+c+...") grows the tree without nesting the parser, so the
  // height is bounded here as well as the nesting in Depth.
  std::unique_ptr<ExprNode> Measured(std::unique_ptr<ExprNode> n) {
    for (const auto& a : n->args) n->height = std::max(n->height, a->height + 1);
    if (n->height <= kMaxHeight) return n;
    Fail("expression nested too deeply");
    return nullptr;
  }

  // One left-associative level: operands from `next`, operators from `ops`.
  template <typename NextFn>
  std::unique_ptr<ExprNode> Level(std::initializer_list<const char*> ops, NextFn next) {
    auto left = (this->*next)();
    while (left) {
      const char* found = nullptr;
      for (const char* op : ops) {
        if (IsOp(op)) found = op;
      }
      if (!found) break;
      if (!Next()) return nullptr;
      auto right = (this->*next)();
      if (!right) return nullptr;
      left = Binary(found, std::move(left), std::move(right));
    }
    return left;
  }

  // Guards the recursion against texts nested beyond any real key.
  struct Depth {
    explicit Depth(Parser& p) : p_(p) { ++p_.depth_; }
    ~Depth() { --p_.depth_; }
    bool ok() const { return p_.depth_ <= kMaxDepth || p_.Fail("expression nested too deeply"); }
    Parser& p_;
  };
  static constexpr int kMaxDepth = 200;
  static constexpr int kMaxHeight = 1000;

  std::unique_ptr<ExprNode> Or() {
    Depth d(*this);
    if (!d.ok()) return nullptr;
    return Level({"OR"}, &Parser::And);
  }
  std::unique_ptr<ExprNode> And() { return Level({"AND"}, &Parser::Not); }
  std::unique_ptr<ExprNode> Not() {
    Depth d(*this);
    if (!d.ok()) return nullptr;
    if (IsOp("!")) {
      if (!Next()) return nullptr;
      auto operand = Not();
      if (!operand) return nullptr;
      auto n = std::make_unique<ExprNode>();
      n->kind = ExprNode::Kind::kUnary;
      n->op = "!";
      n->args.push_back(std::move(operand));
      return Measured(std::move(n));
    }
    return Compare();
  }
  std::unique_ptr<ExprNode> Compare() {
    return Level({"==", "!=", "<=", ">=", "=", "<", ">", "$"}, &Parser::Sum);
  }
  std::unique_ptr<ExprNode> Sum() { return Level({"+", "-"}, &Parser::Product); }
  std::unique_ptr<ExprNode> Product() { return Level({"*", "/", "%"}, &Parser::Power); }
  std::unique_ptr<ExprNode> Power() {
    Depth d(*this);
    if (!d.ok()) return nullptr;
    auto base = Sign();
    if (base && IsOp("^")) {
      if (!Next()) return nullptr;
      auto exponent = Power();  // right-associative
      if (!exponent) return nullptr;
      return Binary("^", std::move(base), std::move(exponent));
    }
    return base;
  }
  std::unique_ptr<ExprNode> Sign() {
    Depth d(*this);
    if (!d.ok()) return nullptr;
    if (IsOp("-") || IsOp("+")) {
      const std::string op = tok_.text;
      if (!Next()) return nullptr;
      auto operand = Sign();
      if (!operand) return nullptr;
      auto n = std::make_unique<ExprNode>();
      n->kind = ExprNode::Kind::kUnary;
      n->op = op;
      n->args.push_back(std::move(operand));
      return Measured(std::move(n));
    }
    return Operand();
  }

  std::unique_ptr<ExprNode> Operand() {
    auto n = std::make_unique<ExprNode>();
    switch (tok_.kind) {
      case Token::Kind::kNumber:
        n->value = Value::Numeric(tok_.number, tok_.decimals);
        return Next() ? std::move(n) : nullptr;
      case Token::Kind::kString:
        n->value = Value::Character(tok_.text);
        return Next() ? std::move(n) : nullptr;
      case Token::Kind::kLogical:
        n->value = Value::Logical(tok_.logical);
        return Next() ? std::move(n) : nullptr;
      case Token::Kind::kLParen: {
        if (!Next()) return nullptr;
        auto inner = Or();
        if (!inner) return nullptr;
        if (tok_.kind != Token::Kind::kRParen) {
          Fail("\")\" expected instead of " + Describe());
          return nullptr;
        }
        return Next() ? std::move(inner) : nullptr;
      }
      case Token::Kind::kName: return Name();
      default: Fail("operand expected instead of " + Describe()); return nullptr;
    }
  }

  std::unique_ptr<ExprNode> Name() {
    const std::string name = tok_.text;
    if (!Next()) return nullptr;
    auto n = std::make_unique<ExprNode>();
    if (tok_.kind == Token::Kind::kArrow) {
      if (!Next()) return nullptr;
      if (tok_.kind != Token::Kind::kName) {
        Fail("field name expected after \"->\"");
        return nullptr;
      }
      n->kind = ExprNode::Kind::kField;
      n->alias = name == "FIELD" || name == "_FIELD" ? "" : name;
      n->name = tok_.text;
      return Next() ? std::move(n) : nullptr;
    }
    if (tok_.kind != Token::Kind::kLParen) {
      if (name == "NIL") return n;  // the nil literal
      n->kind = ExprNode::Kind::kField;
      n->name = name;
      return n;
    }
    if (!Next()) return nullptr;
    n->kind = name == "IIF" || name == "IF" ? ExprNode::Kind::kIif : ExprNode::Kind::kCall;
    n->name = name;
    if (tok_.kind != Token::Kind::kRParen) {
      for (;;) {
        if (tok_.kind == Token::Kind::kComma || tok_.kind == Token::Kind::kRParen) {
          n->args.push_back(std::make_unique<ExprNode>());  // an omitted argument is nil
        } else {
          auto arg = Or();
          if (!arg) return nullptr;
          n->args.push_back(std::move(arg));
        }
        if (tok_.kind == Token::Kind::kRParen) break;
        if (tok_.kind != Token::Kind::kComma) {
          Fail("\",\" or \")\" expected instead of " + Describe());
          return nullptr;
        }
        if (!Next()) return nullptr;
      }
    }
    if (n->kind == ExprNode::Kind::kIif && n->args.size() != 3) {
      Fail(name + "() needs three arguments");
      return nullptr;
    }
    return Next() ? Measured(std::move(n)) : nullptr;
  }

  std::string_view s_;
  std::size_t at_ = 0;
  Token tok_;
  std::string error_;
  std::size_t error_pos_ = 0;
  int depth_ = 0;
};

}  // namespace

std::unique_ptr<ExprNode> ParseExpression(std::string_view text, std::string& error,
                                          std::size_t& position) {
  Parser p(text);
  auto root = p.Parse(error, position);
  if (!root && error.empty()) {
    error = "empty expression";
    position = 1;
  }
  return root;
}

}  // namespace talvi::dbf
