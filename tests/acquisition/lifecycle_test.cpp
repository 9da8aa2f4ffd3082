// SPDX-License-Identifier: BSD-3-Clause
// Streams and devices that go while other threads use them, write locks held by one thread against
// another, a pause in a counted acquisition, and calls with bad input.
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "acquisition_fixture.h"
#include "corvid2_genicam_c.h"
#include "modules/deviceobj.h"
#include "support/errors.h"
#include "support/waiting.h"

using namespace corvid2::test;
using CORVID2::Buffer;
using CORVID2::DataStream;
namespace X = CORVID2::Exceptions;

namespace {

// What `call` throws when another thread makes it.
std::string thrownElsewhere(const std::function<void()>& call) {
    std::string text;
    std::thread other([&] { text = exceptionText(call); });
    other.join();
    return text;
}

constexpr char kDenied[] = "AccessDeniedException";

bool deniedElsewhere(const std::function<void()>& call) { return thrownElsewhere(call).rfind(kDenied, 0) == 0; }

using LifecycleTest = AcquisitionTest;

}  // namespace

TEST_F(LifecycleTest, ClosingTheDeviceWakesAThreadWaitingOnItsStreamAndLeavesTheStreamInvalid) {
    addProducerBuffers(2);
    std::atomic<bool> ended{false};
    std::string outcome;
    std::thread waiter([&] {
        outcome = exceptionText([&] { stream_->GetFilledBuffer(GENTL_INFINITE); });
        ended = true;
    });
    bool waiting = false;
    ASSERT_TRUE(eventually([&] { return waiting = waiting || ended || !eventWaits().empty(); })) << outcome;
    device_->Close();
    waiter.join();
    EXPECT_TRUE(ended);
    EXPECT_EQ(outcome.rfind("AbortException", 0), 0u) << outcome;
    EXPECT_EQ(exceptionText([&] { stream_->IsOpen(); }),
              "ObjectInvalidException: Access to an invalid DataStreamData object.");
    // The Buffers outlive the stream and forget it.
    for (const auto& buffer : owned_) EXPECT_EQ(buffer->GetParent(), nullptr);
    EXPECT_EQ(thrownBy<X::NotInitializedException>([&] { device_->GetDataStreams(); }).description,
              "Device not opened.");
}

TEST_F(LifecycleTest, AWriteLockRefusesOtherThreadsUntilItIsReleased) {
    addProducerBuffers(2);
    ASSERT_EQ(activateWriteLockDevice(device_), 0u);
    EXPECT_TRUE(deniedElsewhere([&] { device_->Close(); }));
    EXPECT_TRUE(deniedElsewhere([&] { device_->GetRemoteNode("Width")->SetInt(320); }));
    EXPECT_EQ(thrownElsewhere([&] { device_->IsOpen(); }), "no exception");
    device_->GetRemoteNode("Width")->SetInt(320);  // the holder writes
    ASSERT_EQ(releaseWriteLockDevice(device_), 0u);
    EXPECT_EQ(thrownElsewhere([&] { device_->GetRemoteNode("Width")->SetInt(640); }), "no exception");

    ASSERT_EQ(activateWriteLockStream(stream_), 0u);
    EXPECT_TRUE(deniedElsewhere([&] { stream_->StartAcquisitionContinuous(); }));
    ASSERT_EQ(releaseWriteLockStream(stream_), 0u);

    ASSERT_EQ(activateWriteLockBufferList(buffers_), 0u);
    EXPECT_TRUE(deniedElsewhere([&] { buffers_->DiscardAllBuffers(); }));
    EXPECT_EQ(static_cast<std::int32_t>(activateWriteLockBufferList(buffers_)),
              corvid2::toCode(corvid2::Result::ObjectInvalid))
        << "a second lock is refused";
    ASSERT_EQ(releaseWriteLockBufferList(buffers_), 0u);

    ASSERT_EQ(activateWriteLockStreamEvents(stream_), 0u);
    EXPECT_TRUE(deniedElsewhere([&] { stream_->UnregisterNewBufferEvent(); }));
    EXPECT_EQ(thrownElsewhere([&] { stream_->GetFilledBuffer(0); }), "no exception") << "reading is not writing";
    ASSERT_EQ(releaseWriteLockStreamEvents(stream_), 0u);
    EXPECT_EQ(thrownElsewhere([&] { stream_->UnregisterNewBufferEvent(); }), "no exception");

    EXPECT_EQ(static_cast<std::int32_t>(activateWriteLockDevice(nullptr)),
              corvid2::toCode(corvid2::Result::InvalidParameter));
}

