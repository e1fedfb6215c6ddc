// SPDX-License-Identifier: MIT
// The lock-free receive ring, first on one thread, then with a producer and
// a consumer thread as the watcher and READCOMM use it.
#include "serial/ring.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "serial/pattern.h"

namespace talvi::serial {
namespace {

std::string TakeAll(ReceiveRing& ring, std::size_t max) {
  std::string out(max, '\0');
  out.resize(ring.Take(out.data(), max));
  return out;
}

TEST(ReceiveRing, HoldsAtMost2047BytesAndNeverOverwritesUnreadOnes) {
  ReceiveRing ring;
  EXPECT_EQ(ring.Room(), 2047U);
  const std::string bytes = testing::Pattern(3000);
  EXPECT_EQ(ring.Put(bytes.data(), 3000), 2047U);
  EXPECT_EQ(ring.Room(), 0U);
  EXPECT_EQ(ring.Put("x", 1), 0U);
  EXPECT_EQ(ring.Waiting(), 2047U);
  EXPECT_EQ(TakeAll(ring, 5000), bytes.substr(0, 2047));
  EXPECT_EQ(TakeAll(ring, 10), "");
}

TEST(ReceiveRing, WrapsAroundInOrder) {
  ReceiveRing ring;
  const std::string bytes = testing::Pattern(10000, 7);
  std::string out;
  std::size_t put = 0;
  // Uneven steps, so the positions cross the end of the slots at many points.
  for (std::size_t step = 1; out.size() < bytes.size(); step = step % 1500 + 97) {
    put += ring.Put(bytes.data() + put, std::min(step, bytes.size() - put));
    out += TakeAll(ring, step / 2 + 1);
  }
  EXPECT_EQ(out, bytes);
  EXPECT_EQ(ring.Waiting(), 0U);
}

TEST(ReceiveRing, ProducerAndConsumerThreadsLoseNothing) {
  ReceiveRing ring;
  const std::string bytes = testing::Pattern(4 << 20, 3);
  std::thread producer([&] {
    std::size_t put = 0;
    while (put < bytes.size()) {
      const std::size_t n =
          ring.Put(bytes.data() + put, std::min<std::size_t>(1023, bytes.size() - put));
      put += n;
      if (n == 0) std::this_thread::yield();
    }
  });
  std::string out;
  out.reserve(bytes.size());
  while (out.size() < bytes.size()) {
    std::string chunk = TakeAll(ring, 1000);
    if (chunk.empty()) std::this_thread::yield();
    out += chunk;
  }
  producer.join();
  EXPECT_TRUE(out == bytes);
}

}  // namespace
}  // namespace talvi::serial
