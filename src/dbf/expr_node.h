// SPDX-License-Identifier: MIT
// The compiled form of an expression: a tree of nodes that the evaluator
// walks. Internal to the expression compiler and evaluator.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "dbf/value.h"

namespace talvi::dbf {

class Areas;

struct ExprNode {
  enum class Kind {
    kLiteral,  // value
    kField,    // name, alias ("" = current area; "FIELD" = current area)
    kCall,     // name(args)
    kIif,      // args: condition, then, else (only one branch runs)
    kUnary,    // op: "-", "+", "!"
    kBinary,   // op: + - * / % ^ = == != < > <= >= $ AND OR
  };
  Kind kind = Kind::kLiteral;
  Value value;
  std::string name;
  std::string alias;
  std::string op;
  std::vector<std::unique_ptr<ExprNode>> args;
  // Nodes on the longest way down to a leaf, this one included: the
  // evaluator and the destructor recurse that deep.
  int height = 1;
};

// The parser: the tree of `text`, or null with `error` and the 1-based
// `position` of the fault.
std::unique_ptr<ExprNode> ParseExpression(std::string_view text, std::string& error,
                                          std::size_t& position);

Value EvaluateNode(const ExprNode& node, Areas& areas);
Value ApplyBinary(const std::string& op, const Value& a, const Value& b);
// Calls a registered function; an unknown name raises 1001.
Value CallFunction(const std::string& name, Areas& areas, const std::vector<Value>& args);

}  // namespace talvi::dbf
