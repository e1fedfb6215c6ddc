// SPDX-License-Identifier: MIT
// The error object, the raise call that hands it to the process error
// handler, the structured escape to a recovery point and the network-error
// flag.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <source_location>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace talvi::errors {

// One routine on the call path of an error: its name and the source line it
// was at. A line of 0 marks a routine without line information (a run-time
// routine); an empty name marks the place beyond the outermost routine.
struct Frame {
  std::string name;
  std::uint32_t line = 0;
};

// A run-time error, as the raiser fills it in. Properties that a raiser may
// leave out are optional; the report shows "???" for them.
struct Error {
  int GENCODE = 0;                         // general error class
  std::optional<int> SUBCODE;              // code of the raising subsystem
  int OSCODE = 0;                          // system error number, 0 if none
  int SEVERITY = 2;                        // 1 warning, 2 and above error
  std::optional<std::string> SUBSYSTEM;    // "BASE", "DBCMD", ...
  std::optional<std::string> DESCRIPTION;  // the raiser's own description
  std::string FILENAME;                    // file or drive concerned
  std::string OPERATION;                   // failing operation
  bool CANDEFAULT = false;                 // the raiser accepts "fail" as answer

  // Where the error was raised, innermost first: the raise point itself,
  // then the routines that had opened a CallFrame on this thread. Filled in
  // by Raise.
  std::vector<Frame> stack;
};

// The handler's answer to a raiser that gets control back.
struct Answer {
  enum class Kind {
    kValue,    // use `value` as the result of the failed operation
    kDefault,  // the operation reports failure to its caller
  };
  Kind kind = Kind::kDefault;
  double value = 0;

  static Answer Value(double v) { return {Kind::kValue, v}; }
  static Answer Default() { return {Kind::kDefault, 0}; }
  bool operator==(const Answer&) const = default;
};

// The structured escape: thrown to leave every routine up to the nearest
// recovery point, and caught only there (see RecoveryPoint). It carries the
// error that was abandoned, when there was one.
class Escape : public std::exception {
 public:
  Escape() = default;
  explicit Escape(Error error) : error_(std::make_shared<const Error>(std::move(error))) {}
  const char* what() const noexcept override { return "structured escape"; }
  // The abandoned error, or null for an escape requested without one.
  const Error* error() const noexcept { return error_.get(); }

 private:
  std::shared_ptr<const Error> error_;
};

// Requests the escape to the nearest recovery point.
[[noreturn]] void Break();

// Runs `fn` as a recovery point: an escape raised inside it (by an abandoned
// error or by Break) ends `fn` and is absorbed here. Answers true when `fn`
// ran to its end, false when it was left by an escape. Other exceptions pass
// through. Without any recovery point an escape ends the process the way an
// uncaught exception does, so the program's entry routine sets one up.
template <typename Fn>
bool RecoveryPoint(Fn&& fn) {
  try {
    std::forward<Fn>(fn)();
    return true;
  } catch (const Escape&) {
    return false;
  }
}

// The same, handing the escape to `recover` (the escape's error, if any, is
// available through it).
template <typename Fn, typename Recover>
bool RecoveryPoint(Fn&& fn, Recover&& recover) {
  try {
    std::forward<Fn>(fn)();
    return true;
  } catch (const Escape& escape) {
    std::forward<Recover>(recover)(escape);
    return false;
  }
}

// Marks a routine on this thread's call path for the error report, for as
// long as the object lives. The default form names the enclosing function
// and the line where the frame was opened; the named form stands for a
// routine without line information (line 0), such as a data-layer command.
class CallFrame {
 public:
  explicit CallFrame(std::source_location where = std::source_location::current());
  explicit CallFrame(std::string_view name);
  ~CallFrame();
  CallFrame(const CallFrame&) = delete;
  CallFrame& operator=(const CallFrame&) = delete;
};

// The bare routine name of a compiler function signature:
// "void talvi::app::Foo(int)" gives "Foo".
std::string RoutineName(std::string_view signature);

// The process error handler: gets every raised error and either answers
// or leaves by an escape (or ends the process).
using Handler = std::function<Answer(const Error&)>;

// Installs `handler` process-wide and gives back the one it replaces.
Handler SetHandler(Handler handler);

// Hands `error` to the installed handler, with the raise point taken from
// the caller, and gives back the handler's answer. Without a handler the
// error is abandoned (an escape).
Answer Raise(Error error, std::source_location where = std::source_location::current());

// The process-wide network-error flag that code tests after opening or
// appending. With an argument, sets it; always answers the current value.
bool NETERR(std::optional<bool> value = std::nullopt);

}  // namespace talvi::errors
