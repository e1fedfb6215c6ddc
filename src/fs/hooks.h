// SPDX-License-Identifier: MIT
// How the file-system helpers reach the user and keep windows alive without
// depending on the window layer: the library installs both at start-up
// (the message sink shows texts with POPMSG, the refresh hook runs
// SYSREFRESH). Until then both do nothing.
#pragma once

#include <functional>
#include <string>

namespace talvi::fs {

// Shows `text` in a message box of the given POPMSG type.
using MessageSink = std::function<void(const std::string& text, int type)>;
// Lets the window system process pending messages.
using RefreshHook = std::function<void()>;

void SetMessageSink(MessageSink sink);
void SetRefreshHook(RefreshHook hook);

// Used by the helpers: an information box (POPMSG type 1), and a refresh.
void ShowInfo(const std::string& text);
void Refresh();

}  // namespace talvi::fs
