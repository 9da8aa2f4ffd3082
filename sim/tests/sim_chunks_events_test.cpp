// SPDX-License-Identifier: BSD-3-Clause
// Chunk data parsed back from the GigE Vision trailer, remote-device and module events, feature invalidation
// by the camera's own automatic, the looped-back serial interfaces and plug-and-play.
#include <thread>

#include "sim_acquisition.h"

namespace corvid2::sim::test {
namespace {

constexpr uint64_t kWaitMs = 5000;

uint32_t bigEndian32(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

// One fetched event: its ID text, numeric ID when it has one, and value bytes.
struct FetchedEvent {
    GC_ERROR result = GC_ERR_ERROR;
    std::string id;
    std::vector<uint8_t> value;
};

FetchedEvent fetch(EVENT_HANDLE event, uint64_t timeoutMs) {
    FetchedEvent fetched;
    std::vector<uint8_t> raw(infoValue<size_t>(
        [&](INFO_DATATYPE* t, void* b, size_t* s) { return gentl().EventGetInfo(event, EVENT_SIZE_MAX, t, b, s); },
        INFO_DATATYPE_SIZET));
    size_t size = raw.size();
    fetched.result = gentl().EventGetData(event, raw.data(), &size, timeoutMs);
    if (fetched.result != GC_ERR_SUCCESS) return fetched;
    fetched.id = infoText([&](INFO_DATATYPE* t, void* b, size_t* s) {
        return gentl().EventGetDataInfo(event, raw.data(), size, EVENT_DATA_ID, t, b, s);
    });
    INFO_DATATYPE type = 0;
    size_t valueSize = 0;
    if (gentl().EventGetDataInfo(event, raw.data(), size, EVENT_DATA_VALUE, &type, nullptr, &valueSize) ==
        GC_ERR_SUCCESS) {
        fetched.value.resize(valueSize);
        gentl().EventGetDataInfo(event, raw.data(), size, EVENT_DATA_VALUE, &type, fetched.value.data(), &valueSize);
        EXPECT_EQ(INFO_DATATYPE_BUFFER, type);
    }
    return fetched;
}

uint64_t u64At(const std::vector<uint8_t>& bytes, size_t offset) {
    uint64_t v = 0;
    std::memcpy(&v, bytes.data() + offset, 8);
    return v;
}

class SimChunksAndEvents : public SimTest {
protected:
    SimSession session;
};

TEST_F(SimChunksAndEvents, ChunkTrailerMatchesTheChunkListAndTheDescription) {
    Acquisition acq(session, "SimMono0");
    Features& cam = acq.camera();
    cam.setBool("ChunkModeActive", true);
    for (const char* chunk : {"FrameID", "Timestamp", "ExposureTime", "Width", "OffsetY"}) {
        cam.setEnum("ChunkSelector", chunk);
        cam.setBool("ChunkEnable", true);
    }
    const size_t payload = acq.payloadSize();
    EXPECT_EQ(640u * 480 + 8 + 5 * 16, payload);
    acq.announceUserBuffers(2);
    acq.start(1);
    BUFFER_HANDLE buffer = acq.next(kWaitMs);
    ASSERT_NE(nullptr, buffer);
    EXPECT_TRUE(acq.boolInfo(buffer, BUFFER_INFO_CONTAINS_CHUNKDATA));
    EXPECT_EQ(PAYLOAD_TYPE_CHUNK_DATA, static_cast<int>(acq.sizeInfo(buffer, BUFFER_INFO_PAYLOADTYPE)));
    const size_t filled = acq.sizeInfo(buffer, BUFFER_INFO_SIZE_FILLED);
    EXPECT_EQ(payload, filled);
    EXPECT_EQ(filled, acq.sizeInfo(buffer, BUFFER_INFO_DELIVERED_CHUNKPAYLOADSIZE));
    EXPECT_NE(0u, acq.info<uint64_t>(buffer, BUFFER_INFO_CHUNKLAYOUTID, INFO_DATATYPE_UINT64));

    size_t count = 0;
    ASSERT_EQ(GC_ERR_SUCCESS, gentl().DSGetBufferChunkData(acq.stream(), buffer, nullptr, &count));
    std::vector<SINGLE_CHUNK_DATA> chunks(count);
    ASSERT_EQ(GC_ERR_SUCCESS, gentl().DSGetBufferChunkData(acq.stream(), buffer, chunks.data(), &count));
    ASSERT_EQ(6u, count);

    // Walk the trailer backwards, as a consumer without producer help would.
    const uint8_t* data = acq.data(buffer);
    std::vector<SINGLE_CHUNK_DATA> walked;
    for (size_t end = filled; end > 0;) {
        ASSERT_GE(end, 8u);
        const uint32_t id = bigEndian32(data + end - 8), length = bigEndian32(data + end - 4);
        ASSERT_GE(end - 8, length);
        walked.insert(walked.begin(), SINGLE_CHUNK_DATA{id, static_cast<ptrdiff_t>(end - 8 - length), length});
        end -= 8 + length;
    }
    ASSERT_EQ(chunks.size(), walked.size());
    for (size_t i = 0; i < chunks.size(); ++i) {
        EXPECT_EQ(walked[i].ChunkID, chunks[i].ChunkID);
        EXPECT_EQ(walked[i].ChunkOffset, chunks[i].ChunkOffset);
        EXPECT_EQ(walked[i].ChunkLength, chunks[i].ChunkLength);
    }
    // Each chunk port of the description names the ID the data carries, and holds the value at address 0.
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(cam.description().c_str()));
    const auto chunkValue = [&](const char* portName) -> const uint8_t* {
        const uint64_t id = std::stoull(
            doc.child("RegisterDescription").find_child_by_attribute("Port", "Name", portName).child_value("ChunkID"),
            nullptr, 16);
        for (const auto& c : chunks)
            if (c.ChunkID == id) return data + c.ChunkOffset;
        return nullptr;
    };
    uint64_t frameId = 0, width = 0;
    double exposure = 0;
    ASSERT_NE(nullptr, chunkValue("ChunkPortFrameID"));
    std::memcpy(&frameId, chunkValue("ChunkPortFrameID"), 8);
    std::memcpy(&width, chunkValue("ChunkPortWidth"), 8);
    std::memcpy(&exposure, chunkValue("ChunkPortExposureTime"), 8);
    EXPECT_EQ(acq.info<uint64_t>(buffer, BUFFER_INFO_FRAMEID, INFO_DATATYPE_UINT64), frameId);
    EXPECT_EQ(640u, width);
    EXPECT_EQ(10000.0, exposure);
    EXPECT_EQ(nullptr, chunkValue("ChunkPortGain"));  // not enabled
}

TEST_F(SimChunksAndEvents, RemoteDeviceEventsCarryTheirIdAndData) {
    Acquisition acq(session, "SimMono0");
    EVENT_HANDLE event = nullptr;
    ASSERT_EQ(GC_ERR_SUCCESS, gentl().GCRegisterEvent(acq.device(), EVENT_REMOTE_DEVICE, &event));
    EVENT_HANDLE twice = nullptr;
    EXPECT_EQ(GC_ERR_RESOURCE_IN_USE, gentl().GCRegisterEvent(acq.device(), EVENT_REMOTE_DEVICE, &twice));
    acq.camera().setEnum("EventSelector", "ExposureEnd");
    acq.camera().setEnum("EventNotification", "On");
    acq.announceUserBuffers(1);
    acq.start(1);
    BUFFER_HANDLE buffer = acq.next(kWaitMs);
    ASSERT_NE(nullptr, buffer);
    const FetchedEvent fetched = fetch(event, kWaitMs);
    ASSERT_EQ(GC_ERR_SUCCESS, fetched.result);
    EXPECT_EQ("9002", fetched.id);
    ASSERT_EQ(16u, fetched.value.size());
    EXPECT_EQ(acq.info<uint64_t>(buffer, BUFFER_INFO_FRAMEID, INFO_DATATYPE_UINT64), u64At(fetched.value, 8));
    EXPECT_NE(nullptr, std::strstr(acq.camera().description().c_str(), "<EventID>9002</EventID>"));
    // FrameStart notification stayed off, so nothing else is queued.
    EXPECT_EQ(GC_ERR_TIMEOUT, fetch(event, 50).result);
    ASSERT_EQ(GC_ERR_SUCCESS, gentl().GCUnregisterEvent(acq.device(), EVENT_REMOTE_DEVICE));
    size_t size = 0;
    EXPECT_EQ(GC_ERR_INVALID_HANDLE, gentl().EventGetData(event, nullptr, &size, 0));
}

TEST_F(SimChunksAndEvents, CameraAutomaticReachesItsTargetAndInvalidatesExposure) {
    Acquisition acq(session, "SimMono0");
    EVENT_HANDLE invalidate = nullptr;
    ASSERT_EQ(GC_ERR_SUCCESS, gentl().GCRegisterEvent(acq.device(), EVENT_FEATURE_INVALIDATE, &invalidate));
    Features& cam = acq.camera();
    cam.setBool("AcquisitionFrameRateEnable", false);
    cam.setFloat("BrightnessAutoNominalValue", 50);
    cam.setEnum("ExposureAuto", "Once");
    acq.announceUserBuffers(2);
    acq.start();
    const uint8_t* image = nullptr;
    for (int i = 0; i < 60 && cam.getEnum("ExposureAuto") != "Off"; ++i) {
        BUFFER_HANDLE buffer = acq.next(kWaitMs);
        ASSERT_NE(nullptr, buffer);
        acq.queue(buffer);
    }
    EXPECT_EQ("Off", cam.getEnum("ExposureAuto"));
    EXPECT_GT(cam.getFloat("ExposureTime"), 10000.0);
    BUFFER_HANDLE buffer = acq.next(kWaitMs);
    ASSERT_NE(nullptr, buffer);
    image = acq.data(buffer);
    double sum = 0;
    for (size_t i = 640 * 8; i < 640 * 480; ++i) sum += image[i];
    EXPECT_NEAR(0.5, sum / (640 * 472) / 255, 0.05);
    acq.stop();
    std::vector<std::string> names;
    for (FetchedEvent e = fetch(invalidate, 0); e.result == GC_ERR_SUCCESS; e = fetch(invalidate, 0))
        names.push_back(e.id);
    EXPECT_NE(names.end(), std::find(names.begin(), names.end(), "ExposureTime"));
    EXPECT_NE(names.end(), std::find(names.begin(), names.end(), "ExposureAuto"));
}

TEST_F(SimChunksAndEvents, SerialInterfaceEchoesAndSignalsReadReady) {
    DEV_HANDLE device = session.openDevice("SimSerial0");
    Features cam(session.remotePort(device));
    EVENT_HANDLE event = nullptr;
    ASSERT_EQ(GC_ERR_SUCCESS, gentl().GCRegisterEvent(device, EVENT_REMOTE_DEVICE, &event));
    cam.setEnum("EventSelector", "qxSerialUARTPort1ReadReady");
    cam.setEnum("EventNotification", "On");
    cam.setEnum("qxSerialSelector", "Port1");
    cam.setBool("qxSerialControl", true);
    cam.setEnum("qxSerialConfigBaudRate", "Baudrate9600Hz");
    cam.setBytes("qxSerialBinaryWriteBuffer", {'h', 'e', 'l', 'l', 'o'});
    cam.setInt("qxSerialBytesToWrite", 5);
    cam.execute("qxSerialWrite");
    const FetchedEvent fetched = fetch(event, kWaitMs);
    ASSERT_EQ(GC_ERR_SUCCESS, fetched.result);
    EXPECT_EQ("9101", fetched.id);
    EXPECT_EQ(5u, u64At(fetched.value, 8));
    EXPECT_EQ(5, cam.getInt("qxSerialBytesAvailableForRead"));
    cam.setInt("qxSerialBytesToRead", 5);
    cam.execute("qxSerialRead");
    const std::vector<uint8_t> read = cam.getBytes("qxSerialBinaryReadBuffer");
    EXPECT_EQ("hello", std::string(read.begin(), read.begin() + 5));
    EXPECT_EQ(0, cam.getInt("qxSerialBytesAvailableForRead"));
    // The other port kept its own state.
    cam.setEnum("qxSerialSelector", "Port0");
    EXPECT_EQ("Baudrate115200Hz", cam.getEnum("qxSerialConfigBaudRate"));
    cam.setEnum("qxSerialSelector", "Port1");
    EXPECT_EQ("Baudrate9600Hz", cam.getEnum("qxSerialConfigBaudRate"));
}

TEST_F(SimChunksAndEvents, UnplugRaisesPlugAndPlayAndDeviceLost) {
    IF_HANDLE iface = session.interfaceOf("SimMono0");
    DEV_HANDLE device = session.openDevice("SimMono0");
    EVENT_HANDLE pnp = nullptr, lost = nullptr;
    ASSERT_EQ(GC_ERR_SUCCESS, gentl().GCRegisterEvent(iface, EVENT_CUSTOM_ID, &pnp));
    ASSERT_EQ(GC_ERR_SUCCESS, gentl().GCRegisterEvent(device, EVENT_MODULE, &lost));
    Features system(session.system());
    system.setString("SimUnplugDeviceID", "SimMono0");

    FetchedEvent removed = fetch(pnp, kWaitMs);
    ASSERT_EQ(GC_ERR_SUCCESS, removed.result);
    ASSERT_GT(removed.value.size(), 276u);
    uint32_t type = 0;
    std::memcpy(&type, removed.value.data() + 16, 4);
    EXPECT_NE(1u, type);
    EXPECT_STREQ("SimMono0", reinterpret_cast<const char*>(removed.value.data() + 20));
    EXPECT_EQ(0, std::strncmp("SN", reinterpret_cast<const char*>(removed.value.data() + 276), 2));
    EXPECT_EQ("8001", fetch(lost, kWaitMs).id);
    uint32_t value = 0;
    size_t size = 4;
    EXPECT_EQ(GC_ERR_IO, gentl().GCReadPort(session.remotePort(device), 0x1008, &value, &size));

    bool8_t changed = false;
    ASSERT_EQ(GC_ERR_SUCCESS, gentl().IFUpdateDeviceList(iface, &changed, 0));
    EXPECT_TRUE(changed);
    uint32_t count = 0;
    gentl().IFGetNumDevices(iface, &count);
    EXPECT_EQ(1u, count);

    system.setString("SimPlugDeviceID", "SimMono0");
    FetchedEvent added = fetch(pnp, kWaitMs);
    ASSERT_EQ(GC_ERR_SUCCESS, added.result);
    std::memcpy(&type, added.value.data() + 16, 4);
    EXPECT_EQ(1u, type);
    gentl().IFUpdateDeviceList(iface, &changed, 0);
    gentl().IFGetNumDevices(iface, &count);
    EXPECT_EQ(2u, count);
}

TEST(SimPlugAndPlayVendor, OnlyTheMakersOwnVendorOffersIt) {
    ScopedEnvironment env({{"CORVID2_SIM_VENDOR", "Somebody"}});
    SimSession session;
    EVENT_HANDLE pnp = nullptr;
    EXPECT_EQ(GC_ERR_NOT_IMPLEMENTED, gentl().GCRegisterEvent(session.openInterface(0), EVENT_CUSTOM_ID, &pnp));
    EXPECT_EQ("Somebody", infoText([&](INFO_DATATYPE* t, void* b, size_t* s) {
                  return gentl().TLGetInfo(session.system(), TL_INFO_VENDOR, t, b, s);
              }));
}

TEST_F(SimChunksAndEvents, UnregisteringEndsAWaitingFetch) {
    DEV_HANDLE device = session.openDevice("SimBayer0");
    EVENT_HANDLE event = nullptr;
    ASSERT_EQ(GC_ERR_SUCCESS, gentl().GCRegisterEvent(device, EVENT_REMOTE_DEVICE, &event));
    std::atomic<GC_ERROR> result{GC_ERR_SUCCESS};
    std::atomic<bool> started{false};
    std::thread waiter([&] {
        started = true;
        size_t size = 0;
        std::vector<uint8_t> raw(4096);
        size = raw.size();
        result = gentl().EventGetData(event, raw.data(), &size, GENTL_INFINITE);
    });
    while (!started) std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_EQ(GC_ERR_SUCCESS, gentl().GCUnregisterEvent(device, EVENT_REMOTE_DEVICE));
    waiter.join();
    // Either the wait was running and was aborted, or the handle was already gone.
    EXPECT_TRUE(result == GC_ERR_ABORT || result == GC_ERR_INVALID_HANDLE) << result;
}

}  // namespace
}  // namespace corvid2::sim::test
