// SPDX-License-Identifier: BSD-3-Clause
#include "event_fixture.h"

#include <cstring>

#include "gentl/gentl_producer.h"

namespace corvid2::test {

void EventTest::SetUp() {
    OpenSystemTest::SetUp();
    interface_ = openInterface("SimGEV0");
    interfaceModule_ = objectOf(interface_);
    ASSERT_NE(interfaceModule_, nullptr);
}

void DeviceEventTest::SetUp() {
    EventTest::SetUp();
    if (HasFatalFailure()) return;
    interface_->GetDevices()->Refresh(kRefreshMs);
    device_ = (*interface_->GetDevices())["SimMono0"];
    device_->Open();
    module_ = objectOf(device_);
    ASSERT_NE(module_, nullptr);
}

void DeviceEventTest::TearDown() {
    if (acquiring_) stopAcquisition();
    if (module_ != nullptr) {
        module_->unregisterEvent(GenTL::EVENT_REMOTE_DEVICE, true);
        if (module_->isEventRegistered(GenTL::EVENT_REMOTE_DEVICE))
            module_->unregisterEvent(GenTL::EVENT_REMOTE_DEVICE, false);
    }
    // The streams close with the device; the Buffers outlive them.
    if (device_ != nullptr && device_->IsOpen()) device_->Close();
    buffers_.clear();
}

void DeviceEventTest::notifyFrameStart(bool on) {
    device_->GetRemoteNode("EventSelector")->SetString("FrameStart");
    device_->GetRemoteNode("EventNotification")->SetString(on ? "On" : "Off");
}

void DeviceEventTest::startAcquisition(std::size_t buffers) {
    CORVID2::DataStreamList* streams = device_->GetDataStreams();
    ASSERT_GE(streams->size(), 1u);
    stream_ = (*streams)[std::size_t{0}];
    stream_->Open();
    for (std::size_t index = 0; index < buffers; ++index) {
        buffers_.push_back(std::make_unique<CORVID2::Buffer>());
        stream_->GetBufferList()->Add(buffers_.back().get());
        buffers_.back()->QueueBuffer();
    }
    stream_->StartAcquisitionContinuous();
    device_->GetRemoteNode("AcquisitionStart")->Execute();
    acquiring_ = true;
}

void DeviceEventTest::stopAcquisition() {
    acquiring_ = false;
    device_->GetRemoteNode("AcquisitionStop")->Execute();
    stream_->StopAcquisition();
}

std::size_t DeviceEventTest::pendingAtProducer() {
    GenTL::INFO_DATATYPE type = 0;
    size_t pending = 0;
    size_t size = sizeof pending;
    if (module_->getProducer()->EventGetInfo(module_->getEventHandle(), GenTL::EVENT_NUM_IN_QUEUE, &type, &pending,
                                             &size) != GenTL::GC_ERR_SUCCESS)
        return 0;
    return pending;
}

std::uint64_t DeviceEventTest::frameIdOf(const CEventData& event) {
    std::uint64_t frameId = 0;
    if (event.valueSize() >= 16) std::memcpy(&frameId, event.valuePointer() + 8, sizeof frameId);
    return frameId;
}

}  // namespace corvid2::test
