// SPDX-License-Identifier: BSD-3-Clause
// Streaming with GenTL buffer semantics: user and producer memory, counted acquisition, flushing, kill,
// underruns, triggers, composite buffers and the predictable image content of each pixel format.
#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

#include "sim_acquisition.h"

namespace corvid2::sim::test {
namespace {

constexpr uint64_t kWaitMs = 5000;
constexpr uint32_t kSensorWidth = 2448;

// Mono8 level of the horizontal ramp at a sensor column, at brightness 1.
int rampMono8(uint32_t sensorX) { return static_cast<int>((uint64_t{sensorX} * 65535 / (kSensorWidth - 1)) >> 8); }

class SimStreaming : public SimTest {
protected:
    SimSession session;
};

TEST_F(SimStreaming, UserMemoryFreeRunDeliversPredictableFrames) {
    Acquisition acq(session, "SimMono0");
    acq.camera().setBool("AcquisitionFrameRateEnable", false);
    acq.camera().setInt("OffsetX", 800);
    const auto buffers = acq.announceUserBuffers(4);
    acq.start();
    uint64_t lastFrame = 0, lastTimestamp = 0;
    for (int i = 0; i < 12; ++i) {
        BUFFER_HANDLE buffer = acq.next(kWaitMs);
        ASSERT_NE(nullptr, buffer);
        EXPECT_TRUE(acq.boolInfo(buffer, BUFFER_INFO_NEW_DATA));
        EXPECT_FALSE(acq.boolInfo(buffer, BUFFER_INFO_IS_INCOMPLETE));
        EXPECT_FALSE(acq.boolInfo(buffer, BUFFER_INFO_IS_QUEUED));
        EXPECT_EQ(640u * 480u, acq.sizeInfo(buffer, BUFFER_INFO_SIZE_FILLED));
        EXPECT_EQ(640u, acq.sizeInfo(buffer, BUFFER_INFO_WIDTH));
        EXPECT_EQ(800u, acq.sizeInfo(buffer, BUFFER_INFO_XOFFSET));
        EXPECT_EQ(0x01080001u, acq.info<uint64_t>(buffer, BUFFER_INFO_PIXELFORMAT, INFO_DATATYPE_UINT64));
        EXPECT_EQ(PAYLOAD_TYPE_IMAGE, static_cast<int>(acq.sizeInfo(buffer, BUFFER_INFO_PAYLOADTYPE)));
        const uint64_t frame = acq.info<uint64_t>(buffer, BUFFER_INFO_FRAMEID, INFO_DATATYPE_UINT64);
        const uint64_t timestamp = acq.info<uint64_t>(buffer, BUFFER_INFO_TIMESTAMP_NS, INFO_DATATYPE_UINT64);
        EXPECT_GT(frame, lastFrame);
        EXPECT_GE(timestamp, lastTimestamp);
        lastFrame = frame;
        lastTimestamp = timestamp;
        const uint8_t* image = acq.data(buffer);
        EXPECT_EQ(static_cast<uint16_t>(frame), drawnFrameCounter(image, 640));
        for (uint32_t x : {0u, 100u, 639u}) EXPECT_EQ(rampMono8(800 + x), image[640 * 100 + x]) << x;
        EXPECT_EQ(acq.info<void*>(buffer, BUFFER_INFO_USER_PTR, INFO_DATATYPE_PTR) != nullptr, true);
        acq.queue(buffer);
    }
    acq.stop();
    EXPECT_EQ(buffers.size(), acq.streamInfo<size_t>(STREAM_INFO_NUM_ANNOUNCED, INFO_DATATYPE_SIZET));
}

// Free run announces its frames in batches; whatever the batch size, each frame must reach the consumer once, in
// order, with its own image, and a stop must still announce every frame that was filled before it.
TEST_F(SimStreaming, BatchedFreeRunLosesNoFrameAndNoEvent) {
    Acquisition acq(session, "SimMono0");
    acq.camera().setBool("AcquisitionFrameRateEnable", false);
    acq.camera().setInt("Width", 128);  // the smallest image that still carries the frame ID
    acq.camera().setInt("Height", 8);
    // Fewer, as many, and more buffers than a batch holds.
    for (const size_t bufferCount : {size_t{1}, size_t{8}, size_t{16}, size_t{20}}) {
        SCOPED_TRACE(bufferCount);
        const std::vector<BUFFER_HANDLE> buffers = acq.announceUserBuffers(bufferCount);
        uint64_t events = 0, lastFrame = 0;
        const auto take = [&](BUFFER_HANDLE buffer) {
            EXPECT_TRUE(acq.boolInfo(buffer, BUFFER_INFO_NEW_DATA));
            EXPECT_FALSE(acq.boolInfo(buffer, BUFFER_INFO_IS_QUEUED));
            EXPECT_FALSE(acq.boolInfo(buffer, BUFFER_INFO_IS_INCOMPLETE));
            const uint64_t frame = acq.info<uint64_t>(buffer, BUFFER_INFO_FRAMEID, INFO_DATATYPE_UINT64);
            if (events > 0) {
                EXPECT_EQ(lastFrame + 1, frame);
            }
            EXPECT_EQ(static_cast<uint16_t>(frame), drawnFrameCounter(acq.data(buffer), 128)) << frame;
            lastFrame = frame;
            ++events;
        };
        acq.start();
        constexpr int kFrames = 500;
        for (int i = 0; i < kFrames; ++i) {
            BUFFER_HANDLE buffer = acq.next(kWaitMs);
            ASSERT_NE(nullptr, buffer) << "frame " << i;
            take(buffer);
            acq.queue(buffer);
        }
        acq.stop();
        // Frames filled before the stop arrive after it; they are kept, not requeued.
        GC_ERROR result = GC_ERR_SUCCESS;
        for (BUFFER_HANDLE buffer; (buffer = acq.next(0, &result)) != nullptr;) take(buffer);
        EXPECT_EQ(GC_ERR_TIMEOUT, result);
        const uint64_t late = events - kFrames;
        EXPECT_LE(late, bufferCount);
        // The counter counts since the start.
        EXPECT_EQ(events, acq.streamInfo<uint64_t>(STREAM_INFO_NUM_DELIVERED, INFO_DATATYPE_UINT64));
        EXPECT_EQ(0u, acq.streamInfo<size_t>(STREAM_INFO_NUM_AWAIT_DELIVERY, INFO_DATATYPE_SIZET));
        EXPECT_EQ(bufferCount - late, acq.streamInfo<size_t>(STREAM_INFO_NUM_QUEUED, INFO_DATATYPE_SIZET));
        ASSERT_EQ(GC_ERR_SUCCESS, gentl().DSFlushQueue(acq.stream(), ACQ_QUEUE_ALL_DISCARD));
        for (BUFFER_HANDLE buffer : buffers)
            ASSERT_EQ(GC_ERR_SUCCESS, gentl().DSRevokeBuffer(acq.stream(), buffer, nullptr, nullptr));
    }
}

TEST_F(SimStreaming, ProducerMemoryCountedAcquisitionEndsByItself) {
    Acquisition acq(session, "SimBayer0");
    acq.camera().setBool("AcquisitionFrameRateEnable", false);
    const auto buffers = acq.announceProducerBuffers(3);
    acq.start(5);
    for (int i = 0; i < 5; ++i) {
        BUFFER_HANDLE buffer = acq.next(kWaitMs);
        ASSERT_NE(nullptr, buffer);
        EXPECT_EQ(reinterpret_cast<void*>(std::find(buffers.begin(), buffers.end(), buffer) - buffers.begin() + 1),
                  acq.info<void*>(buffer, BUFFER_INFO_USER_PTR, INFO_DATATYPE_PTR));
        acq.queue(buffer);
    }
    GC_ERROR result = GC_ERR_SUCCESS;
    EXPECT_EQ(nullptr, acq.next(200, &result));
    EXPECT_EQ(GC_ERR_TIMEOUT, result);
    EXPECT_EQ(5u, acq.streamInfo<uint64_t>(STREAM_INFO_NUM_DELIVERED, INFO_DATATYPE_UINT64));
    for (int i = 0; i < 100 && acq.streamInfo<bool8_t>(STREAM_INFO_IS_GRABBING, INFO_DATATYPE_BOOL8); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(acq.streamInfo<bool8_t>(STREAM_INFO_IS_GRABBING, INFO_DATATYPE_BOOL8));
    // Revoking producer memory gives back the private pointer but no memory to free.
    gentl().DSFlushQueue(acq.stream(), ACQ_QUEUE_ALL_DISCARD);
    void* memory = reinterpret_cast<void*>(1);
    void* priv = nullptr;
    ASSERT_EQ(GC_ERR_SUCCESS, gentl().DSRevokeBuffer(acq.stream(), buffers[1], &memory, &priv));
    EXPECT_EQ(nullptr, memory);
    EXPECT_EQ(reinterpret_cast<void*>(2), priv);
    EXPECT_EQ(2u, acq.streamInfo<size_t>(STREAM_INFO_NUM_ANNOUNCED, INFO_DATATYPE_SIZET));
}

TEST_F(SimStreaming, EveryFlushModeMovesTheRightBuffers) {
    Acquisition acq(session, "SimMono0");
    const auto buffers = acq.announceUserBuffers(3);
    const auto queued = [&] { return acq.streamInfo<size_t>(STREAM_INFO_NUM_QUEUED, INFO_DATATYPE_SIZET); };
    const auto awaiting = [&] { return acq.streamInfo<size_t>(STREAM_INFO_NUM_AWAIT_DELIVERY, INFO_DATATYPE_SIZET); };
    const auto eventsWaiting = [&] {
        return infoValue<size_t>(
            [&](INFO_DATATYPE* t, void* b, size_t* s) {
                return gentl().EventGetInfo(acq.newBufferEvent(), EVENT_NUM_IN_QUEUE, t, b, s);
            },
            INFO_DATATYPE_SIZET);
    };
    EXPECT_EQ(3u, queued());
    ASSERT_EQ(GC_ERR_SUCCESS, gentl().DSFlushQueue(acq.stream(), ACQ_QUEUE_ALL_DISCARD));
    EXPECT_EQ(0u, queued());
    EXPECT_FALSE(acq.boolInfo(buffers[0], BUFFER_INFO_IS_QUEUED));
    ASSERT_EQ(GC_ERR_SUCCESS, gentl().DSFlushQueue(acq.stream(), ACQ_QUEUE_UNQUEUED_TO_INPUT));
    EXPECT_EQ(3u, queued());
    ASSERT_EQ(GC_ERR_SUCCESS, gentl().DSFlushQueue(acq.stream(), ACQ_QUEUE_INPUT_TO_OUTPUT));
    EXPECT_EQ(0u, queued());
    EXPECT_EQ(3u, awaiting());
    EXPECT_EQ(3u, eventsWaiting());
    BUFFER_HANDLE flushed = acq.next(0);
    ASSERT_NE(nullptr, flushed);
    EXPECT_FALSE(acq.boolInfo(flushed, BUFFER_INFO_NEW_DATA));
    EXPECT_EQ(2u, awaiting());
    ASSERT_EQ(GC_ERR_SUCCESS, gentl().DSFlushQueue(acq.stream(), ACQ_QUEUE_ALL_TO_INPUT));
    EXPECT_EQ(3u, queued());
    EXPECT_EQ(0u, awaiting());
    EXPECT_EQ(0u, eventsWaiting());
    ASSERT_EQ(GC_ERR_SUCCESS, gentl().DSFlushQueue(acq.stream(), ACQ_QUEUE_INPUT_TO_OUTPUT));
    ASSERT_EQ(GC_ERR_SUCCESS, gentl().DSFlushQueue(acq.stream(), ACQ_QUEUE_OUTPUT_DISCARD));
    EXPECT_EQ(0u, awaiting());
    EXPECT_EQ(0u, eventsWaiting());
    EXPECT_EQ(GC_ERR_INVALID_PARAMETER, gentl().DSFlushQueue(acq.stream(), 77));
    // A queued buffer cannot be revoked; an unqueued one can.
    ASSERT_EQ(GC_ERR_SUCCESS, gentl().DSFlushQueue(acq.stream(), ACQ_QUEUE_UNQUEUED_TO_INPUT));
    EXPECT_EQ(GC_ERR_BUSY, gentl().DSRevokeBuffer(acq.stream(), buffers[0], nullptr, nullptr));
    ASSERT_EQ(GC_ERR_SUCCESS, gentl().DSFlushQueue(acq.stream(), ACQ_QUEUE_ALL_DISCARD));
    void* memory = nullptr;
    ASSERT_EQ(GC_ERR_SUCCESS, gentl().DSRevokeBuffer(acq.stream(), buffers[0], &memory, nullptr));
    EXPECT_NE(nullptr, memory);
}

TEST_F(SimStreaming, KillEndsAWaitAndExactlyOneFetch) {
    Acquisition acq(session, "SimMono0");
    std::atomic<GC_ERROR> waited{GC_ERR_SUCCESS};
    std::atomic<bool> waiting{false};
    std::thread waiter([&] {
        waiting = true;
        GC_ERROR result = GC_ERR_SUCCESS;
        acq.next(GENTL_INFINITE, &result);
        waited = result;
    });
    while (!waiting) std::this_thread::yield();
    ASSERT_EQ(GC_ERR_SUCCESS, gentl().EventKill(acq.newBufferEvent()));
    waiter.join();
    EXPECT_EQ(GC_ERR_ABORT, waited.load());
    // With an event queued, the kill still wins once, then the event is delivered.
    acq.announceUserBuffers(1);
    gentl().DSFlushQueue(acq.stream(), ACQ_QUEUE_INPUT_TO_OUTPUT);
    ASSERT_EQ(GC_ERR_SUCCESS, gentl().EventKill(acq.newBufferEvent()));
    GC_ERROR result = GC_ERR_SUCCESS;
    EXPECT_EQ(nullptr, acq.next(0, &result));
    EXPECT_EQ(GC_ERR_ABORT, result);
    EXPECT_NE(nullptr, acq.next(0));
}

TEST_F(SimStreaming, UnderrunsAreCountedWhenNoBufferIsFree) {
    Acquisition acq(session, "SimMono0");
    acq.camera().setInt("AcquisitionFrameRateReg", 500000);  // the converter's register is in millihertz
    acq.announceUserBuffers(1);
    acq.start();
    ASSERT_NE(nullptr, acq.next(kWaitMs));  // the only buffer is now held by the test
    for (int i = 0; i < 500 && acq.streamInfo<uint64_t>(STREAM_INFO_NUM_UNDERRUN, INFO_DATATYPE_UINT64) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_GT(acq.streamInfo<uint64_t>(STREAM_INFO_NUM_UNDERRUN, INFO_DATATYPE_UINT64), 0u);
    Features stream(acq.stream());
    EXPECT_GT(stream.getInt("StreamLostFrameCount"), 0);
    acq.stop();
}

TEST_F(SimStreaming, SoftwareTriggerProducesOneFrameEach) {
    Acquisition acq(session, "SimMono0");
    acq.camera().setEnum("TriggerSelector", "FrameStart");
    acq.camera().setEnum("TriggerMode", "On");
    acq.camera().setEnum("TriggerSource", "Software");
    acq.announceUserBuffers(2);
    acq.start();
    GC_ERROR result = GC_ERR_SUCCESS;
    EXPECT_EQ(nullptr, acq.next(100, &result));
    EXPECT_EQ(GC_ERR_TIMEOUT, result);
    acq.camera().execute("TriggerSoftware");
    BUFFER_HANDLE buffer = acq.next(kWaitMs);
    ASSERT_NE(nullptr, buffer);
    for (int i = 0; i < 100 && !acq.camera().isDone("TriggerSoftware"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_TRUE(acq.camera().isDone("TriggerSoftware"));
    EXPECT_EQ(nullptr, acq.next(100, &result));
    acq.stop();
}

TEST_F(SimStreaming, CompositeBufferHoldsTheImageAcrossItsSegments) {
    Acquisition acq(session, "SimMono0");
    acq.camera().setBool("AcquisitionFrameRateEnable", false);
    const size_t payload = acq.payloadSize();
    std::vector<std::vector<uint8_t>> segments = {std::vector<uint8_t>(payload / 3), std::vector<uint8_t>(payload / 3),
                                                  std::vector<uint8_t>(payload - 2 * (payload / 3))};
    void* pointers[3] = {segments[0].data(), segments[1].data(), segments[2].data()};
    size_t sizes[3] = {segments[0].size(), segments[1].size(), segments[2].size()};
    BUFFER_HANDLE buffer = nullptr;
    ASSERT_EQ(GC_ERR_SUCCESS, gentl().DSAnnounceCompositeBuffer(acq.stream(), 3, pointers, sizes, nullptr, &buffer));
    acq.queue(buffer);
    acq.start(1);
    ASSERT_EQ(buffer, acq.next(kWaitMs));
    EXPECT_TRUE(acq.boolInfo(buffer, BUFFER_INFO_IS_COMPOSITE));
    EXPECT_EQ(payload, acq.sizeInfo(buffer, BUFFER_INFO_SIZE));
    size_t size = 0;
    INFO_DATATYPE type = 0;
    EXPECT_EQ(GC_ERR_NO_DATA, gentl().DSGetBufferInfo(acq.stream(), buffer, BUFFER_INFO_BASE, &type, nullptr, &size));
    uint32_t count = 0;
    ASSERT_EQ(GC_ERR_SUCCESS, gentl().DSGetNumBufferSegments(acq.stream(), buffer, &count));
    EXPECT_EQ(3u, count);
    EXPECT_EQ(pointers[2], (infoValue<void*>(
                               [&](INFO_DATATYPE* t, void* b, size_t* s) {
                                   return gentl().DSGetBufferSegmentInfo(acq.stream(), buffer, 2, SEGMENT_INFO_BASE, t,
                                                                         b, s);
                               },
                               INFO_DATATYPE_PTR)));
    std::vector<uint8_t> whole;
    for (const auto& s : segments) whole.insert(whole.end(), s.begin(), s.end());
    for (uint32_t y : {8u, 200u, 479u})
        for (uint32_t x : {0u, 320u, 639u}) EXPECT_EQ(rampMono8(x), whole[y * 640 + x]);
}

TEST_F(SimStreaming, TooSmallBufferIsDeliveredIncomplete) {
    Acquisition acq(session, "SimMono0");
    acq.announceUserBuffers(1, 1000);
    acq.start(1);
    BUFFER_HANDLE buffer = acq.next(kWaitMs);
    ASSERT_NE(nullptr, buffer);
    EXPECT_TRUE(acq.boolInfo(buffer, BUFFER_INFO_IS_INCOMPLETE));
    EXPECT_TRUE(acq.boolInfo(buffer, BUFFER_INFO_DATA_LARGER_THAN_BUFFER));
    EXPECT_EQ(1000u, acq.sizeInfo(buffer, BUFFER_INFO_SIZE_FILLED));
    EXPECT_EQ(640u * 480u, acq.sizeInfo(buffer, BUFFER_INFO_DATA_SIZE));
    EXPECT_EQ(1u, acq.sizeInfo(buffer, BUFFER_INFO_DELIVERED_IMAGEHEIGHT));
}

// The data type of every command as the GenTL tables give it; the commands that can be unavailable say so with
// their own codes instead.
TEST_F(SimStreaming, EveryBufferAndStreamInfoCommandHasItsType) {
    Acquisition acq(session, "SimMono0");
    const auto buffers = acq.announceUserBuffers(1);
    acq.start(1);
    BUFFER_HANDLE buffer = acq.next(kWaitMs);
    ASSERT_NE(nullptr, buffer);
    const INFO_DATATYPE P = INFO_DATATYPE_PTR, Z = INFO_DATATYPE_SIZET, B = INFO_DATATYPE_BOOL8,
                        U = INFO_DATATYPE_UINT64, S = INFO_DATATYPE_STRING;
    const std::vector<INFO_DATATYPE> bufferTypes = {
        P, Z, P, U, B, B, B, B, S, Z, Z, Z, Z, Z, Z, Z, U, B, Z, Z, U, U, Z, Z, U, S, INFO_DATATYPE_INT32,
        Z, U, B, B, B};
    for (int32_t cmd = 0; cmd < static_cast<int32_t>(bufferTypes.size()); ++cmd) {
        INFO_DATATYPE type = INFO_DATATYPE_UNKNOWN;
        size_t size = 0;
        const GC_ERROR result = gentl().DSGetBufferInfo(acq.stream(), buffer, cmd, &type, nullptr, &size);
        if (cmd == BUFFER_INFO_FILENAME) {
            EXPECT_EQ(GC_ERR_NOT_AVAILABLE, result);
            continue;
        }
        ASSERT_EQ(GC_ERR_SUCCESS, result) << cmd;
        EXPECT_EQ(bufferTypes[cmd], type) << cmd;
    }
    const std::vector<INFO_DATATYPE> streamTypes = {S, U, U, Z, Z, Z, U, Z, B, B, S, Z, Z, Z};
    for (int32_t cmd = 0; cmd < static_cast<int32_t>(streamTypes.size()); ++cmd) {
        INFO_DATATYPE type = INFO_DATATYPE_UNKNOWN;
        size_t size = 0;
        ASSERT_EQ(GC_ERR_SUCCESS, gentl().DSGetInfo(acq.stream(), cmd, &type, nullptr, &size)) << cmd;
        EXPECT_EQ(streamTypes[cmd], type) << cmd;
    }
    INFO_DATATYPE type = 0;
    size_t size = 0;
    EXPECT_EQ(GC_ERR_NO_DATA, gentl().DSGetInfo(acq.stream(), STREAM_INFO_FLOW_TABLE, &type, nullptr, &size));
    EXPECT_EQ(1u, acq.streamInfo<uint64_t>(STREAM_INFO_NUM_STARTED, INFO_DATATYPE_UINT64));
    // The stacked form answers each entry on its own.
    uint64_t frame = 0;
    char text[4];
    DS_BUFFER_INFO_STACKED stacked[3] = {{BUFFER_INFO_FRAMEID, 0, &frame, sizeof frame, 1},
                                         {BUFFER_INFO_TLTYPE, 0, text, 1, 1},
                                         {4711, 0, nullptr, 0, 1}};
    ASSERT_EQ(GC_ERR_SUCCESS, gentl().DSGetBufferInfoStacked(acq.stream(), buffer, stacked, 3));
    EXPECT_EQ(GC_ERR_SUCCESS, stacked[0].iResult);
    EXPECT_EQ(acq.info<uint64_t>(buffer, BUFFER_INFO_FRAMEID, INFO_DATATYPE_UINT64), frame);
    EXPECT_EQ(GC_ERR_BUFFER_TOO_SMALL, stacked[1].iResult);
    EXPECT_EQ(GC_ERR_NOT_IMPLEMENTED, stacked[2].iResult);
    uint32_t parts = 7;
    ASSERT_EQ(GC_ERR_SUCCESS, gentl().DSGetNumBufferParts(acq.stream(), buffer, &parts));
    EXPECT_EQ(0u, parts);
}

class SimCamera : public SimTest {
protected:
    SimSession session;
};

TEST_F(SimCamera, GeometryAndFormatDrivePayloadSizeUntilLocked) {
    Acquisition acq(session, "SimBayer0");
    Features& cam = acq.camera();
    EXPECT_EQ("BayerRG8", cam.getEnum("PixelFormat"));
    const struct {
        const char* format;
        size_t bytes;
    } formats[] = {{"BayerRG8", 640 * 480}, {"BayerRG12", 640 * 480 * 2}, {"BayerRG12p", 640 * 480 * 3 / 2},
                   {"RGB8", 640 * 480 * 3}, {"BGR8", 640 * 480 * 3},      {"Mono8", 640 * 480}};
    for (const auto& f : formats) {
        cam.setEnum("PixelFormat", f.format);
        EXPECT_EQ(f.bytes, static_cast<size_t>(cam.getInt("PayloadSize"))) << f.format;
        EXPECT_EQ(f.bytes, acq.payloadSize()) << f.format;
    }
    EXPECT_EQ(GC_ERR_INVALID_VALUE, cam.trySetEnum("PixelFormat", "Mono16"));  // not on a colour sensor
    cam.setInt("Width", 1024);
    cam.setInt("Height", 100);
    EXPECT_EQ(1024 * 100, cam.getInt("PayloadSize"));
    EXPECT_EQ(GC_ERR_INVALID_VALUE, cam.trySetInt("Width", 1025));
    cam.setInt("BinningHorizontal", 4);
    EXPECT_EQ(608, cam.getInt("Width"));  // pulled back inside the binned sensor
    cam.setInt("TLParamsLocked", 1);
    EXPECT_EQ(GC_ERR_ACCESS_DENIED, cam.trySetInt("Width", 64));
    EXPECT_EQ(GC_ERR_ACCESS_DENIED, cam.trySetEnum("PixelFormat", "BayerRG8"));
    EXPECT_EQ(GC_ERR_SUCCESS, cam.trySetInt("ExposureAutoReg", 0));  // not a transport-layer parameter
}

// Grabs one frame of the current configuration and hands its bytes (and its frame ID) to the check.
std::vector<uint8_t> grabOne(Acquisition& acq, uint64_t* frameId = nullptr) {
    acq.announceUserBuffers(1);
    acq.start(1);
    BUFFER_HANDLE buffer = acq.next(kWaitMs);
    if (buffer == nullptr) return {};
    if (frameId != nullptr) *frameId = acq.info<uint64_t>(buffer, BUFFER_INFO_FRAMEID, INFO_DATATYPE_UINT64);
    const uint8_t* data = acq.data(buffer);
    std::vector<uint8_t> bytes(data, data + acq.sizeInfo(buffer, BUFFER_INFO_SIZE_FILLED));
    gentl().DSStopAcquisition(acq.stream(), ACQ_STOP_FLAGS_DEFAULT);
    acq.camera().execute("AcquisitionStop");
    acq.camera().setInt("TLParamsLocked", 0);
    gentl().DSFlushQueue(acq.stream(), ACQ_QUEUE_ALL_DISCARD);
    gentl().DSRevokeBuffer(acq.stream(), buffer, nullptr, nullptr);
    return bytes;
}

TEST_F(SimCamera, PackedAndColourFormatsFollowTheirLayouts) {
    Acquisition mono(session, "SimMono0");
    mono.camera().setEnum("PixelFormat", "Mono12p");
    const std::vector<uint8_t> packed = grabOne(mono);
    mono.camera().setEnum("PixelFormat", "Mono12");
    const std::vector<uint8_t> words = grabOne(mono);
    ASSERT_EQ(640u * 480 * 3 / 2, packed.size());
    ASSERT_EQ(640u * 480 * 2, words.size());
    for (size_t pixel : {size_t{640 * 20}, size_t{640 * 20 + 300}, size_t{640 * 479 + 638}}) {
        const uint16_t a = static_cast<uint16_t>(words[2 * pixel] | (words[2 * pixel + 1] << 8));
        const uint16_t b = static_cast<uint16_t>(words[2 * pixel + 2] | (words[2 * pixel + 3] << 8));
        const uint8_t* p = &packed[pixel / 2 * 3];
        EXPECT_EQ(a, p[0] | ((p[1] & 0x0F) << 8)) << pixel;
        EXPECT_EQ(b, (p[1] >> 4) | (p[2] << 4)) << pixel;
    }
    Acquisition colour(session, "SimBayer0");
    colour.camera().setEnum("PixelFormat", "RGB8");
    const std::vector<uint8_t> rgb = grabOne(colour);
    colour.camera().setEnum("PixelFormat", "BGR8");
    const std::vector<uint8_t> bgr = grabOne(colour);
    ASSERT_EQ(rgb.size(), bgr.size());
    const size_t at = (640 * 300 + 400) * 3;
    EXPECT_EQ(rgb[at], bgr[at + 2]);
    EXPECT_EQ(rgb[at + 2], bgr[at]);
    EXPECT_NE(rgb[at], rgb[at + 2]);
}

TEST_F(SimCamera, TestPatternsArePredictable) {
    Acquisition acq(session, "SimMono0");
    acq.camera().setEnum("TestPattern", "Checkerboard");
    const std::vector<uint8_t> board = grabOne(acq);
    ASSERT_EQ(640u * 480, board.size());
    for (uint32_t y : {10u, 70u, 300u})
        for (uint32_t x : {5u, 64u, 130u, 639u})
            EXPECT_EQ(((x / 64 + y / 64) & 1) ? 255 : 0, board[y * 640 + x]) << x << "," << y;

    acq.camera().setEnum("TestPattern", "VerticalLineMoving");
    acq.camera().setBool("AcquisitionFrameRateEnable", false);
    acq.announceUserBuffers(2);
    acq.start(6);
    for (int i = 0; i < 6; ++i) {
        BUFFER_HANDLE buffer = acq.next(kWaitMs);
        ASSERT_NE(nullptr, buffer);
        const uint64_t frame = acq.info<uint64_t>(buffer, BUFFER_INFO_FRAMEID, INFO_DATATYPE_UINT64);
        const uint8_t* image = acq.data(buffer);
        const uint32_t bar = static_cast<uint32_t>((frame * 16) % kSensorWidth);
        if (bar + 32 <= 640) {
            EXPECT_EQ(255, image[100 * 640 + bar]) << frame;
            EXPECT_EQ(255, image[100 * 640 + bar + 31]) << frame;
        }
        EXPECT_EQ(8192 >> 8, image[100 * 640 + (bar + 300) % 640]) << frame;  // always beside the bar
        acq.queue(buffer);
    }
}

// The frame-ID blocks need 128 x 8 pixels; a smaller image must show nothing but its pattern, and a large enough
// one must show the ID exactly where the blocks go and the pattern everywhere else.
TEST_F(SimCamera, FrameIdBlocksAppearOnlyWhereTheyFit) {
    Acquisition acq(session, "SimMono0");
    Features& cam = acq.camera();
    // Checkerboard squares change colour between rows 3 and 4 here, so a block drawing that copies its first rows
    // down over a small image shows; the horizontal offset puts a colour change inside the block columns too.
    cam.setEnum("TestPattern", "Checkerboard");
    constexpr uint32_t kOffsetX = 32, kOffsetY = 60;
    const struct {
        uint32_t width, height;
        bool blocks;
    } regions[] = {{64, 16, false}, {120, 8, false}, {128, 6, false}, {128, 8, true}, {256, 12, true}};
    for (const auto& r : regions) {
        SCOPED_TRACE(std::to_string(r.width) + " x " + std::to_string(r.height));
        cam.setInt("OffsetX", 0);
        cam.setInt("OffsetY", 0);
        cam.setInt("Width", r.width);
        cam.setInt("Height", r.height);
        cam.setInt("OffsetX", kOffsetX);
        cam.setInt("OffsetY", kOffsetY);
        uint64_t frame = 0;
        const std::vector<uint8_t> image = grabOne(acq, &frame);
        ASSERT_EQ(size_t{r.width} * r.height, image.size());
        size_t wrong = 0;
        for (uint32_t y = 0; y < r.height; ++y)
            for (uint32_t x = 0; x < r.width; ++x) {
                const bool block = r.blocks && y < 8 && x < 128;
                const int square = ((kOffsetX + x) / 64 + (kOffsetY + y) / 64) & 1;
                const int expected = block ? (((frame >> (15 - x / 8)) & 1) ? 255 : 0) : (square ? 255 : 0);
                if (image[size_t{y} * r.width + x] != expected && ++wrong <= 4)
                    ADD_FAILURE() << "pixel " << x << "," << y << " of frame " << frame << ": "
                                  << int{image[size_t{y} * r.width + x]} << " instead of " << expected;
            }
        EXPECT_EQ(0u, wrong);
    }
}

TEST_F(SimCamera, ExposureAndGainChangeBrightness) {
    Acquisition acq(session, "SimMono0");
    const std::vector<uint8_t> base = grabOne(acq);
    acq.camera().setFloat("ExposureTime", 5000);
    const std::vector<uint8_t> darker = grabOne(acq);
    acq.camera().setFloat("ExposureTime", 10000);
    acq.camera().setFloat("Gain", 20 * std::log10(2.0));
    const std::vector<uint8_t> brighter = grabOne(acq);
    ASSERT_EQ(base.size(), darker.size());
    ASSERT_EQ(base.size(), brighter.size());
    const size_t at = 640 * 200 + 500;
    EXPECT_NEAR(base[at] / 2.0, darker[at], 1.0);
    EXPECT_NEAR(base[at] * 2.0, brighter[at], 2.0);
}

TEST_F(SimCamera, PolarizationCameraShowsItsMosaicAndCalibration) {
    Acquisition acq(session, "SimPolarized0");
    Features& cam = acq.camera();
    EXPECT_EQ("PolarizedRaw", cam.getEnum("ComponentSelector"));
    cam.setEnum("CalibrationMatrixColorSelector", "Green");
    cam.setEnum("CalibrationMatrixValueSelector", "Gain12");
    EXPECT_EQ(-1.0, cam.getFloat("CalibrationMatrixValue"));
    cam.setEnum("CalibrationMatrixValueSelector", "Gain10");
    EXPECT_EQ(1.0, cam.getFloat("CalibrationMatrixValue"));
    cam.setFloat("CalibrationAngleOfPolarizationOffset", 12.5);
    EXPECT_EQ(12.5, cam.getFloat("CalibrationAngleOfPolarizationOffset"));
    const std::vector<uint8_t> image = grabOne(acq);
    ASSERT_EQ(640u * 480, image.size());
    // In one 2x2 cell, the 0 and 90 degree pixels add up to the same as the 45 and 135 degree ones (both sum to
    // the intensity), while the single angles differ.
    const size_t y = 240, x = 200;
    const int p90 = image[y * 640 + x], p45 = image[y * 640 + x + 1];
    const int p135 = image[(y + 1) * 640 + x], p0 = image[(y + 1) * 640 + x + 1];
    EXPECT_NEAR(p0 + p90, p45 + p135, 2);
    EXPECT_NE(p0, p90);
}

}  // namespace
}  // namespace corvid2::sim::test
