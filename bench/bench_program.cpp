// SPDX-License-Identifier: MIT
// The real talvi program where users meet it: under a private X server,
// receiving from the simulated remote (a child process) over a pty, first at
// the line's own pace (--rate line: 32-byte slices on the 57600 8N1
// schedule), then unthrottled, then waiting for a command with nothing
// happening. Processor time is read for the program's process (all its
// threads) and for the X server from /proc, so nothing inside the program
// is changed for the measurement.
// Usage: bench_program [sides] [idle seconds] [runs]   (default 160 30 1)
// A disk is 160 sides, 128 s at the line rate; with fewer sides the figure
// is scaled to a whole disk.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/xserver.h"

extern char** environ;

namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

constexpr double kSideLineSeconds = 4608.0 / 5760.0;
constexpr int kDiskSides = 160;

// Processor time of each thread of `pid` so far, in seconds, by thread id
// (the scheduler's own count, in nanoseconds, not the 10 ms ticks of
// /proc/stat).
std::map<std::string, double> ThreadCpu(pid_t pid) {
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  std::map<std::string, double> threads;
  if (DIR* dir = opendir(tasks.c_str())) {
    while (dirent* entry = readdir(dir)) {
      if (entry->d_name[0] == '.') continue;
      std::ifstream stat(tasks + "/" + entry->d_name + "/schedstat");
      double ns = 0;
      if (stat >> ns) threads[entry->d_name] = ns / 1e9;
    }
    closedir(dir);
  }
  return threads;
}

// The processor time of `pid` since `before` was taken. A thread that ended
// meanwhile (a Qt pool thread retires after 30 idle seconds) is left out
// rather than subtracted.
double CpuSince(pid_t pid, const std::map<std::string, double>& before) {
  double total = 0;
  for (const auto& [tid, seconds] : ThreadCpu(pid)) {
    const auto it = before.find(tid);
    total += seconds - (it == before.end() ? 0.0 : it->second);
  }
  return total;
}

std::string Shell(const std::string& command) {
  std::string out;
  if (FILE* p = popen(command.c_str(), "r")) {
    char buf[256];
    while (fgets(buf, sizeof buf, p) != nullptr) out += buf;
    pclose(p);
  }
  return out;
}

