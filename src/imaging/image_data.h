// SPDX-License-Identifier: BSD-3-Clause
// The records behind the public ImageProcessor and Image, and their guards.
#pragma once

#include "core/access_control.h"
#include "core/object_guard.h"
#include "corvid2/image.h"

namespace corvid2 {
class CImageObj;
class CImageProcessorObj;
}  // namespace corvid2

namespace CORVID2::Internal {

// GetReserved-style access: the first field is the object behind the ImageProcessor.
struct ImageProcessorData {
    corvid2::CImageProcessorObj* processor_ = nullptr;  // owned
    corvid2::CorvidObjectAccessControl access_;
};

struct ImageData {
    corvid2::CImageObj* image_ = nullptr;  // owned
    corvid2::CorvidObjectAccessControl access_;
};

// The library's way into the private parts of the imaging classes.
struct ImagingAccess {
    static ImageProcessorData* const* slot(ImageProcessor* processor) {
        return processor != nullptr ? &processor->data_ : nullptr;
    }
    static ImageData* const* slot(Image* image) { return image != nullptr ? &image->data_ : nullptr; }
    // A new registered Image taking over `image`.
    static Image* makeImage(corvid2::CImageObj* image);
};

}  // namespace CORVID2::Internal

namespace corvid2 {

using CImageProcessorGuard = CHolderGuard<RegistryKind::ImageProcessor, CORVID2::Internal::ImageProcessorData>;
using CImageGuard = CHolderGuard<RegistryKind::Image, CORVID2::Internal::ImageData>;

}  // namespace corvid2
