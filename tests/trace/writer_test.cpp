// SPDX-License-Identifier: BSD-3-Clause
// The writer thread: folding of repeated lines, passes, the backlog limit, rotation, failures.
#include <gtest/gtest.h>
#include <zip.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "support/scratch.h"
#include "support/waiting.h"
#include "trace/trace_compressor.h"
#include "trace/trace_writer.h"

namespace QXFramework::Debug {
namespace {

using corvid2::test::readFile;
using corvid2::test::readLines;

// Lines shaped as the consumer writes them: date; prefix; tag; thread; object; details.
std::string line(const std::string& details) {
    return "06.12.2026 13:05:09,123000; corvid2_genicam; Inf; 1A2B; base; " + details + "\n";
}

// ---- folding ----------------------------------------------------------------------------

struct FoldCase {
    std::vector<std::string> input;
    std::string expected;
};

class Folding : public ::testing::TestWithParam<FoldCase> {};

TEST_P(Folding, WritesRunsAsSpecified) {
    CRepeatedLineFolder folder;
    std::string out;
    for (const std::string& text : GetParam().input)
        folder.add(text, [&](std::string_view piece) { out.append(piece); });
    EXPECT_EQ(out, GetParam().expected);
}

const std::string kA = line("open");
const std::string kB = line("close");
const std::string kSummaryHead = "06.12.2026 13:05:09,123000; corvid2_genicam; Inf;";

INSTANTIATE_TEST_SUITE_P(
    Runs, Folding,
    ::testing::Values(
        // A single line is written as it is.
        FoldCase{{kA, kB}, kA + kB},
        // Two in a row: the repeat is held back and written once something else arrives.
        FoldCase{{kA, kA, kB}, kA + kA + kB},
        // Three in a row: the summary counts the lines between the first and the last.
        FoldCase{{kA, kA, kA, kB}, kA + kSummaryHead + " skip; previous message; 1; times before\n" + kA + kB},
        // Five in a row: first line, summary with 3, fifth line, then the new one.
        FoldCase{{kA, kA, kA, kA, kA, kB}, kA + kSummaryHead + " skip; previous message; 3; times before\n" + kA + kB},
        // Only the text after the second ";" counts: a new timestamp is still a repeat.
        FoldCase{{kA, "07.12.2026 00:00:00,000000; corvid2_genicam; Inf; 1A2B; base; open\n", kB},
                 kA + "07.12.2026 00:00:00,000000; corvid2_genicam; Inf; 1A2B; base; open\n" + kB},
        // A pending run is not written until a different line arrives.
        FoldCase{{kA, kA, kA}, kA},
        // Lines with fewer than two ";" pass untouched.
        FoldCase{{"plain\n", "plain\n", "one; field\n", "one; field\n"}, "plain\nplain\none; field\none; field\n"}));

// ---- passes -----------------------------------------------------------------------------

// A writer driven pass by pass from the test, without its thread.
class WriterPasses : public ::testing::Test {
protected:
    corvid2::test::ScratchFolder folder_;
    const std::string path_ = folder_.file("writer.log");
    CDbgTraceThread writer_{path_, -1};

