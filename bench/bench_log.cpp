// SPDX-License-Identifier: MIT
// The log control under a long session: what one appended line costs at
// the start of the log and at its end (medians of 1000 lines each).
// First with the log shown by a text edit, the reference:
//  - the program's way: the log text in a TextVar, the line appended to it,
//    Refresh, GoBottom; and the same with the pump step after each line
//    that paints it, as the session's next wait does;
//  - a by-value accessor, the whole text read, extended and stored again
//    for every line (VarGet + VarPut), then Refresh and GoBottom;
//  - one full resend of the whole text, as a plain edit control needs;
// then the program's way (with and without the pump step) with the log
// shown by the compact view, as the program shows it.
// Usage: bench_log [lines]   (default 100000)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "ui/app.h"
#include "ui/dialog.h"
#include "ui/multiget.h"
#include "ui/qt/log_choice.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace talvi::ui;

double Micros(Clock::duration d) {
  return std::chrono::duration<double, std::micro>(d).count();
}

std::string Line(long i) {
  return "Receiving track " + std::to_string(i % 80) + ", side " + std::to_string(i % 2) + "\r\n";
}

struct Figures {
  double first = 0;  // median cost of a line among the first `window` lines, in us
  double last = 0;   // the same among the last `window` lines
};

// The median resists the odd slow line when other work shares the machine.
double Median(std::vector<double> samples) {
  if (samples.empty()) return 0;
  const auto middle = samples.begin() + static_cast<std::ptrdiff_t>(samples.size() / 2);
  std::nth_element(samples.begin(), middle, samples.end());
  return *middle;
}

// Appends `lines` lines to a log control made by `make`, one `append` each,
// and gives the mean cost of a line at the start and at the end.
Figures Run(long lines, long window, const std::function<TMultiGet*(TDialog&)>& make,
            const std::function<void(TMultiGet&, const std::string&)>& append,
            bool pumpEach = false) {
  DialogArgs args;
  args.nWidth = 500;
  args.nHeight = 500;
  TDialog dialog(args);
  TMultiGet* get = make(dialog);
  ActivateArgs activate;
  activate.lModal = false;
  activate.bInit = [&](TDialog& d) { d.SetControl(get); };
  dialog.Activate(activate);
  SYSREFRESH();

  std::vector<double> first, last;
  for (long i = 0; i < lines; ++i) {
    const std::string line = Line(i);
    const auto t0 = Clock::now();
    append(*get, line);
    get->Refresh();
    get->GoBottom();
    if (pumpEach) SYSREFRESH();
    const auto t1 = Clock::now();
    if (i < window) {
      first.push_back(Micros(t1 - t0));
    } else if (i >= lines - window) {
      last.push_back(Micros(t1 - t0));
    }
    if (i % 256 == 0) SYSREFRESH();
  }
  SYSREFRESH();
  dialog.End();
  return {Median(std::move(first)), Median(std::move(last))};
}

void Print(const char* what, long window, const Figures& f) {
  std::printf("%s: first %ld lines %.2f us, last %ld lines %.2f us, ratio %.2f\n", what, window,
              f.first, window, f.last, f.last / f.first);
}

}  // namespace

int main(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  const long lines = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 100000;
  const long window = lines >= 10000 ? 1000 : lines / 10 + 1;
  Startup(argc, argv);
  const bool compactByDefault = talvi::ui::qt::CompactLog();
  talvi::ui::qt::UseCompactLog(false);

  // Warm up fonts and caches, so that the first lines measured are not the
  // first the process ever shows.
  TextVar warm;
  Run(
      2000, 200, [&](TDialog& d) { return TMultiGet::New(0, 0, warm, &d, 200, 80, true); },
      [](TMultiGet& get, const std::string& line) { get.Append(line); });

  TextVar text;
  const Figures program = Run(
      lines, window, [&](TDialog& d) { return TMultiGet::New(0, 0, text, &d, 200, 80, true); },
      [](TMultiGet& get, const std::string& line) { get.Append(line); });

  // The same with the pump step that follows each line in the program (the
  // session's next wait), which paints what the line changed.
  TextVar pumped;
  const Figures withPump = Run(
      lines, window, [&](TDialog& d) { return TMultiGet::New(0, 0, pumped, &d, 200, 80, true); },
      [](TMultiGet& get, const std::string& line) { get.Append(line); }, true);

  std::string plain;
  const Figures byValue = Run(
      lines, window,
      [&](TDialog& d) {
        return TMultiGet::New(
            0, 0, [&](std::optional<std::string> v) { return v ? (plain = std::move(*v)) : plain; },
            &d, 200, 80, true);
      },
      [](TMultiGet& get, const std::string& line) { get.VarPut(get.VarGet() + line); });

  // One full resend of the whole log into a fresh control.
  double resend = 0;
  {
    DialogArgs args;
    args.nWidth = 500;
    args.nHeight = 500;
    TDialog dialog(args);
    TextVar whole;
    TMultiGet* get = TMultiGet::New(0, 0, whole, &dialog, 200, 80, true);
    ActivateArgs activate;
    activate.lModal = false;
    activate.bInit = [&](TDialog& d) { d.SetControl(get); };
    dialog.Activate(activate);
    whole.Set(text.Get());
    const auto r0 = Clock::now();
    get->Refresh();
    resend = Micros(Clock::now() - r0);
    dialog.End();
  }

  // The same two runs with the log in the compact view.
  talvi::ui::qt::UseCompactLog(true);
  TextVar compactText;
  const Figures compact = Run(
      lines, window,
      [&](TDialog& d) { return TMultiGet::New(0, 0, compactText, &d, 200, 80, true); },
      [](TMultiGet& get, const std::string& line) { get.Append(line); });
  TextVar compactPumped;
  const Figures compactWithPump = Run(
      lines, window,
      [&](TDialog& d) { return TMultiGet::New(0, 0, compactPumped, &d, 200, 80, true); },
      [](TMultiGet& get, const std::string& line) { get.Append(line); }, true);

  std::printf("lines: %ld, log bytes: %zu\n", lines, text.Get().size());
  std::printf("the program shows its log in the %s\n",
              compactByDefault ? "compact view" : "text edit");
  Print("text edit: TextVar, Append+Refresh+GoBottom per line", window, program);
  Print("text edit: the same with the pump step that paints it", window, withPump);
  Print("text edit: by-value accessor, VarGet+VarPut+Refresh+GoBottom", window, byValue);
  std::printf("one full resend of the whole log: %.0f us (%.0f x a line at the end)\n", resend,
              resend / program.last);
  Print("compact view: TextVar, Append+Refresh+GoBottom per line", window, compact);
  Print("compact view: the same with the pump step that paints it", window, compactWithPump);
  std::printf(
      "compact view against the text edit, last lines: %.3f x (%.3f x with the pump step)\n",
      compact.last / program.last, compactWithPump.last / withPump.last);
  return 0;
}
