// SPDX-License-Identifier: BSD-3-Clause
// Access to the compiled-in descriptions: module descriptions, per-kind camera descriptions and zipping.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace corvid2::sim {

enum class CameraKind { Mono = 0, Bayer = 1, Polarized = 2, Serial = 3 };

// The text of one file of sim/xml.
std::string embeddedDescription(const std::string& fileName);

// The remote-device description of a camera kind: the common camera plus that kind's nodes.
std::string cameraDescription(CameraKind kind);

// A zip archive in memory holding one entry `entryName` with `text`.
std::vector<uint8_t> zipText(const std::string& entryName, const std::string& text);

}  // namespace corvid2::sim
