// SPDX-License-Identifier: BSD-3-Clause
// The producer search: folders, file names, probing, the key order and loading by index or path.
#include <gtest/gtest.h>

#include "corvid2_genicam_c.h"
#include "modules/consumer_base.h"
#include "modules/producerobj.h"
#include "support/errors.h"
#include "support/sim_producer.h"
#include "support/trace_capture.h"

using namespace corvid2;
using namespace corvid2::test;

namespace {

// A producer list that searches only the folders of the variable, as set here.
class Discovery : public ::testing::Test {
protected:
    void SetUp() override { list().setPathMode(true); }
    void TearDown() override { list().destroyAll(false); }
    static CProducerList& list() { return CConsumerBase::instance().producers(); }
    void searchOnly(const std::string& value) {
        env_.reset();  // the old setting must be undone before the new one is made
        env_ = std::make_unique<platform::ScopedEnv>(CConsumerBase::kSearchPathVariable, value);
    }
    ProducerFolder folder_;
    std::unique_ptr<platform::ScopedEnv> env_;
};

}  // namespace

TEST(ProducerKey, OrdersByVendorOriginTypeAndId) {
    const auto own = CProducerKey::make(true, CProducerKey::kOriginSearch, "GEV", "z");
    const auto foreign = CProducerKey::make(false, CProducerKey::kOriginSearch, "U3V", "a");
    EXPECT_TRUE(own < foreign);
    const auto added = CProducerKey::make(true, CProducerKey::kOriginAdded, "U3V", "a");
    EXPECT_TRUE(own < added);
    EXPECT_TRUE(added < foreign);
    EXPECT_EQ(CProducerKey::rankOfTLType("U3V"), 0);
    EXPECT_EQ(CProducerKey::rankOfTLType("GEV"), 1);
    EXPECT_EQ(CProducerKey::rankOfTLType("CL"), 2);
    EXPECT_EQ(CProducerKey::rankOfTLType("Custom"), 3);
    EXPECT_EQ(CProducerKey::rankOfTLType("gev"), 4);
    EXPECT_EQ(CProducerKey::rankOfTLType("Mixed"), 4);
    EXPECT_TRUE(CProducerKey::make(false, 2, "GEV", "ab") < CProducerKey::make(false, 2, "GEV", "abc"));
    EXPECT_FALSE(CProducerKey::make(false, 2, "GEV", "abc") < CProducerKey::make(false, 2, "GEV", "ab"));
}

TEST_F(Discovery, OwnVendorFirstThenTypeRankThenId) {
    folder_.add(simFile(), "foreign_u3v.cti", "CORVID2_SIM_VENDOR=Other\nCORVID2_SIM_INTERFACES=U3V:mono\n");
    folder_.add(simFile(), "own_gev.cti", "CORVID2_SIM_VENDOR=Velmor\nCORVID2_SIM_INTERFACES=GEV:mono\n");
    folder_.add(simFile(), "own_u3v_b.cti", "CORVID2_SIM_INTERFACES=U3V:mono\nCORVID2_SIM_SYSTEM_ID=sim_b\n");
    folder_.add(simFile(), "own_u3v_a.cti", "CORVID2_SIM_INTERFACES=U3V:mono\nCORVID2_SIM_SYSTEM_ID=sim_a\n");
    searchOnly(folder_.path().string());
    ASSERT_EQ(list().UpdateTLProducerList(), Result::Success);
    ASSERT_EQ(list().size(), 4u);
    std::vector<std::string> order;
    for (std::size_t i = 0; i < list().size(); ++i) order.push_back(list().at(i)->path().filename().string());
    EXPECT_EQ(order, (std::vector<std::string>{"own_u3v_a.cti", "own_u3v_b.cti", "own_gev.cti", "foreign_u3v.cti"}));
}

