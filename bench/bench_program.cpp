// SPDX-License-Identifier: MIT
// The real talvi program where users meet it: under a private X server,
// receiving from the simulated remote (a child process) over a pty, first at
// the line's own pace (--rate line: 32-byte slices on the 57600 8N1
// schedule), then unthrottled, then waiting for a command with nothing
// happening. Processor time is read for the program's process (all its
// threads) and for the X server from /proc, so nothing inside the program
// is changed for the measurement.
// Usage: bench_program [sides] [idle seconds] [runs] [program]
// (default 160 30 1 and the talvi built beside it; another build's talvi,
// main's for instance, is measured in the same conditions when named)
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
#include <cstdint>
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

// The program measured.
std::string programPath = TALVI_PROGRAM;

// What the scheduler counts for one thread: processor time in seconds (its
// own count, in nanoseconds, not the 10 ms ticks of /proc/stat) and how
// many times the thread was put on a processor, which is about how many
// times it woke up.
struct ThreadUse {
  double seconds = 0;
  double runs = 0;
};

// Each thread of `pid` so far, by thread id.
std::map<long, ThreadUse> ThreadCpu(pid_t pid) {
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  std::map<long, ThreadUse> threads;
  if (DIR* dir = opendir(tasks.c_str())) {
    while (dirent* entry = readdir(dir)) {
      if (entry->d_name[0] == '.') continue;
      std::ifstream stat(tasks + "/" + entry->d_name + "/schedstat");
      double ns = 0, waited = 0, runs = 0;
      if (stat >> ns >> waited >> runs) threads[std::atol(entry->d_name)] = {ns / 1e9, runs};
    }
    closedir(dir);
  }
  return threads;
}

std::string ThreadName(pid_t pid, long tid) {
  std::ifstream comm("/proc/" + std::to_string(pid) + "/task/" + std::to_string(tid) + "/comm");
  std::string name;
  std::getline(comm, name);
  return name;
}

// The use of `pid` since `before` was taken, whole and by kind of thread:
// the window thread (the process's first), the port watchers (threads of
// the program's own name) and the rest (Qt's). A thread that ended
// meanwhile (a Qt pool thread retires after 30 idle seconds) is left out
// rather than subtracted.
struct Use {
  double seconds = 0, window = 0, watchers = 0, others = 0;
  double runs = 0, windowRuns = 0, watcherRuns = 0;
};

Use CpuSince(pid_t pid, const std::map<long, ThreadUse>& before) {
  Use use;
  const std::string self = ThreadName(pid, pid);
  for (const auto& [tid, now] : ThreadCpu(pid)) {
    const auto it = before.find(tid);
    const ThreadUse was = it == before.end() ? ThreadUse{} : it->second;
    const double seconds = now.seconds - was.seconds;
    use.seconds += seconds;
    use.runs += now.runs - was.runs;
    if (tid == pid) {
      use.window += seconds;
      use.windowRuns += now.runs - was.runs;
    } else if (ThreadName(pid, tid) == self) {
      use.watchers += seconds;
      use.watcherRuns += now.runs - was.runs;
    } else {
      use.others += seconds;
    }
  }
  return use;
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
    talvi.emplace(std::vector<std::string>{programPath}, folder.string());
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
struct Figure {
  double program = 0, xserver = 0, wall = 0;
  double window = 0, watchers = 0, others = 0;  // the program's share by thread
  double runsPerSecond = 0;                     // of all the program's threads
  double windowRuns = 0, watcherRuns = 0;       // per second
};

void Print(const char* what, const Figure& f) {
  std::printf(
      "  %s program %.3f %% (window thread %.3f, watcher %.3f, others %.3f; %.0f runs/s: "
      "window %.0f, watcher %.0f), X server %.3f %% of the line time (%.1f s)\n",
      what, f.program, f.window, f.watchers, f.others, f.runsPerSecond, f.windowRuns, f.watcherRuns,
      f.xserver, f.wall);
}

bool Receive(const std::filesystem::path& folder, const char* rate, int sides, pid_t server,
             Figure& f) {
  Run run(folder, {"--rate", rate, "--sides", std::to_string(sides), "--stall", "0:0:3000",
                   "--ack-timeout", "30000"});
  if (!run.shown) return false;
  std::this_thread::sleep_for(milliseconds(1500));
  const auto cpu0 = ThreadCpu(run.talvi->pid());
  const auto x0 = ThreadCpu(server);
  const auto t0 = Clock::now();
  if (!run.remote.Wait(std::chrono::seconds(sides * 3 + 60))) return false;
  f.wall = std::chrono::duration<double>(Clock::now() - t0).count();
  const double scale = static_cast<double>(kDiskSides) / sides;
  const double line = kDiskSides * kSideLineSeconds;
  const Use use = CpuSince(run.talvi->pid(), cpu0);
  f.program = 100.0 * use.seconds * scale / line;
  f.window = 100.0 * use.window * scale / line;
  f.watchers = 100.0 * use.watchers * scale / line;
  f.others = 100.0 * use.others * scale / line;
  f.runsPerSecond = use.runs / f.wall;
  f.windowRuns = use.windowRuns / f.wall;
  f.watcherRuns = use.watcherRuns / f.wall;
  f.xserver = 100.0 * CpuSince(server, x0).seconds * scale / line;
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
  program = 100.0 * CpuSince(run.talvi->pid(), cpu0).seconds / wall;
  xserver = 100.0 * CpuSince(server, x0).seconds / wall;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);  // each figure as it comes
  const int sides = argc > 1 ? std::max(1, std::atoi(argv[1])) : kDiskSides;
  const int idleSeconds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 30;
  const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 1;
  if (argc > 4) programPath = argv[4];
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

  std::printf("%s under Xvfb, %d track sides per run, scaled to a disk (%d)\n", programPath.c_str(),
              sides, kDiskSides);
  struct Figures {
    std::vector<double> program, xserver, wall;
  } line, fast, idle;
  for (int r = 0; r < runs; ++r) {
    Figure f;
    if (!Receive(folder, "line", sides, x.pid(), f)) {
      std::fprintf(stderr, "bench_program: the run at the line rate failed\n");
      return 1;
    }
    Print("at the line rate:", f);
    line.program.push_back(f.program);
    line.xserver.push_back(f.xserver);
    if (!Receive(folder, "max", sides, x.pid(), f)) {
      std::fprintf(stderr, "bench_program: the unthrottled run failed\n");
      return 1;
    }
    Print("unthrottled:     ", f);
    fast.program.push_back(f.program);
    fast.xserver.push_back(f.xserver);
    double p = 0, s = 0;
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
