// SPDX-License-Identifier: BSD-3-Clause
// File output of the trace object: naming the file, free-space sizing, start-up by enable file.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "support/scratch.h"
#include "support/trace_capture.h"
#include "support/waiting.h"
#include "trace/debug_trace.h"
#include "trace/trace_compressor.h"

namespace QXFramework::Debug {
namespace {

using corvid2::test::readFile;
using corvid2::test::writeFile;

constexpr std::uint64_t kMegabyte = 1024 * 1024;

class FileOutput : public ::testing::Test {
protected:
    FileOutput() {
        trace_.setFreeSpaceSource(&corvid2::test::plentyOfSpace);
        trace_.setLevelMask(kLevelError | kLevelWarning | kLevelInformation);
        trace_.setOptions(kOptionPrefix | kOptionLineEnd);
    }

    corvid2::test::ScratchFolder folder_;
    const std::string path_ = folder_.file("out.log");
    CDebugTrace trace_{"corvid2_genicam", kTargetFile};
};

TEST_F(FileOutput, NamingAnExistingFileEmptiesIt) {
    writeFile(path_, "old content\n");
    ASSERT_TRUE(trace_.setFileName(path_));
    ASSERT_TRUE(std::filesystem::exists(path_));
    EXPECT_EQ(readFile(path_), "");
}

TEST_F(FileOutput, ObjectBuiltToKeepFilesLeavesThemAlone) {
    CDebugTrace keeping("corvid2_genicam", kTargetFile, true);
    keeping.setFreeSpaceSource(&corvid2::test::plentyOfSpace);
    writeFile(path_, "old content\n");
    ASSERT_TRUE(keeping.setFileName(path_));
    EXPECT_EQ(readFile(path_), "old content\n");
}

TEST_F(FileOutput, MaskedLineCreatesNoQueueEntry) {
    ASSERT_TRUE(trace_.setFileName(path_));
    trace_.setEnabled(true);
    trace_.setLevelMask(kLevelError);
    trace_.trace(0, kLevelInformation, 0, "base; info");
    EXPECT_FALSE(trace_.hasWriter());
    trace_.trace(0, kLevelError, 0, "base; error");
    EXPECT_TRUE(trace_.hasWriter());
    ASSERT_TRUE(trace_.waitUntilWritten(corvid2::test::kPatience));
    EXPECT_EQ(readFile(path_), "corvid2_genicam; Err; base; error\n");
}

TEST_F(FileOutput, SwitchingOffEndsTheWriterAndLaterLinesStartANewOne) {
    ASSERT_TRUE(trace_.setFileName(path_));
    trace_.setEnabled(true);
    trace_.trace(0, kLevelError, 0, "base; one");
    ASSERT_TRUE(trace_.waitUntilWritten(corvid2::test::kPatience));
    trace_.setEnabled(false);
    EXPECT_FALSE(trace_.hasWriter());
    trace_.trace(0, kLevelError, 0, "base; ignored");
    EXPECT_FALSE(trace_.hasWriter());
    trace_.setEnabled(true);
    trace_.trace(0, kLevelError, 0, "base; two");
    ASSERT_TRUE(trace_.waitUntilWritten(corvid2::test::kPatience));
    EXPECT_EQ(readFile(path_), "corvid2_genicam; Err; base; one\ncorvid2_genicam; Err; base; two\n");
}

TEST_F(FileOutput, NewFileNameReachesARunningWriter) {
    ASSERT_TRUE(trace_.setFileName(path_));
    trace_.setEnabled(true);
    trace_.trace(0, kLevelError, 0, "base; first");
    ASSERT_TRUE(trace_.waitUntilWritten(corvid2::test::kPatience));
    const std::string second = folder_.file("second.log");
    ASSERT_TRUE(trace_.setFileName(second));
    trace_.trace(0, kLevelError, 0, "base; second");
    ASSERT_TRUE(trace_.waitUntilWritten(corvid2::test::kPatience));
    EXPECT_EQ(readFile(path_), "corvid2_genicam; Err; base; first\n");
    EXPECT_EQ(readFile(second), "corvid2_genicam; Err; base; second\n");
}

TEST_F(FileOutput, TwelveMegabytesFreeRefusesFileOutput) {
    trace_.setFreeSpaceSource(
        [](const std::filesystem::path&) { return std::optional<std::uint64_t>(12 * kMegabyte); });
    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(trace_.setFileName(path_));
    const std::string expected = "Not enough available space on volume to enable trace to file: " + path_;
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), expected + "\n");
    EXPECT_EQ(readFile(folder_.file("out.err")), expected + "\n");
    EXPECT_EQ(trace_.targets() & kTargetFile, 0u);
    EXPECT_FALSE(std::filesystem::exists(path_));
}

