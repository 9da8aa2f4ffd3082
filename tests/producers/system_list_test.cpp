// SPDX-License-Identifier: BSD-3-Clause
// The public SystemList and System: identity across refreshes, the single instance, stand-alone
// systems and the search-path variable.
#include <corvid2_genicam.h>
#include <corvid2_genicam_c.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "modules/consumer_base.h"
#include "support/errors.h"
#include "support/sim_producer.h"
#include "support/trace_capture.h"

using namespace corvid2::test;
using CORVID2::System;
using CORVID2::SystemList;
namespace X = CORVID2::Exceptions;

namespace {

class SystemListTest : public ::testing::Test {
protected:
    void TearDown() override { SystemList::ReleaseInstance(); }
    ProducerFolder folder_;
};

}  // namespace

TEST_F(SystemListTest, RefreshKeepsEverySystemAndLoadsNothingTwice) {
    folder_.add(simFile(), "b.cti", "CORVID2_SIM_SYSTEM_ID=sim_b\n");
    folder_.add(simFile(), "a.cti", "CORVID2_SIM_SYSTEM_ID=sim_a\n");
    corvid2::platform::ScopedEnv path(corvid2::CConsumerBase::kSearchPathVariable, folder_.path().string());
    SystemList* list = SystemList::GetInstance();
    EXPECT_EQ(SystemList::GetInstance(), list);
    list->Refresh();
    ASSERT_EQ(list->size(), 2u);
    std::vector<System*> before(list->begin(), list->end());
    EXPECT_EQ(before[0]->GetID(), "sim_a");
    EXPECT_EQ(before[1]->GetID(), "sim_b");
    EXPECT_EQ((*list)["sim_b"], before[1]);
    EXPECT_EQ((*list)[1], before[1]);
    EXPECT_EQ(*list->find("sim_a"), before[0]);
    EXPECT_TRUE(list->find("sim_c") == list->end());

    TraceCapture trace;
    list->Refresh();
    std::vector<System*> after(list->begin(), list->end());
    EXPECT_EQ(after, before);
    EXPECT_EQ(trace.count(" loaded"), 0u);

    EXPECT_EQ(exceptionText([&] { (*list)["sim_c"]; }), "InvalidParameterException: The ID sim_c is not in list.");
    EXPECT_EQ(exceptionText([&] { (*list)[2]; }), "InvalidParameterException: The index 2 is not in list.");
}

TEST_F(SystemListTest, SystemWhoseProducerVanishedLeavesOnceClosed) {
    ProducerFolder second;
    folder_.add(simFile(), "a.cti", "CORVID2_SIM_SYSTEM_ID=sim_a\n");
    second.add(simFile(), "b.cti", "CORVID2_SIM_SYSTEM_ID=sim_b\n");
    const auto deleted = folder_.add(simFile(), "c.cti", "CORVID2_SIM_SYSTEM_ID=sim_c\n");
    const auto ids = [](SystemList& list) {
        std::vector<std::string> result;
        for (System* system : list) result.push_back(system->GetID().get());
        return result;
    };
    auto path = std::make_unique<corvid2::platform::ScopedEnv>(corvid2::CConsumerBase::kSearchPathVariable,
                                                               folder_.path().string() + ":" + second.path().string());
    SystemList* list = SystemList::GetInstance();
    list->Refresh();
    ASSERT_EQ(ids(*list), (std::vector<std::string>{"sim_a", "sim_b", "sim_c"}));
    System* kept = (*list)["sim_a"];
    System* open = (*list)["sim_b"];
    System* closed = (*list)["sim_c"];
    open->Open();

    // The second folder leaves the search path and c's file is deleted: the closed System goes at
    // once, the open one stays until it is closed and the list refreshed again.
    path.reset();  // restores the variable first, so that the new value is not undone
    path = std::make_unique<corvid2::platform::ScopedEnv>(corvid2::CConsumerBase::kSearchPathVariable,
                                                          folder_.path().string());
    fs::remove(deleted);
    list->Refresh();
    EXPECT_EQ(ids(*list), (std::vector<std::string>{"sim_a", "sim_b"}));
    EXPECT_THROW(closed->GetID(), X::ObjectInvalidException);
    EXPECT_EQ(open->GetNode("GenTLVersionMajor")->GetInt(), 1);
    list->Refresh();
    EXPECT_EQ(ids(*list), (std::vector<std::string>{"sim_a", "sim_b"}));

    open->Close();
    list->Refresh();
    EXPECT_EQ(ids(*list), (std::vector<std::string>{"sim_a"}));
    EXPECT_THROW(open->GetID(), X::ObjectInvalidException);
    EXPECT_EQ((*list)[std::size_t{0}], kept);
}

