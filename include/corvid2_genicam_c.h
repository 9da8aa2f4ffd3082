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
typedef void* CORVID2_ImageProcessor;
typedef void* CORVID2_Image;
typedef void* CORVID2_Polarizer;

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

/* Image processing. Creating a processor or polarizer gives -1001 when the image-processing library
 * (corvid2_img beside this library) cannot be loaded. Only handles these functions handed out are
 * taken back; any other gives -1009. */
CORVID2_API CORVID2_RESULT CORVID2_CALL CORVID2_CreateImageProcessor(CORVID2_ImageProcessor* processor);
CORVID2_API CORVID2_RESULT CORVID2_CALL CORVID2_ReleaseImageProcessor(CORVID2_ImageProcessor processor);
CORVID2_API CORVID2_RESULT CORVID2_CALL CORVID2_ImageProcessor_GetVersion(CORVID2_ImageProcessor processor, char* text,
                                                                          uint64_t* size);
/* A 1 x 1 Mono8 image. */
CORVID2_API CORVID2_RESULT CORVID2_CALL CORVID2_ImageProcessor_CreateEmptyImage(CORVID2_ImageProcessor processor,
                                                                                CORVID2_Image* image);
CORVID2_API CORVID2_RESULT CORVID2_CALL CORVID2_Image_Release(CORVID2_Image image);
CORVID2_API CORVID2_RESULT CORVID2_CALL CORVID2_Polarizer_Create(CORVID2_Polarizer* polarizer);
CORVID2_API CORVID2_RESULT CORVID2_CALL CORVID2_Polarizer_Release(CORVID2_Polarizer polarizer);

/* ---- Hooks for a companion component --------------------------------------------------------
 * They take the library's objects as they are: public C++ objects (Device, DataStream, BufferList)
 * or the internal objects a companion receives (the stream object a DataStream's GetReserved record
 * starts with, buffer objects delivered through a bypass). */

/* Write locks: while the calling thread holds one, calls that write through the object from any
 * other thread fail with AccessDenied. The device's lock covers every feature of the device module
 * and of the camera; the stream's every feature of the stream module. 0, or -1009 / -1098 for a
 * null or unknown object. */
CORVID2_API uint32_t CORVID2_CALL activateWriteLockDevice(void* device);
CORVID2_API uint32_t CORVID2_CALL releaseWriteLockDevice(void* device);
CORVID2_API uint32_t CORVID2_CALL activateWriteLockStream(void* dataStream);
CORVID2_API uint32_t CORVID2_CALL releaseWriteLockStream(void* dataStream);
CORVID2_API uint32_t CORVID2_CALL activateWriteLockBufferList(void* bufferList);
CORVID2_API uint32_t CORVID2_CALL releaseWriteLockBufferList(void* bufferList);
CORVID2_API uint32_t CORVID2_CALL activateWriteLockStreamEvents(void* dataStream);
CORVID2_API uint32_t CORVID2_CALL releaseWriteLockStreamEvents(void* dataStream);

/* The number of images of the stream's last start (GENTL_INFINITE for a continuous one); `stream`
 * is a DataStream or its internal stream object. */
CORVID2_API int32_t CORVID2_CALL getNumToCapture(void* stream, uint64_t* count);

/* Bypasses of a stream's information query, filled-buffer wait and cancel. A bypass answering
 * -1002 (GC_ERR_NOT_INITIALIZED) hands the call back to the library; any other answer is final. A
 * null function removes the bypass. `own`, when not null, receives the library's own operation,
 * whose last argument is the stream object. */
typedef int32_t(CORVID2_CALL* CORVID2_StreamInfoFunction)(int32_t command, int32_t* type, void* buffer, size_t* size,
                                                          void* context);
typedef int32_t(CORVID2_CALL* CORVID2_FilledBufferFunction)(void** bufferObject, uint64_t timeout, void* context);
typedef int32_t(CORVID2_CALL* CORVID2_CancelFunction)(void* context);
CORVID2_API int32_t CORVID2_CALL registerBypass_DataStreamGetInfo(void* streamObject, CORVID2_StreamInfoFunction bypass,
                                                                  void* context, CORVID2_StreamInfoFunction* own);
CORVID2_API int32_t CORVID2_CALL registerBypass_DataStreamEventControlGetFilledBuffer(
    void* streamObject, CORVID2_FilledBufferFunction bypass, void* context, CORVID2_FilledBufferFunction* own);
CORVID2_API int32_t CORVID2_CALL registerBypass_DataStreamEventControlCancelGetFilledBuffer(
    void* streamObject, CORVID2_CancelFunction bypass, void* context, CORVID2_CancelFunction* own);

/* Functions that work on an internal buffer object: its information (GenTL's copy-out rules), a
 * queue, the pixel format name of its first image (size in/out as for texts), the number of images
 * averaged into it. Each getter stores the function and returns 1, 0 for a null argument. */
typedef int32_t(CORVID2_CALL* CORVID2_BufferInfoFunction)(int32_t command, int32_t* type, void* buffer, size_t* size,
                                                          void* bufferObject);
typedef int32_t(CORVID2_CALL* CORVID2_BufferQueueFunction)(void* bufferObject);
typedef int32_t(CORVID2_CALL* CORVID2_BufferPixelFormatFunction)(void* bufferObject, char* name, size_t* size);
typedef int32_t(CORVID2_CALL* CORVID2_BufferAverageFunction)(void* bufferObject, uint32_t number);
CORVID2_API uint8_t CORVID2_CALL getFuncPtr_BufferInfo(void* bufferObject, CORVID2_BufferInfoFunction* function);
CORVID2_API uint8_t CORVID2_CALL getFuncPtr_BufferQueueBuffer(void* bufferObject,
                                                              CORVID2_BufferQueueFunction* function);
CORVID2_API uint8_t CORVID2_CALL getFuncPtr_BufferGetPixelFormat(void* bufferObject,
                                                                 CORVID2_BufferPixelFormatFunction* function);
CORVID2_API uint8_t CORVID2_CALL getFuncPtr_BufferSetAverageNumber(void* bufferObject,
                                                                   CORVID2_BufferAverageFunction* function);
/* The buffer's chunk features: stores in `nodeMap` the library's internal flat view of them (null
 * for a buffer without chunks) and returns 0, or a result code. */
typedef int32_t(CORVID2_CALL* CORVID2_BufferChunkNodesFunction)(void* bufferObject, const void** nodeMap);
CORVID2_API uint8_t CORVID2_CALL getFuncPtr_BufferGetChunkNodeList(void* bufferObject,
                                                                   CORVID2_BufferChunkNodesFunction* function);

/* Requests (`apply` 1) or releases (0) the chunks `chunkIds` (ChunkSelector values) on a Device for a
 * companion component: requests are counted, and a release switches a chunk off only when its last
 * request goes and the application had not enabled it itself. Nothing happens, with result 0, while
 * the device's chunk-auto setting is off. -1009 for a null device or a null list of IDs. */
CORVID2_API int32_t CORVID2_CALL updateDeviceChunks(void* device, const uint64_t* chunkIds, size_t count,
                                                    uint8_t apply);

/* The device's feature helper (the library's IDeviceFeature) for a Device; valid while the Device
 * lives. 0, or -1009 for a null argument. */
CORVID2_API int32_t CORVID2_CALL getDeviceFeatureObject(void* device, void** feature);

#ifdef __cplusplus
}
#endif

#endif
