// SPDX-License-Identifier: BSD-3-Clause
// The `corvid2 features` subcommand: every feature of the first system or of its first interface.
#pragma once

#include <string>
#include <vector>

namespace corvid2::tool {

// `features [--module system|interface] [--filter TEXT]`; returns the process exit code.
int listFeatures(const std::vector<std::string>& args);

}  // namespace corvid2::tool
