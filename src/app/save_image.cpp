// SPDX-License-Identifier: MIT
#include "app/save_image.h"

#include <filesystem>
#include <optional>
#include <system_error>

#include "app/image_file.h"
#include "base/ascii.h"
#include "lib/window/msgbox.h"
#include "os/atomic_file.h"
#include "os/path.h"
#include "ui/filedialog.h"

namespace talvi::app {
namespace {

std::string Trim(const std::string& text) {
  return std::string(base::Trim(text));
}

}  // namespace

std::string CFILEEXT(const std::string& name) {
  const auto slash = name.find_last_of("\\/:");
  const std::string file = slash == std::string::npos ? name : name.substr(slash + 1);
  const auto dot = file.rfind('.');
  return dot == std::string::npos ? std::string() : Trim(file.substr(dot + 1));
}

std::string InitialDirectory() {
  std::error_code ec;
  const auto cwd = std::filesystem::current_path(ec);
  if (ec) return {};
  std::string rest = cwd.relative_path().string();
  while (!rest.empty() && (rest.back() == '/' || rest.back() == '\\')) rest.pop_back();
  const std::string native = cwd.root_name().string() +
                             static_cast<char>(std::filesystem::path::preferred_separator) + rest;
  // A folder whose name the program's text cannot hold is not named at all:
  // the chooser then opens where it opens by itself (the working folder).
  return os::ProgramCanHold(native) ? os::ProgramPath(native) : std::string();
}

std::string OverwriteQuestion(const std::string& name) {
  return "Il file " + name + " gi\xE0 esiste. Lo sovrascrivo?";
}

std::string WriteFailedMessage(const std::string& name) {
  return "Impossibile scrivere il file " + name + ".";
}

void SAVE(std::string& image) {
  const std::string folder = InitialDirectory();
  // Asked again after a failed write, so that a disk is never lost
  // without the user having chosen to drop it.
  for (;;) {
    std::string name =
        ui::cGetFile("File OPD (*.opd)|*.opd", std::string("Salva in"), std::nullopt, folder, true);
    if (Trim(name).empty()) return;
    if (CFILEEXT(name).empty()) name += ".opd";
    // The name is the program's text; the file system has its own form.
    const std::string native = os::NativePath(name);
    std::error_code ec;
    if (std::filesystem::exists(native, ec) &&
        !lib::IsTrue(lib::POPMSG(OverwriteQuestion(name), 2))) {
      return;
    }
    std::string bytes = ImageFileBytes(image);
    // Written beside the old file and renamed over it: a failed write never
    // leaves a half-written or truncated file behind.
    if (os::ReplaceFileContents(native, bytes)) {
      image = std::move(bytes);
      return;
    }
    lib::POPMSG(WriteFailedMessage(name), 1);
  }
}

}  // namespace talvi::app
