// SPDX-License-Identifier: MIT
// Evaluating the tree: fields, operators with the run-time's rules, calls
// through the registry.
#include <cmath>

#include "dbf/areas.h"
#include "dbf/codes.h"
#include "dbf/expr.h"
#include "dbf/expr_node.h"
#include "dbf/raise.h"

namespace talvi::dbf {
namespace {

int MoreDecimals(const Value& a, const Value& b) {
  return std::max(a.decimals(), b.decimals());
}

// Character comparison: "==" is byte for byte; the others take the left
// side as equal when the right side is a prefix of it (so anything equals
// ""); otherwise bytewise order.
int CompareText(const std::string& a, const std::string& b, bool exact) {
  if (!exact && a.compare(0, b.size(), b) == 0) return 0;
  const int c = std::string_view(a).compare(b);
  return c < 0 ? -1 : c > 0 ? 1 : 0;
}

Value ArgError(const std::string& op) {
  return RaiseExprError(kGenArg, "Argument error", op);
}

bool TooLong(const Value& a, const Value& b) {
  return a.str().size() + b.str().size() > kLongestText;
}

Value Compare(const std::string& op, const Value& a, const Value& b) {
  if (a.IsNil() || b.IsNil()) {
    if (op == "==" || op == "=") return Value::Logical(a.IsNil() && b.IsNil());
    if (op == "!=") return Value::Logical(!(a.IsNil() && b.IsNil()));
    return ArgError(op);
  }
  if (a.type() != b.type()) return ArgError(op);
  int c = 0;
  switch (a.type()) {
    case Value::Type::kCharacter: c = CompareText(a.str(), b.str(), op == "=="); break;
    case Value::Type::kNumeric: c = a.num() < b.num() ? -1 : a.num() > b.num() ? 1 : 0; break;
    case Value::Type::kDate: c = a.date() < b.date() ? -1 : a.date() > b.date() ? 1 : 0; break;
    case Value::Type::kLogical:
      c = static_cast<int>(a.logical()) - static_cast<int>(b.logical());
      break;
    case Value::Type::kNil: break;
  }
  if (op == "==" || op == "=") return Value::Logical(c == 0);
  if (op == "!=") return Value::Logical(c != 0);
  if (op == "<") return Value::Logical(c < 0);
  if (op == ">") return Value::Logical(c > 0);
  if (op == "<=") return Value::Logical(c <= 0);
  return Value::Logical(c >= 0);
}

}  // namespace

Value ApplyBinary(const std::string& op, const Value& a, const Value& b) {
  if (op == "+") {
    if (a.IsNumeric() && b.IsNumeric())
      return Value::Numeric(a.num() + b.num(), MoreDecimals(a, b));
    if (a.IsCharacter() && b.IsCharacter())
      return TooLong(a, b) ? RaiseStringOverflow(op) : Value::Character(a.str() + b.str());
    if (a.IsDate() && b.IsNumeric())
      return Value::Date(a.date() + static_cast<std::int32_t>(std::lround(b.num())));
    if (a.IsNumeric() && b.IsDate())
      return Value::Date(b.date() + static_cast<std::int32_t>(std::lround(a.num())));
    return ArgError(op);
  }
  if (op == "-") {
    if (a.IsNumeric() && b.IsNumeric())
      return Value::Numeric(a.num() - b.num(), MoreDecimals(a, b));
    if (a.IsDate() && b.IsDate()) return Value::Numeric(a.date() - b.date(), 0);
    if (a.IsDate() && b.IsNumeric())
      return Value::Date(a.date() - static_cast<std::int32_t>(std::lround(b.num())));
    if (a.IsCharacter() && b.IsCharacter()) {
      if (TooLong(a, b)) return RaiseStringOverflow(op);
      // The first text's trailing blanks move to the end.
      std::string s = a.str();
      std::size_t keep = s.size();
      while (keep > 0 && s[keep - 1] == ' ') --keep;
      return Value::Character(s.substr(0, keep) + b.str() + std::string(s.size() - keep, ' '));
    }
    return ArgError(op);
  }
  if (op == "*" || op == "/" || op == "%" || op == "^") {
    if (!a.IsNumeric() || !b.IsNumeric()) return ArgError(op);
    if (op == "*")
      return Value::Numeric(a.num() * b.num(),
                            std::max(0, a.decimals()) + std::max(0, b.decimals()));
    if (op == "^") return Value::Numeric(std::pow(a.num(), b.num()));
    if (b.num() == 0) return RaiseExprError(kGenZeroDiv, "Zero divisor", op);
    if (op == "/") return Value::Numeric(a.num() / b.num());
    return Value::Numeric(std::fmod(a.num(), b.num()), MoreDecimals(a, b));
  }
  if (op == "$") {
    if (!a.IsCharacter() || !b.IsCharacter()) return ArgError(op);
    return Value::Logical(b.str().find(a.str()) != std::string::npos);
  }
  return Compare(op, a, b);
}

Value EvaluateNode(const ExprNode& n, Areas& areas) {
  switch (n.kind) {
    case ExprNode::Kind::kLiteral: return n.value;
    case ExprNode::Kind::kField: {
      WorkArea* area = &areas.Current();
      if (!n.alias.empty()) {
        const int number = areas.Find(n.alias);
        if (number == 0) return RaiseExprError(kGenNoAlias, "Alias does not exist", n.alias);
        area = areas.Area(number);
      }
      if (!area->used() || area->FieldPos(n.name) == 0) {
        return RaiseExprError(kGenNoVar, "Variable does not exist", n.name);
      }
      return area->Get(n.name);
    }
    case ExprNode::Kind::kIif: {
      const Value c = EvaluateNode(*n.args[0], areas);
      if (!c.IsLogical()) return ArgError(n.name);
      return EvaluateNode(*n.args[c.logical() ? 1 : 2], areas);
    }
    case ExprNode::Kind::kUnary: {
      const Value v = EvaluateNode(*n.args[0], areas);
      if (n.op == "!") return v.IsLogical() ? Value::Logical(!v.logical()) : ArgError(".NOT.");
      if (!v.IsNumeric()) return ArgError(n.op);
      return n.op == "-" ? Value::Numeric(-v.num(), v.decimals()) : v;
    }
    case ExprNode::Kind::kBinary: {
      const Value a = EvaluateNode(*n.args[0], areas);
      if (n.op == "AND" || n.op == "OR") {
        if (!a.IsLogical()) return ArgError(n.op == "AND" ? ".AND." : ".OR.");
        // Short-cut: the right side runs only when it decides.
        if (n.op == "AND" && !a.logical()) return a;
        if (n.op == "OR" && a.logical()) return a;
        const Value b = EvaluateNode(*n.args[1], areas);
        return b.IsLogical() ? b : ArgError(n.op == "AND" ? ".AND." : ".OR.");
      }
      return ApplyBinary(n.op, a, EvaluateNode(*n.args[1], areas));
    }
    case ExprNode::Kind::kCall: {
      std::vector<Value> args;
      args.reserve(n.args.size());
      for (const auto& a : n.args) args.push_back(EvaluateNode(*a, areas));
      return CallFunction(n.name, areas, args);
    }
  }
  return Value();
}

Value RaiseExprError(int gencode, const std::string& description, const std::string& operation,
                     bool can_default) {
  const errors::Answer answer = RaiseFailure(Failure(gencode, kSubExpr)
                                                 .Subsystem(kExprSubsystem)
                                                 .Op(operation)
                                                 .Desc(description)
                                                 .CanDefault(can_default));
  if (answer.kind == errors::Answer::Kind::kValue) return Value::Numeric(answer.value);
  return Value();
}

Value RaiseStringOverflow(const std::string& operation) {
  return RaiseExprError(kGenStrOverflow, "String overflow", operation);
}

Expression::Expression(std::string text, std::unique_ptr<ExprNode> root)
    : text_(std::move(text)), root_(std::move(root)) {}
Expression::~Expression() = default;
Expression::Expression(Expression&&) noexcept = default;
Expression& Expression::operator=(Expression&&) noexcept = default;

std::unique_ptr<Expression> Expression::Compile(std::string_view text) {
  std::string error;
  std::size_t position = 0;
  auto root = ParseExpression(text, error, position);
  if (!root) {
    RaiseExprError(kGenSyntax,
                   "Syntax error at position " + std::to_string(position) + " of \"" +
                       std::string(text) + "\": " + error,
                   std::string(text), false);
    return nullptr;
  }
  return std::unique_ptr<Expression>(new Expression(std::string(text), std::move(root)));
}

std::string Expression::PlainField() const {
  const bool plain = root_ && root_->kind == ExprNode::Kind::kField && root_->alias.empty();
  return plain ? root_->name : std::string();
}

Value Expression::Evaluate() const {
  return Evaluate(Workspace());
}
Value Expression::Evaluate(Areas& areas) const {
  return EvaluateNode(*root_, areas);
}

}  // namespace talvi::dbf
