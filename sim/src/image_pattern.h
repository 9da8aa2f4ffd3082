// SPDX-License-Identifier: BSD-3-Clause
// Test-pattern images whose content a test can predict, encoded in the simulated pixel formats.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "xml_catalog.h"

namespace corvid2::sim {

namespace pfnc {
constexpr uint32_t kMono8 = 0x01080001, kMono10 = 0x01100003, kMono12 = 0x01100005, kMono12p = 0x010C0047,
                   kMono16 = 0x01100007, kBayerRG8 = 0x01080009, kBayerRG12 = 0x01100011, kBayerRG12p = 0x010C0059,
                   kRGB8 = 0x02180014, kBGR8 = 0x02180015;
}

enum class PixelEncoding { Byte, Word, Packed12, RGB, BGR };

struct PixelFormatInfo {
    uint32_t code;
    uint32_t bitsPerPixel;   // occupied bits in memory
    uint32_t componentBits;  // significant bits of one component
    PixelEncoding encoding;
    bool bayer;
    bool colour;  // needs a colour sensor
};

// Null for a format the simulator does not produce.
const PixelFormatInfo* findPixelFormat(uint32_t code);

enum class TestPattern : uint32_t { Scene = 0, GreyHorizontalRamp = 1, VerticalLineMoving = 2, Checkerboard = 3 };

struct ImageSettings {
    CameraKind kind = CameraKind::Mono;
    TestPattern pattern = TestPattern::Scene;
    uint32_t sensorWidth = 0, sensorHeight = 0;
    uint32_t width = 0, height = 0, offsetX = 0, offsetY = 0, binningH = 1, binningV = 1;
    uint32_t pixelFormat = pfnc::kMono8;
    bool reverseX = false, reverseY = false;
    double brightness = 1.0;  // exposure and gain factor applied to the scene

    bool operator==(const ImageSettings& o) const;
    size_t rowBytes() const;
    size_t imageBytes() const { return rowBytes() * height; }
};

// Scene level (0..65535) of one colour channel (0 R, 1 G, 2 B) at a sensor position, before brightness; a
// monochrome sensor answers the same for every channel. Tests use the same definition to predict images.
uint16_t sceneLevel(const ImageSettings& settings, uint32_t sensorX, uint32_t sensorY, uint64_t frameId, int channel);

// Draws frames: static patterns are rendered once per setting and copied, so that a frame costs about a memcpy.
class ImageRenderer {
public:
    // Writes imageBytes() bytes: the pattern and the low 16 bits of the frame id as 8x8 blocks in the first row
    // of blocks (most significant bit leftmost, white for 1) when the image is at least 128x8.
    void render(const ImageSettings& settings, uint64_t frameId, uint8_t* destination);
    // Mean level of the scene in a sensor region after brightness, 0..1, for the camera's own automatics.
    static double meanLevel(const ImageSettings& settings, uint32_t x, uint32_t y, uint32_t width, uint32_t height);

private:
    // What one setting renders the same way every frame, rebuilt when the setting changes.
    struct Cache {
        std::shared_ptr<const std::vector<uint8_t>> image;  // the whole frame of a static pattern, else null
        // One encoded 8-pixel counter block per row parity and bit value: [parity * 2 + bit].
        std::vector<uint8_t> counterBlocks;
    };
    std::shared_ptr<const Cache> cacheFor(const ImageSettings& settings, const PixelFormatInfo& format);

    std::mutex mutex_;
    ImageSettings cachedSettings_;
    std::shared_ptr<const Cache> cache_;
};

}  // namespace corvid2::sim
