// SPDX-License-Identifier: BSD-3-Clause
// Bad input to every kind of function answers with a GenTL error and never crashes: null pointers, stale and
// foreign handles, wrong sizes, unknown commands, and a bounded fuzz run with a fixed seed.
#include <random>

#include "sim_acquisition.h"

namespace corvid2::sim::test {
namespace {

bool isGenTLCode(GC_ERROR code) { return code == GC_ERR_SUCCESS || (code <= -1001 && code >= -1023) || code <= -10000; }

class SimRobustness : public SimTest {
protected:
    SimSession session;
};

TEST_F(SimRobustness, NullOutputsAnswerInvalidParameter) {
    DEV_HANDLE device = session.openDevice("SimMono0");
    DS_HANDLE stream = session.openStream(device);
    IF_HANDLE iface = session.interfaceOf("SimMono0");
    TL_HANDLE sys = session.system();
    size_t size = 16;
    INFO_DATATYPE type = 0;
    const std::vector<std::pair<const char*, GC_ERROR>> calls = {
        {"TLOpen", gt.TLOpen(nullptr)},
        {"TLGetNumInterfaces", gt.TLGetNumInterfaces(sys, nullptr)},
        {"TLGetInterfaceID", gt.TLGetInterfaceID(sys, 0, nullptr, nullptr)},
        {"TLGetInterfaceInfo", gt.TLGetInterfaceInfo(sys, nullptr, INTERFACE_INFO_ID, &type, nullptr, &size)},
        {"TLOpenInterface", gt.TLOpenInterface(sys, "SimGEV0", nullptr)},
        {"TLGetInfo", gt.TLGetInfo(sys, TL_INFO_ID, nullptr, nullptr, &size)},
        {"IFGetNumDevices", gt.IFGetNumDevices(iface, nullptr)},
        {"IFGetDeviceInfo", gt.IFGetDeviceInfo(iface, nullptr, DEVICE_INFO_ID, &type, nullptr, &size)},
        {"IFOpenDevice", gt.IFOpenDevice(iface, nullptr, DEVICE_ACCESS_CONTROL, nullptr)},
        {"IFGetParentTL", gt.IFGetParentTL(iface, nullptr)},
        {"DevGetPort", gt.DevGetPort(device, nullptr)},
        {"DevGetNumDataStreams", gt.DevGetNumDataStreams(device, nullptr)},
        {"DevOpenDataStream", gt.DevOpenDataStream(device, nullptr, nullptr)},
        {"DSAnnounceBuffer", gt.DSAnnounceBuffer(stream, nullptr, 100, nullptr, nullptr)},
        {"DSAllocAndAnnounceBuffer", gt.DSAllocAndAnnounceBuffer(stream, 100, nullptr, nullptr)},
        {"DSAnnounceCompositeBuffer", gt.DSAnnounceCompositeBuffer(stream, 2, nullptr, nullptr, nullptr, nullptr)},
        {"DSGetInfo", gt.DSGetInfo(stream, STREAM_INFO_ID, &type, nullptr, nullptr)},
        {"GCGetPortInfo", gt.GCGetPortInfo(device, PORT_INFO_ID, nullptr, nullptr, &size)},
        {"GCGetNumPortURLs", gt.GCGetNumPortURLs(device, nullptr)},
        {"GCReadPort", gt.GCReadPort(device, 0, nullptr, &size)},
        {"GCWritePort", gt.GCWritePort(device, 0, nullptr, &size)},
        {"GCReadPortStacked", gt.GCReadPortStacked(device, nullptr, nullptr)},
        {"GCRegisterEvent", gt.GCRegisterEvent(device, EVENT_REMOTE_DEVICE, nullptr)},
        {"GCGetLastError", gt.GCGetLastError(nullptr, nullptr, &size)},
        {"DSStartAcquisition", gt.DSStartAcquisition(stream, ACQ_START_FLAGS_DEFAULT, 0)},
    };
    for (const auto& call : calls) EXPECT_EQ(GC_ERR_INVALID_PARAMETER, call.second) << call.first;
}

TEST_F(SimRobustness, StaleForeignAndMadeUpHandlesAreRefused) {
    DEV_HANDLE device = session.openDevice("SimMono0");
    DS_HANDLE stream = session.openStream(device);
    EVENT_HANDLE event = nullptr;
    ASSERT_EQ(GC_ERR_SUCCESS, gt.GCRegisterEvent(stream, EVENT_NEW_BUFFER, &event));
    Acquisition other(session, "SimBayer0");
    const auto foreignBuffer = other.announceUserBuffers(1).front();
    uint32_t count = 0;
    size_t size = 4;
    INFO_DATATYPE type = 0;
    EXPECT_EQ(GC_ERR_INVALID_HANDLE, gt.DevGetNumDataStreams(stream, &count));  // a stream is no device
    EXPECT_EQ(GC_ERR_INVALID_HANDLE, gt.TLGetNumInterfaces(device, &count));    // a device is no system
    EXPECT_EQ(GC_ERR_INVALID_HANDLE, gt.GCGetNumPortURLs(event, &count));       // an event has no port
    EXPECT_EQ(GC_ERR_INVALID_HANDLE, gt.DSQueueBuffer(stream, foreignBuffer));  // buffer of another stream
    EXPECT_EQ(GC_ERR_INVALID_HANDLE, gt.DSQueueBuffer(stream, stream));
    EXPECT_EQ(GC_ERR_INVALID_HANDLE, gt.IFGetNumDevices(reinterpret_cast<IF_HANDLE>(0xDEADBEEF), &count));
    EXPECT_EQ(GC_ERR_INVALID_HANDLE, gt.EventKill(nullptr));
    EXPECT_EQ(GC_ERR_INVALID_HANDLE, gt.GCRegisterEvent(session.remotePort(device), EVENT_MODULE, &event));
    ASSERT_EQ(GC_ERR_SUCCESS, gt.DSClose(stream));
    EXPECT_EQ(GC_ERR_INVALID_HANDLE, gt.DSGetInfo(stream, STREAM_INFO_ID, &type, nullptr, &size));
    EXPECT_EQ(GC_ERR_INVALID_HANDLE, gt.EventGetData(event, nullptr, &size, 0));
}

TEST_F(SimRobustness, UnknownCommandsSizesAndAddressesAreRefused) {
    DEV_HANDLE device = session.openDevice("SimMono0");
    Acquisition acq(session, "SimBayer0");
    const auto buffer = acq.announceUserBuffers(1).front();
    PORT_HANDLE remote = session.remotePort(device);
    INFO_DATATYPE type = 0;
    size_t size = 0;
    EXPECT_EQ(GC_ERR_NOT_IMPLEMENTED, gt.GCGetInfo(999, &type, nullptr, &size));
    EXPECT_EQ(GC_ERR_NOT_IMPLEMENTED, gt.IFGetInfo(session.openInterface(0), 999, &type, nullptr, &size));
    EXPECT_EQ(GC_ERR_NOT_IMPLEMENTED, gt.DevGetInfo(device, -5, &type, nullptr, &size));
    EXPECT_EQ(GC_ERR_NOT_IMPLEMENTED, gt.DSGetInfo(acq.stream(), 1000, &type, nullptr, &size));
    EXPECT_EQ(GC_ERR_NOT_IMPLEMENTED, gt.DSGetBufferInfo(acq.stream(), buffer, 77, &type, nullptr, &size));
    EXPECT_EQ(GC_ERR_NOT_IMPLEMENTED, gt.GCGetPortInfo(device, 99, &type, nullptr, &size));
    EVENT_HANDLE event = nullptr;
    EXPECT_EQ(GC_ERR_NOT_IMPLEMENTED, gt.GCRegisterEvent(device, EVENT_NEW_BUFFER, &event));
    EXPECT_EQ(GC_ERR_INVALID_INDEX, gt.GCGetPortURLInfo(device, 9, URL_INFO_URL, &type, nullptr, &size));
    char small[2];
    size = sizeof small;
    EXPECT_EQ(GC_ERR_BUFFER_TOO_SMALL, gt.DevGetDataStreamID(device, 0, small, &size));
    size = sizeof small;
    EXPECT_EQ(GC_ERR_BUFFER_TOO_SMALL, gt.GCGetPortURL(device, small, &size));
    uint8_t bytes[16];
    size = 16;
    EXPECT_EQ(GC_ERR_INVALID_ADDRESS, gt.GCReadPort(remote, 0x1006, bytes, &size));  // straddles two registers
    size = 4;
    EXPECT_EQ(GC_ERR_INVALID_ADDRESS, gt.GCReadPort(remote, 0xFFFFFFFFFFFF0000ull, bytes, &size));
    size = 4;
    EXPECT_EQ(GC_ERR_ACCESS_DENIED, gt.GCWritePort(remote, 0x1000, bytes, &size));  // SensorWidth is read-only
    SINGLE_CHUNK_DATA chunk;
    size = 1;
    EXPECT_EQ(GC_ERR_NO_DATA, gt.DSGetBufferChunkData(acq.stream(), buffer, &chunk, &size));
}

// A bounded run of random calls over valid, stale and made-up handles: every result must be a GenTL code.
TEST_F(SimRobustness, RandomCallsAnswerWithGenTLCodes) {
    std::mt19937_64 random(20261206);
    std::vector<void*> handles = {nullptr, reinterpret_cast<void*>(0x10), reinterpret_cast<void*>(0xFFFFFFFF),
                                  session.system()};
    for (uint32_t i = 0; i < 2; ++i) handles.push_back(session.openInterface(i));
    DEV_HANDLE device = session.openDevice("SimBayer0");
    DS_HANDLE stream = session.openStream(device);
    handles.push_back(device);
    handles.push_back(stream);
    handles.push_back(session.remotePort(device));
    EVENT_HANDLE event = nullptr;
    gt.GCRegisterEvent(stream, EVENT_NEW_BUFFER, &event);
    handles.push_back(event);
    std::vector<uint8_t> memory(64 * 1024);
    BUFFER_HANDLE buffer = nullptr;
    gt.DSAnnounceBuffer(stream, memory.data(), memory.size(), nullptr, &buffer);
    handles.push_back(buffer);

    alignas(8) uint8_t scratch[8192];
    const auto pick = [&](const auto& values) { return values[random() % values.size()]; };
    const std::vector<int32_t> commands = {-1, 0, 1, 2, 3, 4, 5, 7, 9, 12, 19, 24, 31, 1000, 12345};
    const std::vector<uint64_t> addresses = {0,      4,      0x1008, 0x1024,     0x2004, 0x2008,
                                             0x4000, 0x5000, 0x1080, 0xF0000000, ~0ull};
    const std::vector<size_t> sizes = {0, 1, 4, 8, 64, 8192};
    const auto handle = [&] { return pick(handles); };
    const auto out = [&]() -> void* { return random() % 4 == 0 ? nullptr : scratch; };
    const auto sizeOut = [&]() -> size_t* {
        static thread_local size_t value;
        value = pick(sizes);
        return random() % 5 == 0 ? nullptr : &value;
    };
    const auto typeOut = [&]() -> INFO_DATATYPE* {
        return random() % 5 == 0 ? nullptr : reinterpret_cast<INFO_DATATYPE*>(scratch + 8000);
    };
    const std::vector<std::function<GC_ERROR()>> calls = {
        [&] { return gt.TLGetInfo(handle(), pick(commands), typeOut(), out(), sizeOut()); },
        [&] { return gt.TLGetInterfaceID(handle(), random() % 4, static_cast<char*>(out()), sizeOut()); },
        [&] { return gt.TLGetNumInterfaces(handle(), static_cast<uint32_t*>(out())); },
        [&] { return gt.TLUpdateInterfaceList(handle(), static_cast<bool8_t*>(out()), 0); },
        [&] { return gt.IFGetInfo(handle(), pick(commands), typeOut(), out(), sizeOut()); },
        [&] { return gt.IFGetDeviceID(handle(), random() % 4, static_cast<char*>(out()), sizeOut()); },
        [&] {
            return gt.IFGetDeviceInfo(handle(), random() % 2 ? "SimBayer0" : "x", pick(commands), typeOut(), out(),
                                      sizeOut());
        },
        [&] { return gt.IFUpdateDeviceList(handle(), static_cast<bool8_t*>(out()), 0); },
        [&] { return gt.DevGetInfo(handle(), pick(commands), typeOut(), out(), sizeOut()); },
        [&] { return gt.DevGetDataStreamID(handle(), random() % 2, static_cast<char*>(out()), sizeOut()); },
        [&] { return gt.DSGetInfo(handle(), pick(commands), typeOut(), out(), sizeOut()); },
        [&] { return gt.DSGetBufferInfo(handle(), handle(), pick(commands), typeOut(), out(), sizeOut()); },
        [&] { return gt.DSQueueBuffer(handle(), handle()); },
        [&] { return gt.DSFlushQueue(handle(), pick(commands)); },
        [&] { return gt.DSStartAcquisition(handle(), pick(commands), random() % 3); },
        [&] { return gt.DSStopAcquisition(handle(), pick(commands)); },
        [&] { return gt.DSGetBufferChunkData(handle(), handle(), static_cast<SINGLE_CHUNK_DATA*>(out()), sizeOut()); },
        [&] { return gt.DSGetNumBufferSegments(handle(), handle(), static_cast<uint32_t*>(out())); },
        [&] {
            return gt.DSGetBufferSegmentInfo(handle(), handle(), random() % 2, pick(commands), typeOut(), out(),
                                             sizeOut());
        },
        [&] {
            return gt.DSGetBufferPartInfo(handle(), handle(), random() % 2, pick(commands), typeOut(), out(),
                                          sizeOut());
        },
        [&] { return gt.DSGetFlowInfo(handle(), random() % 2, pick(commands), typeOut(), out(), sizeOut()); },
        [&] { return gt.GCGetPortInfo(handle(), pick(commands), typeOut(), out(), sizeOut()); },
        [&] { return gt.GCGetPortURL(handle(), static_cast<char*>(out()), sizeOut()); },
        [&] { return gt.GCGetPortURLInfo(handle(), random() % 3, pick(commands), typeOut(), out(), sizeOut()); },
        [&] { return gt.GCReadPort(handle(), pick(addresses), out(), sizeOut()); },
        [&] { return gt.GCWritePort(handle(), pick(addresses), out(), sizeOut()); },
        [&] { return gt.GCRegisterEvent(handle(), pick(commands), static_cast<EVENT_HANDLE*>(out())); },
        [&] { return gt.EventGetInfo(handle(), pick(commands), typeOut(), out(), sizeOut()); },
        [&] { return gt.EventGetData(handle(), out(), sizeOut(), random() % 2); },
        [&] { return gt.EventGetDataInfo(handle(), out(), pick(sizes), pick(commands), typeOut(), out(), sizeOut()); },
        [&] { return gt.EventFlush(handle()); },
        [&] { return gt.GCGetLastError(static_cast<GC_ERROR*>(out()), static_cast<char*>(out()), sizeOut()); },
    };
    for (int i = 0; i < 20000; ++i) {
        std::memset(scratch, 0, sizeof scratch);
        const size_t which = random() % calls.size();
        const GC_ERROR result = calls[which]();
        ASSERT_TRUE(isGenTLCode(result)) << "call " << which << " gave " << result;
    }
    gt.DSStopAcquisition(stream, ACQ_STOP_FLAGS_KILL);
}

}  // namespace
}  // namespace corvid2::sim::test
