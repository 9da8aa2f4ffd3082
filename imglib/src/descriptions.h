// SPDX-License-Identifier: BSD-3-Clause
// The GenApi feature descriptions of processors and images (imglib/xml), compiled in.
#pragma once

#include <cstddef>

namespace corvid2::img {

extern const char* const kImageProcessorDescription;
extern const size_t kImageProcessorDescriptionSize;  ///< bytes without the terminating NUL
extern const char* const kImageDescription;
extern const size_t kImageDescriptionSize;

}  // namespace corvid2::img
