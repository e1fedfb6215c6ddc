// SPDX-License-Identifier: MIT
// Runs the fuzz target without libFuzzer, so that any compiler builds it
// and every run tries the same inputs: each input file once, then
// `rounds` changed copies of each, changed by a generator seeded from the
// input's file name (so that the input alone, named again, fails again). The changes are the ones
// that break readers: a flipped bit, a byte, a 16- or 32-bit field set to a value at an edge, a
// cut, a stretch copied over another. Nothing guides them (no coverage): it finds less than the
// fuzzer, but never at random.
//
//   fuzz_dbf_blind ROUNDS PATH...   (a path is a file or a folder of them)
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

Bytes Read(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

void PutLE(Bytes& b, std::size_t at, std::uint32_t v, int width) {
  for (int i = 0; i < width && at + static_cast<std::size_t>(i) < b.size(); ++i) {
    b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
  }
}

// One change at a random place; byte 0 (which reader) is left alone.
void Change(Bytes& b, std::mt19937& rng) {
  if (b.size() < 2) return;
  const auto pick = [&](std::size_t n) { return static_cast<std::size_t>(rng() % n); };
  const std::size_t at = 1 + pick(b.size() - 1);
  static const std::uint32_t kEdges[] = {0,       1,          2,          0x7F,      0x80,   0xFF,
                                         0x100,   0x200,      0x400,      0x7FFF,    0x8000, 0xFFFF,
                                         0x10000, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF};
  const std::uint32_t edge = kEdges[pick(std::size(kEdges))];
  switch (rng() % 6) {
    case 0: b[at] = static_cast<std::uint8_t>(b[at] ^ (1u << (rng() % 8))); break;
    case 1: b[at] = static_cast<std::uint8_t>(edge); break;
    case 2: PutLE(b, at, edge, 2); break;
    case 3: PutLE(b, at, edge, 4); break;
    case 4: b.resize(at); break;
    default: {
      const std::size_t from = 1 + pick(b.size() - 1);
      const std::size_t len = std::min({1 + pick(64), b.size() - from, b.size() - at});
      std::copy_n(b.begin() + static_cast<std::ptrdiff_t>(from), len,
                  b.begin() + static_cast<std::ptrdiff_t>(at));
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s ROUNDS PATH...\n", argv[0]);
    return 64;
  }
  const int rounds = std::atoi(argv[1]);
  std::vector<fs::path> inputs;
  for (int i = 2; i < argc; ++i) {
    if (fs::is_directory(argv[i])) {
      for (const auto& e : fs::directory_iterator(argv[i])) inputs.push_back(e.path());
    } else {
      inputs.emplace_back(argv[i]);
    }
  }
  std::sort(inputs.begin(), inputs.end());
  std::size_t runs = 0;
  for (const fs::path& input : inputs) {
    // Named before it runs: a crash report ends with the input it came from.
    std::fprintf(stderr, "%s\n", input.string().c_str());
    const Bytes original = Read(input);
    LLVMFuzzerTestOneInput(original.data(), original.size());
    ++runs;
    std::uint32_t seed = 2166136261u;
    for (const char c : input.filename().string())
      seed = (seed ^ static_cast<std::uint8_t>(c)) * 16777619u;
    std::mt19937 rng(seed);
    for (int r = 0; r < rounds; ++r) {
      Bytes b = original;
      for (std::uint32_t k = 1 + rng() % 4; k > 0; --k) Change(b, rng);
      LLVMFuzzerTestOneInput(b.data(), b.size());
      ++runs;
    }
  }
  std::fprintf(stderr, "%zu inputs, %zu runs: no fault\n", inputs.size(), runs);
  return 0;
}
