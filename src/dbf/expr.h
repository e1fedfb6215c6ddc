// SPDX-License-Identifier: MIT
// Expressions: the compiler and evaluator for key and condition texts
// ("!DELETED()", "UPPER(NAME)+DTOS(DAY)", "alias->field", "FIELD->field").
//
// Values are character (bytes), numeric, date, logical and nil. Field names
// are looked up in the current work area, or in the named one. Functions
// come from a registry that holds the built-in ones and that the library or
// a host program can extend. Every failure is an error object handed to the
// process error handler: a syntax error (7) names the text and the
// position; a call of an unknown function is 1001; a division by zero is 5
// (the handler's value becomes the result); a text that would grow past
// kLongestText is 3, "String overflow", and is never built.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dbf/value.h"

namespace talvi::dbf {

class Areas;
struct ExprNode;

// What a routine sees: its arguments (already evaluated) and the work
// areas the expression runs on.
struct CallContext {
  Areas& areas;
  const std::string& name;  // the name it was called by, upper case
};
using Routine = std::function<Value(CallContext& ctx, const std::vector<Value>& args)>;

// Adds or replaces a function (name in any letter case).
void RegisterFunction(std::string_view name, Routine routine);
bool HasFunction(std::string_view name);

class Expression {
 public:
  ~Expression();
  Expression(Expression&&) noexcept;
  Expression& operator=(Expression&&) noexcept;

  // Compiles `text`; null after a syntax error has been raised.
  static std::unique_ptr<Expression> Compile(std::string_view text);

  // Evaluates on `areas` (the process's work areas by default). A failure
  // that the handler answers with a value goes on with it; otherwise the
  // result is nil.
  Value Evaluate() const;
  Value Evaluate(Areas& areas) const;

  const std::string& text() const { return text_; }
  // The field a bare field reference names (no alias, nothing around
  // it), "" for every other expression.
  std::string PlainField() const;

 private:
  Expression(std::string text, std::unique_ptr<ExprNode> root);
  std::string text_;
  std::unique_ptr<ExprNode> root_;
};

// The longest character value an expression builds (16 MiB).
inline constexpr std::size_t kLongestText = std::size_t{1} << 24;

// Raises an expression error (SUBSYSTEM "BASE") and gives back the
// handler's value as a number, or nil when it asked for the default.
Value RaiseExprError(int gencode, const std::string& description, const std::string& operation,
                     bool can_default = true);
// The error of a text that would pass kLongestText: 3, "String overflow".
Value RaiseStringOverflow(const std::string& operation);

// Text forms used by STR, DTOC and the like.
std::string NumberText(double n, int width, int decimals);  // "*" when it does not fit
std::string DateText(std::int32_t jd);                      // in the date format
std::int32_t ParseDateText(std::string_view text);          // in the date format, epoch applied

}  // namespace talvi::dbf
