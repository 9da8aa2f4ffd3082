// SPDX-License-Identifier: BSD-3-Clause
// A plain GenTL consumer in the default configuration: it finds the camera's registers in the camera's own
// description, announces buffers, locks the transport-layer parameters, starts the stream, executes
// AcquisitionStart and receives images.
#include "sim_test_support.h"

namespace corvid2::sim::test {
namespace {

// Address and command value of a Command node, following its pValue to the register.
std::pair<uint64_t, int64_t> commandRegister(const pugi::xml_node root, const char* name) {
    const pugi::xml_node command = root.find_child_by_attribute("Command", "Name", name);
    const pugi::xml_node reg = root.find_child_by_attribute("Name", command.child_value("pValue"));
    return {std::stoull(reg.child_value("Address"), nullptr, 0),
            std::stoll(command.child_value("CommandValue"), nullptr, 0)};
}

uint64_t integerRegister(const pugi::xml_node root, const char* name) {
    const pugi::xml_node integer = root.find_child_by_attribute("Integer", "Name", name);
    const pugi::xml_node reg = root.find_child_by_attribute("Name", integer.child_value("pValue"));
    return std::stoull(reg.child_value("Address"), nullptr, 0);
}

TEST(SimPlainConsumer, ReceivesImagesInTheDefaultConfiguration) {
    const GenTLFunctions& gt = gentl();
    ASSERT_EQ(GC_ERR_SUCCESS, gt.GCInitLib());
    TL_HANDLE system = nullptr;
    ASSERT_EQ(GC_ERR_SUCCESS, gt.TLOpen(&system));
    bool8_t changed = false;
    ASSERT_EQ(GC_ERR_SUCCESS, gt.TLUpdateInterfaceList(system, &changed, 1000));
    char id[256];
    size_t size = sizeof id;
    ASSERT_EQ(GC_ERR_SUCCESS, gt.TLGetInterfaceID(system, 0, id, &size));
    IF_HANDLE iface = nullptr;
    ASSERT_EQ(GC_ERR_SUCCESS, gt.TLOpenInterface(system, id, &iface));
    ASSERT_EQ(GC_ERR_SUCCESS, gt.IFUpdateDeviceList(iface, &changed, 1000));
    size = sizeof id;
    ASSERT_EQ(GC_ERR_SUCCESS, gt.IFGetDeviceID(iface, 0, id, &size));
    DEV_HANDLE device = nullptr;
    ASSERT_EQ(GC_ERR_SUCCESS, gt.IFOpenDevice(iface, id, DEVICE_ACCESS_EXCLUSIVE, &device));
    PORT_HANDLE port = nullptr;
    ASSERT_EQ(GC_ERR_SUCCESS, gt.DevGetPort(device, &port));

    pugi::xml_document doc;
    const std::string xml = readDescription(port);
    ASSERT_TRUE(doc.load_string(xml.c_str()));
    const pugi::xml_node root = doc.child("RegisterDescription");

    size = sizeof id;
    ASSERT_EQ(GC_ERR_SUCCESS, gt.DevGetDataStreamID(device, 0, id, &size));
    DS_HANDLE stream = nullptr;
    ASSERT_EQ(GC_ERR_SUCCESS, gt.DevOpenDataStream(device, id, &stream));
    size_t payload = 0;
    INFO_DATATYPE type = 0;
    size = sizeof payload;
    ASSERT_EQ(GC_ERR_SUCCESS, gt.DSGetInfo(stream, STREAM_INFO_PAYLOAD_SIZE, &type, &payload, &size));
    std::vector<std::vector<uint8_t>> memory(4, std::vector<uint8_t>(payload));
    for (auto& m : memory) {
        BUFFER_HANDLE buffer = nullptr;
        ASSERT_EQ(GC_ERR_SUCCESS, gt.DSAnnounceBuffer(stream, m.data(), m.size(), nullptr, &buffer));
        ASSERT_EQ(GC_ERR_SUCCESS, gt.DSQueueBuffer(stream, buffer));
    }
    EVENT_HANDLE event = nullptr;
    ASSERT_EQ(GC_ERR_SUCCESS, gt.GCRegisterEvent(stream, EVENT_NEW_BUFFER, &event));

    const uint32_t one = 1;
    size = 4;
    ASSERT_EQ(GC_ERR_SUCCESS, gt.GCWritePort(port, integerRegister(root, "TLParamsLocked"), &one, &size));
    ASSERT_EQ(GC_ERR_SUCCESS, gt.DSStartAcquisition(stream, ACQ_START_FLAGS_DEFAULT, GENTL_INFINITE));
    const auto start = commandRegister(root, "AcquisitionStart");
    const uint32_t startValue = static_cast<uint32_t>(start.second);
    size = 4;
    ASSERT_EQ(GC_ERR_SUCCESS, gt.GCWritePort(port, start.first, &startValue, &size));

    for (int frame = 0; frame < 5; ++frame) {
        EVENT_NEW_BUFFER_DATA data{};
        size = sizeof data;
        ASSERT_EQ(GC_ERR_SUCCESS, gt.EventGetData(event, &data, &size, 5000));
        bool8_t present = false;
        size = sizeof present;
        ASSERT_EQ(GC_ERR_SUCCESS,
                  gt.DSGetBufferInfo(stream, data.BufferHandle, BUFFER_INFO_IMAGEPRESENT, &type, &present, &size));
        EXPECT_TRUE(present);
        size_t filled = 0;
        size = sizeof filled;
        ASSERT_EQ(GC_ERR_SUCCESS,
                  gt.DSGetBufferInfo(stream, data.BufferHandle, BUFFER_INFO_SIZE_FILLED, &type, &filled, &size));
        EXPECT_EQ(payload, filled);
        ASSERT_EQ(GC_ERR_SUCCESS, gt.DSQueueBuffer(stream, data.BufferHandle));
    }
    const auto stop = commandRegister(root, "AcquisitionStop");
    const uint32_t stopValue = static_cast<uint32_t>(stop.second);
    size = 4;
    EXPECT_EQ(GC_ERR_SUCCESS, gt.GCWritePort(port, stop.first, &stopValue, &size));
    EXPECT_EQ(GC_ERR_SUCCESS, gt.DSStopAcquisition(stream, ACQ_STOP_FLAGS_DEFAULT));
    EXPECT_EQ(GC_ERR_SUCCESS, gt.DSFlushQueue(stream, ACQ_QUEUE_ALL_DISCARD));
    EXPECT_EQ(GC_ERR_SUCCESS, gt.DSClose(stream));
    EXPECT_EQ(GC_ERR_SUCCESS, gt.DevClose(device));
    EXPECT_EQ(GC_ERR_SUCCESS, gt.IFClose(iface));
    EXPECT_EQ(GC_ERR_SUCCESS, gt.TLClose(system));
    EXPECT_EQ(GC_ERR_SUCCESS, gt.GCCloseLib());
}

}  // namespace
}  // namespace corvid2::sim::test
