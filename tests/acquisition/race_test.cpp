// SPDX-License-Identifier: BSD-3-Clause
// Acquisition calls racing the close of their device: each completes or fails with the library's
// exception while the other thread opens, acquires and closes again and again.
#include <atomic>
#include <memory>
#include <vector>

#include "acquisition_fixture.h"
#include "support/race.h"
#include "support/waiting.h"

using namespace corvid2::test;
using CORVID2::Buffer;
using CORVID2::DataStream;

namespace {

class AcquisitionRaceTest : public AcquisitionTest {
protected:
    // Opens the device and its stream with the fixture's Buffers queued and the camera running.
    DataStream* openAndStart() {
        device_->Open();
        DataStream* stream = (*device_->GetDataStreams())[std::size_t{0}];
        stream->Open();
        for (const auto& buffer : kept_) {
            stream->GetBufferList()->Add(buffer.get());
            buffer->QueueBuffer();
        }
        stream->StartAcquisitionContinuous();
        device_->GetRemoteNode("AcquisitionStart")->Execute();
        return stream;
    }

    std::vector<std::unique_ptr<Buffer>> kept_;
};

}  // namespace

TEST_F(AcquisitionRaceTest, StreamAndBufferCallsSurviveTheDeviceClosingUnderThem) {
    device_->Close();
    for (int index = 0; index < 4; ++index) kept_.push_back(std::make_unique<Buffer>());
    std::atomic<DataStream*> current{openAndStart()};
    std::atomic<long> images{0};
    const Outcome outcome = race(
        [&] {
            DataStream* stream = current.load();
            if (Buffer* buffer = stream->GetFilledBuffer(20)) {
                buffer->GetWidth();
                buffer->GetFrameID();
                buffer->QueueBuffer();
                ++images;
            }
            stream->GetBufferList()->GetQueuedCount();
            kept_[0]->GetIsQueued();
        },
        [&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            device_->Close();
            current = openAndStart();
        });
    EXPECT_GT(outcome.reopened, 0);
    EXPECT_GT(outcome.completed, 0);
    EXPECT_GT(images.load(), 0);
}

TEST_F(AcquisitionRaceTest, AHandlerRacingCloseAndReregistrationNeverOutlivesItsStream) {
    device_->Close();
    for (int index = 0; index < 4; ++index) kept_.push_back(std::make_unique<Buffer>());
    std::atomic<long> images{0};
    const auto handler = [](void* user, Buffer* buffer) {
        ++*static_cast<std::atomic<long>*>(user);
        if (buffer != nullptr) buffer->QueueBuffer();
    };
    std::atomic<DataStream*> current{openAndStart()};
    current.load()->RegisterNewBufferEventHandler(&images, handler);
    const Outcome outcome = race(
        [&] {
            DataStream* stream = current.load();
            if (stream->GetEventMode() == CORVID2::Events::EventMode::EventHandler)
                stream->RegisterNewBufferEvent(CORVID2::Events::EventMode::Polling);
            else
                stream->RegisterNewBufferEventHandler(&images, handler);
        },
        [&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            device_->Close();
            current = openAndStart();
        });
    EXPECT_GT(outcome.reopened, 0);
    EXPECT_GT(outcome.completed, 0);
    // After the storm a handler still receives images.
    device_->Close();
    DataStream* stream = openAndStart();
    const long before = images.load();
    stream->RegisterNewBufferEventHandler(&images, handler);
    EXPECT_TRUE(eventually([&] { return images.load() > before + 10; }));
    device_->Close();
}