TEST_F(Discovery, FoldersAreSearchedOnceAndOnlyForExactProducerFiles) {
    folder_.add(simFile(), "found.cti");
    folder_.add(simFile(), "upper.CTI");
    folder_.add(simFile(), "nested/deeper.cti");
    folder_.write("junk.cti", "not a library");
    folder_.add(simVariant("corvid2_sim_no_read_port_stacked"), "lacking.cti");

    const auto relative = std::filesystem::relative(folder_.path(), std::filesystem::current_path());
    searchOnly(folder_.path().string() + ";" + relative.string() + ":" + (folder_.path() / "missing").string() + ";;" +
               folder_.path().string() + "/");
    const auto folders = list().searchFolders();
    ASSERT_EQ(folders.size(), 2u);
    EXPECT_EQ(folders[0], folder_.path());

    TraceCapture trace;
    ASSERT_EQ(list().UpdateTLProducerList(), Result::Success);
    ASSERT_EQ(list().size(), 1u);
    EXPECT_EQ(list().at(0)->path().filename(), "found.cti");
    EXPECT_EQ(trace.count("UpdateTLProducerList; search path " + folder_.path().string()), 1u);
    EXPECT_EQ(trace.count("Load failed for Producer " + (folder_.path() / "junk.cti").string()), 1u);
    EXPECT_EQ(trace.count("Load failed for Producer " + (folder_.path() / "lacking.cti").string() + " with: "), 1u);
    EXPECT_EQ(trace.count("Number of TLProducer 1"), 1u);
}

TEST_F(Discovery, EmptyPathListFindsNothingAndSaysSo) {
    folder_.add(simFile(), "found.cti");
    searchOnly(folder_.path().string());
    ASSERT_EQ(list().UpdateTLProducerList(), Result::Success);
    ASSERT_EQ(list().size(), 1u);

    searchOnly(";;");
    TraceCapture trace;
    EXPECT_EQ(list().UpdateTLProducerList(), Result::Success);
    EXPECT_EQ(list().size(), 0u);
    EXPECT_EQ(trace.count("base; UpdateTLProducerList; Empty path list"), 1u);
}

TEST_F(Discovery, SecondSearchKeepsKnownProducersWithoutProbingAgain) {
    folder_.add(simFile(), "first.cti");
    searchOnly(folder_.path().string());
    ASSERT_EQ(list().UpdateTLProducerList(), Result::Success);
    CProducerKey keyBefore;
    CProducerObj* before = list().at(0, &keyBefore);
    ASSERT_NE(before, nullptr);

    folder_.add(simFile(), "second.cti", "CORVID2_SIM_SYSTEM_ID=second\n");
    TraceCapture trace;
    ASSERT_EQ(list().UpdateTLProducerList(), Result::Success);
    ASSERT_EQ(list().size(), 2u);
    EXPECT_EQ(trace.count("Producer " + (folder_.path() / "first.cti").string() + " loaded"), 0u);
    EXPECT_EQ(trace.count("Producer " + (folder_.path() / "second.cti").string() + " loaded"), 1u);
    CProducerKey keyAfter;
    const auto index = list().indexOf(before);
    ASSERT_GE(index, 0);
    EXPECT_EQ(list().at(static_cast<std::size_t>(index), &keyAfter), before);
    EXPECT_TRUE(keyAfter == keyBefore);
}

TEST_F(Discovery, LoadingByIndexReportsEveryOutcome) {
    folder_.add(simFile(), "one.cti");
    searchOnly(folder_.path().string());
    ASSERT_EQ(list().UpdateTLProducerList(), Result::Success);

    CProducerObj* producer = nullptr;
    EXPECT_EQ(list().LoadTLProducerByIndex(0, nullptr), Result::InvalidParameter);
    EXPECT_EQ(lastErrorText(), "Producer object is NULL");
    EXPECT_EQ(list().LoadTLProducerByIndex(3, &producer), Result::InvalidParameter);
    EXPECT_EQ(lastErrorText(), "Index 3 is invalid. List size is 1");
    EXPECT_EQ(producer, nullptr);

    ASSERT_EQ(list().LoadTLProducerByIndex(0, &producer), Result::Success);
    ASSERT_NE(producer, nullptr);
    EXPECT_TRUE(producer->isProducerLoaded());
    CProducerObj* again = nullptr;
    EXPECT_EQ(list().LoadTLProducerByIndex(0, &again), Result::ResourceInUse);
    EXPECT_EQ(again, producer);
    EXPECT_EQ(lastErrorText(), "TLProducer at index 0 is already initialized");

    EXPECT_EQ(list().UnloadTLProducer(producer), Result::Success);
    EXPECT_FALSE(producer->isProducerLoaded());
    EXPECT_EQ(list().UnloadTLProducer(producer), Result::NotInitialized);
    EXPECT_NE(lastErrorText().find("is not initialized"), std::string::npos);
}

