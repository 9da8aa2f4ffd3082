/* SPDX-License-Identifier: BSD-3-Clause */
/* The flat C interface of corvid2_genicam: result codes, handles and CORVID2_ functions. */
#ifndef CORVID2_GENICAM_C_H
#define CORVID2_GENICAM_C_H

#include <stddef.h>
#include <stdint.h>

#include "corvid2/export.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef int32_t CORVID2_RESULT;

#define CORVID2_RESULT_SUCCESS 0
#define CORVID2_RESULT_ERROR (-1001)
#define CORVID2_RESULT_NOT_INITIALIZED (-1002)
#define CORVID2_RESULT_NOT_IMPLEMENTED (-1003)
#define CORVID2_RESULT_RESOURCE_IN_USE (-1004)
#define CORVID2_RESULT_ACCESS_DENIED (-1005)
#define CORVID2_RESULT_INVALID_HANDLE (-1006)
#define CORVID2_RESULT_NO_DATA (-1008)
#define CORVID2_RESULT_INVALID_PARAMETER (-1009)
#define CORVID2_RESULT_TIMEOUT (-1011)
#define CORVID2_RESULT_ABORT (-1012)
#define CORVID2_RESULT_INVALID_BUFFER (-1013)
#define CORVID2_RESULT_NOT_AVAILABLE (-1014)
#define CORVID2_RESULT_OBJECT_INVALID (-1098)
#define CORVID2_RESULT_LOWLEVEL_ERROR (-1099)

/* Handles: the addresses of the library's objects behind them. */
typedef void* CORVID2_System;

/* The calling thread's last failure. `code` and `text` may be null; `size` counts the NUL. */
CORVID2_API CORVID2_RESULT CORVID2_CALL CORVID2_GetLastError(CORVID2_RESULT* code, char* text, uint64_t* size);

/* Producers and the system list. */
CORVID2_API CORVID2_RESULT CORVID2_CALL CORVID2_UpdateSystemList(void);
CORVID2_API CORVID2_RESULT CORVID2_CALL CORVID2_UpdateSystemListFromPath(const char* path);
CORVID2_API CORVID2_RESULT CORVID2_CALL CORVID2_LoadSystemFromPath(const char* path, CORVID2_System* system);
CORVID2_API CORVID2_RESULT CORVID2_CALL CORVID2_GetNumSystems(uint32_t* count);
CORVID2_API CORVID2_RESULT CORVID2_CALL CORVID2_GetSystem(uint32_t index, CORVID2_System* system);
CORVID2_API CORVID2_RESULT CORVID2_CALL CORVID2_ReleaseSystem(CORVID2_System system);
/* Replaces "GENICAM_GENTL64_PATH"; the next update searches the new folders. */
CORVID2_API CORVID2_RESULT CORVID2_CALL CORVID2_SetEnv(const char* path);
CORVID2_API CORVID2_RESULT CORVID2_CALL CORVID2_GetEnv(char* buffer, uint64_t* size);
/* For companion components: set the search path; read any environment variable. */
CORVID2_API int32_t CORVID2_CALL setE(const char* path);
CORVID2_API int32_t CORVID2_CALL getE(const char* name, char* buffer, uint64_t size);

/* Trace switches: the same operations as the static members of CORVID2::Trace. */
CORVID2_API CORVID2_RESULT CORVID2_CALL CORVID2_TraceEnable(uint8_t enable);
CORVID2_API CORVID2_RESULT CORVID2_CALL CORVID2_TraceIsEnabled(uint8_t* enabled);
CORVID2_API CORVID2_RESULT CORVID2_CALL CORVID2_TraceActivateOutputToFile(uint8_t activate, const char* path);
CORVID2_API CORVID2_RESULT CORVID2_CALL CORVID2_TraceActivateOutputToDebugger(uint8_t activate);
CORVID2_API CORVID2_RESULT CORVID2_CALL CORVID2_TraceActivateMaskError(uint8_t activate);
CORVID2_API CORVID2_RESULT CORVID2_CALL CORVID2_TraceActivateMaskWarning(uint8_t activate);
CORVID2_API CORVID2_RESULT CORVID2_CALL CORVID2_TraceActivateMaskInformation(uint8_t activate);
CORVID2_API CORVID2_RESULT CORVID2_CALL CORVID2_TraceActivateOutputOptionPrefix(uint8_t activate);
CORVID2_API CORVID2_RESULT CORVID2_CALL CORVID2_TraceActivateOutputOptionThreadID(uint8_t activate);
CORVID2_API CORVID2_RESULT CORVID2_CALL CORVID2_TraceActivateOutputOptionTimestamp(uint8_t activate);
CORVID2_API CORVID2_RESULT CORVID2_CALL CORVID2_TraceActivateOutputOptionTimestampDiff(uint8_t activate);

/* An extended trace line from a companion component: level 0 information, 1 warning, 2 error. */
CORVID2_API int CORVID2_CALL extT(const int* level, const char* text);

#ifdef __cplusplus
}
#endif

#endif
