// SPDX-License-Identifier: BSD-3-Clause
// Proves that the GenTL header compiles as C and that its values and record layouts are what producers use.
#include "gentl.h"

#include <stdio.h>

static int failures = 0;

#define CHECK_EQ(actual, expected)                                                                      \
    do {                                                                                                \
        long long a_ = (long long)(actual), e_ = (long long)(expected);                                 \
        if (a_ != e_) {                                                                                 \
            fprintf(stderr, "%s:%d: %s is %lld, expected %lld\n", __FILE__, __LINE__, #actual, a_, e_); \
            ++failures;                                                                                 \
        }                                                                                               \
    } while (0)

// Counts the functions and checks that each pointer type matches its declaration; the assignment sits inside
// sizeof, so it is type-checked but never evaluated and the program links without a producer.
#define COUNT_FUNCTION(name, since_major, since_minor, params, args) \
    do {                                                             \
        P##name pointer_ = NULL;                                     \
        (void)sizeof(pointer_ = name);                               \
        (void)pointer_;                                              \
        ++count;                                                     \
    } while (0);

static int count_functions(void) {
    int count = 0;
    GENTL_FUNCTION_LIST(COUNT_FUNCTION)
    return count;
}

int main(void) {
    CHECK_EQ(GC_GENTL_HEADER_VERSION, 0x01060000);
    CHECK_EQ(sizeof(bool8_t), 1);
    CHECK_EQ(GC_ERR_BUFFER_TOO_SMALL, -1016);
    CHECK_EQ(GC_ERR_AMBIGUOUS, -1023);
    CHECK_EQ(BUFFER_INFO_IS_COMPOSITE, 31);
    CHECK_EQ(STREAM_INFO_GENDC_PREFETCH_DESCRIPTOR, 15);
    CHECK_EQ(EVENT_MODULE, 5);
    CHECK_EQ(URL_SCHEME_FILE, 2);
    CHECK_EQ(DEVICE_ACCESS_STATUS_OPEN_READONLY, 6);
    CHECK_EQ(GENTL_INFINITE + 1, 0);

    CHECK_EQ(sizeof(SINGLE_CHUNK_DATA), 8 + 2 * sizeof(void*));
    CHECK_EQ(offsetof(DS_BUFFER_INFO_STACKED, pBuffer), 8);
    CHECK_EQ(offsetof(DS_BUFFER_INFO_STACKED, iResult), 8 + 2 * sizeof(void*));
    CHECK_EQ(offsetof(DS_BUFFER_PART_INFO_STACKED, iResult), 8);
    CHECK_EQ(offsetof(DS_BUFFER_PART_INFO_STACKED, iSize), 16 + sizeof(void*));
    CHECK_EQ(sizeof(EVENT_NEW_BUFFER_DATA), 2 * sizeof(void*));
    CHECK_EQ(sizeof(PORT_REGISTER_STACK_ENTRY), 8 + 2 * sizeof(void*));

    // An array of packed records has no gaps: element 1 starts right after element 0.
    DS_BUFFER_INFO_STACKED infos[2];
    CHECK_EQ((char*)&infos[1] - (char*)&infos[0], 12 + 2 * sizeof(void*));

    CHECK_EQ(count_functions(), GENTL_FUNCTION_COUNT);
    if (failures == 0) printf("gentl.h as C: all checks passed\n");
    return failures == 0 ? 0 : 1;
}