    void queueNumbered(std::size_t count, const std::string& tag) {
        for (std::size_t i = 0; i < count; ++i) writer_.queueLine(line(tag + std::to_string(i)));
    }
};

TEST_F(WriterPasses, OnePassTakesAtMostAThousandLinesAndSaysSo) {
    queueNumbered(1500, "n");
    writer_.runPass();
    EXPECT_EQ(readLines(path_).size(), CDbgTraceThread::kLinesPerPass);
    EXPECT_EQ(writer_.queuedLines(), 501u);  // the rest plus the notice
    writer_.runPass();
    const auto lines = readLines(path_);
    ASSERT_EQ(lines.size(), 1501u);
    EXPECT_EQ(lines.back() + "\n", CDbgTraceThread::kLoopAbortedLine);
    EXPECT_EQ(lines[999] + "\n", line("n999"));
    EXPECT_EQ(lines[1000] + "\n", line("n1000"));
}

TEST_F(WriterPasses, BacklogDropsLinesAndReportsTheirCount) {
    queueNumbered(CDbgTraceThread::kBacklogLimit, "b");
    writer_.setBacklogObserver([this] {
        EXPECT_TRUE(writer_.isSkipping());
        queueNumbered(7, "dropped");
    });
    writer_.runPass();
    EXPECT_FALSE(writer_.isSkipping());
    EXPECT_EQ(writer_.skippedLines(), 0u);
    ASSERT_EQ(writer_.queuedLines(), 1u);
    writer_.runPass();
    const auto lines = readLines(path_);
    ASSERT_EQ(lines.size(), CDbgTraceThread::kBacklogLimit + 1);
    EXPECT_EQ(lines[CDbgTraceThread::kBacklogLimit - 1] + "\n", line("b99999"));
    EXPECT_EQ(lines.back(), "0; shared; Wrn; Trace; Thread; Skipped the last 7 trace lines");
}

TEST_F(WriterPasses, BelowTheBacklogLimitNothingIsDropped) {
    queueNumbered(CDbgTraceThread::kBacklogLimit - 1, "b");
    bool observed = false;
    writer_.setBacklogObserver([&] { observed = true; });
    writer_.runPass();
    EXPECT_FALSE(observed);
    EXPECT_FALSE(writer_.isSkipping());
}

TEST_F(WriterPasses, OtherModesLeaveTheQueueAlone) {
    writer_.setMode(1);
    writer_.queueLine(line("x"));
    writer_.runPass();
    EXPECT_EQ(writer_.queuedLines(), 1u);
    EXPECT_FALSE(std::filesystem::exists(path_));
}

TEST_F(WriterPasses, UnopenableFileLeavesAnErrorFileAndKeepsTheLines) {
    std::filesystem::create_directory(path_);  // a folder where the file should be
    writer_.queueLine(line("kept"));
    writer_.runPass();
    writer_.runPass();
    EXPECT_EQ(writer_.queuedLines(), 1u);
    EXPECT_EQ(readFile(folder_.file("writer.err")), "fopen() failed for file: " + path_ + "\n");
    std::filesystem::remove(path_);
    writer_.runPass();
    EXPECT_EQ(readFile(path_), line("kept"));
}

TEST_F(WriterPasses, FileInAMissingFolderIsReportedWithoutCrash) {
    CDbgTraceThread writer(folder_.file("missing/deeper/x.log"), -1);
    writer.queueLine(line("lost"));
    ::testing::internal::CaptureStderr();
    writer.runPass();
    const std::string message = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(message.find("fopen() failed for file:"), std::string::npos) << message;
    EXPECT_EQ(writer.queuedLines(), 1u);
}

// ---- rotation ---------------------------------------------------------------------------

std::string archiveEntry(const std::filesystem::path& archive, std::string& name) {
    int error = 0;
    zip_t* zip = zip_open(archive.string().c_str(), ZIP_RDONLY, &error);
    if (zip == nullptr) return "<not an archive>";
    std::string content;
    zip_stat_t stat;
    if (zip_get_num_entries(zip, 0) == 1 && zip_stat_index(zip, 0, 0, &stat) == 0) {
        name = stat.name;
        EXPECT_EQ(stat.comp_method, ZIP_CM_DEFLATE);
        if (zip_file_t* file = zip_fopen_index(zip, 0, 0)) {
            content.resize(stat.size);
            content.resize(
                static_cast<std::size_t>(std::max<zip_int64_t>(0, zip_fread(file, content.data(), stat.size))));
            zip_fclose(file);
        }
    }
    zip_close(zip);
    return content;
}

TEST_F(WriterPasses, RotationKeepsTheNewestArchivesAndRemovesTheOldestFirst) {
    constexpr unsigned kMaxArchives = 3;
    writer_.setLimits(1000, kMaxArchives);
    std::vector<std::string> rounds;
    for (int round = 1; round <= 5; ++round) {
        std::string content;
        for (int i = 0; i < 30; ++i) content += line("round" + std::to_string(round) + " " + std::to_string(i));
        rounds.push_back(content);
        writer_.queueLine(content);  // one queue entry holding many lines: one pass writes it all
        writer_.runPass();
        writer_.waitForCompression();
        EXPECT_FALSE(std::filesystem::exists(path_)) << "round " << round;
    }
    const auto archives = CTraceArchiveNames(path_).existing();
    ASSERT_EQ(archives.size(), kMaxArchives);
    for (unsigned i = 0; i < kMaxArchives; ++i) {
        EXPECT_EQ(archives[i].number, i + 3);
        std::string entry;
        EXPECT_EQ(archiveEntry(archives[i].path, entry), rounds[i + 2]);
        EXPECT_EQ(entry.rfind("writer_00000" + std::to_string(i + 3) + "_", 0), 0u) << entry;
        EXPECT_EQ(entry.size(), std::string("writer_000003_20261206_130509.log").size()) << entry;
    }
    // Rotated files are gone once compressed; only archives remain beside the trace file.
    for (const auto& entry : std::filesystem::directory_iterator(folder_.path()))
        EXPECT_EQ(entry.path().extension(), ".zip") << entry.path();
}

TEST_F(WriterPasses, SmallFileIsNotRotated) {
    writer_.setLimits(1000, 3);
    writer_.queueLine(line("short"));
    writer_.runPass();
    writer_.waitForCompression();
    EXPECT_TRUE(CTraceArchiveNames(path_).existing().empty());
    EXPECT_EQ(readFile(path_), line("short"));
}

TEST(Compression, MissingInputIsReportedNotArchived) {
    corvid2::test::ScratchFolder folder;
    const std::string failure = CDbgTraceCompressThread::writeArchive(folder.file("absent.log"),
                                                                      folder.file("absent.zip"), "absent.log", nullptr);
    EXPECT_EQ(failure, "fopen() failed for file:" + folder.file("absent.log"));
    EXPECT_FALSE(std::filesystem::exists(folder.file("absent.zip")));
}

TEST(Compression, UnwritableArchiveNamesTheZipError) {
    corvid2::test::ScratchFolder folder;
    corvid2::test::writeFile(folder.file("in.log"), "content\n");
    const std::string failure = CDbgTraceCompressThread::writeArchive(
        folder.file("in.log"), folder.file("no/such/folder/out.zip"), "in.log", nullptr);
    EXPECT_EQ(failure.rfind(CDbgTraceCompressThread::kZipErrorText, 0), 0u) << failure;
}

// ---- the thread -------------------------------------------------------------------------

TEST(WriterThread, LinesOfEachThreadKeepTheirOrder) {
    corvid2::test::ScratchFolder folder;
    const std::string path = folder.file("threads.log");
    CDbgTraceThread writer(path, -1);
    ASSERT_TRUE(writer.start());
    constexpr int kThreads = 4, kLines = 3000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&writer, t] {
            for (int i = 0; i < kLines; ++i)
                writer.queueLine("x; y; T" + std::to_string(t) + " " + std::to_string(i) + "\n");
        });
    for (auto& thread : threads) thread.join();
    ASSERT_TRUE(writer.waitUntilWritten(corvid2::test::kPatience));
    std::vector<int> next(kThreads, 0);
    for (const std::string& text : readLines(path)) {
        int t = 0, i = 0;
        if (std::sscanf(text.c_str(), "x; y; T%d %d", &t, &i) != 2) continue;  // the writer's own notices
        ASSERT_EQ(i, next[t]) << "thread " << t;
        ++next[t];
    }
    EXPECT_EQ(next, std::vector<int>(kThreads, kLines));
}

TEST(WriterThread, DestructionWithAFullQueueReturns) {
    corvid2::test::ScratchFolder folder;
    auto writer = std::make_unique<CDbgTraceThread>(folder.file("busy.log"), -1);
    ASSERT_TRUE(writer->start());
    for (int i = 0; i < 50000; ++i) writer->queueLine("x; y; " + std::to_string(i) + "\n");
    writer.reset();
    SUCCEED();
}

}  // namespace
}  // namespace QXFramework::Debug
