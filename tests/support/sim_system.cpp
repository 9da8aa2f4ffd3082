// SPDX-License-Identifier: BSD-3-Clause
// A System on a copy of the simulator and the internal objects behind the public wrappers.
#include "support/sim_system.h"

#include "modules/device_data.h"
#include "modules/interface_data.h"
#include "modules/system_data.h"

namespace corvid2::test {

std::unique_ptr<CORVID2::System> simSystem(ProducerFolder& folder, const std::string& settings) {
    return std::make_unique<CORVID2::System>(folder.add(simFile(), "sim.cti", settings).string().c_str());
}

CProducerObj& producerOf(CORVID2::System& system) {
    return *static_cast<CORVID2::Internal::SystemData*>(system.GetReserved())->producer_;
}

CInterfaceObj* objectOf(CORVID2::Interface* iface) {
    return static_cast<CORVID2::Internal::InterfaceData*>(iface->GetReserved())->interface_;
}

CDeviceObj* objectOf(CORVID2::Device* device) {
    return static_cast<CORVID2::Internal::DeviceData*>(device->GetReserved())->device_;
}

void OpenSystemTest::open(const std::string& settings) {
    system_ = simSystem(folder_, settings);
    system_->Open();
    interfaces_ = system_->GetInterfaces();
    interfaces_->Refresh(kRefreshMs);
}

void OpenSystemTest::simulate(const char* feature, const std::string& value) {
    genapi::CStringPtr node = producer().nodeMap()->GetNode(feature);
    ASSERT_TRUE(node.IsValid()) << feature;
    node->SetValue(value.c_str());
}

void OpenSystemTest::armFault(const char* function, GenTL::GC_ERROR code, std::int64_t count) {
    genapi::INodeMap* map = producer().nodeMap();
    genapi::CStringPtr(map->GetNode("SimFaultFunction"))->SetValue(function);
    genapi::CIntegerPtr(map->GetNode("SimFaultCode"))->SetValue(code);
    genapi::CIntegerPtr(map->GetNode("SimFaultCount"))->SetValue(count);
    genapi::CCommandPtr(map->GetNode("SimFaultArm"))->Execute();
}

CORVID2::Interface* OpenSystemTest::openInterface(const char* id) {
    CORVID2::Interface* iface = (*interfaces_)[id];
    iface->Open();
    return iface;
}

}  // namespace corvid2::test
