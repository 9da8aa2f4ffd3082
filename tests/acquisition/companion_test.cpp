// SPDX-License-Identifier: BSD-3-Clause
// The hooks a companion component uses: the bypasses of a stream's information, wait and cancel,
// the functions on buffer objects, the images a start asked for, the device's feature helper.
#include <cstdint>
#include <string>

#include "acquisition_fixture.h"
#include "addons/device_feature.h"
#include "corvid2_genicam_c.h"
#include "modules/stream_data.h"
#include "support/errors.h"

using namespace corvid2::test;
using CORVID2::Buffer;
namespace X = CORVID2::Exceptions;

namespace {

constexpr std::int32_t kNotInitialized = corvid2::toCode(corvid2::Result::NotInitialized);
constexpr std::int32_t kTimeout = corvid2::toCode(corvid2::Result::Timeout);

// The object behind a public wrapper: the first field of its GetReserved record.
template <class Wrapper>
void* objectBehind(Wrapper* wrapper) {
    return *static_cast<void**>(wrapper->GetReserved());
}

// A companion that answers the delivered count itself and leaves the rest to the library.
std::int32_t CORVID2_CALL countingInfo(std::int32_t command, std::int32_t* type, void* buffer, size_t* size,
                                       void* context) {
    ++*static_cast<int*>(context);
    if (command != GenTL::STREAM_INFO_NUM_DELIVERED) return kNotInitialized;
    *type = GenTL::INFO_DATATYPE_UINT64;
    const std::uint64_t answer = 4242;
    if (buffer != nullptr) *static_cast<std::uint64_t*>(buffer) = answer;
    *size = sizeof answer;
    return 0;
}

// A companion wait that never finds a buffer, and a cancel that hands back to the library.
std::int32_t CORVID2_CALL emptyWait(void** buffer, std::uint64_t, void* context) {
    ++*static_cast<int*>(context);
    *buffer = nullptr;
    return kTimeout;
}

std::int32_t CORVID2_CALL passCancel(void* context) {
    ++*static_cast<int*>(context);
    return kNotInitialized;
}

using CompanionTest = AcquisitionTest;

}  // namespace

