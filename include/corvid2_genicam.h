// SPDX-License-Identifier: BSD-3-Clause
// The object-oriented interface of corvid2_genicam (namespace CORVID2).
#ifndef CORVID2_GENICAM_H
#define CORVID2_GENICAM_H

#include "corvid2/buffer.h"
#include "corvid2/datastream.h"
#include "corvid2/device.h"
#include "corvid2/events.h"
#include "corvid2/exceptions.h"
#include "corvid2/export.h"
#include "corvid2/image.h"
#include "corvid2/interface.h"
#include "corvid2/node.h"
#include "corvid2/polarizer.h"
#include "corvid2/string.h"
#include "corvid2/system.h"
#include "corvid2/trace.h"

namespace CORVID2 {
// Version of the library as "major.minor.patch".
CORVID2_API String GetLibraryVersion();
}  // namespace CORVID2

#endif
