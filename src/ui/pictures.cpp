// SPDX-License-Identifier: MIT
// The built-in pictures.
#include "ui/pictures.h"

#include <array>

namespace talvi::ui {
namespace {

std::uint32_t Classic(char letter) {
  switch (letter) {
    case 'k': return 0xFF000000;  // outline
    case 'w': return 0xFFFFFFFF;  // paper, lit edges
    case 'g': return 0xFFC0C0C0;  // casing
    case 'd': return 0xFF808080;  // shade
    case 'b': return 0xFF000080;  // printed lines
    case 'G': return 0xFF00C000;  // power lamp
    default: return 0;
  }
}

// A printer seen from the front, a sheet going in at the top and a printed
// page coming out below; one row of the picture a line.
// clang-format off
constexpr std::array<std::string_view, 32> kPrintRows = {
    "................................",
    "........kkkkkkkkkkkkkkkk........",
    "........kwwwwwwwwwwwwwwk........",
    "........kwbbbbbbbbbbbbwk........",
    "........kwwwwwwwwwwwwwwk........",
    "........kwbbbbbbbbbwwwwk........",
    "........kwwwwwwwwwwwwwwk........",
    "........kwbbbbbbbbbbbwwk........",
    "........kwwwwwwwwwwwwwwk........",
    "....kkkkkkkkkkkkkkkkkkkkkkkk....",
    "...kwwwwwwwwwwwwwwwwwwwwwwggk...",
    "..kwggggggggggggggggggggggggdk..",
    "..kwggggggggggggggggggggGGggdk..",
    "..kwggggggggggggggggggggGGggdk..",
    "..kwggggggggggggggggggggggggdk..",
    "..kddddddddddddddddddddddddddk..",
    "..kdkkkkkkkkkkkkkkkkkkkkkkkkdk..",
    "..kddddddddddddddddddddddddddk..",
    "..kwggggggggggggggggggggggggdk..",
    "..kwggggggggggggggggggggggggdk..",
    "..kddddddddddddddddddddddddddk..",
    "..kkkkkwwwwwwwwwwwwwwwwwwkkkkk..",
    "......kwbbbbbbbbbbbbbbbbwk......",
    "......kwwwwwwwwwwwwwwwwwwk......",
    "......kwbbbbbbbbbbbbwwwwwk......",
    "......kwwwwwwwwwwwwwwwwwwk......",
    "......kwbbbbbbbbbbbbbbbwwk......",
    "......kwwwwwwwwwwwwwwwwwwk......",
    "......kwbbbbbbbbbwwwwwwwwk......",
    "......kwwwwwwwwwwwwwwwwwwk......",
    "......kkkkkkkkkkkkkkkkkkkk......",
    "................................",
};
// clang-format on

consteval bool AllRowsAre(std::size_t width) {
  for (std::string_view row : kPrintRows) {
    if (row.size() != width) return false;
  }
  return true;
}
static_assert(AllRowsAre(32), "every row of the picture is 32 letters wide");

const Picture kPrint{32, 32, kPrintRows, &Classic};

}  // namespace

const Picture* FindPicture(const std::string& name) {
  if (name == "PRINT") return &kPrint;
  return nullptr;
}

}  // namespace talvi::ui