class Child {
 public:
  Child(const std::vector<std::string>& args, const std::string& folder) {
    std::vector<std::string> copy = args;
    std::vector<char*> argv;
    for (auto& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    if (!folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Child() { Kill(); }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  pid_t pid() const { return pid_; }
  bool ok() const { return pid_ > 0; }
  // Waits for the end; false when `limit` passed first.
  bool Wait(milliseconds limit) {
    const auto end = Clock::now() + limit;
    while (Clock::now() < end) {
      if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
        pid_ = -1;
        return true;
      }
      std::this_thread::sleep_for(milliseconds(20));
    }
    return false;
  }
  void Kill() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
};

// A program run on a remote with `remoteArgs`; the window has appeared.
struct Run {
  Run(const std::filesystem::path& folder, const std::vector<std::string>& remoteArgs)
      : link((folder / "com").string()), remote(Args(remoteArgs, link), "") {
    std::ofstream(folder / "TALVI.INI") << "[Impostazioni]\r\nPorta=" << link << "\r\n";
    talvi.emplace(std::vector<std::string>{TALVI_PROGRAM}, folder.string());
    const auto end = Clock::now() + std::chrono::seconds(60);
    while (talvi->ok() && Clock::now() < end) {
      if (!Shell("xdotool search --name 'TALVI 1.01' 2>/dev/null").empty()) {
        shown = true;
        break;
      }
      std::this_thread::sleep_for(milliseconds(50));
    }
  }
  static std::vector<std::string> Args(std::vector<std::string> extra, const std::string& link) {
    std::vector<std::string> args = {TALVI_REMOTE, "--link", link};
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
  }
  std::string link;
  Child remote;
  std::optional<Child> talvi;
  bool shown = false;
};

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

// Processor time over one disk's transfer, in % of the disk's line time.
// The remote pauses 3 s after the first side's header, so that the
// program's start-up is over when the measurement starts.
bool Receive(const std::filesystem::path& folder, const char* rate, int sides, pid_t server,
             double& program, double& xserver, double& wall) {
  Run run(folder, {"--rate", rate, "--sides", std::to_string(sides), "--stall", "0:0:3000",
                   "--ack-timeout", "30000"});
  if (!run.shown) return false;
  std::this_thread::sleep_for(milliseconds(1500));
  const auto cpu0 = ThreadCpu(run.talvi->pid());
  const auto x0 = ThreadCpu(server);
  const auto t0 = Clock::now();
  if (!run.remote.Wait(std::chrono::seconds(sides * 3 + 60))) return false;
  wall = std::chrono::duration<double>(Clock::now() - t0).count();
  const double scale = static_cast<double>(kDiskSides) / sides;
  const double line = kDiskSides * kSideLineSeconds;
  program = 100.0 * CpuSince(run.talvi->pid(), cpu0) * scale / line;
  xserver = 100.0 * CpuSince(server, x0) * scale / line;
  return true;
}

// Processor time while the program waits for a command, in % of a core.
bool Idle(const std::filesystem::path& folder, int seconds, pid_t server, double& program,
          double& xserver) {
  Run run(folder, {"--disks", "0", "--linger", std::to_string((seconds + 30) * 1000)});
  if (!run.shown) return false;
  std::this_thread::sleep_for(milliseconds(2000));
  const auto cpu0 = ThreadCpu(run.talvi->pid());
  const auto x0 = ThreadCpu(server);
  const auto t0 = Clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
  program = 100.0 * CpuSince(run.talvi->pid(), cpu0) / wall;
  xserver = 100.0 * CpuSince(server, x0) / wall;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);  // each figure as it comes
  const int sides = argc > 1 ? std::max(1, std::atoi(argv[1])) : kDiskSides;
  const int idleSeconds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 30;
  const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 1;
  talvi::testing::XServer x;
  if (!x.ok()) {
    std::fprintf(stderr, "bench_program: Xvfb did not start\n");
    return 1;
  }
  x.exportDisplay();
  setenv("QT_QPA_PLATFORM", "xcb", 1);
  const auto folder =
      std::filesystem::temp_directory_path() / ("talvi-bench-program-" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);

  std::printf("the talvi program under Xvfb, %d track sides per run, scaled to a disk (%d)\n",
              sides, kDiskSides);
  struct Figures {
    std::vector<double> program, xserver, wall;
  } line, fast, idle;
  for (int r = 0; r < runs; ++r) {
    double p = 0, s = 0, w = 0;
    if (!Receive(folder, "line", sides, x.pid(), p, s, w)) {
      std::fprintf(stderr, "bench_program: the run at the line rate failed\n");
      return 1;
    }
    std::printf("  at the line rate: program %.3f %%, X server %.3f %% of the line time (%.1f s)\n",
                p, s, w);
    line.program.push_back(p);
    line.xserver.push_back(s);
    if (!Receive(folder, "max", sides, x.pid(), p, s, w)) {
      std::fprintf(stderr, "bench_program: the unthrottled run failed\n");
      return 1;
    }
    std::printf("  unthrottled:      program %.3f %%, X server %.3f %% of the line time (%.1f s)\n",
                p, s, w);
    fast.program.push_back(p);
    fast.xserver.push_back(s);
    if (!Idle(folder, idleSeconds, x.pid(), p, s)) {
      std::fprintf(stderr, "bench_program: the idle run failed\n");
      return 1;
    }
    std::printf("  waiting %d s:     program %.4f %%, X server %.4f %% of a core\n", idleSeconds, p,
                s);
    idle.program.push_back(p);
    idle.xserver.push_back(s);
  }
  std::printf("medians of %d run(s):\n", runs);
  std::printf(
      "  processor per disk at the line rate: %.3f %% of its line time (X server %.3f %%)\n",
      Median(line.program), Median(line.xserver));
  std::printf(
      "  processor per disk unthrottled:      %.3f %% of the line time (X server %.3f %%)\n",
      Median(fast.program), Median(fast.xserver));
  std::printf("  waiting for a command:               %.4f %% of a core (X server %.4f %%)\n",
              Median(idle.program), Median(idle.xserver));
  std::filesystem::remove_all(folder);
  return 0;
}
