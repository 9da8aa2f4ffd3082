// SPDX-License-Identifier: BSD-3-Clause
// The `corvid2 grab` subcommand: acquires images from a camera, reports the rate and the frames
// that arrived incomplete or not at all, and saves the last image as PNG.
#pragma once

#include <string>
#include <vector>

namespace corvid2::tool {

// `grab [--device ID] [--count N] [--pixel-format F] [--save FILE]`; returns the process exit
// code (2 for bad usage, 1 when no image could be taken or saved). The library's exceptions pass.
int grab(const std::vector<std::string>& args);

}  // namespace corvid2::tool
