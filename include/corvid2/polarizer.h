// SPDX-License-Identifier: BSD-3-Clause
// Polarizer: the components of a polarization camera's raw image (intensity, angle and degree of
// polarization, the four filter angles and their combinations), per colour channel for colour
// sensors, computed by the image-processing library.
#ifndef CORVID2_POLARIZER_H
#define CORVID2_POLARIZER_H

#include <cstddef>
#include <cstdint>
#include <iterator>

#include "corvid2/export.h"
#include "corvid2/string.h"

namespace CORVID2 {

class Buffer;
class Device;
class Image;
namespace Internal {
struct PolarizerData;
}  // namespace Internal

class CORVID2_API Polarizer {
public:
    // A format code: the low byte the component, the next byte the channel (0 the whole image,
    // 1 red, 2 green, 3 blue), for example DOLP | Red.
    using Formats = std::uint32_t;
    static constexpr Formats AOP = 0, DOLP = 1, ADOLP = 2, Intensity = 3, POL0 = 4, POL45 = 5, POL90 = 6, POL135 = 7,
                             POLMIN = 8, POLMAX = 9, POL = 10, UNPOL = 11;
    static constexpr Formats Red = 0x100, Green = 0x200, Blue = 0x300;

    // Every format code: for channels 0 to 3 in turn ADOLP, Intensity, POL, UNPOL, AOP, DOLP, POL0,
    // POL45, POL90, POL135, POLMIN, POLMAX (48 codes).
    class CORVID2_API formatlist {
    public:
        class CORVID2_API const_iterator {
        public:
            using iterator_category = std::forward_iterator_tag;
            using value_type = Formats;
            using difference_type = std::ptrdiff_t;
            using pointer = const Formats*;
            using reference = const Formats&;

            explicit const_iterator(std::size_t position = 0) : position_(position) {}
            const Formats& operator*() const;
            const Formats* operator->() const { return &**this; }
            const_iterator& operator++() {
                ++position_;
                return *this;
            }
            const_iterator operator++(int) {
                const_iterator before = *this;
                ++position_;
                return before;
            }
            bool operator==(const const_iterator& other) const { return position_ == other.position_; }
            bool operator!=(const const_iterator& other) const { return position_ != other.position_; }

        private:
            std::size_t position_;
        };
        static constexpr std::size_t kCount = 48;
        std::size_t size() const { return kCount; }
        const_iterator begin() const { return const_iterator(0); }
        const_iterator end() const { return const_iterator(kCount); }
    };

    // NotAvailableException when corvid2_img cannot be loaded.
    Polarizer();
    ~Polarizer();
    Polarizer(const Polarizer&) = delete;
    Polarizer& operator=(const Polarizer&) = delete;

    // Whether the open device streams a polarizer mosaic ("ComponentSelector" PolarizedRaw and a
    // pixel format the polarizer takes); `isColour`, when given, whether its sensor is a colour one.
    static bool IsPolarized(Device* device, bool* isColour = nullptr);
    // Whether the component and channel of `format` exist for a colour or monochrome sensor.
    static bool IsFormatAvailable(Formats format, bool colour);
    // "DOLP R", "Intensity", ...; InvalidParameterException "format invalid" for an unknown code.
    static String GetFormatString(Formats format);

    // Takes the device's polarizer calibration (matrix per colour, angle offset) for the
    // following computations.
    void ReadCalibrationData(Device* device);
    void Enable(Formats format, bool enable);
    // Enables `format` alone.
    void EnableSingleFormat(Formats format);
    // Components at full resolution instead of one value per 2 x 2 filter cell.
    void EnableInterpolation(bool enable);
    // Computes every enabled component of the buffer's raw image (which stays the buffer's: it is
    // read while computing, not kept).
    void Initialize(Buffer* buffer);
    // Delivers a computed component into `image`.
    void Get(Formats format, Image* image);
    void GetByPredefinedImage(Formats format, Image* image);
    // Threads one computation may use.
    void SetMaxThreads(unsigned int threads);

private:
    Internal::PolarizerData* data_;
};

}  // namespace CORVID2

#endif
