// SPDX-License-Identifier: MIT
#include "errors/error.h"

#include <atomic>
#include <mutex>

namespace talvi::errors {
namespace {

std::mutex handler_mutex;
Handler& InstalledHandler() {
  static Handler handler;
  return handler;
}

std::atomic<bool> net_error{false};

// The routines of this thread that opened a CallFrame, outermost first.
thread_local std::vector<Frame> call_path;

}  // namespace

void Break() {
  throw Escape();
}

std::string RoutineName(std::string_view signature) {
  std::string_view name = signature.substr(0, signature.find('('));
  if (const auto blank = name.rfind(' '); blank != std::string_view::npos) {
    name.remove_prefix(blank + 1);
  }
  if (const auto scope = name.rfind("::"); scope != std::string_view::npos) {
    name.remove_prefix(scope + 2);
  }
  return std::string(name);
}

CallFrame::CallFrame(std::source_location where) {
  call_path.push_back({RoutineName(where.function_name()), where.line()});
}

CallFrame::CallFrame(std::string_view name) {
  call_path.push_back({std::string(name), 0});
}

CallFrame::~CallFrame() {
  call_path.pop_back();
}

Handler SetHandler(Handler handler) {
  std::lock_guard lock(handler_mutex);
  std::swap(InstalledHandler(), handler);
  return handler;
}

Answer Raise(Error error, std::source_location where) {
  error.stack.clear();
  error.stack.push_back({RoutineName(where.function_name()), where.line()});
  error.stack.insert(error.stack.end(), call_path.rbegin(), call_path.rend());
  Handler handler;
  {
    std::lock_guard lock(handler_mutex);
    handler = InstalledHandler();
  }
  if (!handler) throw Escape(std::move(error));
  return handler(error);
}

bool NETERR(std::optional<bool> value) {
  if (value) net_error.store(*value);
  return net_error.load();
}

}  // namespace talvi::errors