TEST_F(FileOutput, FreeSpaceSizesTheFileLimits) {
    trace_.setFreeSpaceSource(
        [](const std::filesystem::path&) { return std::optional<std::uint64_t>(50 * kMegabyte); });
    ASSERT_TRUE(trace_.setFileName(path_));
    EXPECT_EQ(trace_.maximumFileSizeBytes(), 10 * kMegabyte);
    EXPECT_EQ(trace_.maximumArchives(), 16u);
}

TEST_F(FileOutput, UnknownFreeSpaceKeepsTheDefaults) {
    trace_.setFreeSpaceSource([](const std::filesystem::path&) { return std::optional<std::uint64_t>(); });
    ASSERT_TRUE(trace_.setFileName(path_));
    EXPECT_EQ(trace_.maximumFileSizeBytes(), kDefaultMaxFileMegabytes * kMegabyte);
    EXPECT_EQ(trace_.maximumArchives(), kDefaultMaxArchives);
}

TEST_F(FileOutput, FileThatCannotBeCreatedLeavesAnErrorFileBesideIt) {
    const std::string blocked = folder_.file("blocked.log");
    std::filesystem::create_directory(blocked);
    ASSERT_TRUE(trace_.setFileName(blocked));
    EXPECT_EQ(readFile(folder_.file("blocked.err")), "fopen() failed for file: " + blocked + "\n");
    trace_.setEnabled(true);
    trace_.trace(0, kLevelError, 0, "base; nowhere to go");
    trace_.setEnabled(false);  // must not hang with a line the writer cannot place
    EXPECT_TRUE(std::filesystem::is_directory(blocked));
}

TEST_F(FileOutput, FileInAMissingFolderGivesAClearMessage) {
    ::testing::internal::CaptureStderr();
    ASSERT_TRUE(trace_.setFileName(folder_.file("missing/out.log")));
    const std::string message = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(message.find("fopen() failed for file: " + folder_.file("missing/out.log")), std::string::npos)
        << message;
}

TEST_F(FileOutput, ThreadedWriterRotatesBySize) {
    ASSERT_TRUE(trace_.setFileName(path_));
    trace_.setMaximumFileSizeBytes(2000);
    trace_.setMaximumArchives(2);
    trace_.setEnabled(true);
    for (int round = 0; round < 4; ++round) {
        for (int i = 0; i < 60; ++i) trace_.trace(0, kLevelError, 0, "base; round %d line %d", round, i);
        ASSERT_TRUE(trace_.waitUntilWritten(corvid2::test::kPatience));
    }
    trace_.setEnabled(false);  // joins the compressor as well
    const auto archives = CTraceArchiveNames(path_).existing();
    EXPECT_GE(archives.size(), 1u);
    EXPECT_LE(archives.size(), 2u);
}

TEST_F(FileOutput, SwitchingWhileOtherThreadsTraceIsSafe) {
    ASSERT_TRUE(trace_.setFileName(path_));
    trace_.setEnabled(true);
    std::atomic<bool> done{false};
    std::vector<std::thread> tracers;
    for (int t = 0; t < 3; ++t)
        tracers.emplace_back([&, t] {
            for (int i = 0; !done; ++i) trace_.trace(0, kLevelError, 0, "base; thread %d line %d", t, i);
        });
    for (int round = 0; round < 30; ++round) {
        trace_.setEnabled(round % 2 == 0);
        trace_.setFileName(folder_.file(round % 3 == 0 ? "a.log" : "b.log"));
        trace_.changeOptions(kOptionThreadId, round % 2 == 1);
    }
    done = true;
    for (auto& tracer : tracers) tracer.join();
    trace_.setOptions(kOptionPrefix | kOptionLineEnd);
    trace_.setEnabled(true);
    ASSERT_TRUE(trace_.setFileName(path_));
    trace_.trace(0, kLevelError, 0, "base; after the storm");
    ASSERT_TRUE(trace_.waitUntilWritten(corvid2::test::kPatience));
    EXPECT_NE(readFile(path_).find("corvid2_genicam; Err; base; after the storm\n"), std::string::npos);
}

// ---- sizing -----------------------------------------------------------------------------

struct SizingCase {
    std::uint64_t freeMegabytes;
    bool refused;
    std::uint64_t fileMegabytes;
    unsigned archives;
};

class Sizing : public ::testing::TestWithParam<SizingCase> {};

