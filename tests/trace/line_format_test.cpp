// SPDX-License-Identifier: BSD-3-Clause
// Layout of trace lines: every option field, level tags, the filters and the length limit.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "support/scratch.h"
#include "support/trace_capture.h"
#include "support/waiting.h"
#include "trace/debug_trace.h"

namespace QXFramework::Debug {
namespace {

using corvid2::test::FixedClock;
using corvid2::test::readFile;

// A trace object writing to a scratch file with a clock the test controls.
class LineFormat : public ::testing::Test {
protected:
    void SetUp() override {
        FixedClock::steadyMs = 1000;
        FixedClock::threadId = 0x1A2B3;
        trace_ = makeTrace("corvid2_genicam");
    }

    std::unique_ptr<CDebugTrace> makeTrace(const char* module) {
        auto trace = std::make_unique<CDebugTrace>(module, kTargetFile);
        trace->setClock(FixedClock::clock());
        trace->setFreeSpaceSource(&corvid2::test::plentyOfSpace);
        trace->setFileName(path_);
        trace->setLevelMask(kLevelError | kLevelWarning | kLevelInformation);
        trace->setEnabled(true);
        return trace;
    }

    // Everything the trace object wrote so far.
    std::string written() {
        EXPECT_TRUE(trace_->waitUntilWritten(corvid2::test::kPatience));
        return readFile(path_);
    }

