// SPDX-License-Identifier: BSD-3-Clause
// IPortIface and IPortIfacePoly against the simulator's system, interface and camera ports:
// register access, argument checks, error mapping, description locations and stacked access.
#include <gtest/gtest.h>

#include <thread>

#include "features/port_iface_poly.h"
#include "gentl/gentl_errors.h"
#include "support/errors.h"
#include "support/sim_producer.h"
#include "support/trace_capture.h"

using namespace corvid2;
using namespace corvid2::test;

namespace {

class PortIface : public ::testing::Test {
protected:
    void open(SimModules::Depth depth = SimModules::kInterface) {
        sim_.open(depth);
        system_ = sim_.port(sim_.system_);
        if (depth >= SimModules::kInterface) interface_ = sim_.port(sim_.interface_);
    }
    SimModules sim_;
    std::unique_ptr<CModulePort> system_, interface_;
};

// The failure code a port call leaves when the producer answers `producerCode`.
struct MappingCase {
    const char* function;
    GC_ERROR producerCode;
    Result expected;
    const char* label;
};

}  // namespace

TEST_F(PortIface, ReadsAndWritesRegistersOfSystemAndInterface) {
    open();
    IPortIface& system = system_->port();
    EXPECT_EQ(system.portName(), "TLPort");
    EXPECT_EQ(interface_->port().portName(), "InterfacePort");
    EXPECT_EQ(SimModules::readU32(system, kGenTLVersionMajorAddress), 1u);
    EXPECT_EQ(SimModules::readU32(system, kGenTLVersionMinorAddress), 6u);

    for (std::uint32_t value : {7u, 3u}) {
        SimModules::writeValue(system, kIncompleteEveryAddress, &value, sizeof value);
        EXPECT_EQ(SimModules::readU32(system, kIncompleteEveryAddress), value);
    }
    const std::uint32_t selected = 1;
    SimModules::writeValue(interface_->port(), kDeviceSelectorAddress, &selected, sizeof selected);
    EXPECT_EQ(SimModules::readU32(interface_->port(), kDeviceSelectorAddress), selected);
    // The two ports are distinct register spaces.
    EXPECT_NE(SimModules::readU32(interface_->port(), kGenTLVersionMajorAddress), 1u);
}

TEST_F(PortIface, RefusesMissingProducerHandleOrArguments) {
    open(SimModules::kSystem);
    std::uint32_t value = 0;
    size_t size = sizeof value;
    INFO_DATATYPE type = 0;
    std::uint32_t count = 0;
    std::string url;
    PORT_REGISTER_STACK_ENTRY entry{kGenTLVersionMajorAddress, &value, sizeof value};

    IPortIface noProducer(nullptr, "NoProducer");
    noProducer.setHandle(sim_.system_);
    EXPECT_EQ(noProducer.ReadPort(0, &value, &size), Result::Error);
    IPortIface noHandle(sim_.table_, "NoHandle");
    EXPECT_EQ(noHandle.ReadPort(0, &value, &size), Result::NotInitialized);
    EXPECT_EQ(noHandle.GetNumPortURLs(&count), Result::NotInitialized);

    IPortIface& port = system_->port();
    EXPECT_EQ(port.ReadPort(0, nullptr, &size), Result::InvalidParameter);
    EXPECT_EQ(port.ReadPort(0, &value, nullptr), Result::InvalidParameter);
    EXPECT_EQ(port.WritePort(0, nullptr, &size), Result::InvalidParameter);
    EXPECT_EQ(port.GetPortInfo(PORT_INFO_VENDOR, nullptr, nullptr, &size), Result::InvalidParameter);
    EXPECT_EQ(port.GetPortInfo(PORT_INFO_VENDOR, &type, nullptr, nullptr), Result::InvalidParameter);
    EXPECT_EQ(port.GetPortURLInfo(0, URL_INFO_URL, &type, nullptr, nullptr), Result::InvalidParameter);
    EXPECT_EQ(port.GetPortURL(0, nullptr), Result::InvalidParameter);
    EXPECT_EQ(port.GetNumPortURLs(nullptr), Result::InvalidParameter);
    EXPECT_EQ(port.ReadPortStacked(nullptr, &size), Result::InvalidParameter);
    EXPECT_EQ(port.WritePortStacked(&entry, nullptr), Result::InvalidParameter);
}

