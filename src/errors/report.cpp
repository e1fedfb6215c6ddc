// SPDX-License-Identifier: MIT
#include "errors/report.h"

namespace talvi::errors {
namespace {

void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
  for (std::size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

}  // namespace

Frame BlamedRoutine(const Error& error) {
  std::size_t level = error.SUBSYSTEM == "DBCMD" ? 1 : 0;
  const auto at = [&](std::size_t n) { return n < error.stack.size() ? error.stack[n] : Frame{}; };
  while (at(level).line == 0 && !at(level).name.empty()) ++level;
  return at(level);
}

std::string ERRORMESSAGE(const Error& error) {
  std::string text = error.SEVERITY > 1 ? "Error " : "Warning ";
  text += error.SUBSYSTEM ? *error.SUBSYSTEM : "???";
  text += error.SUBCODE ? "/" + std::to_string(*error.SUBCODE) : "/???";
  if (error.DESCRIPTION) text += "  " + *error.DESCRIPTION;
  if (!error.FILENAME.empty()) {
    text += ": " + error.FILENAME;
  } else if (!error.OPERATION.empty()) {
    text += ": " + error.OPERATION;
  }
  const Frame blamed = BlamedRoutine(error);
  text += ";Function: " + blamed.name + "  Line: " + std::to_string(blamed.line);
  return text;
}

std::string EncodeForMail(std::string_view report) {
  std::string text(report);
  ReplaceAll(text, "&", "%26");
  ReplaceAll(text, ";", "%0d%0a");
  return text;
}

std::string MailLink(std::string_view report, std::string_view program_path) {
  std::string link = "mailto:?subject=Rapporto di errore&body=Applicazione: ";
  link += program_path;
  link += "%0d%0a%0d%0a";
  link += EncodeForMail(report);
  return link;
}

}  // namespace talvi::errors
