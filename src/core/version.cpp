// SPDX-License-Identifier: BSD-3-Clause
// The library's version, as the build stamped it.
#include "corvid2_genicam.h"

namespace CORVID2 {
String GetLibraryVersion() { return CORVID2_VERSION; }
}  // namespace CORVID2
