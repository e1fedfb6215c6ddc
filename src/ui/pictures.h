// SPDX-License-Identifier: MIT
// The program's built-in pictures, drawn in code so that no resource file
// is needed: each is a grid of palette letters, turned into a native image
// by the window layer's implementation.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace talvi::ui {

struct Picture {
  int width = 0;
  int height = 0;
  // One row of `width` letters per line, top to bottom.
  std::span<const std::string_view> rows;
  // Colour (0xAARRGGBB) of a palette letter; 0 (transparent) for '.' and
  // for letters the palette does not know.
  std::uint32_t (*colour)(char letter) = nullptr;
};

// The picture called `name` ("PRINT": a printer with a page coming out),
// or nullptr when there is none by that name.
const Picture* FindPicture(const std::string& name);

}  // namespace talvi::ui
