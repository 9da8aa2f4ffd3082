// SPDX-License-Identifier: BSD-3-Clause
// The application's trace switches (CORVID2::Trace, the C functions, extT) and the library helpers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "corvid2/trace.h"
#include "corvid2_genicam_c.h"
#include "support/scratch.h"
#include "support/trace_capture.h"
#include "support/waiting.h"
#include "trace/library_trace.h"
#include "trace/trace.h"

namespace corvid2 {
namespace {

namespace dbg = QXFramework::Debug;

dbg::CDebugTrace& consumerTrace() { return CLibraryTrace::instance().trace(); }

// Every test starts from the consumer's settings with file output into a scratch file.
class TraceApi : public ::testing::Test {
protected:
    void SetUp() override {
        CORVID2::Trace::Enable(false);
        CORVID2::Trace::ActivateOutputToDebugger(false);
        consumerTrace().setFreeSpaceSource(&test::plentyOfSpace);
        consumerTrace().setLevelMask(dbg::kLevelError | dbg::kLevelWarning | dbg::kLevelInformation);
        consumerTrace().setOptions(dbg::kOptionPrefix | dbg::kOptionLineEnd);
        CORVID2::Trace::ActivateOutputToFile(true, path_.c_str());
        CLibraryTrace::instance().setSystemInfoFlag(false);
    }
    void TearDown() override {
        CORVID2::Trace::Enable(false);
        CORVID2::Trace::ActivateOutputToFile(false);
        CLibraryTrace::instance().setSystemInfoFlag(true);
    }

    std::vector<std::string> written() {
        EXPECT_TRUE(consumerTrace().waitUntilWritten(test::kPatience));
        return test::readLines(path_);
    }

