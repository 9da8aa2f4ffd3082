// SPDX-License-Identifier: BSD-3-Clause
// Fault injection (environment and the system module's features), incomplete and delayed frames, and the
// loader-test variants of the producer.
#include <cstdarg>
#include <mutex>

#include "sim_acquisition.h"

namespace corvid2::sim::test {
namespace {

constexpr uint64_t kWaitMs = 5000;

std::string lastErrorText(GC_ERROR* code) {
    return idText([&](char* b, size_t* s) { return gentl().GCGetLastError(code, b, s); });
}

TEST(SimEnvironmentFaults, InitFailsWhileTheFaultIsConfigured) {
    const GenTLFunctions& gt = gentl();
    {
        ScopedEnvironment env({{"CORVID2_SIM_FAIL", "GCInitLib:-1004"}});
        EXPECT_EQ(GC_ERR_RESOURCE_IN_USE, gt.GCInitLib());
        TL_HANDLE system = nullptr;
        EXPECT_EQ(GC_ERR_NOT_INITIALIZED, gt.TLOpen(&system));
    }
    ASSERT_EQ(GC_ERR_SUCCESS, gt.GCInitLib());
    EXPECT_EQ(GC_ERR_SUCCESS, gt.GCCloseLib());
}

TEST(SimEnvironmentFaults, NamedFunctionFailsTheGivenNumberOfTimes) {
    const GenTLFunctions& gt = gentl();
    ScopedEnvironment env({{"CORVID2_SIM_FAIL", "TLOpen:-1010:2,DevGetPort:-10005"}});
    ASSERT_EQ(GC_ERR_SUCCESS, gt.GCInitLib());
    TL_HANDLE system = nullptr;
    EXPECT_EQ(GC_ERR_IO, gt.TLOpen(&system));
    GC_ERROR code = 0;
    EXPECT_NE(std::string::npos, lastErrorText(&code).find("TLOpen"));
    EXPECT_EQ(GC_ERR_IO, code);
    EXPECT_EQ(GC_ERR_IO, gt.TLOpen(&system));
    ASSERT_EQ(GC_ERR_SUCCESS, gt.TLOpen(&system));
    EXPECT_EQ(GC_ERR_SUCCESS, gt.TLClose(system));
    EXPECT_EQ(GC_ERR_SUCCESS, gt.GCCloseLib());
}

class SimFeatureFaults : public SimTest {
protected:
    SimSession session;
    Features system{session.system()};
};

TEST_F(SimFeatureFaults, ArmedFunctionFailsExactlyCountTimes) {
    Acquisition acq(session, "SimMono0");
    const auto buffers = acq.announceUserBuffers(1);
    gentl().DSFlushQueue(acq.stream(), ACQ_QUEUE_ALL_DISCARD);
    system.setString("SimFaultFunction", "DSQueueBuffer");
    system.setInt("SimFaultCode", GC_ERR_BUSY);
    system.setInt("SimFaultCount", 3);
    system.execute("SimFaultArm");
    for (int i = 0; i < 3; ++i) EXPECT_EQ(GC_ERR_BUSY, gentl().DSQueueBuffer(acq.stream(), buffers[0])) << i;
    EXPECT_EQ(GC_ERR_SUCCESS, gentl().DSQueueBuffer(acq.stream(), buffers[0]));
}

TEST_F(SimFeatureFaults, EveryNthFrameArrivesIncomplete) {
    system.setInt("SimIncompleteEvery", 3);
    Acquisition acq(session, "SimMono0");
    acq.camera().setBool("AcquisitionFrameRateEnable", false);
    acq.announceUserBuffers(3);
    acq.start(6);
    std::vector<bool> incomplete;
    for (int i = 0; i < 6; ++i) {
        BUFFER_HANDLE buffer = acq.next(kWaitMs);
        ASSERT_NE(nullptr, buffer);
        incomplete.push_back(acq.boolInfo(buffer, BUFFER_INFO_IS_INCOMPLETE));
        if (incomplete.back()) {
            EXPECT_EQ(240u, acq.sizeInfo(buffer, BUFFER_INFO_DELIVERED_IMAGEHEIGHT));
            EXPECT_EQ(640u * 240, acq.sizeInfo(buffer, BUFFER_INFO_SIZE_FILLED));
            Features bufferFeatures(buffer);
            EXPECT_TRUE(bufferFeatures.getBool("BufferIncomplete"));
        }
        acq.queue(buffer);
    }
    EXPECT_EQ((std::vector<bool>{false, false, true, false, false, true}), incomplete);
}

TEST_F(SimFeatureFaults, DelayedFramesStillArriveAndKillEndsTheDelay) {
    system.setInt("SimFrameDelay", 50000);
    EXPECT_EQ(50000, system.getInt("SimFrameDelay"));
    Acquisition acq(session, "SimMono0");
    acq.announceUserBuffers(2);
    acq.start();
    BUFFER_HANDLE buffer = acq.next(kWaitMs);
    ASSERT_NE(nullptr, buffer);
    EXPECT_TRUE(acq.boolInfo(buffer, BUFFER_INFO_NEW_DATA));
    EXPECT_EQ(GC_ERR_SUCCESS, gentl().DSStopAcquisition(acq.stream(), ACQ_STOP_FLAGS_KILL));
    EXPECT_FALSE(acq.streamInfo<bool8_t>(STREAM_INFO_IS_GRABBING, INFO_DATATYPE_BOOL8));
    EXPECT_EQ(1u, acq.streamInfo<size_t>(STREAM_INFO_NUM_QUEUED, INFO_DATATYPE_SIZET));
}

TEST(SimEnvironmentSettings, InterfacesAndCamerasFollowTheEnvironment) {
    ScopedEnvironment env({{"CORVID2_SIM_INTERFACES", "U3V:bayer,bayer,mono"},
                           {"CORVID2_SIM_INCOMPLETE_EVERY", "7"},
                           {"CORVID2_SIM_FRAME_DELAY_US", "1234"}});
    SimSession session;
    uint32_t count = 0;
    gentl().TLGetNumInterfaces(session.system(), &count);
    ASSERT_EQ(1u, count);
    EXPECT_EQ("U3V", infoText([&](INFO_DATATYPE* t, void* b, size_t* s) {
                  return gentl().TLGetInfo(session.system(), TL_INFO_TLTYPE, t, b, s);
              }));
    IF_HANDLE iface = session.openInterface(0);
    gentl().IFGetNumDevices(iface, &count);
    EXPECT_EQ(3u, count);
    EXPECT_EQ("SimBayer1", idText([&](char* b, size_t* s) { return gentl().IFGetDeviceID(iface, 1, b, s); }));
    Features system(session.system());
    EXPECT_EQ(7, system.getInt("SimIncompleteEvery"));
    EXPECT_EQ(1234, system.getInt("SimFrameDelay"));
}

// ---- loader-test variants ----

std::mutex traceMutex;
std::vector<std::string> traceLines;

void recordTrace(const char* prefix, int32_t, int32_t, uint32_t, const char* format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    std::lock_guard<std::mutex> lock(traceMutex);
    traceLines.push_back(std::string(prefix) + ": " + text);
}

const char* const kTraceHooks[] = {"QXTLTraceEnable",
                                   "QXTLTraceActivateOutputToFile",
                                   "QXTLTraceActivateOutputToDebugger",
                                   "QXTLTraceActivateMaskError",
                                   "QXTLTraceActivateMaskWarning",
                                   "QXTLTraceActivateMaskInformation",
                                   "QXTLTraceActivateOutputOptionTimestamp",
                                   "QXTLTraceActivateOutputOptionTimestampDiff",
                                   "QXTLTraceActivateOutputOptionThreadId",
                                   "QXTLTraceActivateOutputOptionPrefix",
                                   "QXTLTraceRegisterCallback"};

size_t traceHookCount(const ProducerLibrary& library) {
    size_t count = 0;
    for (const char* name : kTraceHooks) count += library.symbol(name) != nullptr ? 1 : 0;
    return count;
}

TEST(SimVariants, EachLacksExactlyWhatItIsFor) {
    ProducerLibrary full(simProducerPath());
    EXPECT_TRUE(full.missingFunctions().empty());
    EXPECT_EQ(0u, traceHookCount(full));
    ProducerLibrary noOptional(simVariantPath("corvid2_sim_no_optional"));
    EXPECT_EQ((std::vector<std::string>{"DSGetBufferPartInfoStacked"}), noOptional.missingFunctions());
    ProducerLibrary noStacked(simVariantPath("corvid2_sim_no_read_port_stacked"));
    EXPECT_EQ((std::vector<std::string>{"GCReadPortStacked"}), noStacked.missingFunctions());
    ProducerLibrary incomplete(simVariantPath("corvid2_sim_trace_hooks_incomplete"));
    EXPECT_EQ(10u, traceHookCount(incomplete));
    EXPECT_EQ(nullptr, incomplete.symbol("QXTLTraceActivateOutputOptionPrefix"));
}

TEST(SimVariants, TraceHooksDeliverTheProducersOwnLines) {
    ProducerLibrary library(simVariantPath("corvid2_sim_trace_hooks"));
    ASSERT_EQ(11u, traceHookCount(library));
    using Register = int32_t (*)(decltype(&recordTrace));
    const auto registerCallback = reinterpret_cast<Register>(library.symbol("QXTLTraceRegisterCallback"));
    ASSERT_EQ(0, registerCallback(&recordTrace));
    const GenTLFunctions& gt = library.functions();
    ASSERT_EQ(GC_ERR_SUCCESS, gt.GCInitLib());
    EXPECT_EQ(GC_ERR_INVALID_HANDLE, gt.TLClose(nullptr));
    gt.GCCloseLib();
    registerCallback(nullptr);
    std::lock_guard<std::mutex> lock(traceMutex);
    const auto contains = [&](const char* text) {
        return std::any_of(traceLines.begin(), traceLines.end(),
                           [&](const std::string& l) { return l.find(text) != std::string::npos; });
    };
    EXPECT_TRUE(contains("corvid2_sim: GCInitLib"));
    EXPECT_TRUE(contains("TLClose; invalid handle"));
}

}  // namespace
}  // namespace corvid2::sim::test
