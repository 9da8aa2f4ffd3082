// SPDX-License-Identifier: BSD-3-Clause
// Compiled as a file of one layer, it includes one header of another layer: whether that compiles
// tells whether the first layer may see the second.
#include CORVID2_PROBE_HEADER