TEST_F(CompanionTest, TheInformationBypassAnswersWhatItKnowsAndHandsBackTheRest) {
    void* stream = objectBehind(stream_);
    int calls = 0;
    CORVID2_StreamInfoFunction own = nullptr;
    ASSERT_EQ(registerBypass_DataStreamGetInfo(stream, &countingInfo, &calls, &own), 0);
    EXPECT_EQ(buffers_->GetDeliveredCount(), 4242u);
    addProducerBuffers(2);
    EXPECT_EQ(buffers_->GetAnnouncedCount(), 2u) << "handed back to the library";
    EXPECT_GE(calls, 2);
    // The library's own query, for the companion's use.
    std::int32_t type = 0;
    std::uint64_t delivered = 1;
    size_t size = sizeof delivered;
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(own(GenTL::STREAM_INFO_NUM_DELIVERED, &type, &delivered, &size, stream), 0);
    EXPECT_EQ(delivered, 0u);
    ASSERT_EQ(registerBypass_DataStreamGetInfo(stream, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(buffers_->GetDeliveredCount(), 0u);
    EXPECT_EQ(registerBypass_DataStreamGetInfo(nullptr, &countingInfo, &calls, nullptr),
              corvid2::toCode(corvid2::Result::InvalidParameter));
}

TEST_F(CompanionTest, TheWaitAndCancelBypassesTakeOverUntilTheyAreRemoved) {
    void* stream = objectBehind(stream_);
    addProducerBuffers(2);
    startContinuous();
    int waits = 0, cancels = 0;
    CORVID2_FilledBufferFunction ownWait = nullptr;
    CORVID2_CancelFunction ownCancel = nullptr;
    ASSERT_EQ(registerBypass_DataStreamEventControlGetFilledBuffer(stream, &emptyWait, &waits, &ownWait), 0);
    ASSERT_EQ(registerBypass_DataStreamEventControlCancelGetFilledBuffer(stream, &passCancel, &cancels, &ownCancel), 0);
    EXPECT_EQ(stream_->GetFilledBuffer(5000), nullptr) << "the companion found nothing";
    EXPECT_EQ(waits, 1);
    stream_->CancelGetFilledBuffer();
    EXPECT_EQ(cancels, 1);
    // The companion's own use of the library's wait sees the library's cancel flag set above.
    void* delivered = nullptr;
    EXPECT_EQ(ownWait(&delivered, 5000, stream), corvid2::toCode(corvid2::Result::Abort));
    ASSERT_EQ(ownWait(&delivered, 5000, stream), 0);
    EXPECT_NE(delivered, nullptr);
    EXPECT_EQ(ownCancel(stream), 0);
    ASSERT_EQ(registerBypass_DataStreamEventControlGetFilledBuffer(stream, nullptr, nullptr, nullptr), 0);
    ASSERT_EQ(registerBypass_DataStreamEventControlCancelGetFilledBuffer(stream, nullptr, nullptr, nullptr), 0);
    EXPECT_TRUE(thrownBy<X::AbortException>([&] { stream_->GetFilledBuffer(5000); }).caught);
    EXPECT_NE(stream_->GetFilledBuffer(5000), nullptr);
    stop();
}

TEST_F(CompanionTest, BufferFunctionsWorkOnTheObjectBehindABuffer) {
    Buffer* buffer = addProducerBuffers(1)[0];
    startContinuous();
    ASSERT_EQ(stream_->GetFilledBuffer(5000), buffer);
    stop();
    void* object = objectBehind(buffer);
    CORVID2_BufferInfoFunction info = nullptr;
    CORVID2_BufferPixelFormatFunction format = nullptr;
    CORVID2_BufferQueueFunction queue = nullptr;
    CORVID2_BufferAverageFunction average = nullptr;
    ASSERT_EQ(getFuncPtr_BufferInfo(object, &info), 1);
    ASSERT_EQ(getFuncPtr_BufferGetPixelFormat(object, &format), 1);
    ASSERT_EQ(getFuncPtr_BufferQueueBuffer(object, &queue), 1);
    ASSERT_EQ(getFuncPtr_BufferSetAverageNumber(object, &average), 1);
    EXPECT_EQ(getFuncPtr_BufferInfo(nullptr, &info), 0);

    std::int32_t type = 0;
    std::uint64_t width = 0;
    size_t size = sizeof width;
    EXPECT_EQ(info(GenTL::BUFFER_INFO_WIDTH, &type, &width, &size, object), 0);
    EXPECT_EQ(width, 640u);
    char name[32] = {};
    size = sizeof name;
    EXPECT_EQ(format(object, name, &size), 0);
    EXPECT_STREQ(name, "Mono8");
    EXPECT_EQ(average(object, 4), 0);
    EXPECT_EQ(queue(object), 0);
    EXPECT_TRUE(buffer->GetIsQueued());
}

TEST_F(CompanionTest, TheImagesOfTheLastStartAndTheDevicesFeatureHelper) {
    addProducerBuffers(2);
    stream_->StartAcquisition(7);
    std::uint64_t count = 0;
    EXPECT_EQ(getNumToCapture(stream_, &count), 0);
    EXPECT_EQ(count, 7u);
    count = 0;
    EXPECT_EQ(getNumToCapture(objectBehind(stream_), &count), 0) << "the internal object serves as well";
    EXPECT_EQ(count, 7u);
    EXPECT_EQ(getNumToCapture(nullptr, &count), corvid2::toCode(corvid2::Result::InvalidParameter));
    stream_->StopAcquisition();

    void* feature = nullptr;
    ASSERT_EQ(getDeviceFeatureObject(device_, &feature), 0);
    auto* helper = static_cast<corvid2::IDeviceFeature*>(feature);
    std::int64_t width = 0;
    ASSERT_EQ(helper->GetValueInt(corvid2::DeviceFeatureEntry::Width, width), corvid2::Result::Success);
    EXPECT_EQ(width, 640);
    EXPECT_EQ(getDeviceFeatureObject(nullptr, &feature), corvid2::toCode(corvid2::Result::InvalidParameter));
}
