// SPDX-License-Identifier: MIT
// Runs a Windows test program under Wine against a real COM port whose far
// end echoes every byte back.
//
//   wine_com_peer WINE PROGRAM [ARGUMENTS...]
//
// A Linux program (built with the host compiler beside the Windows build):
// it opens a pseudo-terminal, maps its slave as COMn in the Wine prefix
// ($WINEPREFIX/dosdevices/comN -> /dev/pts/X, the first free N from 40),
// starts WINE PROGRAM ARGUMENTS with TALVI_TEST_COM_ECHO=\\.\COMn in its
// environment, and plays the far end on the master: whatever the program
// writes comes back, in order, never dropped (an unbounded queue, so the
// program's writes never wait for its own reads). The mapping is removed
// afterwards; the exit status is the program's.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <string>

namespace {

volatile sig_atomic_t g_stop = 0;

void OnSignal(int) {
  g_stop = 1;
}

std::string DosDevices() {
  const char* prefix = std::getenv("WINEPREFIX");
  if (prefix != nullptr && *prefix != '\0') return std::string(prefix) + "/dosdevices";
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr ? home : "") + "/.wine/dosdevices";
}

// Maps `device` as the first free COMn from 40 up; gives n, or 0.
int MapPort(const std::string& dosdevices, const std::string& device, std::string& link) {
  for (int n = 40; n < 256; ++n) {
    link = dosdevices + "/com" + std::to_string(n);
    if (::symlink(device.c_str(), link.c_str()) == 0) return n;
    if (errno != EEXIST) break;
  }
  std::perror(("wine_com_peer: symlink " + link).c_str());
  return 0;
}

// Echoes between reads and writes on the master until the child ends;
// gives the child's wait status.
int Echo(int master, pid_t child) {
  std::deque<char> queue;
  for (;;) {
    int status = 0;
    const pid_t done = ::waitpid(child, &status, WNOHANG);
    if (done == child) return status;
    if (g_stop) {
      ::kill(child, SIGTERM);
      ::waitpid(child, &status, 0);
      return status;
    }
    pollfd p{master, static_cast<short>(POLLIN | (queue.empty() ? 0 : POLLOUT)), 0};
    if (::poll(&p, 1, 50) <= 0) continue;
    if ((p.revents & POLLIN) != 0) {
      char buffer[4096];
      const ssize_t n = ::read(master, buffer, sizeof buffer);
      if (n > 0) queue.insert(queue.end(), buffer, buffer + n);
    }
    if ((p.revents & POLLOUT) != 0 && !queue.empty()) {
      char buffer[4096];
      std::size_t count = 0;
      for (auto it = queue.begin(); it != queue.end() && count < sizeof buffer; ++it) {
        buffer[count++] = *it;
      }
      const ssize_t n = ::write(master, buffer, count);
      if (n > 0) queue.erase(queue.begin(), queue.begin() + n);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: wine_com_peer WINE PROGRAM [ARGUMENTS...]\n");
    return 2;
  }
  int master = -1;
  int slave = -1;
  char name[256] = {};
  if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
    std::perror("wine_com_peer: openpty");
    return 1;
  }
  // Raw from the start, so that nothing is translated before the program
  // sets its line; the slave stays open here so that the master never sees
  // a hang-up while the program closes and reopens the port.
  termios raw{};
  ::tcgetattr(slave, &raw);
  ::cfmakeraw(&raw);
  ::tcsetattr(slave, TCSANOW, &raw);
  ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);

  std::string link;
  const int port = MapPort(DosDevices(), name, link);
  if (port == 0) return 1;
  struct sigaction action {};
  action.sa_handler = OnSignal;
  ::sigaction(SIGTERM, &action, nullptr);
  ::sigaction(SIGINT, &action, nullptr);

  const pid_t child = ::fork();
  if (child == 0) {
    const std::string com = "\\\\.\\COM" + std::to_string(port);
    ::setenv("TALVI_TEST_COM_ECHO", com.c_str(), 1);
    ::close(master);
    ::close(slave);
    ::execvp(argv[1], argv + 1);
    std::perror("wine_com_peer: exec");
    _exit(127);
  }
  int status = 1 << 8;
  if (child > 0) {
    status = Echo(master, child);
  } else {
    std::perror("wine_com_peer: fork");
  }
  ::unlink(link.c_str());
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}
