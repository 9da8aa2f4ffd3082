// SPDX-License-Identifier: BSD-3-Clause
// The guard base on plain holders: registration, identity checks, the three acquisition modes,
// waiting for exclusive holders and for users at unregistration, and concurrent registry use.
#include <gtest/gtest.h>

#include <memory>
#include <new>
#include <thread>
#include <vector>

#include "core/object_guard.h"
#include "fake_widget.h"
#include "support/errors.h"
#include "support/waiting.h"

using namespace corvid2;
using namespace corvid2::test;
using namespace guards_test;
namespace X = CORVID2::Exceptions;

namespace {

struct Holder {
    CorvidObjectAccessControl access_;
    int payload_ = 0;
};

std::atomic<int> recordLookups{0};
Signal* unregisterHook = nullptr;

// Counts every record lookup, so that a test can tell that a competing Acquire is retrying.
struct CountingAccess : RecordMember<Holder> {
    static CorvidObjectAccessControl* recordOf(Holder* holder) {
        recordLookups.fetch_add(1);
        return RecordMember::recordOf(holder);
    }
    static void onUnregistered(Holder*) {
        if (unregisterHook) unregisterHook->raise();
    }
};

using CHolderGuard = CObjectGuard<RegistryKind::BufferData, Holder, CountingAccess>;

AcquireResult tryOnce(CHolderGuard& guard, const void* owner, Holder* holder, AcquireMode mode) {
    std::lock_guard<CRegistryLock> hold(guard.registry().lock());
    return guard.TryAcquire(owner, holder, mode);
}

// One wrapper (its address is the owner key) with its holder.
class GuardTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(CHolderGuard("test::register").Register(&owner_, holder_)); }
    void TearDown() override {
        if (CObjectRegistry& registry = registryOf(RegistryKind::BufferData); registry.isRegistered(holder_))
            CHolderGuard("test::unregister").Unregister(&owner_, &holder_);
        unregisterHook = nullptr;
    }
    std::unique_ptr<Holder> storage_ = std::make_unique<Holder>();
    Holder* holder_ = storage_.get();
    int owner_ = 0;
};

TEST_F(GuardTest, OwnerIsRequiredExactlyForNonRootKinds) {
    EXPECT_FALSE(CHolderGuard("test").Register(nullptr, holder_));
    EXPECT_TRUE(thrownBy<X::ObjectInvalidException>([&] { CHolderGuard("test").Acquire(nullptr, &holder_); }).caught);
    EXPECT_TRUE(thrownBy<X::ObjectInvalidException>([&] { CHolderGuard("t").Unregister(nullptr, &holder_); }).caught);

    FakeWidgetObj internal;
    FakeWidgetObj* slot = &internal;
    EXPECT_FALSE(CFakeWidgetObjGuard("test").Register(&owner_, &internal));
    ASSERT_TRUE(CFakeWidgetObjGuard("test").Register(nullptr, &internal));
    EXPECT_TRUE(
        thrownBy<X::ObjectInvalidException>([&] { CFakeWidgetObjGuard("test").Acquire(&owner_, &slot); }).caught);
    EXPECT_EQ(CFakeWidgetObjGuard("test").Acquire(nullptr, &slot), &internal);
    unregisterInternal(&internal);
}

TEST_F(GuardTest, WrongOwnerUnknownObjectAndNullObjectAreInvalid) {
    int stranger = 0;
    Holder unregistered;
    Holder* unknown = &unregistered;
    Holder* none = nullptr;
    EXPECT_TRUE(thrownBy<X::ObjectInvalidException>([&] { CHolderGuard("t").Acquire(&stranger, &holder_); }).caught);
    EXPECT_TRUE(thrownBy<X::ObjectInvalidException>([&] { CHolderGuard("t").Acquire(&owner_, &unknown); }).caught);
    EXPECT_TRUE(thrownBy<X::ObjectInvalidException>([&] { CHolderGuard("t").Acquire(&owner_, &none); }).caught);
    EXPECT_FALSE(CHolderGuard("t").Register(&owner_, nullptr));

    // A second wrapper registered for another holder does not reach this one.
    int other = 0;
    Holder second;
    ASSERT_TRUE(CHolderGuard("t").Register(&other, &second));
    CHolderGuard guard("t");
    EXPECT_EQ(tryOnce(guard, &other, holder_, AcquireMode::Shared), AcquireResult::Mismatch);
    Holder* secondSlot = &second;
    CHolderGuard("t").Unregister(&other, &secondSlot);
}

