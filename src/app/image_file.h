// SPDX-License-Identifier: MIT
// The ".opd" disk image file: the received bytes with their first 128
// replaced by a fixed block of machine code for the remote system.
#pragma once

#include <cstddef>
#include <string>

namespace talvi::app {

// The fixed first block, as 256 hexadecimal digits.
inline constexpr char kFixedBlockHex[] =
    "1805501250614c7edd7700237edd7701"
    "dd7e02e62f57237ee6d0b2dd7702c9d5"
    "cd63087f00da0209e1236606063e71c3"
    "e50f461246121c00941ce50622f712f1"
    "77c9cdb21c77dd4e02dd4603dd6e04dd"
    "6605dd5e061600c9f50624f712f1c9e5"
    "cdb21c77e1c0c380272a785c111400ed"
    "52d8cd54150622f71236012336032114";
inline constexpr std::size_t kFixedBlockBytes = 128;

// The fixed block as bytes.
const std::string& FixedBlock();

// The file's bytes for a received image: the fixed block, then the image
// from its 129th byte on.
std::string ImageFileBytes(const std::string& received);

}  // namespace talvi::app
