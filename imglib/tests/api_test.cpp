// SPDX-License-Identifier: BSD-3-Clause
// The binary interface: bad input gives the documented codes and touches nothing outside the buffers; object
// lifetimes; version text; ports, registers and the feature descriptions as our GenApi engine reads them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "corvid2/genapi/genapi.h"
#include "image_test_support.h"

namespace corvid2::img::test {
namespace {

TEST(ImageCreation, BadArgumentsAreRefusedWithInvalidParameter) {
    std::vector<uint8_t> buffer(64);
    IImage* image = nullptr;
    EXPECT_EQ(ImageCreate(4, 4, "Mono8", buffer.data(), buffer.size(), nullptr), IMG_INVALID_PARAMETER);
    EXPECT_EQ(ImageCreate(0, 4, "Mono8", buffer.data(), buffer.size(), &image), IMG_INVALID_PARAMETER);
    EXPECT_EQ(ImageCreate(4, 0, "Mono8", buffer.data(), buffer.size(), &image), IMG_INVALID_PARAMETER);
    EXPECT_EQ(ImageCreate(4, 4, nullptr, buffer.data(), buffer.size(), &image), IMG_INVALID_PARAMETER);
    EXPECT_EQ(ImageCreate(4, 4, "", buffer.data(), buffer.size(), &image), IMG_INVALID_PARAMETER);
    EXPECT_EQ(ImageCreate(4, 4, "Mono9", buffer.data(), buffer.size(), &image), IMG_INVALID_PARAMETER);
    EXPECT_EQ(ImageCreate(4, 4, "mono8", buffer.data(), buffer.size(), &image), IMG_INVALID_PARAMETER);
    // Mono16 4 x 4 needs 32 bytes, RGB8 48, Mono12p 24, YUV 4:2:2 needs an even width.
    EXPECT_EQ(ImageCreate(4, 4, "Mono16", buffer.data(), 31, &image), IMG_INVALID_PARAMETER);
    EXPECT_EQ(ImageCreate(4, 4, "RGB8", buffer.data(), 47, &image), IMG_INVALID_PARAMETER);
    EXPECT_EQ(ImageCreate(4, 4, "Mono12p", buffer.data(), 23, &image), IMG_INVALID_PARAMETER);
    EXPECT_EQ(ImageCreate(3, 4, "YUV422_8", buffer.data(), buffer.size(), &image), IMG_INVALID_PARAMETER);
    EXPECT_EQ(ImageCreate(4, 4, "Mono8", buffer.data(), 0, &image), IMG_INVALID_PARAMETER);
    EXPECT_EQ(ImageCreate(0xFFFFFFFF, 0xFFFFFFFF, "Mono8", nullptr, 0, &image), IMG_INVALID_PARAMETER);
    EXPECT_EQ(image, nullptr);
    ASSERT_EQ(ImageCreate(4, 4, "Mono12p", buffer.data(), 24, &image), IMG_SUCCESS);
    ImagePtr owned(image);
    uint64_t length = 0;
    EXPECT_EQ(image->GetLength(&length), IMG_SUCCESS);
    EXPECT_EQ(length, 24u);
    EXPECT_EQ(image->Init("Mono16", 4, 4, buffer.data(), 31), IMG_INVALID_PARAMETER);
    EXPECT_EQ(pixelFormatOf(image), "Mono12p") << "a refused Init leaves the image as it was";
    EXPECT_EQ(image->GetWidth(nullptr), IMG_INVALID_PARAMETER);
    EXPECT_EQ(image->GetBuffer(nullptr), IMG_INVALID_PARAMETER);
    EXPECT_EQ(image->GetLength(nullptr), IMG_INVALID_PARAMETER);
}

TEST(ImageCreation, MemoryThatCannotBeHadIsReportedAsSuch) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizers stop the process on an allocation this large";
#else
    IImage* image = nullptr;
    EXPECT_EQ(ImageCreate(1u << 20, 1u << 20, "RGB16", nullptr, 0, &image), IMG_OUT_OF_MEMORY);
    EXPECT_EQ(image, nullptr);
#endif
}

TEST(ImageCreation, ImagesWithoutBufferOwnZeroedMemoryAndInitKeepsPolarizationSettings) {
    IImage* image = nullptr;
    ASSERT_EQ(ImageCreate(3, 2, "RGBa8", nullptr, 0, &image), IMG_SUCCESS);
    ImagePtr owned(image);
    EXPECT_EQ(pixelsOf(image), std::vector<uint8_t>(24, 0));
    ASSERT_EQ(image->EnableComponent(IMG_COMPONENT_DOLP, true), IMG_SUCCESS);
    std::vector<uint8_t> raw(4, 50);
    ASSERT_EQ(image->Init("VelmorPolarized8", 2, 2, raw.data(), raw.size()), IMG_SUCCESS);
    auto target = makeOwnImage("Mono8", 1, 1);
    EXPECT_EQ(image->GetComponent(IMG_COMPONENT_DOLP, nullptr, target.get()), IMG_SUCCESS);
    void* data = nullptr;
    ASSERT_EQ(image->GetBuffer(&data), IMG_SUCCESS);
    EXPECT_EQ(data, raw.data());
}

TEST(ObjectLifetime, ReleasedForeignAndMismatchedObjectsAreRefused) {
    EXPECT_EQ(ImageRelease(nullptr), IMG_INVALID_PARAMETER);
    EXPECT_EQ(ImageProcessorRelease(nullptr), IMG_INVALID_PARAMETER);
    EXPECT_EQ(HistogramRelease(nullptr), IMG_INVALID_PARAMETER);
    EXPECT_EQ(GeoTransformRelease(nullptr), IMG_INVALID_PARAMETER);
    EXPECT_EQ(ImageProcessorCreate(nullptr), IMG_INVALID_PARAMETER);
    EXPECT_EQ(HistogramCreate(nullptr), IMG_INVALID_PARAMETER);
    EXPECT_EQ(GeoTransformCreate(nullptr), IMG_INVALID_PARAMETER);

    IImage* image = nullptr;
    ASSERT_EQ(ImageCreate(2, 2, "Mono8", nullptr, 0, &image), IMG_SUCCESS);
    IHistogram* histogram = nullptr;
    ASSERT_EQ(HistogramCreate(&histogram), IMG_SUCCESS);
    // The wrong kind of object behind a pointer is caught before it is used.
    EXPECT_EQ(HistogramRelease(reinterpret_cast<IHistogram*>(image)), IMG_INVALID_PARAMETER);
    EXPECT_EQ(ImageRelease(reinterpret_cast<IImage*>(histogram)), IMG_INVALID_PARAMETER);
    int notAnObject = 0;
    EXPECT_EQ(ImageRelease(reinterpret_cast<IImage*>(&notAnObject)), IMG_INVALID_PARAMETER);

    auto processor = makeProcessor();
    EXPECT_EQ(histogram->Fill(reinterpret_cast<IImage*>(&notAnObject), 0), IMG_INVALID_PARAMETER);
    EXPECT_EQ(HistogramRelease(histogram), IMG_SUCCESS);
    EXPECT_EQ(HistogramRelease(histogram), IMG_INVALID_PARAMETER) << "released twice";
    EXPECT_EQ(ImageRelease(image), IMG_SUCCESS);
    EXPECT_EQ(ImageRelease(image), IMG_INVALID_PARAMETER);
    std::vector<uint8_t> out(16);
    EXPECT_EQ(processor->TransformImageToBuffer(image, "Mono8", out.data(), out.size()), IMG_INVALID_PARAMETER);
    IImage* result = nullptr;
    EXPECT_EQ(processor->TransformImage(image, "Mono8", &result), IMG_INVALID_PARAMETER);
    qx_tHistRecord record{};
    EXPECT_EQ(ImageGetHistogram(image, qx_tHistRecords{&record, 1, 0}, 0, 0, 0, 0), IMG_INVALID_PARAMETER);
}

TEST(Transform, TargetBuffersMustHoldTheResultAndMayBeTheSource) {
    auto processor = makeProcessor();
    std::vector<uint8_t> rgb = {1, 2, 3, 4, 5, 6};
    auto image = makeImage("RGB8", 2, 1, rgb);
    // Exactly as large as needed, with guard bytes that must stay untouched.
    std::vector<uint8_t> out(6 + 2, 0xEE);
    EXPECT_EQ(processor->TransformImageToBuffer(image.get(), "BGR8", out.data() + 1, 5), IMG_INVALID_PARAMETER);
    EXPECT_EQ(processor->TransformImageToBuffer(image.get(), "BGR8", nullptr, 6), IMG_INVALID_PARAMETER);
    EXPECT_EQ(processor->TransformImageToBuffer(image.get(), nullptr, out.data(), 6), IMG_INVALID_PARAMETER);
    EXPECT_EQ(processor->TransformImageToBuffer(image.get(), "Mono33", out.data(), 6), IMG_INVALID_PARAMETER);
    EXPECT_EQ(processor->TransformImageToBuffer(nullptr, "BGR8", out.data(), 6), IMG_INVALID_PARAMETER);
    EXPECT_EQ(out, std::vector<uint8_t>(8, 0xEE)) << "refused calls write nothing";
    ASSERT_EQ(processor->TransformImageToBuffer(image.get(), "BGR8", out.data() + 1, 6), IMG_SUCCESS);
    EXPECT_EQ(out, (std::vector<uint8_t>{0xEE, 3, 2, 1, 6, 5, 4, 0xEE}));
    // The source's own memory as the target: converted as if from a copy.
    ASSERT_EQ(processor->TransformImageToBuffer(image.get(), "BGR8", rgb.data(), rgb.size()), IMG_SUCCESS);
    EXPECT_EQ(rgb, (std::vector<uint8_t>{3, 2, 1, 6, 5, 4}));
    IImage* result = nullptr;
    EXPECT_EQ(processor->TransformImage(image.get(), "BGR8", nullptr), IMG_INVALID_PARAMETER);
    EXPECT_EQ(processor->TransformImage(image.get(), "Bogus", &result), IMG_INVALID_PARAMETER);
}

TEST(Version, TextComesInTwoSteps) {
    uint64_t size = 0;
    EXPECT_EQ(GetImgProcVersion(nullptr, nullptr), IMG_INVALID_PARAMETER);
    ASSERT_EQ(GetImgProcVersion(nullptr, &size), IMG_SUCCESS);
    std::string text(size, 'x');
    uint64_t small = size - 1;
    EXPECT_EQ(GetImgProcVersion(text.data(), &small), IMG_INVALID_PARAMETER);
    EXPECT_EQ(small, size);
    EXPECT_EQ(text, std::string(size, 'x'));
    ASSERT_EQ(GetImgProcVersion(text.data(), &size), IMG_SUCCESS);
    EXPECT_EQ(text.rfind("corvid2_img ", 0), 0u);
    EXPECT_EQ(text.back(), '\0');
    EXPECT_EQ(InitLib(), IMG_SUCCESS);
    EXPECT_EQ(DeinitLib(), IMG_SUCCESS);
}

std::string urlOf(void* port) {
    uint64_t size = 0;
    EXPECT_EQ(GetPortURL(port, nullptr, &size), IMG_SUCCESS);
    std::string url(size, '\0');
    EXPECT_EQ(GetPortURL(port, url.data(), &size), IMG_SUCCESS);
    return url.c_str();
}

/// The description behind a port, read through its URL as a description loader does.
std::string descriptionOf(void* port) {
    const std::string url = urlOf(port);
    const size_t first = url.find(';'), second = url.find(';', first + 1);
    const uint64_t address = std::stoull(url.substr(first + 1, second - first - 1), nullptr, 16);
    uint64_t length = std::stoull(url.substr(second + 1), nullptr, 16);
    std::string text(length, '\0');
    EXPECT_EQ(ReadPort(port, address, text.data(), &length), IMG_SUCCESS);
    EXPECT_EQ(length, text.size());
    return text;
}

uint32_t read32(void* port, uint64_t address) {
    uint32_t value = 0;
    uint64_t length = 4;
    EXPECT_EQ(ReadPort(port, address, &value, &length), IMG_SUCCESS);
    return value;
}

IMG_RESULT_CODES write32(void* port, uint64_t address, uint32_t value) {
    const uint64_t length = 4;
    return WritePort(port, address, &value, &length);
}

TEST(Port, UrlsDescriptionsAndRegistersOfProcessorsAndImages) {
    auto processor = makeProcessor();
    auto image = makeOwnImage("BayerRG12", 6, 4);
    void* imagePort = nullptr;
    ASSERT_EQ(image->GetPortHandle(&imagePort), IMG_SUCCESS);
    EXPECT_EQ(imagePort, static_cast<void*>(image.get()));

    EXPECT_EQ(urlOf(processor.get()).rfind("Local:corvid2_img_processor.xml;10000000;", 0), 0u);
    EXPECT_EQ(urlOf(imagePort).rfind("Local:corvid2_img_image.xml;10000000;", 0), 0u);
    const std::string description = descriptionOf(processor.get());
    EXPECT_EQ(description.rfind("<?xml", 0), 0u);
    EXPECT_NE(description.find("<Port Name=\"ImageProcessorPort\""), std::string::npos);
    EXPECT_NE(descriptionOf(imagePort).find("<Port Name=\"ImagePort\""), std::string::npos);

    EXPECT_EQ(read32(imagePort, IMG_REG_IMAGE_WIDTH), 6u);
    EXPECT_EQ(read32(imagePort, IMG_REG_IMAGE_HEIGHT), 4u);
    char format[64] = {};
    uint64_t length = sizeof format;
    ASSERT_EQ(ReadPort(imagePort, IMG_REG_IMAGE_PIXEL_FORMAT, format, &length), IMG_SUCCESS);
    EXPECT_STREQ(format, "BayerRG12");

    EXPECT_EQ(read32(processor.get(), IMG_REG_CONCURRENT_THREADS_MAX), 64u);
    EXPECT_EQ(write32(processor.get(), IMG_REG_CONCURRENT_THREADS, 3), IMG_SUCCESS);
    EXPECT_EQ(read32(processor.get(), IMG_REG_CONCURRENT_THREADS), 3u);
    EXPECT_EQ(write32(processor.get(), IMG_REG_CONCURRENT_THREADS, 0), IMG_INVALID_PARAMETER);
    EXPECT_EQ(write32(processor.get(), IMG_REG_CONCURRENT_THREADS, 65), IMG_INVALID_PARAMETER);
    EXPECT_EQ(write32(processor.get(), IMG_REG_DEMOSAICING_METHOD, 2), IMG_INVALID_PARAMETER);
    EXPECT_EQ(read32(processor.get(), IMG_REG_CONCURRENT_THREADS), 3u) << "refused writes change nothing";
    EXPECT_EQ(write32(processor.get(), IMG_REG_CONCURRENT_THREADS_MAX, 8), IMG_ACCESS_DENIED);
    EXPECT_EQ(write32(imagePort, IMG_REG_IMAGE_WIDTH, 8), IMG_ACCESS_DENIED);
    EXPECT_EQ(write32(processor.get(), 0x2, 1), IMG_INVALID_ADDRESS) << "not the start of a register";
    EXPECT_EQ(write32(processor.get(), IMG_REG_DESCRIPTION, 1), IMG_ACCESS_DENIED);

    // Reads beyond the registers or the description fail without writing the caller's buffer.
    uint8_t bytes[16];
    std::memset(bytes, 0xEE, sizeof bytes);
    length = 16;
    EXPECT_EQ(ReadPort(processor.get(), 0x440 - 8, bytes, &length), IMG_INVALID_ADDRESS);
    length = 16;
    EXPECT_EQ(ReadPort(processor.get(), IMG_REG_DESCRIPTION + description.size() - 8, bytes, &length),
              IMG_INVALID_ADDRESS);
    length = 16;
    EXPECT_EQ(ReadPort(processor.get(), ~uint64_t{0} - 4, bytes, &length), IMG_INVALID_ADDRESS);
    EXPECT_EQ(bytes[0], 0xEE);
    EXPECT_EQ(ReadPort(processor.get(), 0, nullptr, &length), IMG_INVALID_PARAMETER);
    EXPECT_EQ(ReadPort(processor.get(), 0, bytes, nullptr), IMG_INVALID_PARAMETER);
    int notAPort = 0;
    EXPECT_EQ(ReadPort(&notAPort, 0, bytes, &length), IMG_INVALID_PARAMETER);
    EXPECT_EQ(GetPortURL(nullptr, nullptr, &length), IMG_INVALID_PARAMETER);
    IHistogram* histogram = nullptr;
    ASSERT_EQ(HistogramCreate(&histogram), IMG_SUCCESS);
    EXPECT_EQ(GetPortURL(histogram, nullptr, &length), IMG_INVALID_PARAMETER) << "histograms have no port";
    EXPECT_EQ(HistogramRelease(histogram), IMG_SUCCESS);
}

/// Our GenApi engine's view of a library port.
class LibraryPort : public corvid2::genapi::IPort {
public:
    explicit LibraryPort(void* handle) : handle_(handle) {}
    corvid2::genapi::EAccessMode GetAccessMode() const override { return corvid2::genapi::RW; }
    void Read(void* buffer, int64_t address, int64_t length) override {
        uint64_t n = static_cast<uint64_t>(length);
        if (ReadPort(handle_, static_cast<uint64_t>(address), buffer, &n) != IMG_SUCCESS)
            throw corvid2::genapi::GenericException("read failed", __FILE__, __LINE__);
    }
    void Write(const void* buffer, int64_t address, int64_t length) override {
        const uint64_t n = static_cast<uint64_t>(length);
        if (WritePort(handle_, static_cast<uint64_t>(address), buffer, &n) != IMG_SUCCESS)
            throw corvid2::genapi::GenericException("write failed", __FILE__, __LINE__);
    }

private:
    void* handle_;
};

/// A node map over the description the port serves, connected to that port under the description's port name.
struct FeatureMap {
    FeatureMap(void* handle, const char* portName) : port(handle) {
        const std::string text = descriptionOf(handle);
        corvid2::genapi::CNodeMapFactory factory(corvid2::genapi::ContentType_Xml, text.data(), text.size());
        map = factory.CreateNodeMap();
        EXPECT_TRUE(map->Connect(&port, portName));
    }
    template <class T>
    T& node(const char* name) {
        return corvid2::genapi::CastNodeOrThrow<T>(map->GetNode(name), name);
    }
    LibraryPort port;
    std::unique_ptr<corvid2::genapi::INodeMap> map;
};

TEST(FeatureDescription, ProcessorSettingsWorkThroughTheGenApiEngine) {
    using namespace corvid2::genapi;
    auto processor = makeProcessor();
    FeatureMap features(processor.get(), "ImageProcessorPort");
    features.node<IInteger>("ConcurrentThreads").SetValue(1);
    EXPECT_EQ(read32(processor.get(), IMG_REG_CONCURRENT_THREADS), 1u);
    EXPECT_EQ(features.node<IInteger>("ConcurrentThreads").GetMax(), 64);
    EXPECT_THROW(features.node<IInteger>("ConcurrentThreads").SetValue(0), GenericException);
    features.node<IEnumeration>("DemosaicingMethod").FromString("GradientCorrected");
    EXPECT_EQ(read32(processor.get(), IMG_REG_DEMOSAICING_METHOD), 1u);
    features.node<IBoolean>("ColorTransformationEnable").SetValue(true);
    EXPECT_EQ(read32(processor.get(), IMG_REG_COLOR_TRANSFORMATION_ENABLE), 1u);

    features.node<IEnumeration>("ColorTransformationValueSelector").FromString("Gain02");
    features.node<IFloat>("ColorTransformationValue").SetValue(0.5);
    double value = 0;
    ASSERT_EQ(processor->GetMatrixElement(IMG_MATRIX_COLOR, 0, 2, &value), IMG_SUCCESS);
    EXPECT_EQ(value, 0.5);
    ASSERT_EQ(processor->SetMatrixElement(IMG_MATRIX_COLOR, 1, 1, 1.25), IMG_SUCCESS);
    features.node<IEnumeration>("ColorTransformationValueSelector").FromString("Gain11");
    EXPECT_EQ(features.node<IFloat>("ColorTransformationValue").GetValue(), 1.25);

    features.node<IEnumeration>("PolarizationCalibrationColorSelector").FromString("Green");
    features.node<IEnumeration>("PolarizationCalibrationValueSelector").FromString("Gain13");
    features.node<IFloat>("PolarizationCalibrationValue").SetValue(0.25);
    ASSERT_EQ(processor->GetMatrixElement(IMG_MATRIX_POLARIZATION, 3 + 1, 3, &value), IMG_SUCCESS);
    EXPECT_EQ(value, 0.25);
    features.node<IFloat>("PolarizationAngleOffset").SetValue(-12.5);
    ASSERT_EQ(processor->GetMatrixElement(IMG_MATRIX_POLARIZATION_ANGLE_OFFSET, 0, 0, &value), IMG_SUCCESS);
    EXPECT_EQ(value, -12.5);
    EXPECT_EQ(std::string(features.node<IString>("ImageProcessorVersion").GetValue()).rfind("corvid2_img ", 0), 0u);
    EXPECT_NE(features.node<IEnumeration>("ImageProcessorInstructionSet").ToString(), "");
}

TEST(FeatureDescription, ImageFeaturesFollowTheImage) {
    using namespace corvid2::genapi;
    std::vector<uint8_t> raw(16, 10);
    auto image = makeImage("VelmorPolarized8", 4, 4, raw);
    void* handle = nullptr;
    ASSERT_EQ(image->GetPortHandle(&handle), IMG_SUCCESS);
    FeatureMap features(handle, "ImagePort");
    EXPECT_EQ(features.node<IInteger>("ImageWidth").GetValue(), 4);
    EXPECT_EQ(features.node<IInteger>("ImagePayloadLength").GetValue(), 16);
    EXPECT_EQ(std::string(features.node<IString>("ImagePixelFormat").GetValue()), "VelmorPolarized8");
    auto target = makeOwnImage("Mono8", 1, 1);
    EXPECT_EQ(image->GetComponent(IMG_COMPONENT_DOLP, nullptr, target.get()), IMG_NOT_AVAILABLE);
    features.node<IEnumeration>("PolarizationComponentSelector").FromString("DOLP");
    features.node<IBoolean>("PolarizationComponentEnable").SetValue(true);
    EXPECT_EQ(image->GetComponent(IMG_COMPONENT_DOLP, nullptr, target.get()), IMG_SUCCESS);
    features.node<IBoolean>("PolarizationInterpolationEnable").SetValue(true);
    ASSERT_EQ(image->GetComponent(IMG_COMPONENT_DOLP, nullptr, target.get()), IMG_SUCCESS);
    EXPECT_EQ(sizeOf(target.get(), false), 4u) << "interpolated: full width";
    ASSERT_EQ(image->Init("Mono16", 3, 5, nullptr, 0), IMG_SUCCESS);
    EXPECT_EQ(features.node<IInteger>("ImageHeight").GetValue(), 5) << "registers are read afresh";
}

// Splitting work among threads changes nothing in the results.
TEST(Threads, ResultsAreTheSameOnOneAndSeveralThreads) {
    const uint32_t width = 517, height = 389;
    std::vector<uint8_t> raw = randomBytes(size_t{width} * height, 77);
    auto image = makeImage("BayerBG8", width, height, raw);
    std::vector<uint8_t> single, several;
    for (uint32_t method : {0u, 1u}) {
        auto processor = makeProcessor();
        ASSERT_EQ(write32(processor.get(), IMG_REG_DEMOSAICING_METHOD, method), IMG_SUCCESS);
        ASSERT_EQ(write32(processor.get(), IMG_REG_CONCURRENT_THREADS, 1), IMG_SUCCESS);
        single = convert(processor.get(), image.get(), "BGRa8");
        for (uint32_t threads : {2u, 5u}) {
            ASSERT_EQ(write32(processor.get(), IMG_REG_CONCURRENT_THREADS, threads), IMG_SUCCESS);
            several = convert(processor.get(), image.get(), "BGRa8");
            EXPECT_EQ(single, several) << "method " << method << ", " << threads << " threads";
        }
    }
}

}  // namespace
}  // namespace corvid2::img::test
