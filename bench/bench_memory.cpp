// SPDX-License-Identifier: MIT
// The memory of a long session: disk after disk received from the
// simulated remote (a child process, unthrottled) through the real session,
// each one saved through the real save step (file chooser and overwrite
// question answered like a user would, the file written), the log growing
// by a line per track side. Prints the resident size after 1, 10, 100 and
// then every 100 disks, with the heap's own count of the bytes in use.
// Usage: bench_memory [disks] [nowindowlog|compactlog]   (default 1000
// disks; with "compactlog" the log is shown by the compact view; with
// "nowindowlog" the log text still grows but no window shows it, which
// tells the window's share from the rest)
#include <fcntl.h>
#include <malloc.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "app/apricom.h"
#include "app/modal_answers.h"
#include "app/save_image.h"
#include "app/transfer.h"
#include "os/keystate.h"
#include "serial/serial.h"
#include "ui/app.h"
#include "ui/dialog.h"
#include "ui/multiget.h"
#include "ui/qt/log_choice.h"

extern char** environ;

namespace {

// A field of /proc/self/status in KiB ("VmRSS", "VmHWM").
long StatusKiB(const std::string& field) {
  std::ifstream status("/proc/self/status");
  std::string key;
  long value = 0;
  while (status >> key) {
    if (key == field + ":") {
      status >> value;
      return value;
    }
    status.ignore(1 << 10, '\n');
  }
  return -1;
}

class Remote {
 public:
  Remote(const std::string& link, int disks) {
    const std::string program = TALVI_REMOTE;
    std::vector<std::string> args = {program,
                                     "--link",
                                     link,
                                     "--rate",
                                     "max",
                                     "--disks",
                                     std::to_string(disks),
                                     "--linger",
                                     "5000",
                                     "--ack-timeout",
                                     "120000",
                                     "--connect-timeout",
                                     "60000"};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    if (posix_spawn(&pid_, program.c_str(), &quiet, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&quiet);
    for (int i = 0; i < 500 && pid_ > 0 && !std::filesystem::exists(link); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  ~Remote() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  bool ok() const { return pid_ > 0; }

 private:
  pid_t pid_ = -1;
};

}  // namespace

int main(int argc, char** argv) {
  const int disks = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
  const bool windowLog = !(argc > 2 && std::string(argv[2]) == "nowindowlog");
  if (argc > 2 && std::string(argv[2]) == "compactlog") talvi::ui::qt::UseCompactLog(true);
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  talvi::ui::Startup();
  const auto folder =
      std::filesystem::temp_directory_path() / ("talvi-bench-memory-" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  const std::string link = (folder / "com").string();
  const std::string file = (folder / "disk.opd").string();
  const long before = StatusKiB("VmRSS");

  int saved = 0;
  int nextReport = 1;
  const auto start = std::chrono::steady_clock::now();
  {
    Remote remote(link, disks);
    talvi::ui::DialogArgs args;
    args.cCaption = "bench";
    args.nWidth = 500;
    args.nHeight = 500;
    // Without a window log the control belongs to a dialog that never opens.
    auto hidden = talvi::ui::TDialog::New(args);
    auto dialog = talvi::ui::TDialog::New(args);
    talvi::ui::TextVar text;
    talvi::ui::TMultiGet* log = talvi::ui::TMultiGet::New(
        0, 0, text, windowLog ? dialog.get() : hidden.get(), 500, 500, true);
    // The session ends when the log's window closes: it follows the open one.
    log->oWnd = dialog.get();
    talvi::ui::ActivateArgs activate;
    activate.lModal = false;
    dialog->Activate(activate);
    talvi::app::Transfer transfer;
    const auto handle = talvi::app::APRICOM(*dialog, link, transfer);
    if (!remote.ok() || handle < 0) {
      std::fprintf(stderr, "bench_memory: the remote or the port did not start\n");
      return 1;
    }
    // The first disk's file is new; every later one replaces it, after the
    // question.
    talvi::testing::ModalAnswers answers;
    answers.File(file);
    for (int i = 1; i < disks; ++i) {
      answers.File(file);
      answers.Ok();
    }
    std::printf("%d disks, unthrottled, each saved, log %s; resident size before: %ld KiB\n", disks,
                !windowLog                    ? "not shown"
                : talvi::ui::qt::CompactLog() ? "shown by the compact view"
                                              : "shown by the text edit",
                before);
    transfer.save = [&](std::string& image) {
      talvi::app::SAVE(image);
      ++saved;
      if (saved == nextReport || saved == disks) {
        const double s =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const struct mallinfo2 heap = mallinfo2();
        std::printf(
            "  after %5d disks: resident %7ld KiB, peak %7ld KiB, heap in use %7zu KiB, free in "
            "heap %7zu KiB, log %zu bytes (%.0f s)\n",
            saved, StatusKiB("VmRSS"), StatusKiB("VmHWM"), (heap.uordblks + heap.hblkhd) >> 10,
            heap.fordblks >> 10, text.Get().size(), s);
        std::fflush(stdout);
        nextReport = nextReport < 100 ? nextReport * 10 : nextReport + 100;
      }
      if (saved >= disks) talvi::os::SetKeyStateOverride(talvi::os::VK_ESCAPE, true);
    };
    transfer.TALVI(handle, *log);
    talvi::serial::CLOSECOMM(handle);
    talvi::os::ClearKeyStateOverrides();
    if (std::filesystem::file_size(file) != 160u * 4608u) {
      std::fprintf(stderr, "bench_memory: the saved file has the wrong size\n");
      return 1;
    }
    if (dialog->hWnd != 0) dialog->End();
  }
  std::filesystem::remove_all(folder);
  return saved == disks ? 0 : 1;
}
