// SPDX-License-Identifier: BSD-3-Clause
// Polling fetches from the producer: a camera event with its ID and value, the refusals of the
// registration, and what each failure of the producer's event calls reports.
#include <gtest/gtest.h>

#include "event_fixture.h"
#include "support/errors.h"

using namespace corvid2;
using namespace corvid2::test;
using GenTL::EVENT_MODULE;
using GenTL::EVENT_REMOTE_DEVICE;

TEST_F(DeviceEventTest, PollingFetchReturnsTheCameraEventWithItsIdAndValue) {
    ASSERT_EQ(module_->registerEvent(EVENT_REMOTE_DEVICE, 1, false), Result::Success);
    EXPECT_FALSE(module_->internalEventActive());
    CEventObj fetch;
    // Nothing switched on yet: the camera raises no event.
    EXPECT_EQ(fetch.GetEvent(module_, 0, nullptr), Result::Timeout);
    EXPECT_TRUE(fetch.id().empty());

    notifyFrameStart(true);
    startAcquisition();
    CEventObj target;
    ASSERT_EQ(fetch.GetEvent(module_, kPatienceMs, &target), Result::Success);
    EXPECT_EQ(fetch.id(), kFrameStartId);
    ASSERT_EQ(fetch.valueSize(), kFrameStartValueSize);
    ASSERT_NE(fetch.valuePointer(), nullptr);
    // The public event object given to the fetch receives the same event.
    EXPECT_EQ(target.id(), kFrameStartId);
    EXPECT_EQ(target.value(), fetch.value());

    const std::uint64_t firstFrame = frameIdOf(fetch);
    ASSERT_EQ(fetch.GetEvent(module_, kPatienceMs, nullptr), Result::Success);
    EXPECT_EQ(fetch.id(), kFrameStartId);
    EXPECT_GT(frameIdOf(fetch), firstFrame);
    // The target keeps the event last handed to it.
    EXPECT_EQ(frameIdOf(target), firstFrame);

    fetch.clear();
    EXPECT_TRUE(fetch.id().empty());
    EXPECT_EQ(fetch.valueSize(), 0u);
    EXPECT_EQ(fetch.valuePointer(), nullptr);
}

TEST_F(DeviceEventTest, RegistrationRefusalsNameTheirReason) {
    EXPECT_EQ(module_->registerEvent(EVENT_MODULE, 1, true), Result::Error);
    EXPECT_EQ(lastErrorText(), "use internal event only with GenTL::EVENT_REMOTE_DEVICE");
    EXPECT_FALSE(module_->isEventRegistered(EVENT_MODULE));
    for (const std::int32_t mode : {0, 3, -1}) {
        EXPECT_EQ(module_->registerEvent(EVENT_REMOTE_DEVICE, mode, false), Result::Error) << mode;
        EXPECT_EQ(lastErrorText(), "invalid eventmode") << mode;
        EXPECT_EQ(module_->registerEvent(EVENT_REMOTE_DEVICE, mode, true), Result::Error) << mode;
        EXPECT_EQ(lastErrorText(), "invalid eventmode") << mode;
    }
    EXPECT_FALSE(module_->isEventRegistered(EVENT_REMOTE_DEVICE));
    EXPECT_FALSE(module_->internalEventActive());
}

TEST_F(EventTest, FailedEventGetDataReportsTheProducersAnswer) {
    CEventObj fetch;
    EXPECT_EQ(fetch.GetEvent(nullptr, 0, nullptr), Result::Error);
    EXPECT_EQ(lastErrorText(), "GenTLModule handle not valid");
    EXPECT_EQ(fetch.getCurrentEventIntern(interfaceModule_, 0), Result::Error);
    EXPECT_EQ(lastErrorText(), "Event buffer size is 0");

    ASSERT_EQ(interfaceModule_->registerEvent(EVENT_MODULE, 1, false), Result::Success);
    armFault("EventGetData", GenTL::GC_ERR_INVALID_HANDLE);
    EXPECT_EQ(fetch.GetEvent(interfaceModule_, 0, nullptr), Result::LowLevelError);
    EXPECT_EQ(lastErrorText(), "EventGetData GC_ERR_INVALID_HANDLE; consider to re-initialize Event transfer");

    armFault("EventGetData", GenTL::GC_ERR_IO);
    EXPECT_EQ(fetch.GetEvent(interfaceModule_, 0, nullptr), Result::LowLevelError);
    const std::string ioFailure = lastErrorText();
    EXPECT_EQ(ioFailure.rfind("EventGetData failed: GC_ERR_IO - ", 0), 0u) << ioFailure;
    EXPECT_NE(ioFailure.find("injected fault in EventGetData"), std::string::npos) << ioFailure;

    // Timeout and abort are outcomes of a wait, not failures: they leave the last error alone.
    EXPECT_EQ(fetch.GetEvent(interfaceModule_, 0, nullptr), Result::Timeout);
    armFault("EventGetData", GenTL::GC_ERR_ABORT);
    EXPECT_EQ(fetch.GetEvent(interfaceModule_, 0, nullptr), Result::Abort);
    EXPECT_EQ(lastErrorText(), ioFailure);
    EXPECT_EQ(interfaceModule_->unregisterEvent(EVENT_MODULE, false), Result::Success);
}

TEST_F(DeviceEventTest, FailedEventGetDataInfoEndsTheFetch) {
    ASSERT_EQ(module_->registerEvent(EVENT_REMOTE_DEVICE, 1, false), Result::Success);
    notifyFrameStart(true);
    startAcquisition();
    ASSERT_TRUE(eventually([&] { return pendingAtProducer() > 0; }));

    armFault("EventGetDataInfo", GenTL::GC_ERR_IO);
    CEventObj fetch;
    EXPECT_EQ(fetch.GetEvent(module_, kPatienceMs, nullptr), Result::LowLevelError);
    const std::string failure = lastErrorText();
    EXPECT_EQ(failure.rfind("EventGetDataInfo DATA_ID (size) failed: GC_ERR_IO - ", 0), 0u) << failure;
    EXPECT_NE(failure.find("injected fault in EventGetDataInfo"), std::string::npos) << failure;
    EXPECT_TRUE(fetch.id().empty());
    // The next event comes whole.
    ASSERT_EQ(fetch.GetEvent(module_, kPatienceMs, nullptr), Result::Success);
    EXPECT_EQ(fetch.id(), kFrameStartId);
}
