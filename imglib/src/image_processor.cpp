// SPDX-License-Identifier: BSD-3-Clause
// The image processor: conversions with its settings, its matrices and its registers.
#include "image_processor.h"

#include <cmath>
#include <cstring>
#include <memory>

#include "descriptions.h"
#include "guarded_call.h"
#include "image.h"
#include "library_version.h"
#include "thread_pool.h"

namespace corvid2::img {

namespace {

constexpr uint64_t kRegisterSpace = IMG_REG_VERSION + 64;
constexpr double kMatrixLimit = 64, kAngleLimit = 360;

bool overlaps(const uint8_t* a, uint64_t aBytes, const uint8_t* b, uint64_t bBytes) {
    const auto a0 = reinterpret_cast<uintptr_t>(a), b0 = reinterpret_cast<uintptr_t>(b);
    return a0 < b0 + bBytes && b0 < a0 + aBytes;
}

bool within(double value, double limit) { return std::isfinite(value) && std::fabs(value) <= limit; }

}  // namespace

CImageProcessor::CImageProcessor() : threads_(defaultConcurrency()) {
    CObjectRegistry::add(handle(), ObjectKind::Processor, this);
}

CImageProcessor::~CImageProcessor() { CObjectRegistry::remove(handle()); }

CImageProcessor* CImageProcessor::fromInterface(IImageProcessor* processor) {
    return CObjectRegistry::contains(processor, ObjectKind::Processor) ? static_cast<CImageProcessor*>(processor)
                                                                       : nullptr;
}

ConversionSettings CImageProcessor::conversionSettings() const {
    std::lock_guard<std::mutex> lock(mutex_);
    ConversionSettings s;
    s.demosaic = demosaic_;
    s.colourMatrixEnabled = colourMatrixEnabled_;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) s.colourMatrix[r][c] = static_cast<float>(colourMatrix_[r][c]);
    s.threads = threads_;
    return s;
}

PolarizationCalibration CImageProcessor::calibration() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return calibration_;
}

unsigned CImageProcessor::threads() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return threads_;
}

IMG_RESULT_CODES CImageProcessor::TransformImage(IImage* source, const char* pixelFormat, IImage** result) {
    return guardedCall([&] {
        const CImage* image = CImage::fromInterface(source);
        const PixelFormat* target = findPixelFormat(pixelFormat);
        if (image == nullptr || target == nullptr || result == nullptr) return IMG_INVALID_PARAMETER;
        const ImageView view = image->view();
        if (const IMG_RESULT_CODES check = checkConversion(*view.format, *target); check != IMG_SUCCESS) return check;
        const ConversionSettings settings = conversionSettings();
        auto converted = std::make_unique<CImage>();
        converted->deliver(*target, view.width, view.height, {view},
                           [&](uint8_t* out) { convertImage(view, *target, out, settings); });
        *result = converted.release();
        return IMG_SUCCESS;
    });
}

IMG_RESULT_CODES CImageProcessor::TransformImageToBuffer(IImage* source, const char* pixelFormat, void* buffer,
                                                         uint64_t bufferSize) {
    return guardedCall([&] {
        const CImage* image = CImage::fromInterface(source);
        const PixelFormat* target = findPixelFormat(pixelFormat);
        if (image == nullptr || target == nullptr || buffer == nullptr) return IMG_INVALID_PARAMETER;
        const ImageView view = image->view();
        if (const IMG_RESULT_CODES check = checkConversion(*view.format, *target); check != IMG_SUCCESS) return check;
        uint64_t bytes = 0;
        if (!imageBytes(*target, view.width, view.height, &bytes) || bufferSize < bytes) return IMG_INVALID_PARAMETER;
        const ConversionSettings settings = conversionSettings();
        auto* out = static_cast<uint8_t*>(buffer);
        if (overlaps(out, bytes, view.data, view.bytes)) {
            std::vector<uint8_t> converted(bytes);
            convertImage(view, *target, converted.data(), settings);
            std::memcpy(out, converted.data(), bytes);
        } else {
            convertImage(view, *target, out, settings);
        }
        return IMG_SUCCESS;
    });
}

double* CImageProcessor::element(uint32_t kind, uint32_t row, uint32_t column) {
    switch (kind) {
        case IMG_MATRIX_COLOR:
            return row < 3 && column < 3 ? &colourMatrix_[row][column] : nullptr;
        case IMG_MATRIX_POLARIZATION:
            return row < 9 && column < 4 ? &calibration_.matrix[row / 3][row % 3][column] : nullptr;
        case IMG_MATRIX_POLARIZATION_ANGLE_OFFSET:
            return row == 0 && column == 0 ? &calibration_.angleOffsetDegrees : nullptr;
        default:
            return nullptr;
    }
}

IMG_RESULT_CODES CImageProcessor::SetMatrixElement(uint32_t kind, uint32_t row, uint32_t column, double value) {
    const double limit = kind == IMG_MATRIX_POLARIZATION_ANGLE_OFFSET ? kAngleLimit : kMatrixLimit;
    std::lock_guard<std::mutex> lock(mutex_);
    double* slot = element(kind, row, column);
    if (slot == nullptr || !within(value, limit)) return IMG_INVALID_PARAMETER;
    *slot = value;
    return IMG_SUCCESS;
}

IMG_RESULT_CODES CImageProcessor::GetMatrixElement(uint32_t kind, uint32_t row, uint32_t column, double* value) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const double* slot = const_cast<CImageProcessor*>(this)->element(kind, row, column);
    if (slot == nullptr || value == nullptr) return IMG_INVALID_PARAMETER;
    *value = *slot;
    return IMG_SUCCESS;
}

