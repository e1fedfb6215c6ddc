// SPDX-License-Identifier: MIT
// Building the engine's error objects and handing them to the process error
// handler.
#pragma once

#include <string>

#include "errors/error.h"

namespace talvi::dbf {

// The properties of one error object, filled in by chained setters:
// Failure(kGenOpen, kSubOpen).Os(code).File(path).
struct Failure {
  Failure(int gen, int sub) : gencode(gen), subcode(sub) {}
  Failure& Os(int code) {
    oscode = code;
    return *this;
  }
  Failure& File(std::string name) {
    filename = std::move(name);
    return *this;
  }
  Failure& Op(std::string name) {
    operation = std::move(name);
    return *this;
  }
  Failure& Desc(std::string text) {
    description = std::move(text);
    return *this;
  }
  Failure& CanDefault(bool can) {
    can_default = can;
    return *this;
  }
  Failure& Subsystem(const char* name) {
    subsystem = name;
    return *this;
  }

  int gencode = 0;
  int subcode = 0;
  int oscode = 0;
  std::string filename;
  std::string operation;
  std::string description;
  bool can_default = true;
  const char* subsystem = nullptr;  // default: the engine's
};

// Hands the error object to the handler and gives back its answer (an
// abandon leaves by an escape instead).
errors::Answer RaiseFailure(const Failure& failure);

// Short forms that raise and give back false, for `return Fail(...)`.
bool Fail(const Failure& failure);
bool Corrupt(const std::string& filename, const std::string& what, int oscode = 0);

}  // namespace talvi::dbf