TEST_F(PortIface, KeepsOnlyTheCodesEachOperationOwnsAndRecordsTheProducersText) {
    open(SimModules::kSystem);
    IPortIface& port = system_->port();
    const MappingCase cases[] = {
        {"GCReadPort", GC_ERR_ACCESS_DENIED, Result::AccessDenied, "ReadPort"},
        {"GCReadPort", GC_ERR_TIMEOUT, Result::LowLevelError, "ReadPort"},
        {"GCWritePort", GC_ERR_TIMEOUT, Result::Timeout, "WritePort"},
        {"GCWritePort", GC_ERR_ACCESS_DENIED, Result::AccessDenied, "WritePort"},
        {"GCWritePort", GC_ERR_IO, Result::LowLevelError, "WritePort"},
        {"GCGetPortInfo", GC_ERR_ACCESS_DENIED, Result::LowLevelError, "GetPortInfo"},
        {"GCReadPortStacked", GC_ERR_ACCESS_DENIED, Result::AccessDenied, "ReadPortStacked"},
        {"GCReadPortStacked", GC_ERR_TIMEOUT, Result::LowLevelError, "ReadPortStacked"},
        {"GCWritePortStacked", GC_ERR_ACCESS_DENIED, Result::AccessDenied, "WritePortStacked"},
        {"GCWritePortStacked", GC_ERR_TIMEOUT, Result::LowLevelError, "WritePortStacked"},
        {"GCGetPortURLInfo", GC_ERR_IO, Result::LowLevelError, "GetPortURLInfo"},
    };
    std::uint32_t count = 0;
    ASSERT_EQ(port.GetNumPortURLs(&count),
              Result::Success);  // the list is built before GCGetPortURLInfo is made to fail
    for (const MappingCase& c : cases) {
        SCOPED_TRACE(std::string(c.function) + " " + std::to_string(c.producerCode));
        sim_.armFault(c.function, c.producerCode);
        std::uint32_t value = 5;
        size_t size = sizeof value;
        INFO_DATATYPE type = 0;
        PORT_REGISTER_STACK_ENTRY entry{kIncompleteEveryAddress, &value, sizeof value};
        size_t entries = 1;
        const std::string function = c.function;
        TraceCapture trace;
        Result result = Result::Success;
        if (function == "GCReadPort") result = port.ReadPort(kIncompleteEveryAddress, &value, &size);
        if (function == "GCWritePort") result = port.WritePort(kIncompleteEveryAddress, &value, &size);
        if (function == "GCGetPortInfo") result = port.GetPortInfo(PORT_INFO_VENDOR, &type, nullptr, &size);
        if (function == "GCReadPortStacked") result = port.ReadPortStacked(&entry, &entries);
        if (function == "GCWritePortStacked") result = port.WritePortStacked(&entry, &entries);
        if (function == "GCGetPortURLInfo") result = port.GetPortURLInfo(0, URL_INFO_URL, &type, nullptr, &size);
        EXPECT_EQ(result, c.expected);
        Result recorded = Result::Success;
        const std::string text = lastErrorText(&recorded);
        EXPECT_EQ(recorded, c.expected);
        EXPECT_EQ(text.rfind(GenTLErrorName(c.producerCode), 0), 0u) << text;
        EXPECT_EQ(trace.count(std::string("TLPort; ") + c.label + "; " + text), 1u);
    }
}

