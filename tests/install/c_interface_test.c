/* SPDX-License-Identifier: BSD-3-Clause */
/* A C program against the flat interface: the header compiles as C and the calls link. */
#include <corvid2_genicam_c.h>

#include <stdio.h>
#include <string.h>

static int failures = 0;
#define CHECK(cond)                                                                  \
    do {                                                                             \
        if (!(cond)) {                                                               \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
            ++failures;                                                              \
        }                                                                            \
    } while (0)

int main(void) {
    uint64_t size = 0;
    CORVID2_RESULT code = 1;
    uint8_t enabled = 7;
    int level = 0;

    CHECK(CORVID2_GetLastError(&code, NULL, &size) == CORVID2_RESULT_SUCCESS);
    CHECK(code == 0 && size == 1);
    CHECK(CORVID2_GetLastError(NULL, NULL, NULL) == CORVID2_RESULT_INVALID_PARAMETER);

    CHECK(CORVID2_TraceIsEnabled(NULL) == CORVID2_RESULT_INVALID_PARAMETER);
    CHECK(CORVID2_TraceIsEnabled(&enabled) == CORVID2_RESULT_SUCCESS && enabled == 0);
    CHECK(CORVID2_TraceEnable(1) == CORVID2_RESULT_SUCCESS);
    CHECK(CORVID2_TraceIsEnabled(&enabled) == CORVID2_RESULT_SUCCESS && enabled == 1);
    CHECK(CORVID2_TraceActivateOutputToDebugger(0) == CORVID2_RESULT_SUCCESS);
    CHECK(extT(&level, "from C") == 0);
    CHECK(CORVID2_TraceEnable(0) == CORVID2_RESULT_SUCCESS);
    CHECK(CORVID2_TraceIsEnabled(&enabled) == CORVID2_RESULT_SUCCESS && enabled == 0);

    if (failures == 0) printf("C interface: all checks passed\n");
    return failures == 0 ? 0 : 1;
}
