// SPDX-License-Identifier: BSD-3-Clause
// Symbol visibility of the public interface: everything else in the library stays hidden.
#ifndef CORVID2_EXPORT_H
#define CORVID2_EXPORT_H

#if defined(_WIN32)
#if defined(CORVID2_BUILDING_LIBRARY)
#define CORVID2_API __declspec(dllexport)
#else
#define CORVID2_API __declspec(dllimport)
#endif
#define CORVID2_CALL __cdecl
#else
#define CORVID2_API __attribute__((visibility("default")))
#define CORVID2_CALL
#endif

#endif
