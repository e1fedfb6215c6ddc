// SPDX-License-Identifier: MIT
// opd: looks into the disk image files that talvi writes, compares two
// pulls of one disk and writes one track side out. See kUsage.
#include <charconv>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "opd/binary_stdout.h"
#include "opd/diff.h"
#include "opd/image.h"

namespace {

using namespace talvi::opd;

const char kUsage[] =
    "usage: opd info FILE         size, track sides, fixed block, sides of one byte value\n"
    "       opd diff A B          the track sides and byte ranges where A and B differ\n"
    "       opd side FILE N [OUT] track side N (0 is the first in the file) to OUT or\n"
    "                             to standard output\n"
    "Exit status: 0 done (diff: the images are equal), 1 the images differ,\n"
    "2 a file is not a disk image or cannot be read or written, 64 wrong arguments.\n";

constexpr int kDiffer = 1;
constexpr int kBadFile = 2;
constexpr int kUsageError = 64;
// Byte ranges shown per track side before the rest is only counted.
constexpr std::size_t kRangesShown = 8;

std::string Hex(unsigned value) {
  static const char digits[] = "0123456789abcdef";
  return std::string("0x") + digits[(value >> 4) & 15] + digits[value & 15];
}

std::string Plural(std::size_t n, const std::string& one, const std::string& many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

bool Load(const std::string& path, std::string& bytes) {
  std::string error;
  if (LoadImage(path, bytes, error)) return true;
  std::cerr << "opd: " << error << "\n";
  return false;
}

void PrintLayout(const std::string& path, const std::string& image) {
  std::cout << path << ": " << image.size() << " bytes, "
            << Plural(WholeSides(image), "track side", "track sides") << " of " << SideBytes()
            << " bytes";
  if (ExtraBytes(image) != 0) {
    std::cout << " and " << ExtraBytes(image) << " bytes more: a track side arrived "
              << (SideBytes() - ExtraBytes(image))
              << " bytes short somewhere, so the sides after it start early";
  }
  std::cout << "\n";
}

int Info(const std::string& path) {
  std::string image;
  if (!Load(path, image)) return kBadFile;
  PrintLayout(path, image);
  std::cout << "first 128 bytes: "
            << (HasFixedBlock(image) ? "the fixed block"
                                     : "not the fixed block (not written by talvi)")
            << "\n";
  const auto uniform = UniformSides(image);
  if (uniform.empty()) {
    std::cout << "no track side holds one byte value only\n";
  } else {
    std::cout << Plural(uniform.size(), "track side holds", "track sides hold")
              << " one byte value only (unreadable or empty tracks):\n";
    for (const auto& u : uniform) {
      std::cout << "  " << SideLabel(u.index) << ": all " << Hex(u.value) << "\n";
    }
  }
  return 0;
}

void PrintRanges(const SideDifference& d) {
  std::cout << SideLabel(d.index) << ": " << Plural(d.bytes, "byte differs", "bytes differ")
            << " at ";
  for (std::size_t i = 0; i < d.ranges.size() && i < kRangesShown; ++i) {
    const auto& r = d.ranges[i];
    std::cout << (i > 0 ? ", " : "") << r.begin;
    if (r.end - r.begin > 1) std::cout << "-" << (r.end - 1);
  }
  if (d.ranges.size() > kRangesShown) {
    std::cout << " and " << Plural(d.ranges.size() - kRangesShown, "range", "ranges") << " more";
  }
  std::cout << "\n";
}

int Diff(const std::string& pathA, const std::string& pathB) {
  std::string a;
  std::string b;
  if (!Load(pathA, a) || !Load(pathB, b)) return kBadFile;
  PrintLayout(pathA, a);
  PrintLayout(pathB, b);
  const Comparison c = Compare(a, b);
  if (c.missing) {
    const auto& m = *c.missing;
    const std::size_t side = m.offset / SideBytes();
    std::cout << (m.secondIsShorter ? pathB : pathA) << " lacks "
              << Plural(m.missing, "byte", "bytes") << " from byte " << (m.offset % SideBytes())
              << " of " << SideLabel(side)
              << " on (a track side that arrived short); everything after is the same, "
                 "moved forward by "
              << Plural(m.missing, "byte", "bytes") << "\n";
    return kDiffer;
  }
  std::size_t bytes = 0;
  for (const auto& d : c.sides) {
    PrintRanges(d);
    bytes += d.bytes;
  }
  const std::size_t sidesA = SideCount(a);
  const std::size_t sidesB = SideCount(b);
  if (a.size() != b.size()) {
    std::cout << "the sizes differ: " << pathA << " has " << a.size() << " bytes, " << pathB << " "
              << b.size() << "; sides were compared up to the shorter one\n";
  }
  if (c.sides.empty() && a.size() == b.size()) {
    std::cout << "the images are the same\n";
    return 0;
  }
  std::cout << Plural(c.sides.size(), "track side differs", "track sides differ") << " of "
            << std::min(sidesA, sidesB) << " (" << Plural(bytes, "byte", "bytes") << ")\n";
  return kDiffer;
}

int WriteSide(const std::string& path, const std::string& number, const std::string& out) {
  std::size_t index = 0;
  const auto parsed = std::from_chars(number.data(), number.data() + number.size(), index);
  if (parsed.ec != std::errc() || parsed.ptr != number.data() + number.size()) {
    std::cerr << "opd: " << number << " is not a track side number\n" << kUsage;
    return kUsageError;
  }
  std::string image;
  if (!Load(path, image)) return kBadFile;
  if (index >= SideCount(image)) {
    std::cerr << "opd: " << path << " has " << Plural(SideCount(image), "track side", "track sides")
              << " (0 to " << SideCount(image) - 1 << "); there is no side " << index << "\n";
    return kBadFile;
  }
  const std::string_view side = Side(image, index);
  if (side.size() < SideBytes()) {
    std::cerr << "opd: " << SideLabel(index) << " is the short last side: " << side.size()
              << " bytes\n";
  }
  if (out.empty() || out == "-") {
    if (!PrepareBinaryStdout()) {
      std::cerr << "opd: not writing binary data to a terminal; name an output file or "
                   "redirect standard output\n";
      return kUsageError;
    }
    std::cout.write(side.data(), static_cast<std::streamsize>(side.size()));
    std::cout.flush();
    return std::cout ? 0 : kBadFile;
  }
  std::ofstream file(out, std::ios::binary | std::ios::trunc);
  file.write(side.data(), static_cast<std::streamsize>(side.size()));
  file.close();
  if (!file) {
    std::cerr << "opd: cannot write " << out << "\n";
    return kBadFile;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    std::cout << kUsage;
    return 0;
  }
  if (args.size() == 2 && args[0] == "info") return Info(args[1]);
  if (args.size() == 3 && args[0] == "diff") return Diff(args[1], args[2]);
  if ((args.size() == 3 || args.size() == 4) && args[0] == "side") {
    return WriteSide(args[1], args[2], args.size() == 4 ? args[3] : std::string());
  }
  std::cerr << kUsage;
  return kUsageError;
}