TEST_F(SystemListTest, ReservedRecordStartsWithTheHandleTheCInterfaceHandsOut) {
    folder_.add(simFile(), "b.cti", "CORVID2_SIM_SYSTEM_ID=sim_b\n");
    folder_.add(simFile(), "a.cti", "CORVID2_SIM_SYSTEM_ID=sim_a\n");
    corvid2::platform::ScopedEnv path(corvid2::CConsumerBase::kSearchPathVariable, folder_.path().string());
    SystemList* list = SystemList::GetInstance();
    list->Refresh();
    ASSERT_EQ(list->size(), 2u);
    std::uint32_t count = 0;
    ASSERT_EQ(CORVID2_GetNumSystems(&count), CORVID2_RESULT_SUCCESS);
    ASSERT_EQ(count, 2u);
    for (std::uint32_t index = 0; index < count; ++index) {
        CORVID2_System handle = nullptr;
        ASSERT_EQ(CORVID2_GetSystem(index, &handle), CORVID2_RESULT_SUCCESS);
        ASSERT_NE(handle, nullptr);
        EXPECT_EQ(static_cast<void**>((*list)[index]->GetReserved())[0], handle) << index;
    }
}

TEST_F(SystemListTest, OneInstanceAndTheVariableRestoredOnRelease) {
    const auto startup = corvid2::CConsumerBase::instance().startupSearchPath();
    const bool hadStartup = corvid2::CConsumerBase::instance().hadStartupSearchPath();
    folder_.add(simFile(), "only.cti");
    SystemList* list = SystemList::CreateInstanceFromPath(folder_.path().string().c_str());
    EXPECT_EQ(exceptionText([&] { SystemList::CreateInstanceFromPath("/tmp"); }),
              "ResourceInUseException: System List is already instantiated. Please use ReleaseInstance() first.");
    EXPECT_EQ(SystemList::GetInstance(), list);
    EXPECT_EQ(corvid2::platform::getEnv(corvid2::CConsumerBase::kSearchPathVariable), folder_.path().string());
    list->Refresh();
    EXPECT_EQ(list->size(), 1u);

    SystemList::ReleaseInstance();
    const auto now = corvid2::platform::getEnv(corvid2::CConsumerBase::kSearchPathVariable);
    EXPECT_EQ(now.has_value(), hadStartup);
    if (hadStartup) {
        EXPECT_EQ(*now, startup);
    }
    SystemList::ReleaseInstance();  // a second release has nothing left to do
}

TEST_F(SystemListTest, StandAloneSystemAddedSortsAfterFoundOnes) {
    folder_.add(simFile(), "found.cti", "CORVID2_SIM_INTERFACES=GEV:mono\n");
    const auto lone = folder_.add(simFile(), "lone/lone.cti", "CORVID2_SIM_INTERFACES=U3V:mono\n");
    SystemList* list = SystemList::CreateInstanceFromPath(folder_.path().string().c_str());
    list->Refresh();
    ASSERT_EQ(list->size(), 1u);

    EXPECT_EQ(exceptionText([] { System missing("/nowhere/none.cti"); }).rfind("InvalidParameterException: ", 0), 0u);
    auto* system = new System(lone.string().c_str());
    EXPECT_EQ(system->GetID(), "corvid2_sim");
    EXPECT_NE(system->GetReserved(), nullptr);
    list->Add(system);
    ASSERT_EQ(list->size(), 2u);
    EXPECT_EQ((*list)[1], system);  // origin "added" sorts after "found" for the same vendor
    EXPECT_EQ(exceptionText([&] { list->Add(system); }), "InvalidParameterException: System already in SystemList");
    EXPECT_EQ(exceptionText([&] { list->Add(nullptr); }), "InvalidParameterException: System is NULL");

    delete system;  // takes itself out of the list and unloads its producer
    EXPECT_EQ(list->size(), 1u);
    auto* again = new System(lone.string().c_str());  // the file is free again
    delete again;
}