TEST_F(Discovery, InitRefusedAsInUseIsReportedAndClosedAgain) {
    folder_.add(simFile(), "busy.cti");
    searchOnly(folder_.path().string());
    ASSERT_EQ(list().UpdateTLProducerList(), Result::Success);
    platform::ScopedEnv fault("CORVID2_SIM_FAIL", std::string("GCInitLib:GC_ERR_RESOURCE_IN_USE:1"));
    TraceCapture trace;
    CProducerObj* producer = nullptr;
    EXPECT_EQ(list().LoadTLProducerByIndex(0, &producer), Result::ResourceInUse);
    EXPECT_EQ(producer, nullptr);
    EXPECT_FALSE(list().at(0)->isProducerLoaded());
    EXPECT_EQ(trace.count("at index 0 is already used - GC_ERR_RESOURCE_IN_USE"), 1u);

    platform::ScopedEnv otherFault("CORVID2_SIM_FAIL", std::string("GCInitLib:GC_ERR_IO:1"));
    EXPECT_EQ(list().LoadTLProducerByIndex(0, &producer), Result::LowLevelError);
    EXPECT_EQ(trace.count("InitLib for TLProducer " + (folder_.path() / "busy.cti").string() +
                          " at index 0 failed: GC_ERR_IO"),
              1u);
}

TEST_F(Discovery, StandAloneProducersLiveOutsideTheList) {
    const auto file = folder_.add(simFile(), "listed.cti");
    const auto lone = folder_.add(simFile(), "alone/lone.cti");
    searchOnly(folder_.path().string());
    ASSERT_EQ(list().UpdateTLProducerList(), Result::Success);

    CProducerObj* producer = nullptr;
    EXPECT_EQ(list().LoadStandAloneTLProducer((folder_.path() / "nothing.cti").string().c_str(), &producer),
              Result::InvalidParameter);
    EXPECT_NE(lastErrorText().find("is not accessable"), std::string::npos);
    EXPECT_EQ(list().LoadStandAloneTLProducer(file.string().c_str(), &producer), Result::ResourceInUse);
    EXPECT_NE(lastErrorText().find("is already initialized"), std::string::npos);
    EXPECT_EQ(list().LoadStandAloneTLProducer(lone.string().c_str(), nullptr), Result::InvalidParameter);

    ASSERT_EQ(list().LoadStandAloneTLProducer(lone.string().c_str(), &producer), Result::Success);
    EXPECT_TRUE(producer->isProducerLoaded());
    EXPECT_EQ(list().indexOf(producer), -1);
    CProducerObj* twice = nullptr;
    EXPECT_EQ(list().LoadStandAloneTLProducer(lone.string().c_str(), &twice), Result::ResourceInUse);

    // A search of the stand-alone producer's folder leaves that file to its owner.
    searchOnly(folder_.path().string() + ":" + lone.parent_path().string());
    ASSERT_EQ(list().UpdateTLProducerList(), Result::Success);
    EXPECT_EQ(list().size(), 1u);

    EXPECT_EQ(list().UnloadTLProducer(producer), Result::InvalidParameter);
    EXPECT_EQ(list().UnloadStandAloneTLProducer(producer), Result::Success);
    EXPECT_EQ(list().UnloadStandAloneTLProducer(producer), Result::InvalidParameter);
}

