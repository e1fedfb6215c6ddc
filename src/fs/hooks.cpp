// SPDX-License-Identifier: MIT
#include "fs/hooks.h"

#include <utility>

namespace talvi::fs {
namespace {

// Set once at start-up on the window thread and used on that thread only.
MessageSink& Sink() {
  static MessageSink sink;
  return sink;
}

RefreshHook& Hook() {
  static RefreshHook hook;
  return hook;
}

}  // namespace

void SetMessageSink(MessageSink sink) {
  Sink() = std::move(sink);
}
void SetRefreshHook(RefreshHook hook) {
  Hook() = std::move(hook);
}

void ShowInfo(const std::string& text) {
  if (Sink()) Sink()(text, 1);
}

void Refresh() {
  if (Hook()) Hook()();
}

}  // namespace talvi::fs