TEST_P(Sizing, FollowsTheFreeSpaceRules) {
    const FileSizing sizing = sizeForFreeSpace(GetParam().freeMegabytes);
    EXPECT_EQ(sizing.refused, GetParam().refused);
    if (GetParam().refused) return;
    EXPECT_EQ(sizing.maxFileMegabytes, GetParam().fileMegabytes);
    EXPECT_EQ(sizing.maxArchives, GetParam().archives);
}

INSTANTIATE_TEST_SUITE_P(FreeMegabytes, Sizing,
                         ::testing::Values(SizingCase{0, true, 0, 0}, SizingCase{14, true, 0, 0},
                                           SizingCase{15, false, 10, 2}, SizingCase{50, false, 10, 16},
                                           SizingCase{99, false, 10, 35}, SizingCase{1000, false, 10, 396},
                                           SizingCase{1500, false, 14, 400}, SizingCase{5000, false, 49, 400},
                                           SizingCase{10100, false, 100, 400}, SizingCase{20000, false, 100, 400}));

// ---- start-up through the enable file ---------------------------------------------------

class EnableFile : public ::testing::Test {
protected:
    EnableFile() {
        trace_.setFreeSpaceSource(&corvid2::test::plentyOfSpace);
        trace_.setLevelMask(kLevelError | kLevelWarning | kLevelInformation);
        trace_.setOptions(kOptionPrefix | kOptionLineEnd);
    }

    corvid2::test::ScratchFolder folder_;
    const TraceFileLocations locations_ = traceFileLocationsIn(folder_.path() / "Velmor", "prog.bin");
    CDebugTrace trace_{"corvid2_genicam", kTargetDebugger};
};

TEST_F(EnableFile, LocationsFollowTheProgramName) {
    EXPECT_EQ(locations_.traceFile, folder_.path() / "Velmor" / "corvid2_trace_prog.bin.log");
    EXPECT_EQ(locations_.enableFile, folder_.path() / "Velmor" / "corvid2_trace_enable.ini");
}

TEST_F(EnableFile, AbsentFileChangesNothing) {
    std::filesystem::create_directories(locations_.folder);
    EXPECT_FALSE(trace_.startFromEnableFile(true, locations_));
    EXPECT_FALSE(trace_.startFromEnableFile(true, std::nullopt));
    EXPECT_FALSE(trace_.isEnabled());
    EXPECT_EQ(trace_.targets(), kTargetDebugger);
    EXPECT_FALSE(std::filesystem::exists(locations_.traceFile));
}

TEST_F(EnableFile, PresentFileSwitchesFileTracingOnWithSystemInformation) {
    std::filesystem::create_directories(locations_.folder);
    writeFile(locations_.enableFile, "");  // an empty file: only its existence counts
    writeFile(locations_.traceFile, "stale\n");
    ASSERT_TRUE(trace_.startFromEnableFile(true, locations_));
    EXPECT_TRUE(trace_.isEnabled());
    EXPECT_EQ(trace_.targets(), kTargetFile);
    ASSERT_TRUE(trace_.waitUntilWritten(corvid2::test::kPatience));
    const auto lines = corvid2::test::readLines(locations_.traceFile);
    const char* const keys[] = {"Computername",
                                "Username",
                                "Adminrights",
                                "Operatingsystem",
                                "Platform",
                                "Working directory",
                                "PhysicalMemoryTotal",
                                "PhysicalMemoryAvailable",
                                "PageMemoryTotal",
                                "PageMemoryAvailable",
                                "VirtualMemoryTotal",
                                "VirtualMemoryAvailable"};
    ASSERT_GE(lines.size(), std::size(keys));
    for (std::size_t i = 0; i < std::size(keys); ++i) {
        const std::string head = std::string("corvid2_genicam; Inf; base; TraceEnable; SystemInfo; ") + keys[i] + "; ";
        EXPECT_EQ(lines[i].rfind(head, 0), 0u) << lines[i];
        EXPECT_GT(lines[i].size(), head.size()) << lines[i];
    }
}

TEST_F(EnableFile, WithoutSystemInformationTheFileStaysEmpty) {
    std::filesystem::create_directories(locations_.folder);
    writeFile(locations_.enableFile, "anything");
    ASSERT_TRUE(trace_.startFromEnableFile(false, locations_));
    EXPECT_TRUE(trace_.isEnabled());
    EXPECT_FALSE(trace_.hasWriter());
    EXPECT_EQ(readFile(locations_.traceFile), "");
}

}  // namespace
}  // namespace QXFramework::Debug
