// SPDX-License-Identifier: BSD-3-Clause
// CImageProcessor: converts images with its settings (demosaicing, colour matrix, threads, polarizer calibration),
// which its port serves as registers.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "converter.h"
#include "corvid2_img/corvid2_img.h"
#include "object_registry.h"
#include "polarization.h"

namespace corvid2::img {

class CImageProcessor final : public IImageProcessor, public CPortTarget {
public:
    /// Registered as live until destroyed.
    CImageProcessor();
    ~CImageProcessor() override;
    CImageProcessor(const CImageProcessor&) = delete;
    CImageProcessor& operator=(const CImageProcessor&) = delete;

    /// The processor behind an interface pointer, or null when it is not a live processor of this library.
    static CImageProcessor* fromInterface(IImageProcessor* processor);

    IMG_RESULT_CODES TransformImage(IImage* source, const char* pixelFormat, IImage** result) override;
    IMG_RESULT_CODES TransformImageToBuffer(IImage* source, const char* pixelFormat, void* buffer,
                                            uint64_t bufferSize) override;
    IMG_RESULT_CODES SetMatrixElement(uint32_t kind, uint32_t row, uint32_t column, double value) override;
    IMG_RESULT_CODES GetMatrixElement(uint32_t kind, uint32_t row, uint32_t column, double* value) const override;

    /// Copies of the settings, taken at the start of an operation so that a concurrent port write cannot change
    /// an operation halfway.
    ConversionSettings conversionSettings() const;
    PolarizationCalibration calibration() const;
    unsigned threads() const;

    // CPortTarget
    const char* descriptionName() const override { return "corvid2_img_processor.xml"; }
    const char* description() const override;
    size_t descriptionSize() const override;
    std::vector<uint8_t> registers() const override;
    IMG_RESULT_CODES writeRegister(uint64_t address, const uint8_t* bytes, uint64_t length) override;

private:
    const void* handle() const { return static_cast<const IImageProcessor*>(this); }
    /// The element of a matrix kind, or null for a kind, row or column out of range.
    double* element(uint32_t kind, uint32_t row, uint32_t column);

    mutable std::mutex mutex_;  // guards the settings below
    DemosaicMethod demosaic_ = DemosaicMethod::Bilinear;
    bool colourMatrixEnabled_ = false;
    double colourMatrix_[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    unsigned threads_;
    uint32_t colourMatrixSelector_ = 0;
    uint32_t calibrationColourSelector_ = 0;
    uint32_t calibrationValueSelector_ = 0;
    PolarizationCalibration calibration_ = PolarizationCalibration::defaults();
};

}  // namespace corvid2::img