TEST_F(Discovery, CFunctionsCheckArgumentsAndReachTheList) {
    folder_.add(simFile(), "c.cti");
    uint32_t count = 7;
    CORVID2_System system = nullptr;
    uint64_t size = 0;
    EXPECT_EQ(CORVID2_GetNumSystems(nullptr), CORVID2_RESULT_INVALID_PARAMETER);
    EXPECT_EQ(CORVID2_GetSystem(0, nullptr), CORVID2_RESULT_INVALID_PARAMETER);
    EXPECT_EQ(CORVID2_ReleaseSystem(nullptr), CORVID2_RESULT_INVALID_PARAMETER);
    EXPECT_EQ(CORVID2_LoadSystemFromPath(nullptr, &system), CORVID2_RESULT_INVALID_PARAMETER);
    EXPECT_EQ(CORVID2_LoadSystemFromPath("x.cti", nullptr), CORVID2_RESULT_INVALID_PARAMETER);
    EXPECT_EQ(CORVID2_UpdateSystemListFromPath(nullptr), CORVID2_RESULT_INVALID_PARAMETER);
    EXPECT_EQ(CORVID2_SetEnv(nullptr), CORVID2_RESULT_INVALID_PARAMETER);
    EXPECT_EQ(CORVID2_GetEnv(nullptr, nullptr), CORVID2_RESULT_INVALID_PARAMETER);
    EXPECT_EQ(setE(nullptr), CORVID2_RESULT_ERROR);
    EXPECT_EQ(getE("PATH", nullptr, 10), CORVID2_RESULT_ERROR);

    const std::string path = folder_.path().string();
    platform::ScopedEnv restore(CConsumerBase::kSearchPathVariable, std::nullopt);
    ASSERT_EQ(CORVID2_UpdateSystemListFromPath(path.c_str()), CORVID2_RESULT_SUCCESS);
    ASSERT_EQ(CORVID2_GetNumSystems(&count), CORVID2_RESULT_SUCCESS);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(CORVID2_GetSystem(1, &system), CORVID2_RESULT_INVALID_PARAMETER);
    ASSERT_EQ(CORVID2_GetSystem(0, &system), CORVID2_RESULT_SUCCESS);
    ASSERT_NE(system, nullptr);
    CORVID2_System same = nullptr;
    EXPECT_EQ(CORVID2_GetSystem(0, &same), CORVID2_RESULT_SUCCESS);
    EXPECT_EQ(same, system);
    EXPECT_EQ(CORVID2_ReleaseSystem(system), CORVID2_RESULT_SUCCESS);

    ASSERT_EQ(CORVID2_GetEnv(nullptr, &size), CORVID2_RESULT_SUCCESS);
    EXPECT_EQ(size, path.size() + 1);
    std::string small(path.size(), '\0');
    uint64_t tooSmall = path.size();
    EXPECT_EQ(CORVID2_GetEnv(small.data(), &tooSmall), CORVID2_RESULT_INVALID_BUFFER);
    EXPECT_EQ(tooSmall, path.size());
    char name[8];
    EXPECT_EQ(getE(CConsumerBase::kSearchPathVariable, name, sizeof name), CORVID2_RESULT_SUCCESS);
    EXPECT_EQ(std::string(name), path.substr(0, 7));
    EXPECT_EQ(getE(nullptr, name, sizeof name), CORVID2_RESULT_SUCCESS);
    EXPECT_STREQ(name, "");
    EXPECT_EQ(setE("/elsewhere"), CORVID2_RESULT_SUCCESS);
    EXPECT_EQ(platform::getEnv(CConsumerBase::kSearchPathVariable), std::string("/elsewhere"));

    // Leaving path mode puts the start-up value back (unset here) before searching.
    EXPECT_EQ(CORVID2_UpdateSystemList(), CORVID2_RESULT_SUCCESS);
    EXPECT_FALSE(list().pathMode());
}