const char* CImageProcessor::description() const { return kImageProcessorDescription; }
size_t CImageProcessor::descriptionSize() const { return kImageProcessorDescriptionSize; }

std::vector<uint8_t> CImageProcessor::registers() const {
    std::vector<uint8_t> bytes(kRegisterSpace, 0);
    std::lock_guard<std::mutex> lock(mutex_);
    putRegister32(bytes, IMG_REG_DEMOSAICING_METHOD, static_cast<uint32_t>(demosaic_));
    putRegister32(bytes, IMG_REG_COLOR_TRANSFORMATION_ENABLE, colourMatrixEnabled_ ? 1 : 0);
    putRegister32(bytes, IMG_REG_CONCURRENT_THREADS, threads_);
    putRegister32(bytes, IMG_REG_COLOR_MATRIX_SELECTOR, colourMatrixSelector_);
    putRegister32(bytes, IMG_REG_POLARIZATION_COLOR_SELECTOR, calibrationColourSelector_);
    putRegister32(bytes, IMG_REG_POLARIZATION_VALUE_SELECTOR, calibrationValueSelector_);
    putRegister32(bytes, IMG_REG_CONCURRENT_THREADS_MAX, kMaxThreads);
    putRegister32(bytes, IMG_REG_INSTRUCTION_SET, static_cast<uint32_t>(activeIsa()));
    putRegisterDouble(bytes, IMG_REG_POLARIZATION_ANGLE_OFFSET, calibration_.angleOffsetDegrees);
    for (uint32_t i = 0; i < 9; ++i)
        putRegisterDouble(bytes, IMG_REG_COLOR_MATRIX_VALUE + 8 * i, colourMatrix_[i / 3][i % 3]);
    for (uint32_t channel = 0; channel < 3; ++channel)
        for (uint32_t i = 0; i < 12; ++i)
            putRegisterDouble(bytes, IMG_REG_POLARIZATION_MATRIX_VALUE + 96 * channel + 8 * i,
                              calibration_.matrix[channel][i / 4][i % 4]);
    putRegisterText(bytes, IMG_REG_VERSION, 64, libraryVersion());
    return bytes;
}

IMG_RESULT_CODES CImageProcessor::writeRegister(uint64_t address, const uint8_t* bytes, uint64_t length) {
    // Matrix elements: eight-byte doubles in two arrays.
    auto inArray = [&](uint64_t base, uint64_t count) {
        return length == 8 && address >= base && address < base + 8 * count && (address - base) % 8 == 0;
    };
    std::lock_guard<std::mutex> lock(mutex_);
    if (inArray(IMG_REG_COLOR_MATRIX_VALUE, 9) || inArray(IMG_REG_POLARIZATION_MATRIX_VALUE, 36)) {
        const double value = registerDouble(bytes);
        if (!within(value, kMatrixLimit)) return IMG_INVALID_PARAMETER;
        if (address < IMG_REG_POLARIZATION_MATRIX_VALUE) {
            const uint64_t i = (address - IMG_REG_COLOR_MATRIX_VALUE) / 8;
            colourMatrix_[i / 3][i % 3] = value;
        } else {
            const uint64_t i = (address - IMG_REG_POLARIZATION_MATRIX_VALUE) / 8;
            calibration_.matrix[i / 12][i % 12 / 4][i % 4] = value;
        }
        return IMG_SUCCESS;
    }
    if (address == IMG_REG_POLARIZATION_ANGLE_OFFSET && length == 8) {
        const double value = registerDouble(bytes);
        if (!within(value, kAngleLimit)) return IMG_INVALID_PARAMETER;
        calibration_.angleOffsetDegrees = value;
        return IMG_SUCCESS;
    }
    if (length == 64 && address == IMG_REG_VERSION) return IMG_ACCESS_DENIED;
    if (length != 4) return IMG_INVALID_ADDRESS;
    const uint32_t value = registerValue32(bytes);
    // Each writable 32-bit register with the largest value it takes.
    auto set = [&](uint32_t& field, uint32_t most, uint32_t least = 0) {
        if (value < least || value > most) return IMG_INVALID_PARAMETER;
        field = value;
        return IMG_SUCCESS;
    };
    uint32_t scratch = 0;
    switch (address) {
        case IMG_REG_DEMOSAICING_METHOD: {
            const IMG_RESULT_CODES result = set(scratch, 1);
            if (result == IMG_SUCCESS) demosaic_ = static_cast<DemosaicMethod>(scratch);
            return result;
        }
        case IMG_REG_COLOR_TRANSFORMATION_ENABLE: {
            const IMG_RESULT_CODES result = set(scratch, 1);
            if (result == IMG_SUCCESS) colourMatrixEnabled_ = scratch != 0;
            return result;
        }
        case IMG_REG_CONCURRENT_THREADS:
            return set(threads_, kMaxThreads, 1);
        case IMG_REG_COLOR_MATRIX_SELECTOR:
            return set(colourMatrixSelector_, 8);
        case IMG_REG_POLARIZATION_COLOR_SELECTOR:
            return set(calibrationColourSelector_, 2);
        case IMG_REG_POLARIZATION_VALUE_SELECTOR:
            return set(calibrationValueSelector_, 11);
        case IMG_REG_CONCURRENT_THREADS_MAX:
        case IMG_REG_INSTRUCTION_SET:
            return IMG_ACCESS_DENIED;
        default:
            return IMG_INVALID_ADDRESS;
    }
}

}  // namespace corvid2::img
