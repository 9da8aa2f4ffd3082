// SPDX-License-Identifier: BSD-3-Clause
// The `corvid2 get` and `corvid2 set` subcommands: one feature of a camera, read or written as text.
#pragma once

#include <string>
#include <vector>

namespace corvid2::tool {

// `get FEATURE [--device ID]`: prints the value of the camera's feature. Returns the process exit
// code (2 for bad usage, 1 when there is no such device); the library's exceptions pass.
int getFeature(const std::vector<std::string>& args);

// `set FEATURE VALUE [--device ID]`: writes the value and prints what the camera reads back, which
// may differ from what was written (a value rounded to the feature's increment, an enumeration
// entry's canonical name).
int setFeature(const std::vector<std::string>& args);

}  // namespace corvid2::tool
