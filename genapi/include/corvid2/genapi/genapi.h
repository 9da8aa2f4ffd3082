// SPDX-License-Identifier: BSD-3-Clause
// Umbrella header of the corvid2 GenApi engine.
#pragma once

#include "corvid2/genapi/adapters.h"
#include "corvid2/genapi/exceptions.h"
#include "corvid2/genapi/interfaces.h"
#include "corvid2/genapi/node_map_factory.h"
#include "corvid2/genapi/types.h"