    test::ScratchFolder folder_;
    const std::string path_ = folder_.file("api.log");
};

TEST_F(TraceApi, EnableAndItsCTwinAgree) {
    uint8_t enabled = 7;
    CORVID2::Trace::Enable(true);
    EXPECT_TRUE(CORVID2::Trace::IsEnabled());
    ASSERT_EQ(CORVID2_TraceIsEnabled(&enabled), CORVID2_RESULT_SUCCESS);
    EXPECT_EQ(enabled, 1);
    ASSERT_EQ(CORVID2_TraceEnable(0), CORVID2_RESULT_SUCCESS);
    EXPECT_FALSE(CORVID2::Trace::IsEnabled());
    ASSERT_EQ(CORVID2_TraceIsEnabled(&enabled), CORVID2_RESULT_SUCCESS);
    EXPECT_EQ(enabled, 0);
    EXPECT_EQ(CORVID2_TraceIsEnabled(nullptr), CORVID2_RESULT_INVALID_PARAMETER);
}

// Each switch with the bit it must move; a switch wired to the wrong bit fails here.
struct BitSwitch {
    const char* name;
    void (*publicSwitch)(bool);
    CORVID2_RESULT (*cSwitch)(uint8_t);
    std::uint64_t (*read)();
    std::uint64_t bit;
};

std::uint64_t readMask() { return consumerTrace().levelMask(); }
std::uint64_t readOptions() { return consumerTrace().options(); }
std::uint64_t readTargets() { return consumerTrace().targets(); }

const BitSwitch kSwitches[] = {
    {"MaskError", &CORVID2::Trace::ActivateMaskError, &CORVID2_TraceActivateMaskError, &readMask, 0x1},
    {"MaskWarning", &CORVID2::Trace::ActivateMaskWarning, &CORVID2_TraceActivateMaskWarning, &readMask, 0x2},
    {"MaskInformation", &CORVID2::Trace::ActivateMaskInformation, &CORVID2_TraceActivateMaskInformation, &readMask,
     0x4},
    {"Timestamp", &CORVID2::Trace::ActivateOutputOptionTimestamp, &CORVID2_TraceActivateOutputOptionTimestamp,
     &readOptions, 0x1},
    {"TimestampDiff", &CORVID2::Trace::ActivateOutputOptionTimestampDiff,
     &CORVID2_TraceActivateOutputOptionTimestampDiff, &readOptions, 0x2},
    {"ThreadId", &CORVID2::Trace::ActivateOutputOptionThreadId, &CORVID2_TraceActivateOutputOptionThreadID,
     &readOptions, 0x4},
    {"Prefix", &CORVID2::Trace::ActivateOutputOptionPrefix, &CORVID2_TraceActivateOutputOptionPrefix, &readOptions,
     0x100},
    {"Debugger", &CORVID2::Trace::ActivateOutputToDebugger, &CORVID2_TraceActivateOutputToDebugger, &readTargets, 0x2},
};

TEST_F(TraceApi, EachSwitchMovesOnlyItsOwnBit) {
    for (const BitSwitch& entry : kSwitches) {
        SCOPED_TRACE(entry.name);
        entry.publicSwitch(false);
        const std::uint64_t cleared = entry.read();
        EXPECT_EQ(cleared & entry.bit, 0u);
        entry.publicSwitch(true);
        EXPECT_EQ(entry.read(), cleared | entry.bit);
        ASSERT_EQ(entry.cSwitch(0), CORVID2_RESULT_SUCCESS);
        EXPECT_EQ(entry.read(), cleared);
        ASSERT_EQ(entry.cSwitch(1), CORVID2_RESULT_SUCCESS);
        EXPECT_EQ(entry.read(), cleared | entry.bit);
    }
}

TEST_F(TraceApi, OutputToFileEmptiesTheFileAndCanBeSwitchedOff) {
    CORVID2::Trace::Enable(true);
    extT(nullptr, "before");
    ASSERT_EQ(written().size(), 1u);
    ASSERT_EQ(CORVID2_TraceActivateOutputToFile(1, path_.c_str()), CORVID2_RESULT_SUCCESS);
    EXPECT_TRUE(test::readLines(path_).empty());
    ASSERT_EQ(CORVID2_TraceActivateOutputToFile(0, nullptr), CORVID2_RESULT_SUCCESS);
    EXPECT_EQ(consumerTrace().targets() & dbg::kTargetFile, 0u);
}

TEST_F(TraceApi, ExtendedTraceLevels) {
    CORVID2::Trace::Enable(true);
    const int levels[] = {0, 1, 2, 7};
    for (const int& level : levels) extT(&level, ("level " + std::to_string(level)).c_str());
    extT(nullptr, nullptr);
    EXPECT_EQ(written(), (std::vector<std::string>{
                             "corvid2_genicam; Inf; ExtendedTrace; level 0",
                             "corvid2_genicam; Wrn; ExtendedTrace; level 1",
                             "corvid2_genicam; Err; ExtendedTrace; level 2",
                             "corvid2_genicam; Err; ExtendedTrace; Default Error Level; level 7",
                             "corvid2_genicam; Err; ExtendedTrace; Default Error Level; (null)",
                         }));
}

TEST_F(TraceApi, ExtendedTraceIsSilentWhileDisabled) {
    const int level = 2;
    EXPECT_EQ(extT(&level, "nothing"), 0);
    EXPECT_FALSE(consumerTrace().hasWriter());
}

TEST_F(TraceApi, LibraryHelpersReachTheConsumerTrace) {
    CORVID2::Trace::Enable(true);
    traceError("%s; %s; %s", "DeviceObj", "open", "failed");
    traceWarning("%s; %d devices", "InterfaceObj", 0);
    traceInfo("base; %s", "ready");
    traceProducerLine("ProducerSim", 0, dbg::kLevelInformation, 0, "TLOpen; 50% done");
    EXPECT_EQ(written(), (std::vector<std::string>{
                             "corvid2_genicam; Err; DeviceObj; open; failed",
                             "corvid2_genicam; Wrn; InterfaceObj; 0 devices",
                             "corvid2_genicam; Inf; base; ready",
                             "ProducerSim; Inf; TLOpen; 50% done",
                         }));
}

TEST_F(TraceApi, HelpersRespectTheMask) {
    CORVID2::Trace::Enable(true);
    CORVID2::Trace::ActivateMaskInformation(false);
    EXPECT_FALSE(traceActive(dbg::kLevelInformation));
    traceInfo("base; hidden");
    traceWarning("base; shown");
    EXPECT_EQ(written(), std::vector<std::string>{"corvid2_genicam; Wrn; base; shown"});
}

TEST_F(TraceApi, EnablingAnnouncesTheSystemWhenAllowed) {
    CLibraryTrace::instance().setSystemInfoFlag(true);
    CORVID2::Trace::Enable(true);
    const auto lines = written();
    ASSERT_GE(lines.size(), 12u);
    EXPECT_EQ(lines.front().rfind("corvid2_genicam; Inf; base; TraceEnable; SystemInfo; Computername; ", 0), 0u)
        << lines.front();
}

TEST_F(TraceApi, EmptyPathMeansTheDefaultTraceFile) {
    const auto& locations = dbg::defaultTraceFileLocations();
    ASSERT_TRUE(locations.has_value());
    std::filesystem::create_directories(locations->folder);
    CORVID2::Trace::ActivateOutputToFile(true);
    EXPECT_EQ(consumerTrace().fileName(), locations->traceFile.string());
    EXPECT_TRUE(std::filesystem::exists(locations->traceFile));
}

}  // namespace
}  // namespace corvid2