TEST_F(PortIface, InfoCallsAskForTheSizeWithoutBuffer) {
    open(SimModules::kSystem);
    IPortIface& port = system_->port();
    INFO_DATATYPE type = 0;
    size_t size = 1000;  // ignored without a buffer
    ASSERT_EQ(port.GetPortInfo(PORT_INFO_PORTNAME, &type, nullptr, &size), Result::Success);
    EXPECT_EQ(size, std::string("TLPort").size() + 1);
    EXPECT_EQ(type, INFO_DATATYPE_STRING);
    std::string url;
    ASSERT_EQ(port.GetPortURL(0, &url), Result::Success);
    size = 1000;
    ASSERT_EQ(port.GetPortURLInfo(0, URL_INFO_URL, &type, nullptr, &size), Result::Success);
    std::string viaInfo(size, '\0');
    ASSERT_EQ(port.GetPortURLInfo(0, URL_INFO_URL, &type, viaInfo.data(), &size), Result::Success);
    EXPECT_EQ(viaInfo.c_str(), url);
}

TEST_F(PortIface, ListsEveryDescriptionLocationAndChecksIndices) {
    open(SimModules::kDevice);
    auto camera = sim_.port(sim_.remote_);
    std::uint32_t count = 0;
    ASSERT_EQ(camera->port().GetNumPortURLs(&count), Result::Success);
    ASSERT_EQ(count, 2u);
    std::string zipped, plain;
    ASSERT_EQ(camera->port().GetPortURL(0, &zipped), Result::Success);
    ASSERT_EQ(camera->port().GetPortURL(1, &plain), Result::Success);
    EXPECT_NE(zipped.find(".zip"), std::string::npos);
    EXPECT_NE(plain.find(".xml"), std::string::npos);

    std::string beyond;
    EXPECT_EQ(camera->port().GetPortURL(count, &beyond), Result::InvalidParameter);
    INFO_DATATYPE type = 0;
    size_t size = 0;
    EXPECT_EQ(camera->port().GetPortURLInfo(count, URL_INFO_URL, &type, nullptr, &size), Result::InvalidParameter);
}

TEST_F(PortIface, LocationListComesFromGCGetPortURLAndItsFailureIsRecorded) {
    open(SimModules::kSystem);
    IPortIface& port = system_->port();
    std::uint32_t count = 0;
    TraceCapture trace;
    sim_.armFault("GCGetPortURL", GC_ERR_IO);
    EXPECT_EQ(port.GetNumPortURLs(&count), Result::LowLevelError);
    EXPECT_EQ(trace.count("TLPort; createURLList; GC_ERR_IO"), 1u);
    // The list is built on a later call; the newer location functions are not asked at all.
    sim_.armFault("GCGetNumPortURLs", GC_ERR_IO);
    sim_.armFault("GCGetPortURLInfo", GC_ERR_IO);
    ASSERT_EQ(port.GetNumPortURLs(&count), Result::Success);
    EXPECT_EQ(count, 1u);
    sim_.armFault("GCGetNumPortURLs", GC_ERR_SUCCESS);
    sim_.armFault("GCGetPortURLInfo", GC_ERR_SUCCESS);
    port.reset();
    EXPECT_EQ(port.GetNumPortURLs(&count), Result::NotInitialized);
}

// A producer that answers GCGetPortURL with GC_ERR_NOT_IMPLEMENTED lists its locations one by one.
TEST_F(PortIface, ProducersWithoutGCGetPortURLListTheirLocationsOneByOne) {
    open(SimModules::kDevice);
    auto camera = sim_.port(sim_.remote_);
    sim_.armFault("GCGetPortURL", GC_ERR_NOT_IMPLEMENTED);
    std::uint32_t count = 0;
    ASSERT_EQ(camera->port().GetNumPortURLs(&count), Result::Success);
    ASSERT_EQ(count, 2u);
    std::string zipped, plain;
    ASSERT_EQ(camera->port().GetPortURL(0, &zipped), Result::Success);
    ASSERT_EQ(camera->port().GetPortURL(1, &plain), Result::Success);
    EXPECT_NE(zipped.find("Corvid2SimCamera.zip"), std::string::npos);
    EXPECT_NE(plain.find(".xml"), std::string::npos);
}