    corvid2::test::ScratchFolder folder_;
    const std::string path_ = folder_.file("format.log");
    std::unique_ptr<CDebugTrace> trace_;
};

TEST_F(LineFormat, ConsumerSettingsGiveDatePrefixTagThreadAndMessage) {
    trace_->setOptions(kOptionTimestamp | kOptionThreadId | kOptionPrefix | kOptionLineEnd);
    trace_->trace(0, kLevelInformation, 0, "%s; open", "base");
    EXPECT_EQ(written(), "06.12.2026 13:05:09,123000; corvid2_genicam; Inf; 1A2B3; base; open\n");
}

struct OptionCase {
    std::uint64_t options;
    std::uint64_t level;
    const char* expected;
};

class OptionFields : public LineFormat, public ::testing::WithParamInterface<OptionCase> {};

TEST_P(OptionFields, WriteExactlyTheirFields) {
    trace_->setOptions(GetParam().options | kOptionLineEnd);
    trace_->trace(0, GetParam().level, 0, "base; %s", "x");
    EXPECT_EQ(written(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    EachOption, OptionFields,
    ::testing::Values(OptionCase{0, kLevelError, "Err; base; x\n"},
                      OptionCase{kOptionTimestamp, kLevelWarning, "06.12.2026 13:05:09,123000; Wrn; base; x\n"},
                      OptionCase{kOptionTimestampDiff, kLevelInformation, "Inf; base; x\n"},
                      OptionCase{kOptionTimestamp | kOptionTimestampDiff, kLevelError,
                                 "06.12.2026 13:05:09,123000; 0,000000; Err; base; x\n"},
                      OptionCase{kOptionThreadId, kLevelError, "Err; 1A2B3; base; x\n"},
                      OptionCase{kOptionPrefix, kLevelWarning, "corvid2_genicam; Wrn; base; x\n"},
                      // Several level bits: the first of error, warning, information names the line.
                      OptionCase{0, kLevelWarning | kLevelInformation, "Wrn; base; x\n"},
                      // Level 0 stands for the whole mask and carries no tag.
                      OptionCase{0, 0, "base; x\n"}, OptionCase{kOptionNumberedTraceLevel, 0, "000; base; x\n"},
                      OptionCase{kOptionNumberedTraceLevel, kLevelError, "Err; base; x\n"}));

TEST_F(LineFormat, WithoutLineEndTheMessageStandsAlone) {
    trace_->setOptions(kOptionPrefix);
    trace_->trace(0, kLevelError, 0, "base; a");
    EXPECT_EQ(written(), "corvid2_genicam; Err; base; a");
}

TEST_F(LineFormat, TimestampDifferenceCountsFromThePreviousLine) {
    trace_->setOptions(kOptionTimestamp | kOptionTimestampDiff | kOptionLineEnd);
    trace_->trace(0, kLevelError, 0, "a; first");
    FixedClock::steadyMs += 2500;
    trace_->trace(0, kLevelError, 0, "a; second");
    FixedClock::steadyMs += 61007;
    trace_->trace(0, kLevelError, 0, "a; third");
    EXPECT_EQ(written(),
              "06.12.2026 13:05:09,123000; 0,000000; Err; a; first\n"
              "06.12.2026 13:05:09,123000; 2,500000; Err; a; second\n"
              "06.12.2026 13:05:09,123000; 61,007000; Err; a; third\n");
}

TEST_F(LineFormat, ReEnablingRestartsTheDifferenceAtZero) {
    trace_->setOptions(kOptionTimestamp | kOptionTimestampDiff | kOptionLineEnd);
    trace_->trace(0, kLevelError, 0, "a; first");
    ASSERT_TRUE(trace_->waitUntilWritten(corvid2::test::kPatience));
    trace_->setEnabled(false);
    FixedClock::steadyMs += 4000;
    trace_->setEnabled(true);
    trace_->trace(0, kLevelError, 0, "a; again");
    EXPECT_EQ(written(),
              "06.12.2026 13:05:09,123000; 0,000000; Err; a; first\n"
              "06.12.2026 13:05:09,123000; 0,000000; Err; a; again\n");
}

TEST_F(LineFormat, ThreadIdHasAtLeastFourUpperCaseDigits) {
    trace_->setOptions(kOptionThreadId | kOptionLineEnd);
    FixedClock::threadId = 0x1f;
    trace_->trace(0, kLevelError, 0, "a; short");
    FixedClock::threadId = 0xabcdef;
    trace_->trace(0, kLevelError, 0, "a; long");
    EXPECT_EQ(written(), "Err; 001F; a; short\nErr; ABCDEF; a; long\n");
}

TEST_F(LineFormat, TraceLevelFilterEmitsOnlyMatchingBits) {
    trace_->setOptions(kOptionTraceLevelFilter | kOptionLineEnd);
    trace_->setTraceLevelValue(0x6);
    trace_->trace(0, kLevelError, 0x2, "a; shown");
    trace_->trace(0, kLevelError, 0x1, "a; hidden");
    EXPECT_EQ(written(), "TraceLevel: 0x2; Err; a; shown\n");
}

TEST_F(LineFormat, ChannelOtherThanZeroIsNamed) {
    trace_->setOptions(kOptionPrefix | kOptionLineEnd);
    trace_->trace(3, kLevelError, 0, "a; b");
    EXPECT_EQ(written(), "corvid2_genicam; 3; Err; a; b\n");
}

TEST_F(LineFormat, ExplicitPrefixReplacesTheModuleName) {
    trace_->setOptions(kOptionPrefix | kOptionLineEnd);
    trace_->traceWithPrefix("SimProducer", 0, kLevelWarning, 0, "%s; %d", "TLOpen", 5);
    EXPECT_EQ(written(), "SimProducer; Wrn; TLOpen; 5\n");
}

TEST_F(LineFormat, ModuleNameIsCutAndDefaulted) {
    EXPECT_STREQ(makeTrace("a_module_name_longer_than_fifteen")->prefix(), "a_module_name_l");
    EXPECT_STREQ(makeTrace(nullptr)->prefix(), "undef");
}

TEST_F(LineFormat, MaskedLevelsWriteNothing) {
    trace_->setOptions(kOptionLineEnd);
    trace_->setLevelMask(kLevelError);
    trace_->trace(0, kLevelInformation, 0, "a; info");
    trace_->trace(0, kLevelWarning, 0, "a; warning");
    trace_->trace(0, kLevelError, 0, "a; error");
    EXPECT_EQ(written(), "Err; a; error\n");
}

TEST_F(LineFormat, OversizedMessageIsCutButKeepsItsLineEnd) {
    trace_->setOptions(kOptionPrefix | kOptionLineEnd);
    const std::string huge(20000, 'x');
    trace_->trace(0, kLevelError, 0, "a; %s", huge.c_str());
    const std::string line = written();
    ASSERT_EQ(line.size(), kMaxLineChars);
    EXPECT_EQ(line.compare(0, 25, "corvid2_genicam; Err; a; "), 0);
    EXPECT_EQ(line.back(), '\n');
    EXPECT_EQ(line[line.size() - 2], 'x');
}

TEST_F(LineFormat, NullFormatIsWrittenAsNull) {
    trace_->setOptions(kOptionLineEnd);
    const char* noFormat = nullptr;
    trace_->traceFormatted(nullptr, 0, kLevelError, 0, noFormat);
    EXPECT_EQ(written(), "Err; (null)\n");
}

TEST(LineFormatTargets, DebuggerTargetReceivesTheSameLine) {
    CDebugTrace trace("corvid2_genicam", kTargetDebugger);
    trace.setClock(FixedClock::clock());
    trace.setOptions(kOptionPrefix | kOptionLineEnd);
    trace.setEnabled(true);
    ::testing::internal::CaptureStderr();
    trace.trace(0, kLevelError, 0, "%s; %s", "base", "debugger");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "corvid2_genicam; Err; base; debugger\n");
    EXPECT_FALSE(trace.hasWriter());
}

TEST(LineFormatTargets, DisabledTraceProducesNothing) {
    CDebugTrace trace("corvid2_genicam", kTargetDebugger | kTargetFile);
    trace.setLevelMask(kLevelError);
    ::testing::internal::CaptureStderr();
    trace.trace(0, kLevelError, 0, "base; silent");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_FALSE(trace.hasWriter());
    EXPECT_FALSE(trace.wouldTrace(kLevelError));
}

}  // namespace
}  // namespace QXFramework::Debug
