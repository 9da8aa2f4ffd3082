// SPDX-License-Identifier: BSD-3-Clause
// The consumer context switches file tracing on when the enable file exists in the user's folder.
#include <gtest/gtest.h>

#include "modules/consumer_base.h"
#include "platform/platform.h"
#include "support/scratch.h"
#include "support/waiting.h"
#include "trace/library_trace.h"

namespace corvid2 {
namespace {

TEST(EnableFileStartUp, ConsumerContextStartsFileTracing) {
    test::ScratchFolder state;
    // Must precede the first use of the consumer context, which reads the folder once.
    ASSERT_TRUE(platform::setEnv("XDG_STATE_HOME", state.path().string()));
    const auto folder = state.path() / "Velmor";
    std::filesystem::create_directories(folder);
    test::writeFile(folder / "corvid2_trace_enable.ini", "");

    CConsumerBase::instance();
    CLibraryTrace& context = CLibraryTrace::instance();
    EXPECT_TRUE(context.enabledByEnableFile());
    EXPECT_TRUE(context.trace().isEnabled());
    EXPECT_EQ(context.trace().targets(), QXFramework::Debug::kTargetFile);
    const auto traceFile = folder / ("corvid2_trace_" + platform::programFileName() + ".log");
    EXPECT_EQ(context.trace().fileName(), traceFile.string());
    ASSERT_TRUE(context.trace().waitUntilWritten(test::kPatience));
    const std::string text = test::readFile(traceFile);
    EXPECT_NE(text.find("; corvid2_genicam; Inf; "), std::string::npos) << text;
    EXPECT_NE(text.find("; base; TraceEnable; SystemInfo; Computername; "), std::string::npos) << text;
    context.trace().setEnabled(false);  // joins the writer before the scratch folder goes
}

}  // namespace
}  // namespace corvid2