TEST(StaleHolder, ReplacedAtTheSameAddressIsInvalid) {
    // Both keys stay registered under the old identity afterwards (only an object carrying that
    // identity can remove them), so they live in storage no other test can be handed.
    static int owner;
    alignas(Holder) static unsigned char storage[sizeof(Holder)];
    Holder* holder = new (storage) Holder;
    ASSERT_TRUE(CHolderGuard("t").Register(&owner, holder));

    // The object behind the wrapper is destroyed and another built in its place, unannounced.
    holder->~Holder();
    new (storage) Holder;
    Thrown thrown =
        thrownBy<X::ObjectInvalidException>([&] { CHolderGuard("CORVID2::Buffer::GetSize").Acquire(&owner, &holder); });
    EXPECT_TRUE(thrown.caught);
    EXPECT_EQ(thrown.description, "Access to an invalid BufferData object.");
    EXPECT_EQ(thrown.function, "CORVID2::Buffer::GetSize");
    Result code = Result::Success;
    EXPECT_EQ(lastErrorText(&code), thrown.description);
    EXPECT_EQ(code, Result::ObjectInvalid);
    EXPECT_TRUE(thrownBy<X::ObjectInvalidException>([&] { CHolderGuard("t").Unregister(&owner, &holder); }).caught);
}

TEST_F(GuardTest, ModesCountUsersAndRefuseWhatConflicts) {
    CorvidObjectAccessControl& record = holder_->access_;
    {
        CHolderGuard reader("t"), other("t");
        EXPECT_EQ(reader.Acquire(&owner_, &holder_), holder_);
        EXPECT_EQ(tryOnce(other, &owner_, holder_, AcquireMode::Shared), AcquireResult::Success);
        EXPECT_EQ(record.useCount_.load(), 2u);
        CHolderGuard writer("t");
        EXPECT_EQ(tryOnce(writer, &owner_, holder_, AcquireMode::Exclusive), AcquireResult::Busy);
    }
    EXPECT_EQ(record.useCount_.load(), 0u);
    {
        CHolderGuard writer("t");
        writer.Acquire(&owner_, &holder_, AcquireMode::Exclusive);
        EXPECT_EQ(record.exclusive_.load(), 1u);
        CHolderGuard reader("t"), counted("t");
        EXPECT_EQ(tryOnce(reader, &owner_, holder_, AcquireMode::Shared), AcquireResult::Busy);
        EXPECT_EQ(tryOnce(counted, &owner_, holder_, AcquireMode::Counted), AcquireResult::Success);
        EXPECT_EQ(record.useCount_.load(), 2u);
        // A counted user leaving does not end the exclusive hold of another guard.
        counted.release();
        EXPECT_EQ(record.exclusive_.load(), 1u);
    }
    EXPECT_EQ(record.useCount_.load(), 0u);
    EXPECT_EQ(record.exclusive_.load(), 0u);

    // Lookup-only proves registration and leaves no trace on the record.
    CHolderGuard lookup("t", true);
    EXPECT_EQ(lookup.Acquire(&owner_, &holder_, AcquireMode::Exclusive), holder_);
    EXPECT_EQ(record.useCount_.load(), 0u);
    EXPECT_EQ(record.exclusive_.load(), 0u);
}

TEST_F(GuardTest, SharedAcquireCompletesWhenTheExclusiveGuardIsDestroyed) {
    Signal held, exclusiveEnding;
    std::thread exclusive([&] {
        CHolderGuard guard("t");
        guard.Acquire(&owner_, &holder_, AcquireMode::Exclusive);
        held.raise();
        exclusiveEnding.wait();
    });
    held.wait();
    const int before = recordLookups.load();
    // Ends the exclusive hold once the reader has been turned away at least once: every try reads
    // the record once, and a successful try would have been the last.
    Signal readerDone;
    std::thread releaser([&] {
        while (recordLookups.load() < before + 2 && !readerDone.raised()) std::this_thread::yield();
        exclusiveEnding.raise();
    });
    {
        CHolderGuard reader("t");
        EXPECT_EQ(reader.Acquire(&owner_, &holder_), holder_);
        EXPECT_TRUE(exclusiveEnding.raised()) << "shared acquisition went past an exclusive holder";
        readerDone.raise();
    }
    exclusive.join();
    releaser.join();
}

TEST_F(GuardTest, UnregisterWaitsUntilTheOtherUsersHaveLeft) {
    Signal userInside, unregistered, userLeaving;
    std::atomic<bool> unregisterReturned{false};
    unregisterHook = &unregistered;
    std::thread user([&] {
        CHolderGuard guard("t");
        guard.Acquire(&owner_, &holder_);
        userInside.raise();
        unregistered.wait();
        EXPECT_FALSE(unregisterReturned.load()) << "Unregister returned while a user was inside";
        userLeaving.raise();
    });
    userInside.wait();
    Holder* removed = CHolderGuard("t").Unregister(&owner_, &holder_);
    unregisterReturned = true;
    EXPECT_TRUE(userLeaving.raised()) << "Unregister returned before the user left";
    EXPECT_EQ(removed, holder_);
    EXPECT_EQ(holder_->access_.useCount_.load(), 0u);
    user.join();
    EXPECT_TRUE(thrownBy<X::ObjectInvalidException>([&] { CHolderGuard("t").Acquire(&owner_, &holder_); }).caught);
}

