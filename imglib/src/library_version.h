// SPDX-License-Identifier: BSD-3-Clause
// The library's version text, from the project version the build passes in.
#pragma once

#include <string>

#ifndef CORVID2_IMG_VERSION
#define CORVID2_IMG_VERSION "0.0.0"
#endif

namespace corvid2::img {

inline std::string libraryVersion() { return std::string("corvid2_img ") + CORVID2_IMG_VERSION; }

}  // namespace corvid2::img
