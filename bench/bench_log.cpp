// The log control under a long session: what one appended line costs at
// the start of the log and at its end, appended the way the transfer
// program does it (whole text through the accessor, Refresh, GoBottom).
// Usage: bench_log [lines]   (default 100000)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ui/ui.h"

namespace {

using Clock = std::chrono::steady_clock;

double Micros(Clock::duration d) {
  return std::chrono::duration<double, std::micro>(d).count();
}

}  // namespace

int main(int argc, char** argv) {
  using namespace talvi::ui;
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  const long lines = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 100000;
  const long window = lines >= 10000 ? 1000 : lines / 10 + 1;
  Startup(argc, argv);

  DialogArgs args;
  args.nWidth = 500;
  args.nHeight = 500;
  TDialog dialog(args);
  std::string log;
  TMultiGet* get = TMultiGet::New(
      0, 0, [&](std::optional<std::string> v) { return v ? (log = std::move(*v)) : log; }, &dialog,
      200, 80, true);
  ActivateArgs activate;
  activate.lModal = false;
  activate.bInit = [&](TDialog& d) { d.SetControl(get); };
  dialog.Activate(activate);
  SYSREFRESH();

  double shownFirst = 0, shownLast = 0, wholeFirst = 0, wholeLast = 0;
  for (long i = 0; i < lines; ++i) {
    const std::string line =
        "Receiving track " + std::to_string(i % 80) + ", side " + std::to_string(i % 2) + "\r\n";
    const auto t0 = Clock::now();
    get->VarPut(get->VarGet() + line);
    const auto t1 = Clock::now();
    get->Refresh();
    get->GoBottom();
    const auto t2 = Clock::now();
    if (i < window) {
      shownFirst += Micros(t2 - t1);
      wholeFirst += Micros(t2 - t0);
    } else if (i >= lines - window) {
      shownLast += Micros(t2 - t1);
      wholeLast += Micros(t2 - t0);
    }
    if (i % 256 == 0) SYSREFRESH();
  }
  SYSREFRESH();
  // For comparison: sending the whole text again, as a plain edit control
  // needs on every line.
  const std::string whole = log;
  get->VarPut("");
  get->Refresh();
  get->VarPut(whole);
  const auto r0 = Clock::now();
  get->Refresh();
  const auto r1 = Clock::now();

  // What the accessor alone costs at the end: it hands the whole text over
  // by value, a copy that Refresh cannot avoid.
  const auto c0 = Clock::now();
  std::size_t sink = 0;
  for (int i = 0; i < 100; ++i) sink += get->VarGet().size();
  const auto c1 = Clock::now();

  std::printf("lines: %ld, log bytes: %zu\n", lines, log.size());
  std::printf("VarGet (whole-text copy) at the end: %.2f us (%zu)\n", Micros(c1 - c0) / 100.0,
              sink / 100);
  std::printf(
      "Refresh+GoBottom per line: first %ld lines %.2f us, last %ld lines %.2f us, "
      "ratio %.2f\n",
      window, shownFirst / static_cast<double>(window), window,
      shownLast / static_cast<double>(window), shownLast / shownFirst);
  std::printf(
      "with VarGet+VarPut (whole text copied by the caller): first %.2f us, "
      "last %.2f us, ratio %.2f\n",
      wholeFirst / static_cast<double>(window), wholeLast / static_cast<double>(window),
      wholeLast / wholeFirst);
  std::printf("one full resend of the whole log: %.0f us\n", Micros(r1 - r0));
  dialog.End();
  return 0;
}
