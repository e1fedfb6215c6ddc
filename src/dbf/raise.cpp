// SPDX-License-Identifier: MIT
#include "dbf/raise.h"

#include "dbf/codes.h"

namespace talvi::dbf {

errors::Answer RaiseFailure(const Failure& failure) {
  errors::Error e;
  e.GENCODE = failure.gencode;
  e.SUBCODE = failure.subcode;
  e.OSCODE = failure.oscode;
  e.SEVERITY = 2;
  e.SUBSYSTEM = failure.subsystem ? failure.subsystem : kSubsystem;
  if (!failure.description.empty()) e.DESCRIPTION = failure.description;
  e.FILENAME = failure.filename;
  e.OPERATION = failure.operation;
  e.CANDEFAULT = failure.can_default;
  return errors::Raise(std::move(e));
}

bool Fail(const Failure& failure) {
  RaiseFailure(failure);
  return false;
}

bool Corrupt(const std::string& filename, const std::string& what, int oscode) {
  return Fail(Failure(kGenCorruption, kSubCorrupt)
                  .Os(oscode)
                  .File(filename)
                  .Desc("Corruption detected: " + what));
}

}  // namespace talvi::dbf
