// SPDX-License-Identifier: BSD-3-Clause
// Small parsers for the subcommands' options.
#pragma once

#include <cstdint>
#include <string>

namespace corvid2::tool {

// A positive decimal count ("20"); false for anything else, including 0 and numbers that would
// not fit.
inline bool parseCount(const std::string& text, std::uint64_t& count) {
    if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    count = std::stoull(text);
    return count > 0;
}

}  // namespace corvid2::tool
