/* SPDX-License-Identifier: BSD-3-Clause */
/* C access to the tests' producer loader, for the test programs written in C. */
#ifndef CORVID2_SIM_GENTL_LOADER_C_H
#define CORVID2_SIM_GENTL_LOADER_C_H

#ifdef __cplusplus
extern "C" {
#endif

/* Address of a function of the producer under test (loaded on first use), or NULL when it is not exported. */
void* corvid2_sim_test_function(const char* name);

#ifdef __cplusplus
}
#endif

#endif
