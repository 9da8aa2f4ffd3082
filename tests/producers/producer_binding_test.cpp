// SPDX-License-Identifier: BSD-3-Clause
// Binding one producer file: the function table, the optional rows, the trace hook, GCInitLib and
// GCCloseLib pairing and the error text of a failed call.
#include <gtest/gtest.h>

#include <algorithm>

#include "gentl/gentl_producer.h"
#include "modules/producerobj.h"
#include "support/sim_producer.h"
#include "support/trace_capture.h"

using namespace corvid2;
using namespace corvid2::test;

TEST(ProducerBinding, FullProducerResolvesEveryRowAndReportsFailedCalls) {
    CGenTLProducer producer(simFile());
    for (const char* name : CGenTLProducer::kFunctionNames) EXPECT_TRUE(producer.exports(name)) << name;
    ASSERT_EQ(producer.GCInitLib(), GC_ERR_SUCCESS);

    // A call on a handle the producer never gave out fails; the text names the code, then the
    // producer's own words.
    INFO_DATATYPE type = 0;
    size_t size = 0;
    int bogus = 0;
    EXPECT_EQ(producer.TLGetInfo(&bogus, TL_INFO_ID, &type, nullptr, &size), GC_ERR_INVALID_HANDLE);
    GC_ERROR last = GC_ERR_SUCCESS;
    const std::string text = producer.lastErrorText(&last);
    EXPECT_EQ(last, GC_ERR_INVALID_HANDLE);
    EXPECT_EQ(text.rfind("GC_ERR_INVALID_HANDLE ", 0), 0u) << text;
    EXPECT_GT(text.size(), std::string("GC_ERR_INVALID_HANDLE ").size());

    EXPECT_EQ(producer.GCCloseLib(), GC_ERR_SUCCESS);
}

TEST(ProducerBinding, MissingOptionalRowAnswersNotImplementedWithoutCalling) {
    CGenTLProducer producer(simVariant("corvid2_sim_no_optional"));
    EXPECT_FALSE(producer.exports("DSGetBufferPartInfoStacked"));
    EXPECT_TRUE(producer.exports("DSGetBufferSegmentInfo"));
    EXPECT_EQ(producer.DSGetBufferPartInfoStacked(nullptr, nullptr, nullptr, 0), GC_ERR_NOT_IMPLEMENTED);
    // Present rows still reach the producer (which refuses the null handle itself).
    EXPECT_EQ(producer.GCInitLib(), GC_ERR_SUCCESS);
    uint32_t segments = 0;
    EXPECT_NE(producer.DSGetNumBufferSegments(nullptr, nullptr, &segments), GC_ERR_NOT_IMPLEMENTED);
    EXPECT_EQ(producer.GCCloseLib(), GC_ERR_SUCCESS);
}

TEST(ProducerBinding, UnusableFilesAreRefusedWithTheLoadersWords) {
    try {
        CGenTLProducer producer(simVariant("corvid2_sim_no_read_port_stacked"));
        FAIL() << "a producer without GCReadPortStacked must be refused";
    } catch (const CProducerLoadError& e) {
        EXPECT_NE(std::string(e.what()).find("boost::dll::shared_library::get() failed"), std::string::npos);
        EXPECT_NE(std::string(e.what()).find("GCReadPortStacked"), std::string::npos);
    }

    ScratchFolder folder;
    const auto text = folder.write("not_a_library.cti", "plain text, not a shared object");
    EXPECT_THROW(CGenTLProducer{text}, CProducerLoadError);
    EXPECT_THROW(CGenTLProducer{folder.path() / "missing.cti"}, CProducerLoadError);

    CProducerObj object(text);
    EXPECT_THROW(object.loadProducer(), CProducerLoadError);
    EXPECT_FALSE(object.isProducerLoaded());
    EXPECT_TRUE(object.unloadProducer());  // nothing was loaded: nothing to close
}

TEST(ProducerBinding, TraceHookNeedsAllElevenFunctions) {
    TraceCapture capture;
    {
        CProducerObj withHook(simVariant("corvid2_sim_trace_hooks"));
        ASSERT_TRUE(withHook.loadProducer());
        EXPECT_TRUE(withHook.unloadProducer());
    }
    const auto lines = capture.lines();
    const auto producerLine = std::find_if(lines.begin(), lines.end(), [](const std::string& l) {
        return l.find("corvid2_sim; ") != std::string::npos && l.find("trace callback registered") != std::string::npos;
    });
    ASSERT_NE(producerLine, lines.end()) << "the producer's own line, with its own prefix";
    EXPECT_EQ(producerLine->find("corvid2_genicam;"), std::string::npos);

    {
        CProducerObj tenOnly(simVariant("corvid2_sim_trace_hooks_incomplete"));
        ASSERT_TRUE(tenOnly.loadProducer());
        EXPECT_TRUE(tenOnly.unloadProducer());
    }
    EXPECT_EQ(capture.count("trace callback registered"), 1u);
}

TEST(ProducerBinding, FailedInitIsClosedOnceAndTheProducerStaysUsable) {
    ProducerFolder folder;
    const auto file = folder.add(simFile(), "failing.cti");
    CProducerObj object(file);
    {
        platform::ScopedEnv fault("CORVID2_SIM_FAIL", std::string("GCInitLib:GC_ERR_RESOURCE_IN_USE:1"));
        EXPECT_FALSE(object.loadProducer());
    }
    GC_ERROR last = GC_ERR_SUCCESS;
    object.table()->lastErrorText(&last);
    EXPECT_EQ(last, GC_ERR_RESOURCE_IN_USE);
    // GCCloseLib is still called once; this producer answers that it was never initialised.
    EXPECT_FALSE(object.unloadProducer());
    EXPECT_EQ(object.closeErrorCode(), GC_ERR_NOT_INITIALIZED);
    EXPECT_FALSE(object.isProducerLoaded());
    EXPECT_EQ(object.table(), nullptr);

    // Closed after the failed init, so a second load initialises afresh.
    EXPECT_TRUE(object.loadProducer());
    EXPECT_TRUE(object.unloadProducer());
}
