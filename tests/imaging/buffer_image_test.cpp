// SPDX-License-Identifier: BSD-3-Clause
// Images over buffers that the simulated camera filled.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "imaging/image_module.h"
#include "imaging_fixture.h"
#include "support/errors.h"
#include "support/sim_system.h"

namespace corvid2::test {
namespace {

namespace X = CORVID2::Exceptions;
using CORVID2::Buffer;
using CORVID2::Image;

// The simulator's Mono8 camera acquiring into producer buffers, and an image processor.
class BufferImageTest : public OpenSystemTest {
protected:
    std::string settings() const override { return "CORVID2_SIM_FRAME_RATE=0\n"; }

    void SetUp() override {
        OpenSystemTest::SetUp();
        ImageProcessorModule::setLibraryPath(std::filesystem::path(CORVID2_IMG_FILE));
        processor_ = std::make_unique<CORVID2::ImageProcessor>();
        CORVID2::Interface* iface = openInterface("SimGEV0");
        iface->GetDevices()->Refresh(kRefreshMs);
        device_ = (*iface->GetDevices())["SimMono0"];
        device_->Open();
        stream_ = (*device_->GetDataStreams())[std::size_t{0}];
        stream_->Open();
    }

    void TearDown() override {
        if (image_ != nullptr) image_->Release();
        processor_.reset();
        if (device_ != nullptr && device_->IsOpen()) device_->Close();
        buffers_.clear();
        ImageProcessorModule::setLibraryPath(std::nullopt);
    }

    void setSimulator(const char* feature, std::int64_t value) {
        genapi::CIntegerPtr node = producer().nodeMap()->GetNode(feature);
        ASSERT_TRUE(node.IsValid()) << feature;
        node->SetValue(value);
    }

    // One filled buffer of a continuous acquisition, which then stops.
    Buffer* acquireOne() {
        for (int i = 0; i < 2; ++i) {
            buffers_.emplace_back(new Buffer());
            stream_->GetBufferList()->Add(buffers_.back().get());
            buffers_.back()->QueueBuffer();
        }
        stream_->StartAcquisitionContinuous();
        device_->GetRemoteNode("AcquisitionStart")->Execute();
        Buffer* filled = stream_->GetFilledBuffer(5000);
        device_->GetRemoteNode("AcquisitionStop")->Execute();
        stream_->StopAcquisition();
        return filled;
    }

    std::unique_ptr<CORVID2::ImageProcessor> processor_;
    CORVID2::Device* device_ = nullptr;
    CORVID2::DataStream* stream_ = nullptr;
    std::vector<std::unique_ptr<Buffer>> buffers_;
    Image* image_ = nullptr;
};

TEST_F(BufferImageTest, ImageRefersToTheBuffersMemoryAndConvertsItsPixels) {
    Buffer* filled = acquireOne();
    ASSERT_NE(filled, nullptr);
    ASSERT_STREQ(filled->GetPixelFormat().get(), "Mono8");
    image_ = processor_->CreateImage();
    image_->Init(filled);

    EXPECT_EQ(image_->GetWidth(), filled->GetWidth());
    EXPECT_EQ(image_->GetHeight(), filled->GetHeight());
    EXPECT_STREQ(image_->GetPixelformat().get(), "Mono8");
    EXPECT_EQ(image_->GetLength(), filled->GetImageLength());
    EXPECT_EQ(image_->GetBuffer(), filled->GetImageData()) << "no copy";

    const auto* mono = static_cast<const std::uint8_t*>(filled->GetImageData());
    const std::size_t pixels = filled->GetWidth() * filled->GetHeight();
    std::vector<std::uint8_t> rgb(image_->GetTransformBufferLength("RGB8"));
    ASSERT_EQ(rgb.size(), pixels * 3);
    processor_->TransformImageToBuffer(image_, "RGB8", rgb.data(), rgb.size());
    std::size_t mismatches = 0;
    bool varied = false;
    for (std::size_t i = 0; i < pixels; ++i) {
        if (rgb[3 * i] != mono[i] || rgb[3 * i + 1] != mono[i] || rgb[3 * i + 2] != mono[i]) ++mismatches;
        varied = varied || mono[i] != mono[0];
    }
    EXPECT_EQ(mismatches, 0u);
    EXPECT_TRUE(varied) << "the camera's frame is a pattern, not a constant";
}

TEST_F(BufferImageTest, IncompleteOrMissingBufferIsRefused) {
    image_ = processor_->CreateImage();
    const Thrown missing = thrownBy<X::InvalidParameterException>([&] { image_->Init(nullptr); });
    EXPECT_TRUE(missing.caught);
    EXPECT_EQ(missing.description, "buffer parameter is missing");

    setSimulator("SimIncompleteEvery", 1);
    Buffer* filled = acquireOne();
    ASSERT_NE(filled, nullptr);
    ASSERT_TRUE(filled->GetIsIncomplete());
    const Thrown incomplete = thrownBy<X::ErrorException>([&] { image_->Init(filled); });
    EXPECT_TRUE(incomplete.caught);
    EXPECT_EQ(incomplete.description, "buffer is incomplete");
    EXPECT_EQ(image_->GetWidth(), 1u) << "the image is unchanged";
}

TEST_F(BufferImageTest, BufferNeverDeliveredFailsWithTheBuffersOwnError) {
    image_ = processor_->CreateImage();
    Buffer fresh;
    const Thrown thrown = thrownBy<X::ErrorException>([&] { image_->Init(&fresh); });
    EXPECT_TRUE(thrown.caught);
    EXPECT_FALSE(thrown.description.empty());
}

}  // namespace
}  // namespace corvid2::test
