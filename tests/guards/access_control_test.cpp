// SPDX-License-Identifier: BSD-3-Clause
// Identities of guarded objects and the registries the consumer context builds.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <map>
#include <random>
#include <set>
#include <thread>
#include <vector>

#include "core/access_control.h"
#include "core/object_registry.h"

using namespace corvid2;

TEST(ObjectIdentity, DistinctAndNeverZeroAcrossTheCounterWrap) {
    constexpr ObjectIdentity kMax = std::numeric_limits<ObjectIdentity>::max();
    testing_hooks::setObjectIdentityCounter(kMax - 40);

    // Four threads draw across the wrap at the same time.
    std::vector<std::vector<ObjectIdentity>> drawn(4);
    std::vector<std::thread> threads;
    for (auto& mine : drawn)
        threads.emplace_back([&mine] {
            for (int i = 0; i < 30; ++i) mine.push_back(CorvidObjectAccessControl().identity());
        });
    for (auto& thread : threads) thread.join();

    std::set<ObjectIdentity> all;
    for (const auto& mine : drawn) all.insert(mine.begin(), mine.end());
    EXPECT_EQ(all.size(), 120u) << "an identity was handed out twice";
    EXPECT_EQ(all.count(kNoIdentity), 0u);
    EXPECT_EQ(all.count(kMax), 1u);
    EXPECT_EQ(all.count(1), 1u) << "the counter did not restart at 1 after skipping 0";
    // Past every identity handed out before the wrap, so that no later test meets a repeat.
    testing_hooks::setObjectIdentityCounter(ObjectIdentity{1} << 40);
}

TEST(ObjectIdentity, ACopyIsAnotherInstance) {
    CorvidObjectAccessControl original;
    original.writeLockCount_ = 1;
    original.useCount_ = 2;
    CorvidObjectAccessControl copy(original);
    EXPECT_NE(copy.identity(), original.identity());
    EXPECT_EQ(copy.writeLockCount_.load(), 0u);
    EXPECT_EQ(copy.useCount_.load(), 0u);

    const ObjectIdentity before = copy.identity();
    copy = original;
    EXPECT_EQ(copy.identity(), before);
}

TEST(Registries, EveryKindHasItsOwnRegistryAndOnlyInternalKindsAreRoot) {
    std::set<const CObjectRegistry*> seen;
    std::set<std::string> roots;
    for (std::size_t index = 0; index < kRegistryCount; ++index) {
        CObjectRegistry& registry = registryOf(static_cast<RegistryKind>(index));
        EXPECT_TRUE(seen.insert(&registry).second);
        EXPECT_STREQ(registry.name(), kRegistryDescriptions[index].name);
        if (registry.isRoot()) roots.insert(registry.name());
    }
    EXPECT_EQ(kRegistryCount, 23u);
    EXPECT_EQ(roots, (std::set<std::string>{"GenAPINode", "CDeviceObjPtr", "DataStreamObjPtr"}));
    EXPECT_STREQ(registryOf(RegistryKind::DeviceData).name(), "DeviceData");
    EXPECT_STREQ(registryOf(RegistryKind::BrightnessAuto).name(), "BrightnessAuto");
}

TEST(PointerMap, AgreesWithAnOrderedMapThroughGrowthAndErasure) {
    // Addresses of one array: neighbours collide in the low bits the way heap objects do.
    static long cells[3000];
    CPointerMap map;
    std::map<const void*, ObjectIdentity> model;
    std::mt19937 random(7);
    for (int step = 0; step < 20000; ++step) {
        const void* key = &cells[random() % 3000];
        if (random() % 3 == 0) {
            map.erase(key);
            model.erase(key);
        } else {
            map.insert(key, step + 1);
            model.emplace(key, step + 1);  // a present key keeps its first value in both
        }
    }
    ASSERT_EQ(map.size(), model.size());
    for (const long& cell : cells) {
        const ObjectIdentity* found = map.find(&cell);
        auto expected = model.find(&cell);
        ASSERT_EQ(found != nullptr, expected != model.end());
        if (found) {
            EXPECT_EQ(*found, expected->second);
        }
    }
    EXPECT_EQ(map.find(nullptr), nullptr);
}
