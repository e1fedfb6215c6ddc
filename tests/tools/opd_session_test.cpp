// SPDX-License-Identifier: MIT
// Two pulls of one disk through a real session (the simulated remote on a
// pseudo-terminal, the serial layer, an offscreen window): one clean, one
// whose track side arrived short. opd must tell the short side, and find
// nothing between two clean pulls.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "app/image_file.h"
#include "app/session_rig.h"
#include "app/transfer.h"
#include "opd/diff.h"
#include "opd/image.h"

namespace talvi::opd {
namespace {

using remote::Fault;
using std::chrono::milliseconds;

// The image file of one pull of a 12-side disk, as talvi saves it. With
// `shortSide` the remote ends that side two bytes short and then stays
// silent; the session's clock is stepped through its two waits for the
// missing bytes, and only then does the remote go on.
std::string Pull(int shortSide = -1) {
  remote::Options options;
  options.sides = 12;
  options.seed = 21;
  options.ackTimeout = milliseconds(10000);
  if (shortSide >= 0)
    options.faults = {{Fault::Kind::kDrop, shortSide, 2, remote::kUntilResumed, 0}};
  testing::SessionRig rig(options);
  EXPECT_TRUE(rig.ok());
  if (!rig.ok()) return {};
  // Each wait for a byte reads the clock at its start and then after every
  // empty look at the line: the step on that second reading ends it.
  const std::size_t stuckAt = static_cast<std::size_t>(shortSide + 1) * SideBytes() - 2;
  int readings = 0;
  rig.clock.onRead = [&] {
    if (shortSide < 0 || readings == 4) return;
    if (rig.transfer.Image().size() != stuckAt || rig.transfer.Pending() != 0) return;
    if (++readings % 2 == 0) rig.clock.Step(milliseconds(app::kByteWaitCs * 10));
    if (readings == 4) rig.remote.resume();
  };
  rig.escAfterSave();
  rig.run();
  EXPECT_EQ(rig.saved.size(), 1u);
  return rig.saved.empty() ? std::string() : app::ImageFileBytes(rig.saved[0]);
}

TEST(OpdSession, AShortTrackSideInOnePullIsFound) {
  const std::string clean = Pull();
  ASSERT_EQ(clean.size(), 12u * SideBytes());
  EXPECT_TRUE(Compare(clean, Pull()).sides.empty());
  EXPECT_TRUE(UniformSides(clean).empty());

  // Side 5 stops two bytes short; the program waits out each missing byte
  // and goes on with the next side.
  const std::string damaged = Pull(5);
  ASSERT_EQ(damaged.size(), clean.size() - 2);
  EXPECT_EQ(ExtraBytes(damaged), SideBytes() - 2);
  const Comparison c = Compare(clean, damaged);
  ASSERT_TRUE(c.missing);
  EXPECT_EQ(c.missing->missing, 2u);
  EXPECT_EQ(c.missing->offset / SideBytes(), 5u) << c.missing->offset;
  EXPECT_TRUE(c.sides.empty());
}

}  // namespace
}  // namespace talvi::opd
