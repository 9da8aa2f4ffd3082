// SPDX-License-Identifier: BSD-3-Clause
// The polarizer's vocabulary, and the components of the simulated polarization camera's mosaic
// against the scene it draws: intensity 0.8, angle of polarization pi x sx / 2448, degree
// 0.2 + 0.8 x sy / 2048.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "imaging/image_module.h"
#include "support/errors.h"
#include "support/sim_system.h"

namespace corvid2::test {
namespace {

namespace X = CORVID2::Exceptions;
using CORVID2::Polarizer;

bool mentions(const Thrown& thrown, const std::string& text) {
    return thrown.caught && thrown.description.find(text) != std::string::npos;
}

TEST(PolarizerFormats, NamesAvailabilityAndTheListOfEveryCode) {
    EXPECT_STREQ(Polarizer::GetFormatString(Polarizer::DOLP | Polarizer::Red).get(), "DOLP R");
    EXPECT_STREQ(Polarizer::GetFormatString(0x0101).get(), "DOLP R");
    EXPECT_STREQ(Polarizer::GetFormatString(3).get(), "Intensity");
    EXPECT_STREQ(Polarizer::GetFormatString(Polarizer::POLMAX | Polarizer::Blue).get(), "POLMAX B");
    EXPECT_TRUE(
        mentions(thrownBy<X::InvalidParameterException>([] { Polarizer::GetFormatString(12); }), "format invalid"));

    EXPECT_FALSE(Polarizer::IsFormatAvailable(Polarizer::ADOLP, true));
    EXPECT_TRUE(Polarizer::IsFormatAvailable(Polarizer::ADOLP | Polarizer::Green, true));
    EXPECT_TRUE(Polarizer::IsFormatAvailable(Polarizer::Intensity, true));
    for (Polarizer::Formats format : Polarizer::formatlist()) {
        const bool channelZero = (format >> 8) == 0;
        EXPECT_EQ(Polarizer::IsFormatAvailable(format, false), channelZero) << format;
    }
    EXPECT_FALSE(Polarizer::IsFormatAvailable(0x0400, false)) << "channel 4";

    const Polarizer::formatlist list;
    EXPECT_EQ(list.size(), 48u);
    std::vector<Polarizer::Formats> codes(list.begin(), list.end());
    ASSERT_EQ(codes.size(), 48u);
    EXPECT_EQ(std::vector<Polarizer::Formats>(codes.begin(), codes.begin() + 6),
              (std::vector<Polarizer::Formats>{2, 3, 10, 11, 0, 1}));
    EXPECT_EQ(codes[12], Polarizer::ADOLP | Polarizer::Red);
    EXPECT_EQ(codes.back(), Polarizer::POLMAX | Polarizer::Blue);
}

// The simulator's polarization camera acquiring, with a polarizer over the real image library.
class PolarizerTest : public OpenSystemTest {
protected:
    std::string settings() const override { return "CORVID2_SIM_FRAME_RATE=0\n"; }

    void SetUp() override {
        OpenSystemTest::SetUp();
        ImageProcessorModule::setLibraryPath(std::filesystem::path(CORVID2_IMG_FILE));
        polarizer_ = std::make_unique<Polarizer>();
        processor_ = std::make_unique<CORVID2::ImageProcessor>();
        CORVID2::Interface* iface = openInterface("SimU3V1");
        iface->GetDevices()->Refresh(kRefreshMs);
        device_ = (*iface->GetDevices())["SimPolarized0"];
        device_->Open();
    }

    void TearDown() override {
        for (CORVID2::Image* image : images_) image->Release();
        polarizer_.reset();
        processor_.reset();
        if (device_ != nullptr && device_->IsOpen()) device_->Close();
        buffers_.clear();
        ImageProcessorModule::setLibraryPath(std::nullopt);
    }

    // One frame of the camera, in a buffer that stays the test's.
    CORVID2::Buffer* grab() {
        CORVID2::DataStream* stream = (*device_->GetDataStreams())[std::size_t{0}];
        stream->Open();
        buffers_.push_back(std::make_unique<CORVID2::Buffer>());
        stream->GetBufferList()->Add(buffers_.back().get());
        buffers_.back()->QueueBuffer();
        stream->StartAcquisition(1);
        device_->GetRemoteNode("AcquisitionStart")->Execute();
        CORVID2::Buffer* buffer = stream->GetFilledBuffer(5000);
        stream->StopAcquisition();
        return buffer;
    }

    CORVID2::Image* newImage() {
        images_.push_back(processor_->CreateImage());
        return images_.back();
    }

    // The 8-bit sample of cell (x, y) of a component image.
    static int sample(CORVID2::Image* image, std::uint32_t x, std::uint32_t y) {
        return static_cast<const std::uint8_t*>(image->GetBuffer())[std::size_t{y} * image->GetWidth() + x];
    }

