// SPDX-License-Identifier: BSD-3-Clause
// The common shape of a public method, on the fake widget: results, failures as exceptions,
// stale wrappers, and write locks held by one thread against methods called on others.
#include <gtest/gtest.h>

#include <memory>
#include <new>
#include <thread>

#include "core/last_error.h"
#include "fake_widget.h"
#include "support/errors.h"
#include "support/waiting.h"

using namespace corvid2;
using namespace corvid2::test;
using namespace guards_test;
namespace X = CORVID2::Exceptions;

namespace {

class PublicMethodTest : public ::testing::Test {
protected:
    void SetUp() override { registerInternal(&internal_); }
    void TearDown() override {
        widget_.reset();
        unregisterInternal(&internal_);
    }
    // Runs `call` on a thread of its own, as another application thread would.
    template <class Call>
    void onOtherThread(Call&& call) {
        std::thread(std::forward<Call>(call)).join();
    }
    void activateWriteLock() {
        CFakeWidgetGuard("activateWriteLockWidget").ActivateWriteLock(widget_.get(), widget_->dataSlot());
    }
    void releaseWriteLock() {
        CFakeWidgetGuard("releaseWriteLockWidget").ReleaseWriteLock(widget_.get(), widget_->dataSlot());
    }

    FakeWidgetObj internal_;
    std::unique_ptr<FakeWidget> widget_ = std::make_unique<FakeWidget>(&internal_);
};

TEST_F(PublicMethodTest, ResultsFlowAndFailuresBecomeTheirExceptions) {
    widget_->SetValue(41);
    EXPECT_EQ(widget_->GetValue(), 41);
    EXPECT_EQ(internal_.calls_, 2);

    Thrown thrown = thrownBy<X::InvalidParameterException>([&] { widget_->SetValue(-3); });
    EXPECT_TRUE(thrown.caught);
    EXPECT_EQ(thrown.description, "Invalid parameter, value -3");
    EXPECT_EQ(thrown.function, "CORVID2::FakeWidget::SetValue");

    // Every guard of the failed call was released: an exclusive method gets in at once.
    widget_->Reset();
    EXPECT_EQ(widget_->GetValue(), 0);
    EXPECT_EQ(internal_.users_.load(), 0u);
}

TEST_F(PublicMethodTest, WrapperWithoutInternalObjectIsNotOpen) {
    FakeWidget closed(nullptr);
    Thrown thrown = thrownBy<X::NotInitializedException>([&] { closed.GetValue(); });
    EXPECT_EQ(thrown.description, "The widget is not open.");
    EXPECT_EQ(thrown.function, "CORVID2::FakeWidget::GetValue");
}

TEST_F(PublicMethodTest, StaleWrapperIsInvalidAlsoAfterItsHolderAddressIsReused) {
    alignas(FakeWidgetData) static unsigned char storage[sizeof(FakeWidgetData)];
    FakeWidget stale(&internal_, storage);
    stale.destroyBehind();
    const auto expectInvalid = [&] {
        Thrown thrown = thrownBy<X::ObjectInvalidException>([&] { stale.GetValue(); });
        EXPECT_EQ(thrown.description, "Access to an invalid DeviceData object.");
        EXPECT_EQ(thrown.function, "CORVID2::FakeWidget::GetValue");
    };
    expectInvalid();
    {
        FakeWidget successor(&internal_, storage);  // its holder takes the stale holder's address
        expectInvalid();
        EXPECT_EQ(successor.GetValue(), internal_.value_);
    }
    expectInvalid();
}

TEST_F(PublicMethodTest, InternalObjectGoneIsInvalidUnderItsOwnRegistryName) {
    unregisterInternal(&internal_);
    Thrown thrown = thrownBy<X::ObjectInvalidException>([&] { widget_->GetValue(); });
    EXPECT_EQ(thrown.description, "Access to an invalid CDeviceObjPtr object.");
    registerInternal(&internal_);
}

TEST_F(PublicMethodTest, WriteLockRefusesCheckedMethodsOnOtherThreadsOnly) {
    SetLastErrorText(Result::Success, "");
    activateWriteLock();
    onOtherThread([&] {
        Thrown thrown = thrownBy<X::AccessDeniedException>([&] { widget_->SetValue(7); });
        EXPECT_EQ(thrown.description, "Access denied to an DeviceData object.");
        EXPECT_EQ(thrown.function, "CORVID2::FakeWidget::SetValue");
        EXPECT_TRUE(thrownBy<X::AccessDeniedException>([&] { widget_->Reset(); }).caught);
        EXPECT_EQ(widget_->GetValue(), 0) << "a method that does not check was refused";
    });
    Result code = Result::Success;
    lastErrorText(&code);
    EXPECT_EQ(code, Result::Success) << "the other thread's failure leaked into this thread's last error";
    widget_->SetValue(5);  // the lock holder itself proceeds
    EXPECT_EQ(widget_->GetValue(), 5);

    releaseWriteLock();
    onOtherThread([&] { widget_->SetValue(6); });
    EXPECT_EQ(widget_->GetValue(), 6);
}

TEST_F(PublicMethodTest, ActivatingAWriteLockTwiceIsInvalid) {
    // A lookup-only guard locks as well as any other.
    CFakeWidgetGuard("activateWriteLockWidget", true).ActivateWriteLock(widget_.get(), widget_->dataSlot());
    Thrown thrown = thrownBy<X::ObjectInvalidException>([&] { activateWriteLock(); });
    EXPECT_EQ(thrown.description, "Access to an invalid DeviceData object.");
    onOtherThread([&] { EXPECT_TRUE(thrownBy<X::ObjectInvalidException>([&] { activateWriteLock(); }).caught); });
    releaseWriteLock();
    activateWriteLock();
    releaseWriteLock();
    widget_->SetValue(1);
}

TEST_F(PublicMethodTest, DestroyingAStaleWrapperCompletes) {
    widget_->destroyBehind();
    // The destructor meets an invalid object, traces a warning and completes.
    EXPECT_NO_THROW(widget_.reset());
    Result code = Result::Success;
    lastErrorText(&code);
    EXPECT_EQ(code, Result::ObjectInvalid);
}

}  // namespace
