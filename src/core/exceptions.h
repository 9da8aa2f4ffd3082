// SPDX-License-Identifier: BSD-3-Clause
// Internal view of the exception classes, plus the X-macro list of the classes and their results.
#pragma once

#include "corvid2/exceptions.h"

// Every library exception class, with the result it stands for, in the order of the public table.
// A result without a row here (Timeout) is thrown as ErrorException.
#define CORVID2_FOR_EACH_EXCEPTION(X)              \
    X(ErrorException, Error)                       \
    X(NotInitializedException, NotInitialized)     \
    X(NotImplementedException, NotImplemented)     \
    X(ResourceInUseException, ResourceInUse)       \
    X(AccessDeniedException, AccessDenied)         \
    X(InvalidHandleException, InvalidHandle)       \
    X(NoDataException, NoData)                     \
    X(InvalidParameterException, InvalidParameter) \
    X(AbortException, Abort)                       \
    X(InvalidBufferException, InvalidBuffer)       \
    X(NotAvailableException, NotAvailable)         \
    X(ObjectInvalidException, ObjectInvalid)       \
    X(LowLevelException, LowLevelError)