    std::unique_ptr<Polarizer> polarizer_;
    std::unique_ptr<CORVID2::ImageProcessor> processor_;
    CORVID2::Device* device_ = nullptr;
    std::vector<std::unique_ptr<CORVID2::Buffer>> buffers_;
    std::vector<CORVID2::Image*> images_;
};

TEST_F(PolarizerTest, TheCameraIsRecognisedAndNothingIsComputedWithoutAnEnabledComponent) {
    bool colour = true;
    EXPECT_TRUE(Polarizer::IsPolarized(device_, &colour));
    EXPECT_FALSE(colour);
    EXPECT_TRUE(
        mentions(thrownBy<X::InvalidParameterException>([] { Polarizer::IsPolarized(nullptr); }), "device missing"));

    CORVID2::Buffer* buffer = grab();
    ASSERT_NE(buffer, nullptr);
    polarizer_->Initialize(buffer);  // no component enabled: nothing to do, no failure
    CORVID2::Image* image = newImage();
    EXPECT_TRUE(mentions(thrownBy<X::NotAvailableException>([&] { polarizer_->Get(Polarizer::Intensity, image); }),
                         "not available"));
    EXPECT_TRUE(
        mentions(thrownBy<X::InvalidParameterException>([&] { polarizer_->Initialize(nullptr); }), "buffer missing"));
    EXPECT_TRUE(
        mentions(thrownBy<X::InvalidParameterException>([&] { polarizer_->Enable(12, true); }), "format invalid"));
}

TEST_F(PolarizerTest, ComponentsOfTheMosaicMatchTheSceneAndTheCalibrationOffsetShiftsTheAngle) {
    constexpr double kOffsetDegrees = 10;
    device_->GetRemoteNode("CalibrationAngleOfPolarizationOffset")->SetDouble(kOffsetDegrees);
    polarizer_->ReadCalibrationData(device_);
    for (Polarizer::Formats format : {Polarizer::Intensity, Polarizer::AOP, Polarizer::DOLP})
        polarizer_->Enable(format, true);
    CORVID2::Buffer* buffer = grab();
    ASSERT_NE(buffer, nullptr);
    polarizer_->Initialize(buffer);

    CORVID2::Image* intensity = newImage();
    CORVID2::Image* angle = newImage();
    CORVID2::Image* degree = newImage();
    polarizer_->Get(Polarizer::Intensity, intensity);
    polarizer_->Get(Polarizer::AOP, angle);
    polarizer_->Get(Polarizer::DOLP, degree);
    // One value per 2 x 2 filter cell.
    ASSERT_EQ(intensity->GetWidth(), buffer->GetWidth() / 2);
    ASSERT_EQ(intensity->GetHeight(), buffer->GetHeight() / 2);
    EXPECT_STREQ(angle->GetPixelformat().get(), "Mono8");

    int worst = 0;
    for (std::uint32_t y = 8; y < intensity->GetHeight(); y += 37) {
        for (std::uint32_t x = 0; x < intensity->GetWidth(); x += 23) {
            // The cell's centre on the sensor.
            const double sx = 2.0 * x + 0.5, sy = 2.0 * y + 0.5;
            const double expectedAngle = std::fmod(180.0 * sx / 2448 + kOffsetDegrees, 180.0);
            const double expectedDegree = 0.2 + 0.8 * sy / 2048;
            worst = std::max(worst, std::abs(sample(intensity, x, y) - static_cast<int>(std::lround(0.8 * 255))));
            worst = std::max(
                worst, std::abs(sample(angle, x, y) - static_cast<int>(std::lround(expectedAngle / 180.0 * 255))));
            worst =
                std::max(worst, std::abs(sample(degree, x, y) - static_cast<int>(std::lround(expectedDegree * 255))));
        }
    }
    // 8-bit samples of a 1-pixel-wide sensor ramp: a few steps of rounding at most.
    EXPECT_LE(worst, 4);

    // Only enabled, available components are delivered; a predefined image keeps its format.
    CORVID2::Image* other = newImage();
    EXPECT_TRUE(mentions(thrownBy<X::InvalidParameterException>([&] { polarizer_->Get(Polarizer::POL0, other); }),
                         "component not enabled"));
    EXPECT_TRUE(mentions(
        thrownBy<X::InvalidParameterException>([&] { polarizer_->Get(Polarizer::AOP | Polarizer::Red, other); }),
        "component not available"));
    EXPECT_TRUE(mentions(thrownBy<X::InvalidParameterException>([&] { polarizer_->Get(Polarizer::AOP, nullptr); }),
                         "image missing"));
    CORVID2::Image* deep = newImage();
    deep->Init(intensity->GetWidth(), intensity->GetHeight(), "Mono16", nullptr, 0);
    polarizer_->GetByPredefinedImage(Polarizer::Intensity, deep);
    EXPECT_STREQ(deep->GetPixelformat().get(), "Mono16");
    const auto* wide = static_cast<const std::uint16_t*>(deep->GetBuffer());
    EXPECT_EQ(wide[0] >> 8, sample(intensity, 0, 0));
}

}  // namespace
}  // namespace corvid2::test