TEST_F(LifecycleTest, APausedCountedAcquisitionResumesForTheImagesItStillOwes) {
    const std::vector<Buffer*> added = addProducerBuffers(3);
    stream_->StartAcquisition(10);
    device_->GetRemoteNode("AcquisitionStart")->Execute();
    // Take images without handing them back until every buffer is with the test: nothing is in
    // flight when the pause comes.
    std::vector<Buffer*> held;
    std::uint64_t lastFrame = 0;
    while (Buffer* buffer = stream_->GetFilledBuffer(500)) {
        held.push_back(buffer);
        lastFrame = buffer->GetFrameID();
        if (held.size() == 3) break;
    }
    ASSERT_EQ(held.size(), 3u);
    corvid2::CDeviceObj* device = objectOf(device_);
    ASSERT_EQ(device->pause().Pause(), corvid2::Result::Success);
    EXPECT_FALSE(stream_->GetIsGrabbing());
    for (Buffer* buffer : held) buffer->QueueBuffer();
    ASSERT_EQ(device->pause().Resume(), corvid2::Result::Success);
    std::size_t frames = held.size();
    while (Buffer* buffer = stream_->GetFilledBuffer(500)) {
        EXPECT_GT(buffer->GetFrameID(), lastFrame);
        lastFrame = buffer->GetFrameID();
        ++frames;
        buffer->QueueBuffer();
    }
    EXPECT_EQ(frames, 10u);
}

TEST_F(LifecycleTest, BadInputIsRefusedWithTheLibrarysExceptions) {
    EXPECT_EQ(thrownBy<X::InvalidParameterException>([&] { buffers_->Add(nullptr); }).description,
              "Access to an invalid Buffer object.");
    EXPECT_EQ(thrownBy<X::ResourceInUseException>([&] { stream_->Open(); }).description,
              "DataStream " + std::string(stream_->GetID().get()) + " is already opened.");
    EXPECT_EQ(thrownBy<X::InvalidParameterException>([&] { (*device_->GetDataStreams())[std::size_t{5}]; }).description,
              "The index 5 is not in list.");
    Buffer* buffer = addProducerBuffers(1)[0];
    startContinuous();
    Buffer* filled = stream_->GetFilledBuffer(5000);
    stop();
    ASSERT_EQ(filled, buffer);
    EXPECT_TRUE(thrownBy<X::NotAvailableException>([&] {
                    filled->GetWidth(1);
                }).description.find("Given image index 1 is not available.") != std::string::npos);

    // A closed stream refuses what needs it open, each with its own words.
    stream_->Close();
    EXPECT_EQ(buffer->GetParent(), nullptr);
    EXPECT_EQ(thrownBy<X::NotInitializedException>([&] { stream_->GetBufferList(); }).description,
              "DataStream not opened.");
    EXPECT_EQ(thrownBy<X::NotInitializedException>([&] { stream_->GetFilledBuffer(0); }).description,
              "The corresponding CGenTLModule object is not open.");
    EXPECT_TRUE(thrownBy<X::NotInitializedException>([&] {
                    stream_->StartAcquisitionContinuous();
                }).description.find("Data stream not initialized") != std::string::npos);
    EXPECT_TRUE(thrownBy<X::NotAvailableException>([&] { buffer->QueueBuffer(); }).caught);
    // Opened again, the same Buffer is announced again.
    stream_->Open();
    buffers_ = stream_->GetBufferList();
    buffers_->Add(buffer);
    EXPECT_EQ(buffers_->GetAnnouncedCount(), 1u);
}
