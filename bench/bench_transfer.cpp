// SPDX-License-Identifier: MIT
// One full disk (160 track sides, 737 280 bytes) through the transfer
// session over an unthrottled pseudo-terminal, and the cost of waiting idly
// for a command. The simulated remote runs as a child process, so the CPU
// time measured here is the program's alone. Figures are set against the
// disk's time on the real line: 57600 bit/s, 8N1, 5760 bytes/s, 128 s.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/apricom.h"
#include "app/transfer.h"
#include "os/keystate.h"
#include "serial/serial.h"
#include "ui/app.h"
#include "ui/dialog.h"
#include "ui/multiget.h"

extern char** environ;

namespace {

constexpr double kLineSeconds = 160.0 * 4608.0 / 5760.0;

double CpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

double WallSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// talvi-remote as a child process on its own pty, linked at `link`.
class RemoteProcess {
 public:
  RemoteProcess(const std::string& link, std::vector<std::string> extra) {
    const auto self = std::filesystem::read_symlink("/proc/self/exe").parent_path();
    const std::string program = (self.parent_path() / "tools/remote/talvi-remote").string();
    std::vector<std::string> args = {program, "--link", link, "--rate", "max"};
    args.insert(args.end(), extra.begin(), extra.end());
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
  ~RemoteProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  bool ok() const { return pid_ > 0; }

 private:
  pid_t pid_ = -1;
};

struct Window {
  Window() {
    talvi::ui::DialogArgs args;
    args.cCaption = "bench";
    args.nWidth = 500;
    args.nHeight = 500;
    dialog = talvi::ui::TDialog::New(args);
    log = talvi::ui::TMultiGet::New(0, 0, text, dialog.get(), 500, 500, true);
    talvi::ui::ActivateArgs activate;
    activate.lModal = false;
    dialog->Activate(activate);
  }
  ~Window() {
    if (dialog->hWnd != 0) dialog->End();
  }
  std::unique_ptr<talvi::ui::TDialog> dialog;
  talvi::ui::TMultiGet* log = nullptr;
  talvi::ui::TextVar text;
};

struct Cost {
  double wall = 0;  // seconds
  double cpu = 0;   // seconds of this process's processor time
};

// Runs one session to its end (the Esc override ends it), then closes the
// port.
Cost RunSession(talvi::app::Transfer& transfer, talvi::serial::Handle handle,
                talvi::ui::TMultiGet& log) {
  const double wall0 = WallSeconds();
  const double cpu0 = CpuSeconds();
  transfer.TALVI(handle, log);
  const Cost cost{WallSeconds() - wall0, CpuSeconds() - cpu0};
  talvi::serial::CLOSECOMM(handle);
  talvi::os::ClearKeyStateOverrides();
  return cost;
}

}  // namespace

int main() {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  talvi::ui::Startup();
  const auto folder =
      std::filesystem::temp_directory_path() / ("talvi-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  const std::string link = (folder / "com").string();

  {
    RemoteProcess remote(link, {"--sides", "160", "--linger", "5000"});
    Window window;
    talvi::app::Transfer transfer;
    const auto handle = talvi::app::APRICOM(*window.dialog, link, transfer);
    if (!remote.ok() || handle < 0) {
      std::fprintf(stderr, "bench_transfer: the remote or the port did not start\n");
      return 1;
    }
    std::size_t saved = 0;
    transfer.save = [&saved](std::string& image) {
      saved = image.size();
      talvi::os::SetKeyStateOverride(talvi::os::VK_ESCAPE, true);
    };
    const auto [wall, cpu] = RunSession(transfer, handle, *window.log);
    std::printf("full disk, unthrottled pty: %zu bytes received\n", saved);
    std::printf("  wall time      %8.3f s = %6.3f %% of the line time (%.0f s)\n", wall,
                100.0 * wall / kLineSeconds, kLineSeconds);
    std::printf("  program CPU    %8.3f s = %6.3f %% of the line time\n", cpu,
                100.0 * cpu / kLineSeconds);
  }

  {
    constexpr int kIdleMs = 10000;
    RemoteProcess remote(link, {"--disks", "0", "--linger", "15000"});
    Window window;
    talvi::app::Transfer transfer;
    const auto handle = talvi::app::APRICOM(*window.dialog, link, transfer);
    if (!remote.ok() || handle < 0) return 1;
    QTimer::singleShot(kIdleMs, [] { talvi::os::SetKeyStateOverride(talvi::os::VK_ESCAPE, true); });
    const auto [wall, cpu] = RunSession(transfer, handle, *window.log);
    std::printf("waiting for a command for %.2f s:\n", wall);
    std::printf("  program CPU    %8.3f s = %6.3f %% of one core\n", cpu, 100.0 * cpu / wall);
  }
  std::filesystem::remove_all(folder);
  return 0;
}
