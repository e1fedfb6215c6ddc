// SPDX-License-Identifier: MIT
// talvi-ports on Windows: a COM port that is not there, one that is (a
// pseudo-terminal mapped as a COM port of the Wine prefix by wine_com_peer)
// and the same port while this process holds it (on Windows only: Wine
// does not keep a second opener out of a port).
#include <windows.h>
// After windows.h.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "ports/ports.h"
#include "support/platform.h"

namespace talvi::ports {
namespace {

TEST(PortsWin32, APortThatIsNotThereIsMissing) {
  const Diagnosis d = CheckPort("COM199");
  EXPECT_EQ(d.verdict, Verdict::kMissing) << d.problem;
  EXPECT_EQ(d.path, "\\\\.\\COM199");
  EXPECT_NE(d.fix.find("Device Manager"), std::string::npos) << d.fix;
  EXPECT_EQ(CheckPort("").verdict, Verdict::kMissing);
  for (const auto& p : ListPorts(false)) EXPECT_NE(p.name, "COM199");
}

TEST(PortsWin32, AMappedPortIsListedReadyAndBusyWhileHeld) {
  const char* mapped = std::getenv("TALVI_TEST_COM_ECHO");
  if (mapped == nullptr || *mapped == '\0') {
    GTEST_SKIP() << "no COM port mapped (TALVI_TEST_COM_ECHO); run through wine_com_peer";
  }
  const std::string path = mapped;                             // \\.\COM40
  const std::string name = path.substr(path.rfind('\\') + 1);  // COM40
  const auto ports = ListPorts(false);
  EXPECT_TRUE(
      std::any_of(ports.begin(), ports.end(), [&](const PortEntry& p) { return p.name == name; }))
      << name << " is not listed";

  const Diagnosis ready = CheckPort(name);
  EXPECT_EQ(ready.verdict, Verdict::kReady) << ready.problem;
  EXPECT_EQ(CheckPort(path).verdict, Verdict::kReady);

  if (testing::UnderWine()) {
    GTEST_SKIP() << "Wine opens a COM port any number of times: a port another program holds "
                    "cannot be told from a free one there";
  }
  // Held by this process, as another program would hold it.
  HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                           nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  const Diagnosis busy = CheckPort(name);
  ::CloseHandle(h);
  EXPECT_EQ(busy.verdict, Verdict::kBusy) << busy.problem;
  EXPECT_EQ(CheckPort(name).verdict, Verdict::kReady);
}

}  // namespace
}  // namespace talvi::ports
