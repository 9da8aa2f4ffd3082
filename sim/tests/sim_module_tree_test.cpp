// SPDX-License-Identifier: BSD-3-Clause
// The module tree through raw GenTL calls: library life cycle, every info command, lists, opening, access modes,
// ports and description locations of every module.
#include <fstream>
#include <sstream>
#include <thread>

#include "sim_test_support.h"

namespace corvid2::sim::test {
namespace {

class SimLibraryLifecycle : public SimTest {};

TEST_F(SimLibraryLifecycle, CallsBeforeInitAndAfterCloseAnswerNotInitialized) {
    TL_HANDLE system = nullptr;
    EXPECT_EQ(GC_ERR_NOT_INITIALIZED, gt.TLOpen(&system));
    size_t size = 0;
    INFO_DATATYPE type = 0;
    EXPECT_EQ(GC_ERR_NOT_INITIALIZED, gt.GCGetInfo(TL_INFO_VENDOR, &type, nullptr, &size));
    ASSERT_EQ(GC_ERR_SUCCESS, gt.GCInitLib());
    EXPECT_EQ(GC_ERR_RESOURCE_IN_USE, gt.GCInitLib());
    ASSERT_EQ(GC_ERR_SUCCESS, gt.GCCloseLib());
    EXPECT_EQ(GC_ERR_NOT_INITIALIZED, gt.TLOpen(&system));
}

TEST_F(SimLibraryLifecycle, LastErrorIsKeptPerThread) {
    SimSession session;
    EXPECT_EQ(GC_ERR_INVALID_HANDLE, gt.TLClose(reinterpret_cast<TL_HANDLE>(0x1234)));
    GC_ERROR code = 0;
    const std::string text = idText([&](char* b, size_t* s) { return gt.GCGetLastError(&code, b, s); });
    EXPECT_EQ(GC_ERR_INVALID_HANDLE, code);
    EXPECT_FALSE(text.empty());
    std::thread other([&] {
        GC_ERROR otherCode = 1;
        const std::string otherText = idText([&](char* b, size_t* s) { return gt.GCGetLastError(&otherCode, b, s); });
        EXPECT_EQ(GC_ERR_SUCCESS, otherCode);
        EXPECT_EQ("No Error", otherText);
    });
    other.join();
}

class SimModuleTree : public SimTest {
protected:
    SimSession session;
};

TEST_F(SimModuleTree, SystemInfoHasEveryCommandWithItsType) {
    const auto info = [&](TL_INFO_CMD cmd) {
        return [=](INFO_DATATYPE* t, void* b, size_t* s) { return gentl().TLGetInfo(session.system(), cmd, t, b, s); };
    };
    EXPECT_EQ("Velmor", infoText(info(TL_INFO_VENDOR)));
    EXPECT_EQ("Mixed", infoText(info(TL_INFO_TLTYPE)));
    EXPECT_NE(std::string::npos, infoText(info(TL_INFO_PATHNAME)).find("corvid2_sim.cti"));
    EXPECT_EQ("corvid2_sim.cti", infoText(info(TL_INFO_NAME)));
    for (TL_INFO_CMD cmd : {TL_INFO_ID, TL_INFO_MODEL, TL_INFO_VERSION, TL_INFO_DISPLAYNAME})
        EXPECT_FALSE(infoText(info(cmd)).empty()) << cmd;
    EXPECT_EQ(TL_CHAR_ENCODING_ASCII, infoValue<int32_t>(info(TL_INFO_CHAR_ENCODING), INFO_DATATYPE_INT32));
    EXPECT_EQ(1u, infoValue<uint32_t>(info(TL_INFO_GENTL_VER_MAJOR), INFO_DATATYPE_UINT32));
    EXPECT_EQ(6u, infoValue<uint32_t>(info(TL_INFO_GENTL_VER_MINOR), INFO_DATATYPE_UINT32));
    // GCGetInfo answers the same without the system module.
    EXPECT_EQ("Velmor", infoText([](INFO_DATATYPE* t, void* b, size_t* s) {
                  return gentl().GCGetInfo(TL_INFO_VENDOR, t, b, s);
              }));
    INFO_DATATYPE type = 0;
    size_t size = 0;
    EXPECT_EQ(GC_ERR_NOT_IMPLEMENTED, gt.TLGetInfo(session.system(), TL_INFO_CUSTOM_ID, &type, nullptr, &size));
    size = 3;
    char small[3];
    EXPECT_EQ(GC_ERR_BUFFER_TOO_SMALL, gt.TLGetInfo(session.system(), TL_INFO_VENDOR, &type, small, &size));
    EXPECT_EQ(GC_ERR_INVALID_PARAMETER, gt.TLGetInfo(session.system(), TL_INFO_VENDOR, &type, nullptr, nullptr));
}

TEST_F(SimModuleTree, InterfacesAndDevicesAreListedWithTheirInfo) {
    uint32_t count = 0;
    ASSERT_EQ(GC_ERR_SUCCESS, gt.TLGetNumInterfaces(session.system(), &count));
    ASSERT_EQ(2u, count);
    std::vector<std::string> types;
    for (uint32_t i = 0; i < count; ++i) {
        const std::string id =
            idText([&](char* b, size_t* s) { return gt.TLGetInterfaceID(session.system(), i, b, s); });
        types.push_back(infoText([&](INFO_DATATYPE* t, void* b, size_t* s) {
            return gt.TLGetInterfaceInfo(session.system(), id.c_str(), INTERFACE_INFO_TLTYPE, t, b, s);
        }));
        IF_HANDLE iface = session.openInterface(i);
        EXPECT_EQ(id, infoText([&](INFO_DATATYPE* t, void* b, size_t* s) {
                      return gt.IFGetInfo(iface, INTERFACE_INFO_ID, t, b, s);
                  }));
        EXPECT_FALSE(infoText([&](INFO_DATATYPE* t, void* b, size_t* s) {
                         return gt.IFGetInfo(iface, INTERFACE_INFO_DISPLAYNAME, t, b, s);
                     }).empty());
        TL_HANDLE parent = nullptr;
        EXPECT_EQ(GC_ERR_SUCCESS, gt.IFGetParentTL(iface, &parent));
        EXPECT_EQ(session.system(), parent);
        uint32_t devices = 0;
        ASSERT_EQ(GC_ERR_SUCCESS, gt.IFGetNumDevices(iface, &devices));
        EXPECT_EQ(2u, devices);
    }
    EXPECT_EQ((std::vector<std::string>{"GEV", "U3V"}), types);
    char buffer[8];
    size_t size = sizeof buffer;
    EXPECT_EQ(GC_ERR_INVALID_INDEX, gt.TLGetInterfaceID(session.system(), 2, buffer, &size));
    IF_HANDLE iface = nullptr;
    EXPECT_EQ(GC_ERR_INVALID_ID, gt.TLOpenInterface(session.system(), "NoSuchInterface", &iface));
    const std::string first =
        idText([&](char* b, size_t* s) { return gt.TLGetInterfaceID(session.system(), 0, b, s); });
    EXPECT_EQ(GC_ERR_RESOURCE_IN_USE, gt.TLOpenInterface(session.system(), first.c_str(), &iface));
}

TEST_F(SimModuleTree, InterfacesLeaveAndReturnAtRunTime) {
    const auto listed = [&] {
        std::vector<std::string> ids;
        uint32_t count = 0;
        EXPECT_EQ(GC_ERR_SUCCESS, gt.TLGetNumInterfaces(session.system(), &count));
        for (uint32_t i = 0; i < count; ++i)
            ids.push_back(idText([&](char* b, size_t* s) { return gt.TLGetInterfaceID(session.system(), i, b, s); }));
        return ids;
    };
    IF_HANDLE open = session.openInterface(0);
    Features system(session.system());
    system.setString("SimRemoveInterfaceID", "SimGEV0");
    // The list the consumer sees changes only with the update.
    EXPECT_EQ((std::vector<std::string>{"SimGEV0", "SimU3V1"}), listed());
    bool8_t changed = 0;
    ASSERT_EQ(GC_ERR_SUCCESS, gt.TLUpdateInterfaceList(session.system(), &changed, 0));
    EXPECT_TRUE(changed);
    EXPECT_EQ((std::vector<std::string>{"SimU3V1"}), listed());
    // The interface that was open when it left still answers through its handle.
    EXPECT_EQ("SimGEV0", infoText([&](INFO_DATATYPE* t, void* b, size_t* s) {
                  return gt.IFGetInfo(open, INTERFACE_INFO_ID, t, b, s);
              }));
    IF_HANDLE again = nullptr;
    EXPECT_EQ(GC_ERR_INVALID_ID, gt.TLOpenInterface(session.system(), "SimGEV0", &again));

    // Only a removed interface can come back, and it comes back at its old place.
    const uint64_t add = system.address("SimAddInterfaceID");
    const char unknown[] = "SimCXP7";
    size_t size = sizeof unknown;
    EXPECT_EQ(GC_ERR_INVALID_ID, gt.GCWritePort(session.system(), add, unknown, &size));
    system.setString("SimAddInterfaceID", "SimGEV0");
    ASSERT_EQ(GC_ERR_SUCCESS, gt.TLUpdateInterfaceList(session.system(), &changed, 0));
    EXPECT_TRUE(changed);
    EXPECT_EQ((std::vector<std::string>{"SimGEV0", "SimU3V1"}), listed());
    EXPECT_EQ(GC_ERR_INVALID_ID, gt.GCWritePort(session.system(), add, "SimGEV0", &size));
}

TEST_F(SimModuleTree, DeviceInfoBeforeAndAfterOpening) {
    IF_HANDLE iface = session.interfaceOf("SimMono0");
    const auto ifInfo = [&](DEVICE_INFO_CMD cmd) {
        return [=](INFO_DATATYPE* t, void* b, size_t* s) {
            return gentl().IFGetDeviceInfo(iface, "SimMono0", cmd, t, b, s);
        };
    };
    EXPECT_EQ("Velmor", infoText(ifInfo(DEVICE_INFO_VENDOR)));
    EXPECT_EQ("GEV", infoText(ifInfo(DEVICE_INFO_TLTYPE)));
    EXPECT_EQ(DEVICE_ACCESS_STATUS_READWRITE,
              infoValue<int32_t>(ifInfo(DEVICE_INFO_ACCESS_STATUS), INFO_DATATYPE_INT32));
    EXPECT_EQ(1000000000u, infoValue<uint64_t>(ifInfo(DEVICE_INFO_TIMESTAMP_FREQUENCY), INFO_DATATYPE_UINT64));
    const std::string serial = infoText(ifInfo(DEVICE_INFO_SERIAL_NUMBER));
    EXPECT_EQ(0u, serial.rfind("SN", 0));

    DEV_HANDLE device = session.openDevice("SimMono0", DEVICE_ACCESS_CONTROL);
    const auto devInfo = [&](DEVICE_INFO_CMD cmd) {
        return [=](INFO_DATATYPE* t, void* b, size_t* s) { return gentl().DevGetInfo(device, cmd, t, b, s); };
    };
    EXPECT_EQ("SimMono0", infoText(devInfo(DEVICE_INFO_ID)));
    EXPECT_EQ(serial, infoText(devInfo(DEVICE_INFO_SERIAL_NUMBER)));
    for (DEVICE_INFO_CMD cmd : {DEVICE_INFO_MODEL, DEVICE_INFO_DISPLAYNAME, DEVICE_INFO_VERSION})
        EXPECT_FALSE(infoText(devInfo(cmd)).empty());
    EXPECT_EQ("", infoText(devInfo(DEVICE_INFO_USER_DEFINED_NAME)));
    EXPECT_EQ(DEVICE_ACCESS_STATUS_OPEN_READWRITE,
              infoValue<int32_t>(devInfo(DEVICE_INFO_ACCESS_STATUS), INFO_DATATYPE_INT32));
    EXPECT_EQ(DEVICE_ACCESS_STATUS_OPEN_READWRITE,
              infoValue<int32_t>(ifInfo(DEVICE_INFO_ACCESS_STATUS), INFO_DATATYPE_INT32));
    IF_HANDLE parent = nullptr;
    EXPECT_EQ(GC_ERR_SUCCESS, gt.DevGetParentIF(device, &parent));
    EXPECT_EQ(iface, parent);
    // A user-defined name written through the camera's feature shows in the device information.
    Features camera(session.remotePort(device));
    camera.setString("DeviceUserID", "left camera");
    EXPECT_EQ("left camera", infoText(devInfo(DEVICE_INFO_USER_DEFINED_NAME)));
}

TEST_F(SimModuleTree, AccessModesAreEnforced) {
    DEV_HANDLE device = session.openDevice("SimMono0", DEVICE_ACCESS_EXCLUSIVE);
    DEV_HANDLE second = nullptr;
    EXPECT_EQ(GC_ERR_RESOURCE_IN_USE,
              gt.IFOpenDevice(session.interfaceOf("SimMono0"), "SimMono0", DEVICE_ACCESS_EXCLUSIVE, &second));
    EXPECT_EQ(GC_ERR_INVALID_PARAMETER,
              gt.IFOpenDevice(session.interfaceOf("SimBayer0"), "SimBayer0", DEVICE_ACCESS_NONE, &second));
    ASSERT_EQ(GC_ERR_SUCCESS, gt.DevClose(device));

    DEV_HANDLE readOnly = session.openDevice("SimMono0", DEVICE_ACCESS_READONLY);
    PORT_HANDLE port = session.remotePort(readOnly);
    Features camera(port);
    EXPECT_EQ(640, camera.getInt("Width"));
    EXPECT_EQ(GC_ERR_ACCESS_DENIED, camera.trySetInt("Width", 320));
    EXPECT_FALSE(infoValue<bool8_t>(
        [&](INFO_DATATYPE* t, void* b, size_t* s) { return gt.GCGetPortInfo(port, PORT_INFO_ACCESS_WRITE, t, b, s); },
        INFO_DATATYPE_BOOL8));
    EXPECT_EQ(DEVICE_ACCESS_STATUS_OPEN_READONLY,
              infoValue<int32_t>([&](INFO_DATATYPE* t, void* b,
                                     size_t* s) { return gt.DevGetInfo(readOnly, DEVICE_INFO_ACCESS_STATUS, t, b, s); },
                                 INFO_DATATYPE_INT32));
}

TEST_F(SimModuleTree, ClosedHandlesBecomeInvalid) {
    DEV_HANDLE device = session.openDevice("SimBayer0");
    DS_HANDLE stream = session.openStream(device);
    PORT_HANDLE remote = session.remotePort(device);
    DS_HANDLE parentCheck = nullptr;
    EXPECT_EQ(GC_ERR_SUCCESS, gt.DSGetParentDev(stream, &parentCheck));
    EXPECT_EQ(device, parentCheck);
    ASSERT_EQ(GC_ERR_SUCCESS, gt.DevClose(device));
    uint32_t value = 0;
    size_t size = 4;
    EXPECT_EQ(GC_ERR_INVALID_HANDLE, gt.GCReadPort(remote, 0x1008, &value, &size));
    INFO_DATATYPE type = 0;
    EXPECT_EQ(GC_ERR_INVALID_HANDLE, gt.DSGetInfo(stream, STREAM_INFO_ID, &type, nullptr, &size));
    EXPECT_EQ(GC_ERR_INVALID_HANDLE, gt.DevClose(device));
    // The device can be opened again and gets a fresh handle.
    DEV_HANDLE again = session.openDevice("SimBayer0");
    EXPECT_NE(device, again);
}

TEST_F(SimModuleTree, ClosingTheControllingDeviceStopsAndUnlocksTheCamera) {
    DEV_HANDLE device = session.openDevice("SimMono0");
    {
        Features camera(session.remotePort(device));
        camera.setInt("TLParamsLocked", 1);
        camera.execute("AcquisitionStart");
        camera.setEnum("AcquisitionStatusSelector", "AcquisitionActive");
        EXPECT_TRUE(camera.getBool("AcquisitionActiveBit"));
    }
    ASSERT_EQ(GC_ERR_SUCCESS, gt.DevClose(device));
    Features camera(session.remotePort(session.openDevice("SimMono0")));
    EXPECT_FALSE(camera.getBool("AcquisitionActiveBit"));
    EXPECT_EQ(0, camera.getInt("TLParamsLocked"));
    EXPECT_EQ(GC_ERR_SUCCESS, camera.trySetInt("Width", 320));
}

// Every module has a port whose description can be fetched from each location and parses.
TEST_F(SimModuleTree, EveryModulePortServesItsDescriptions) {
    DEV_HANDLE device = session.openDevice("SimPolarized0");
    DS_HANDLE stream = session.openStream(device);
    BUFFER_HANDLE buffer = nullptr;
    ASSERT_EQ(GC_ERR_SUCCESS, gt.DSAllocAndAnnounceBuffer(stream, 4096, nullptr, &buffer));
    struct Expected {
        void* handle;
        const char* module;
        const char* portName;
    };
    const Expected modules[] = {{session.system(), "TLSystem", "TLPort"},
                                {session.interfaceOf("SimPolarized0"), "TLInterface", "InterfacePort"},
                                {device, "TLDevice", "DevicePort"},
                                {session.remotePort(device), "Device", "Device"},
                                {stream, "TLDataStream", "StreamPort"},
                                {buffer, "TLBuffer", "BufferPort"}};
    bool sawZip = false, sawFile = false;
    for (const Expected& m : modules) {
        const auto portInfo = [&](PORT_INFO_CMD cmd) {
            return [=](INFO_DATATYPE* t, void* b, size_t* s) { return gentl().GCGetPortInfo(m.handle, cmd, t, b, s); };
        };
        EXPECT_EQ(m.module, infoText(portInfo(PORT_INFO_MODULE)));
        EXPECT_EQ(m.portName, infoText(portInfo(PORT_INFO_PORTNAME)));
        EXPECT_TRUE(infoValue<bool8_t>(portInfo(PORT_INFO_LITTLE_ENDIAN), INFO_DATATYPE_BOOL8));
        EXPECT_FALSE(infoValue<bool8_t>(portInfo(PORT_INFO_BIG_ENDIAN), INFO_DATATYPE_BOOL8));
        uint32_t urls = 0;
        ASSERT_EQ(GC_ERR_SUCCESS, gt.GCGetNumPortURLs(m.handle, &urls));
        ASSERT_GE(urls, 1u);
        // GCGetPortURL gives every location at once, zero-terminated one after the other.
        std::string listed;
        for (uint32_t i = 0; i < urls; ++i) {
            if (i > 0) listed.push_back('\0');
            listed += infoText([&](INFO_DATATYPE* t, void* b, size_t* s) {
                return gentl().GCGetPortURLInfo(m.handle, i, URL_INFO_URL, t, b, s);
            });
        }
        EXPECT_EQ(idText([&](char* b, size_t* s) { return gentl().GCGetPortURL(m.handle, b, s); }), listed);
        for (uint32_t i = 0; i < urls; ++i) {
            const auto urlInfo = [&](URL_INFO_CMD cmd) {
                return [=](INFO_DATATYPE* t, void* b, size_t* s) {
                    return gentl().GCGetPortURLInfo(m.handle, i, cmd, t, b, s);
                };
            };
            const std::string url = infoText(urlInfo(URL_INFO_URL));
            const int32_t scheme = infoValue<int32_t>(urlInfo(URL_INFO_SCHEME), INFO_DATATYPE_INT32);
            EXPECT_EQ(1, infoValue<int32_t>(urlInfo(URL_INFO_SCHEMA_VER_MAJOR), INFO_DATATYPE_INT32));
            EXPECT_EQ(1, infoValue<int32_t>(urlInfo(URL_INFO_SCHEMA_VER_MINOR), INFO_DATATYPE_INT32));
            std::string xml;
            if (scheme == URL_SCHEME_LOCAL) {
                EXPECT_EQ(0u, url.rfind("Local:", 0)) << url;
                sawZip = sawZip || url.find(".zip;") != std::string::npos;
                xml = readDescription(m.handle, i);
            } else {
                ASSERT_EQ(URL_SCHEME_FILE, scheme);
                EXPECT_EQ(0u, url.rfind("File:///", 0)) << url;
                sawFile = true;
                std::ifstream in(infoText(urlInfo(URL_INFO_FILENAME)));
                std::stringstream content;
                content << in.rdbuf();
                xml = content.str();
                size_t size = 0;
                INFO_DATATYPE type = 0;
                EXPECT_EQ(GC_ERR_NOT_AVAILABLE,
                          gt.GCGetPortURLInfo(m.handle, i, URL_INFO_FILE_REGISTER_ADDRESS, &type, nullptr, &size));
            }
            pugi::xml_document doc;
            ASSERT_TRUE(doc.load_string(xml.c_str())) << url;
            const pugi::xml_node root = doc.child("RegisterDescription");
            EXPECT_TRUE(root.find_child_by_attribute("Port", "Name", m.portName)) << m.portName;
            EXPECT_TRUE(root.find_child_by_attribute("Category", "Name", "Root"));
        }
    }
    EXPECT_TRUE(sawZip);
    EXPECT_TRUE(sawFile);
}

TEST_F(SimModuleTree, SystemDescriptionCarriesTheGenTLVersion) {
    Features system(session.system());
    EXPECT_EQ(1, system.getInt("GenTLVersionMajor"));
    EXPECT_EQ(6, system.getInt("GenTLVersionMinor"));
    system.setInt("InterfaceSelector", 1);
    EXPECT_EQ("SimU3V1", system.getString("InterfaceID"));
    Features iface(session.openInterface(0));
    iface.setInt("DeviceSelector", 1);
    EXPECT_EQ("SimBayer0", iface.getString("DeviceID"));
}

TEST_F(SimModuleTree, StackedPortAccessReadsAndWritesSeveralRegisters) {
    DEV_HANDLE device = session.openDevice("SimMono0");
    PORT_HANDLE port = session.remotePort(device);
    Features camera(port);
    uint32_t width = 320, height = 240;
    PORT_REGISTER_STACK_ENTRY writes[] = {{camera.address("Width"), &width, 4}, {camera.address("Height"), &height, 4}};
    size_t count = 2;
    ASSERT_EQ(GC_ERR_SUCCESS, gt.GCWritePortStacked(port, writes, &count));
    uint32_t readWidth = 0, readHeight = 0;
    PORT_REGISTER_STACK_ENTRY reads[] = {{camera.address("Width"), &readWidth, 4},
                                         {camera.address("Height"), &readHeight, 4}};
    count = 2;
    ASSERT_EQ(GC_ERR_SUCCESS, gt.GCReadPortStacked(port, reads, &count));
    EXPECT_EQ(320u, readWidth);
    EXPECT_EQ(240u, readHeight);
    // A failing entry stops the stack and says how many were done.
    uint32_t sink = 0;
    PORT_REGISTER_STACK_ENTRY bad[] = {{camera.address("Width"), &sink, 4}, {0x7FFFFFF0, &sink, 4}};
    count = 2;
    EXPECT_EQ(GC_ERR_INVALID_ADDRESS, gt.GCReadPortStacked(port, bad, &count));
    EXPECT_EQ(1u, count);
}

}  // namespace
}  // namespace corvid2::sim::test
