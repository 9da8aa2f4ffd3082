// SPDX-License-Identifier: BSD-3-Clause
// The `corvid2 events` subcommand: prints a camera's events and its interface's plug-and-play
// events as they arrive.
#pragma once

#include <string>
#include <vector>

namespace corvid2::tool {

// `events [--device ID] [--pnp] [--acquire] [--count N] [--seconds S]`; returns the process exit
// code (2 for bad usage, 1 when no such device). The library's exceptions pass.
int events(const std::vector<std::string>& args);

}  // namespace corvid2::tool
