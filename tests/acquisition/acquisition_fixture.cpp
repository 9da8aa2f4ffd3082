// SPDX-License-Identifier: BSD-3-Clause
#include "acquisition_fixture.h"

namespace corvid2::test {

void AcquisitionTest::SetUp() {
    OpenSystemTest::SetUp();
    CORVID2::Interface* iface = openInterface("SimGEV0");
    iface->GetDevices()->Refresh(kRefreshMs);
    device_ = (*iface->GetDevices())["SimMono0"];
    device_->Open();
    CORVID2::DataStreamList* streams = device_->GetDataStreams();
    ASSERT_GE(streams->size(), 1u);
    stream_ = (*streams)[std::size_t{0}];
    stream_->Open();
    buffers_ = stream_->GetBufferList();
    eventWaits();
}

void AcquisitionTest::TearDown() {
    // The streams close with the device; the Buffers outlive them.
    if (device_ != nullptr && device_->IsOpen()) device_->Close();
    owned_.clear();
}

void AcquisitionTest::startContinuous() {
    stream_->StartAcquisitionContinuous();
    device_->GetRemoteNode("AcquisitionStart")->Execute();
}

void AcquisitionTest::stop() {
    device_->GetRemoteNode("AcquisitionStop")->Execute();
    stream_->StopAcquisition();
}

std::vector<CORVID2::Buffer*> AcquisitionTest::addProducerBuffers(std::size_t count) {
    std::vector<CORVID2::Buffer*> added;
    for (std::size_t index = 0; index < count; ++index) added.push_back(own(new CORVID2::Buffer()));
    return added;
}

CORVID2::Buffer* AcquisitionTest::own(CORVID2::Buffer* buffer, bool queue) {
    owned_.emplace_back(buffer);
    buffers_->Add(buffer);
    if (queue) buffer->QueueBuffer();
    return buffer;
}

void AcquisitionTest::setCamera(const char* feature, std::int64_t value) {
    device_->GetRemoteNode(feature)->SetInt(value);
}

void AcquisitionTest::setCamera(const char* feature, const char* entry) {
    device_->GetRemoteNode(feature)->SetString(entry);
}

void AcquisitionTest::setSimulator(const char* feature, std::int64_t value) {
    genapi::CIntegerPtr node = producer().nodeMap()->GetNode(feature);
    ASSERT_TRUE(node.IsValid()) << feature;
    node->SetValue(value);
}

std::string AcquisitionTest::eventWaits() {
    genapi::CStringPtr log = producer().nodeMap()->GetNode("SimEventWaitLog");
    const std::string text = log->GetValue().c_str();
    log->SetValue("");
    return text;
}

}  // namespace corvid2::test
