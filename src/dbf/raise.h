// Building the engine's error objects and handing them to the process error
// handler.
#pragma once

#include <string>

#include "errors/error.h"

namespace talvi::dbf {

struct Failure {
  int gencode = 0;
  int subcode = 0;
  int oscode = 0;
  std::string filename;
  std::string operation;
  std::string description;
  bool can_default = true;
  const char* subsystem = nullptr;  // default: the engine's
};

// Hands the error object to the handler. True when the handler answered
// with a value (the caller may go on as if the operation had succeeded,
// where that makes sense); false when it asked for the default answer (the
// operation reports failure). An abandon leaves by an escape.
errors::Answer RaiseFailure(const Failure& failure);

// Short forms: raise and give back false, for `return Fail(...)`.
bool Fail(const Failure& failure);
bool Corrupt(const std::string& filename, const std::string& what, int oscode = 0);

}  // namespace talvi::dbf