TEST(InternalGuard, CountsOnItsOwnCounterAndUnregistersWithoutWaiting) {
    FakeWidgetObj internal;
    FakeWidgetObj* slot = &internal;
    registerInternal(&internal);
    {
        CFakeWidgetObjGuard user("t");
        user.Acquire(nullptr, &slot);
        EXPECT_EQ(internal.users_.load(), 1u);
        // Same thread, user still inside: an internal object is never waited for.
        unregisterInternal(&internal);
        EXPECT_EQ(internal.users_.load(), 1u);
    }
    EXPECT_EQ(internal.users_.load(), 0u);
    Thrown thrown = thrownBy<X::ObjectInvalidException>([&] { CFakeWidgetObjGuard("t").Acquire(nullptr, &slot); });
    EXPECT_EQ(thrown.description, "Access to an invalid CDeviceObjPtr object.");
}

// Objects that carry their identity and write lock in their own record but are never counted.
struct Node : CorvidObjectAccessControl {};
using CNodeGuard = CObjectGuard<RegistryKind::GenAPINode, Node, UncountedRecordBase<Node>>;

TEST(UncountedGuard, WriteLockedTwiceIsReleasedByOneCall) {
    Node node;
    Node* slot = &node;
    ASSERT_TRUE(CNodeGuard("t").Register(nullptr, &node));
    CNodeGuard("t", true).ActivateWriteLock(nullptr, &slot);
    CNodeGuard("t", true).ActivateWriteLock(nullptr, &slot);
    EXPECT_EQ(node.writeLockCount_.load(), 2u);

    std::thread other([&] {
        CNodeGuard guard("CORVID2::Node::SetInt", true);
        Node* found = guard.Acquire(nullptr, &slot);
        Thrown thrown = thrownBy<X::AccessDeniedException>([&] { guard.CheckWriteLock(found); });
        EXPECT_EQ(thrown.description, "Access denied to an GenAPINode object.");
        EXPECT_EQ(thrown.function, "CORVID2::Node::SetInt");
    });
    other.join();

    CNodeGuard("t", true).ReleaseWriteLock(nullptr, &slot);
    EXPECT_EQ(node.writeLockCount_.load(), 0u);
    EXPECT_EQ(node.writeLockOwner_.load(), 0u);
    CNodeGuard("t").Unregister(nullptr, &slot);
}

TEST(RegistryConcurrency, LookupsAndAcquisitionsWhileOthersRegisterAndUnregister) {
    Holder stable;
    Holder* stableSlot = &stable;
    int stableOwner = 0;
    ASSERT_TRUE(CHolderGuard("t").Register(&stableOwner, &stable));
    const std::size_t countBefore = registryOf(RegistryKind::BufferData).objectCount();

    constexpr int kRounds = 300;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int churner = 0; churner < 2; ++churner)
        threads.emplace_back([&] {
            // Enough live objects to make the maps grow and rehash under the readers.
            std::vector<std::unique_ptr<Holder>> holders(400);
            for (int round = 0; round < 2; ++round) {
                for (auto& holder : holders) {
                    holder = std::make_unique<Holder>();
                    if (!CHolderGuard("t").Register(holder.get(), holder.get())) failures.fetch_add(1);
                }
                for (auto& holder : holders) {
                    Holder* slot = holder.get();
                    CHolderGuard("t").Unregister(holder.get(), &slot);
                    holder.reset();
                }
            }
        });
    for (int reader = 0; reader < 2; ++reader)
        threads.emplace_back([&, reader] {
            for (int round = 0; round < kRounds; ++round) {
                CHolderGuard lookup("t", true);
                if (lookup.Acquire(&stableOwner, &stableSlot) != &stable) failures.fetch_add(1);
                CHolderGuard user("t");
                const AcquireMode mode = (round + reader) % 3 == 0 ? AcquireMode::Exclusive : AcquireMode::Shared;
                Holder* got = user.Acquire(&stableOwner, &stableSlot, mode);
                if (mode == AcquireMode::Exclusive) ++got->payload_;  // a data race unless exclusive works
            }
        });
    for (auto& thread : threads) thread.join();

    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(stable.access_.useCount_.load(), 0u);
    EXPECT_EQ(registryOf(RegistryKind::BufferData).objectCount(), countBefore);
    CHolderGuard("t").Unregister(&stableOwner, &stableSlot);
}

}  // namespace