TEST_F(PortIface, StackedAccessReadsAndWritesSeveralRegistersInOneCall) {
    open(SimModules::kSystem);
    IPortIface& port = system_->port();
    std::uint32_t values[2] = {11, 22};
    PORT_REGISTER_STACK_ENTRY writes[] = {{kIncompleteEveryAddress, &values[0], 4}, {0x1050, &values[1], 4}};
    size_t count = 2;
    ASSERT_EQ(port.WritePortStacked(writes, &count), Result::Success);
    EXPECT_EQ(count, 2u);

    std::uint32_t read[4] = {};
    PORT_REGISTER_STACK_ENTRY reads[] = {{kGenTLVersionMajorAddress, &read[0], 4},
                                         {kGenTLVersionMinorAddress, &read[1], 4},
                                         {kIncompleteEveryAddress, &read[2], 4},
                                         {0x1050, &read[3], 4}};
    count = 4;
    ASSERT_EQ(port.ReadPortStacked(reads, &count), Result::Success);
    EXPECT_EQ(count, 4u);
    EXPECT_EQ(read[0], 1u);
    EXPECT_EQ(read[1], 6u);
    EXPECT_EQ(read[2], 11u);
    EXPECT_EQ(read[3], 22u);
}

namespace {
class Portless : public IPortIfacePoly {};
}  // namespace

TEST_F(PortIface, PolyForwardsToTheObjectsPortOrRefusesWithoutOne) {
    open(SimModules::kSystem);
    std::uint32_t value = 0;
    size_t size = sizeof value;
    IPortIfacePoly& poly = *system_;
    ASSERT_EQ(poly.ReadPort(kGenTLVersionMajorAddress, &value, &size), Result::Success);
    EXPECT_EQ(value, 1u);
    std::uint32_t count = 0;
    EXPECT_EQ(poly.GetNumPortURLs(&count), Result::Success);
    EXPECT_EQ(count, 1u);

    Portless portless;
    std::string url;
    INFO_DATATYPE type = 0;
    EXPECT_EQ(portless.ReadPort(0, &value, &size), Result::Error);
    EXPECT_EQ(portless.WritePort(0, &value, &size), Result::Error);
    EXPECT_EQ(portless.GetPortURL(0, &url), Result::Error);
    EXPECT_EQ(portless.GetNumPortURLs(&count), Result::Error);
    EXPECT_EQ(portless.GetPortInfo(PORT_INFO_VENDOR, &type, nullptr, &size), Result::Error);
    EXPECT_EQ(portless.GetPortURLInfo(0, URL_INFO_URL, &type, nullptr, &size), Result::Error);
    EXPECT_EQ(portless.ReadPortStacked(nullptr, &size), Result::Error);
    EXPECT_EQ(portless.WritePortStacked(nullptr, &size), Result::Error);
}

// One port used from several threads: every call is made under the port's lock, the location list
// is built once.
TEST_F(PortIface, ConcurrentCallsOnOnePortAreSerialised) {
    open(SimModules::kDevice);
    auto camera = sim_.port(sim_.remote_);
    constexpr int kRounds = 200;
    auto worker = [&](std::uint64_t address, std::uint32_t expected, int* mismatches) {
        for (int round = 0; round < kRounds; ++round) {
            std::uint32_t count = 0;
            std::string url;
            if (camera->port().GetNumPortURLs(&count) != Result::Success || count != 2) ++*mismatches;
            if (camera->port().GetPortURL(round % 2, &url) != Result::Success || url.empty()) ++*mismatches;
            std::uint32_t value = 0;
            size_t size = sizeof value;
            if (system_->port().ReadPort(address, &value, &size) != Result::Success || value != expected) ++*mismatches;
        }
    };
    int mismatches[2] = {};
    std::thread first(worker, kGenTLVersionMajorAddress, 1u, &mismatches[0]);
    std::thread second(worker, kGenTLVersionMinorAddress, 6u, &mismatches[1]);
    first.join();
    second.join();
    EXPECT_EQ(mismatches[0], 0);
    EXPECT_EQ(mismatches[1], 0);
}
