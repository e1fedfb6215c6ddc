// SPDX-License-Identifier: MIT
// The receive ring of a port: 2048 byte slots shared without a lock between
// one producer (the port's watcher thread) and one consumer (READCOMM on the
// window thread).
//
// Each position has a single writer: the watcher alone advances `write_`,
// the reader alone advances `read_`. The ring is empty when the two are equal,
// so it holds at most 2047 bytes; the producer never stores into a slot that
// has not been taken yet, so unread bytes are never overwritten.
#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace talvi::serial {

class ReceiveRing {
 public:
  static constexpr std::size_t kSlots = 2048;
  static constexpr std::size_t kCapacity = kSlots - 1;

  // Producer side: room for this many bytes now. More room may appear at any
  // moment as the consumer takes bytes, never less.
  std::size_t Room() const {
    // Relaxed: only this thread stores `write_`.
    const std::size_t w = write_.load(std::memory_order_relaxed);
    // Acquire would do for the ring: it pairs with the consumer's store of
    // `read_`, so its copies out of the freed slots are finished before we
    // overwrite them. Seq_cst because this load also takes part in the
    // wake-up handshake of a producer that waits for room (CommPort).
    const std::size_t r = read_.load(std::memory_order_seq_cst);
    return kCapacity - (w - r + kSlots) % kSlots;
  }

  // Producer side: stores up to Room() bytes, in order; gives the count stored.
  std::size_t Put(const char* bytes, std::size_t count) {
    count = std::min(count, Room());
    // Relaxed: only this thread stores `write_`.
    std::size_t w = write_.load(std::memory_order_relaxed);
    for (std::size_t i = 0; i < count; ++i) {
      slots_[w] = bytes[i];
      w = (w + 1) % kSlots;
    }
    // Release: the bytes stored above become visible to a consumer that
    // sees the new position through its acquire load.
    write_.store(static_cast<std::uint16_t>(w), std::memory_order_release);
    return count;
  }

  // Consumer side: moves up to `max` waiting bytes to `out`, in order; gives
  // the count moved. Never waits.
  std::size_t Take(char* out, std::size_t max) {
    // Acquire: pairs with the producer's release store of `write_`, so every
    // byte before that position is visible here.
    const std::size_t w = write_.load(std::memory_order_acquire);
    // Relaxed: only this thread stores `read_`.
    std::size_t r = read_.load(std::memory_order_relaxed);
    std::size_t count = 0;
    while (count < max && r != w) {
      out[count++] = slots_[r];
      r = (r + 1) % kSlots;
    }
    // Release would do for the ring: our reads of the slots happen before
    // the producer, acquiring the new position, reuses them. Seq_cst for the
    // wake-up handshake, as in Room().
    read_.store(static_cast<std::uint16_t>(r), std::memory_order_seq_cst);
    return count;
  }

  // Bytes waiting: a snapshot, for callers that only look.
  std::size_t Waiting() const {
    // Acquire on both, as in Room() and Take().
    const std::size_t w = write_.load(std::memory_order_acquire);
    const std::size_t r = read_.load(std::memory_order_acquire);
    return (w - r + kSlots) % kSlots;
  }

 private:
  std::array<char, kSlots> slots_{};
  std::atomic<std::uint16_t> write_{0};
  std::atomic<std::uint16_t> read_{0};
};

}  // namespace talvi::serial
