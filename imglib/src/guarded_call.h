// SPDX-License-Identifier: BSD-3-Clause
// The one place where exceptions become result codes: nothing may escape through the library's binary interface.
#pragma once

#include <new>
#include <stdexcept>

#include "corvid2_img/corvid2_img.h"

namespace corvid2::img {

/// Runs body (which returns IMG_RESULT_CODES): running out of memory gives IMG_OUT_OF_MEMORY, an invalid_argument
/// IMG_INVALID_PARAMETER, anything else IMG_INTERNAL_ERROR.
template <class Body>
IMG_RESULT_CODES guardedCall(const Body& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return IMG_OUT_OF_MEMORY;
    } catch (const std::length_error&) {
        return IMG_OUT_OF_MEMORY;  // a vector asked for more than it can hold
    } catch (const std::invalid_argument&) {
        return IMG_INVALID_PARAMETER;
    } catch (...) {
        return IMG_INTERNAL_ERROR;
    }
}

}  // namespace corvid2::img
