// SPDX-License-Identifier: MIT
#include "errors/errorsys.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "base/ascii.h"
#include "errors/codes.h"
#include "errors/error.h"
#include "errors/report.h"

namespace talvi::errors {
namespace {

struct Hooks {
  MessageBoxHook messageBox;
  SunlockHook sunlock;
  OpenLinkHook openLink;
  PostQuitHook postQuit;
  QuitHook quit;
  std::vector<std::function<void()>> quitSteps;
};

std::mutex hooks_mutex;
Hooks& InstalledHooks() {
  static Hooks hooks{
      [](const std::string& text, int) {
        std::fprintf(stderr, "%s\n", text.c_str());
        return false;
      },
      {},
      [](const std::string& link) { OpenWithDefaultHandler(link); },
      {},
      [](int exitCode) { OrderlyQuit(exitCode); },
      {},
  };
  return hooks;
}

Hooks CurrentHooks() {
  std::lock_guard lock(hooks_mutex);
  return InstalledHooks();
}

template <typename Hook>
Hook Swap(Hook Hooks::*member, Hook hook) {
  std::lock_guard lock(hooks_mutex);
  std::swap(InstalledHooks().*member, hook);
  return hook;
}

// The cases that tell the user in plain words and abandon the operation,
// tested in this order: a condition, and the words around the file name.
struct PlainCase {
  bool (*applies)(const Error&);
  const char* before;
  const char* after;
};

constexpr std::array kPlainCases{
    PlainCase{[](const Error& e) { return e.OSCODE == os::kOsNotReady; }, "Disco ", " non pronto."},
    PlainCase{[](const Error& e) {
                return e.OSCODE == os::kOsSectorNotFound || e.OSCODE == os::kOsGenFailure;
              },
              "Disco ", " non formattato."},
    PlainCase{[](const Error& e) { return e.OSCODE == os::kOsWriteProtect; }, "Disco ",
              " protetto da scrittura."},
    PlainCase{[](const Error& e) { return e.OSCODE == os::kOsCannotMake; }, "Directory ",
              " piena."},
    PlainCase{[](const Error& e) { return e.SUBCODE == kSubDiskSpace; }, "Spazio sul disco ",
              " insufficiente."},
    PlainCase{[](const Error& e) { return e.OSCODE == os::kOsAccessDenied; },
              "Impossibile accedere al file ", "."},
    PlainCase{[](const Error& e) { return e.OSCODE == os::kOsPathNotFound; }, "Percorso ",
              " non trovato."},
    PlainCase{[](const Error& e) { return e.OSCODE == os::kOsFileNotFound; },
              "Impossibile aprire il file ", "."},
    PlainCase{
        [](const Error& e) { return e.SUBCODE == kSubCorrupt || e.GENCODE == kGenCorruption; },
        "Il file ", " risulta corrotto."},
};

bool Show(const Hooks& hooks, const std::string& text, int type) {
  return hooks.messageBox ? hooks.messageBox(text, type) : false;
}

[[noreturn]] void Abandon(const Hooks& hooks, const std::string& text, const Error& error) {
  if (hooks.sunlock) hooks.sunlock();
  Show(hooks, text, 1);
  throw Escape(error);
}

// An unexpected error: the full report, the offer to mail it, and the end
// of the program whatever the answer.
[[noreturn]] void ReportAndQuit(const Hooks& hooks, const Error& error) {
  if (hooks.sunlock) hooks.sunlock();
  const std::string report = ERRORMESSAGE(error);
  if (Show(hooks, report + ";;Inviare rapporto di errore via email?", 2) && hooks.openLink) {
    hooks.openLink(MailLink(report, ProgramPath()));
  }
  if (hooks.postQuit) hooks.postQuit(0);
  if (!hooks.quit) OrderlyQuit(0);
  hooks.quit(0);
  // Only a replaced quit action comes back here; the operation is still
  // not carried on.
  throw Escape(error);
}

Answer DEFERROR(const Error& error) {
  const Hooks hooks = CurrentHooks();
  for (const PlainCase& plain : kPlainCases) {
    if (plain.applies(error)) {
      Abandon(hooks, plain.before + base::AsciiUpper(error.FILENAME) + plain.after, error);
    }
  }
  if (error.GENCODE == kGenNoFunc) Abandon(hooks, ERRORMESSAGE(error), error);
  if (error.GENCODE == kGenZeroDiv) return Answer::Value(0);
  if ((error.GENCODE == kGenOpen && error.OSCODE == os::kOsSharingViolation && error.CANDEFAULT) ||
      (error.GENCODE == kGenAppendLock && error.CANDEFAULT)) {
    NETERR(true);
    return Answer::Default();
  }
  ReportAndQuit(hooks, error);
}

}  // namespace

void ERRORSYS() {
  SetHandler(DEFERROR);
}

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook) {
  return Swap(&Hooks::messageBox, std::move(hook));
}
SunlockHook SetSunlockHook(SunlockHook hook) {
  return Swap(&Hooks::sunlock, std::move(hook));
}
OpenLinkHook SetOpenLinkHook(OpenLinkHook hook) {
  return Swap(&Hooks::openLink, std::move(hook));
}
PostQuitHook SetPostQuitHook(PostQuitHook hook) {
  return Swap(&Hooks::postQuit, std::move(hook));
}
QuitHook SetQuitHook(QuitHook hook) {
  return Swap(&Hooks::quit, std::move(hook));
}

void OnQuit(std::function<void()> step) {
  std::lock_guard lock(hooks_mutex);
  InstalledHooks().quitSteps.push_back(std::move(step));
}

void OrderlyQuit(int exitCode) {
  for (const auto& step : CurrentHooks().quitSteps) {
    if (step) step();
  }
  std::exit(exitCode);
}

}  // namespace talvi::errors
