// SPDX-License-Identifier: MIT
// POPMSG: message and question boxes, and the wait box driven by it.
#include "lib/window/msgbox.h"

#include "lib/window/msgbox_state.h"
#include "os/beep.h"
#include "ui/app.h"
#include "ui/msgbox.h"

namespace talvi::lib {
namespace msgbox_state {

std::unique_ptr<TMsgBox>& Box() {
  static std::unique_ptr<TMsgBox> box;
  return box;
}

std::optional<std::string>& Current() {
  static std::optional<std::string> current;
  return current;
}

}  // namespace msgbox_state

namespace {

constexpr unsigned kBeepHz = 880;
constexpr unsigned kBeepMs = 120;

// O2A, then every ";" as a line break.
std::string ForDisplay(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : O2A(text)) {
    if (c == ';') {
      out += "\r\n";
    } else {
      out += c;
    }
  }
  return out;
}

// The box leaves the library's hands before it is ended: its End lets
// waiting messages through, and a handler that runs there sees no box (a
// POPMSG from it opens a new one or closes nothing) instead of freeing the
// one being ended.
void CloseWaitBox() {
  if (std::unique_ptr<TMsgBox> closing = std::move(msgbox_state::Box())) closing->End();
}

MsgResult Ask(const std::string& text, int type, const std::string& title) {
  unsigned style = 0;
  switch (type) {
    case 1: style = ui::MB_OK | ui::MB_ICONINFORMATION; break;
    case 2: style = ui::MB_OKCANCEL | ui::MB_ICONQUESTION; break;
    case 3: style = ui::MB_YESNOCANCEL | ui::MB_ICONQUESTION; break;
    case 4: style = ui::MB_YESNO | ui::MB_ICONQUESTION; break;
    case 5: style = ui::MB_YESNO | ui::MB_ICONQUESTION | ui::MB_DEFBUTTON2; break;
    case 6: style = ui::MB_OKCANCEL | ui::MB_ICONSTOP; break;
    default: return {};
  }
  if (type >= 2) os::Beep(kBeepHz, kBeepMs);
  const int answer = ui::ShowMessageBox(text, title, style);
  switch (type) {
    case 1: return {};
    case 3: return answer;
    case 4:
    case 5: return answer == ui::IDYES;
    default: return answer == ui::IDOK;
  }
}

}  // namespace

std::string O2A(const std::string& text) {
  std::string out = text;
  for (char& c : out) {
    switch (static_cast<unsigned char>(c)) {
      case 0x85: c = '\xE0'; break;
      case 0x8A: c = '\xE8'; break;
      case 0x82: c = '\xE9'; break;
      case 0x8D: c = '\xEC'; break;
      case 0x95: c = '\xF2'; break;
      case 0x97: c = '\xF9'; break;
      default: break;
    }
  }
  return out;
}

MsgResult POPMSG(const std::optional<std::string>& text, std::optional<int> type,
                 const std::optional<std::string>& title, bool replace,
                 std::optional<double> minimum, std::optional<double> maximum,
                 std::optional<double> position, bool printStyle, bool nextPage) {
  const std::optional<std::string> shown =
      text ? std::optional<std::string>(ForDisplay(*text)) : std::nullopt;
  if (type) {
    CloseWaitBox();
    MsgResult result = Ask(shown.value_or(""), *type, title.value_or("Attenzione"));
    ui::SYSREFRESH();
    return result;
  }
  auto& box = msgbox_state::Box();
  if (!shown && !printStyle && !nextPage) {
    CloseWaitBox();
  } else if (!box) {
    box = TMsgBox::New(shown.value_or(""), title, minimum, maximum, printStyle);
  } else if (replace || position) {
    if (replace) box->SetMsg(shown.value_or(""));
    if (position) box->SetPos(*position);
  } else if (nextPage) {
    ++box->nPag;
    box->SetMsg(std::to_string(box->nPag));
  }
  ui::SYSREFRESH();
  return {};
}

std::optional<std::string> CURMSG() {
  return msgbox_state::Current();
}

}  // namespace talvi::lib
