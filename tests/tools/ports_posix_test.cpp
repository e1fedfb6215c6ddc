// SPDX-License-Identifier: MIT
// talvi-ports against real pseudo-terminals: a port that is ready, one held
// by another process (with and without a lock), one this user may not open
// (checked as an unprivileged user), names that lead nowhere; and the
// listing over a device tree laid out as a machine with adapters has it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "ports/ports.h"
#include "support/temp_dir.h"

extern char** environ;

namespace talvi::ports {
namespace {

using testing::TempDir;
using testing::WriteBytes;

// A pseudo-terminal whose slave side nobody has open: the master alone
// keeps it in being.
struct Pty {
  Pty() {
    char buf[256] = {};
    int slave = -1;
    if (::openpty(&master, &slave, buf, nullptr, nullptr) == 0) {
      name = buf;
      ::close(slave);
      ::fcntl(master, F_SETFD, FD_CLOEXEC);
    }
  }
  ~Pty() {
    if (master >= 0) ::close(master);
  }
  int master = -1;
  std::string name;
};

// port_holder as a child process that holds `path` until it is destroyed.
class Holder {
 public:
  Holder(const std::string& mode, const std::string& path) {
    int in[2];
    int out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    std::string program = PORT_HOLDER;
    char* argv[] = {program.data(), const_cast<char*>(mode.c_str()),
                    const_cast<char*>(path.c_str()), nullptr};
    if (posix_spawn(&pid_, PORT_HOLDER, &actions, nullptr, argv, environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    toChild_ = in[1];
    char word[8] = {};
    ready_ = pid_ > 0 && ::read(out[0], word, 5) == 5 && std::string(word) == "ready";
    ::close(out[0]);
  }
  ~Holder() {
    if (toChild_ >= 0) ::close(toChild_);
    if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
  }
  bool ready() const { return ready_; }
  long pid() const { return static_cast<long>(pid_); }

 private:
  pid_t pid_ = -1;
  int toChild_ = -1;
  bool ready_ = false;
};

struct Outcome {
  int status = -1;
  std::string out;
};

Outcome Shell(const std::string& command) {
  Outcome run;
  FILE* p = ::popen((command + " 2>&1").c_str(), "r");
  if (p == nullptr) return run;
  char buf[512];
  while (std::fgets(buf, sizeof buf, p) != nullptr) run.out += buf;
  const int status = ::pclose(p);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(PortsCheck, APseudoTerminalIsReady) {
  Pty pty;
  ASSERT_FALSE(pty.name.empty());
  const Diagnosis d = CheckPort(pty.name);
  EXPECT_EQ(d.verdict, Verdict::kReady) << d.problem;
  EXPECT_EQ(d.path, pty.name);
  EXPECT_TRUE(d.fix.empty());
  const Outcome run = Shell(std::string(TALVI_PORTS_TOOL) + " " + pty.name);
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_TRUE(Contains(run.out, "ready")) << run.out;
  EXPECT_TRUE(Contains(run.out, "Porta=" + pty.name)) << run.out;
}

TEST(PortsCheck, APortHeldByAnotherProcessIsBusyAndNamesIt) {
  Pty pty;
  ASSERT_FALSE(pty.name.empty());
  {
    // Held as TALVI holds it: the lock tells.
    Holder holder("lock", pty.name);
    ASSERT_TRUE(holder.ready());
    const Diagnosis d = CheckPort(pty.name);
    EXPECT_EQ(d.verdict, Verdict::kBusy) << d.problem;
    ASSERT_EQ(d.holders.size(), 1u) << d.problem;
    EXPECT_EQ(d.holders[0].pid, holder.pid());
    EXPECT_EQ(d.holders[0].command, "port_holder");
    EXPECT_TRUE(Contains(d.problem, "port_holder (process " + std::to_string(holder.pid())))
        << d.problem;
    const Outcome run = Shell(std::string(TALVI_PORTS_TOOL) + " " + pty.name);
    EXPECT_EQ(run.status, 3) << run.out;
    EXPECT_TRUE(Contains(run.out, "busy")) << run.out;
  }
  {
    // Held open without a lock, as a terminal program might: both programs
    // would read the line, so it is busy too.
    Holder holder("plain", pty.name);
    ASSERT_TRUE(holder.ready());
    const Diagnosis d = CheckPort(pty.name);
    EXPECT_EQ(d.verdict, Verdict::kBusy) << d.problem;
    ASSERT_EQ(d.holders.size(), 1u);
    EXPECT_EQ(d.holders[0].pid, holder.pid());
  }
  // Let go: ready again.
  EXPECT_EQ(CheckPort(pty.name).verdict, Verdict::kReady);
}

TEST(PortsCheck, APortThisUserMayNotOpenNamesTheGroupToJoin) {
  Pty pty;
  ASSERT_FALSE(pty.name.empty());
  if (::geteuid() != 0) {
    // The owner takes the permission away from itself.
    ASSERT_EQ(::chmod(pty.name.c_str(), 0), 0);
    const Diagnosis d = CheckPort(pty.name);
    EXPECT_EQ(d.verdict, Verdict::kNoPermission) << d.problem;
    EXPECT_FALSE(d.fix.empty());
    return;
  }
  // Root opens anything: the check runs as the unprivileged user nobody.
  if (Shell("command -v setpriv").status != 0) GTEST_SKIP() << "setpriv is not installed";
  const std::string asNobody =
      "setpriv --reuid=65534 --regid=65534 --clear-groups " + std::string(TALVI_PORTS_TOOL) + " ";
  if (Shell(asNobody + "--help").status != 0) {
    GTEST_SKIP() << "user nobody cannot run " << TALVI_PORTS_TOOL
                 << " (a folder above it is closed)";
  }
  // Group dialout (20 on Debian) may use it, as udev sets up serial ports.
  ASSERT_EQ(::chown(pty.name.c_str(), 0, 20), 0);
  ASSERT_EQ(::chmod(pty.name.c_str(), 0660), 0);
  const Outcome group = Shell(asNobody + pty.name);
  EXPECT_EQ(group.status, 2) << group.out;
  EXPECT_TRUE(Contains(group.out, "no permission")) << group.out;
  EXPECT_TRUE(Contains(group.out, "sudo usermod -aG dialout nobody")) << group.out;
  // Only root may use it: a group is not enough, a udev rule is needed.
  ASSERT_EQ(::chmod(pty.name.c_str(), 0600), 0);
  const Outcome owner = Shell(asNobody + pty.name);
  EXPECT_EQ(owner.status, 2) << owner.out;
  EXPECT_TRUE(Contains(owner.out, "udev rule")) << owner.out;
}

TEST(PortsCheck, NamesThatLeadNowhereAreMissingOrNoSerialLine) {
  TempDir dir;
  const auto verdict = [](const std::string& name) { return CheckPort(name).verdict; };
  EXPECT_EQ(verdict("/dev/pts/987654"), Verdict::kMissing);
  EXPECT_EQ(verdict("ttyUSB987"), Verdict::kMissing);
  EXPECT_EQ(CheckPort("ttyUSB987").path, "/dev/ttyUSB987");
  EXPECT_EQ(CheckPort("COM250").path, "/dev/ttyS249");
  EXPECT_EQ(verdict(std::string("tty\0S0", 6)), Verdict::kMissing);
  // A stable name left behind by an unplugged adapter.
  std::filesystem::create_symlink(dir / "gone", dir / "usb-adapter");
  const Diagnosis link = CheckPort(dir / "usb-adapter");
  EXPECT_EQ(link.verdict, Verdict::kMissing);
  EXPECT_TRUE(Contains(link.problem, "link")) << link.problem;
  WriteBytes(dir / "file", "x");
  EXPECT_EQ(verdict(dir / "file"), Verdict::kNotSerial);
  EXPECT_EQ(verdict(dir.path().string()), Verdict::kNotSerial);
  EXPECT_EQ(verdict("/dev/null"), Verdict::kNotSerial);

  const Outcome run = Shell(std::string(TALVI_PORTS_TOOL) + " ttyUSB987");
  EXPECT_EQ(run.status, 1) << run.out;
  EXPECT_TRUE(Contains(run.out, "There is no /dev/ttyUSB987")) << run.out;
  EXPECT_TRUE(Contains(run.out, "Fix: Plug the adapter in")) << run.out;
  EXPECT_EQ(Shell(std::string(TALVI_PORTS_TOOL) + " --frobnicate").status, 64);
}

// A device tree as a machine with two USB adapters and two built-in port
// names (one of them without hardware) shows it.
TEST(PortsList, DevicesWithWhatSysfsSaysOfThem) {
  namespace fs = std::filesystem;
  TempDir root;
  const fs::path dev = root.path() / "dev";
  const fs::path sys = root.path() / "sys";
  fs::create_directories(dev / "serial" / "by-id");
  for (const char* name : {"ttyUSB0", "ttyACM0", "ttyS0", "ttyS1", "ttyS10", "tty0", "ttyUSBx"}) {
    WriteBytes((dev / name).string(), "");
  }
  fs::create_symlink("../../ttyUSB0", dev / "serial" / "by-id" / "usb-FTDI_FT232R_A50285BI-port0");
  const auto attribute = [](const fs::path& file, const std::string& value) {
    fs::create_directories(file.parent_path());
    WriteBytes(file.string(), value + "\n");
  };
  const fs::path usb = sys / "devices" / "usb1" / "1-1";
  attribute(usb / "idVendor", "0403");
  attribute(usb / "idProduct", "6001");
  attribute(usb / "manufacturer", "FTDI");
  attribute(usb / "product", "FT232R USB UART");
  attribute(usb / "serial", "A50285BI");
  fs::create_directories(usb / "1-1:1.0" / "ttyUSB0");
  fs::create_directories(sys / "bus" / "usb-serial" / "drivers" / "ftdi_sio");
  fs::create_symlink("../../../../../bus/usb-serial/drivers/ftdi_sio",
                     usb / "1-1:1.0" / "ttyUSB0" / "driver");
  const fs::path acm = sys / "devices" / "usb1" / "1-2";
  attribute(acm / "idVendor", "2341");
  attribute(acm / "idProduct", "0043");
  fs::create_directories(acm / "1-2:1.0");
  fs::create_directories(sys / "bus" / "usb" / "drivers" / "cdc_acm");
  fs::create_symlink("../../../../bus/usb/drivers/cdc_acm", acm / "1-2:1.0" / "driver");
  const fs::path tty = sys / "class" / "tty";
  fs::create_directories(tty / "ttyUSB0");
  fs::create_directories(tty / "ttyACM0");
  fs::create_symlink("../../../devices/usb1/1-1/1-1:1.0/ttyUSB0", tty / "ttyUSB0" / "device");
  fs::create_symlink("../../../devices/usb1/1-2/1-2:1.0", tty / "ttyACM0" / "device");
  attribute(tty / "ttyS0" / "type", "4");
  attribute(tty / "ttyS1" / "type", "0");
  attribute(tty / "ttyS10" / "type", "4");

  const Roots roots{dev.string(), sys.string()};
  const auto ports = ListPorts(false, roots);
  ASSERT_EQ(ports.size(), 4u);
  EXPECT_EQ(ports[0].name, "ttyACM0");
  EXPECT_EQ(ports[0].details, "USB serial adapter (USB 2341:0043), driver cdc_acm");
  EXPECT_EQ(ports[1].name, "ttyS0");
  EXPECT_EQ(ports[1].details, "built-in serial port");
  EXPECT_EQ(ports[2].name, "ttyS10");
  EXPECT_EQ(ports[3].name, "ttyUSB0");
  EXPECT_EQ(ports[3].path, (dev / "ttyUSB0").string());
  EXPECT_EQ(ports[3].details,
            "FTDI FT232R USB UART (USB 0403:6001, serial A50285BI), driver ftdi_sio");
  ASSERT_EQ(ports[3].aliases.size(), 1u);
  EXPECT_EQ(ports[3].aliases[0],
            (dev / "serial" / "by-id" / "usb-FTDI_FT232R_A50285BI-port0").string());
  // --all: the name without hardware too.
  EXPECT_EQ(ListPorts(true, roots).size(), 5u);
  // Nothing there: nothing listed.
  EXPECT_TRUE(ListPorts(false, Roots{(root.path() / "none").string(), sys.string()}).empty());
}

}  // namespace
}  // namespace talvi::ports
