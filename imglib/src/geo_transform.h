// SPDX-License-Identifier: BSD-3-Clause
// CGeoTransform: scales images by two factors.
#pragma once

#include "corvid2_img/corvid2_img.h"

namespace corvid2::img {

class CGeoTransform final : public IGeoTransform {
public:
    IMG_RESULT_CODES SetScale(double sx, double sy, double angle) override;
    IMG_RESULT_CODES Process(IImage* source, IImage* target) override;

private:
    double sx_ = 1, sy_ = 1;
};

}  // namespace corvid2::img
