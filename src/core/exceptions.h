// SPDX-License-Identifier: BSD-3-Clause
// Internal view of the exception classes, plus the X-macro list that every code table iterates.
#pragma once

#include "corvid2/exceptions.h"

// Every library exception kind, with its result code, in the order of the public table.
#define CORVID2_FOR_EACH_EXCEPTION(X)   \
    X(ErrorException, -1001)            \
    X(NotInitializedException, -1002)   \
    X(NotImplementedException, -1003)   \
    X(ResourceInUseException, -1004)    \
    X(AccessDeniedException, -1005)     \
    X(InvalidHandleException, -1006)    \
    X(NoDataException, -1008)           \
    X(InvalidParameterException, -1009) \
    X(AbortException, -1012)            \
    X(InvalidBufferException, -1013)    \
    X(NotAvailableException, -1014)     \
    X(ObjectInvalidException, -1098)    \
    X(LowLevelException, -1099)
