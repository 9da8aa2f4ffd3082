// SPDX-License-Identifier: BSD-3-Clause
// Several threads use the producer at once: streaming on two cameras, feature and information access on the
// same and other modules, and devices opened and closed meanwhile. Meant to run under ThreadSanitizer too.
#include <atomic>
#include <thread>

#include "sim_acquisition.h"

namespace corvid2::sim::test {
namespace {

TEST(SimConcurrency, StreamingAccessAndOpeningRunSideBySide) {
    SimSession session;
    Acquisition mono(session, "SimMono0");
    Acquisition bayer(session, "SimBayer0");
    for (Acquisition* acq : {&mono, &bayer}) {
        acq->camera().setBool("AcquisitionFrameRateEnable", false);
        acq->camera().setInt("Width", 256);
        acq->camera().setInt("Height", 128);
        acq->announceUserBuffers(3);
        acq->start();
    }
    session.openInterface(1);  // the session's own bookkeeping is not shared between threads
    std::atomic<bool> done{false};
    std::atomic<int> failures{0};
    const auto consume = [&](Acquisition& acq) {
        for (int i = 0; i < 60; ++i) {
            BUFFER_HANDLE buffer = acq.next(5000);
            if (buffer == nullptr) {
                ++failures;
                return;
            }
            if (!acq.boolInfo(buffer, BUFFER_INFO_NEW_DATA)) ++failures;
            acq.queue(buffer);
        }
    };
    std::vector<std::thread> threads;
    const auto guarded = [&](auto body) {
        return [&failures, body] {
            try {
                body();
            } catch (const std::exception&) {
                ++failures;
            }
        };
    };
    threads.emplace_back(guarded([&] { consume(mono); }));
    threads.emplace_back(guarded([&] { consume(bayer); }));
    // Reads the streaming camera's features and stream information while frames flow.
    threads.emplace_back(guarded([&] {
        Features features(session.remotePort(mono.device()));
        while (!done) {
            if (features.getInt("Width") != 256) ++failures;
            features.setFloat("ExposureTime", 8000);
            mono.streamInfo<uint64_t>(STREAM_INFO_NUM_DELIVERED, INFO_DATATYPE_UINT64);
        }
    }));
    // Lists and information of the whole tree.
    threads.emplace_back(guarded([&] {
        while (!done) {
            bool8_t changed = false;
            gentl().TLUpdateInterfaceList(session.system(), &changed, 0);
            IF_HANDLE iface = session.openInterface(1);
            gentl().IFUpdateDeviceList(iface, &changed, 0);
            if (infoText([&](INFO_DATATYPE* t, void* b, size_t* s) {
                    return gentl().IFGetDeviceInfo(iface, "SimPolarized0", DEVICE_INFO_MODEL, t, b, s);
                }) != "Corvid2SimPolarized")
                ++failures;
        }
    }));
    // Opens and closes another device, with its stream, over and over.
    threads.emplace_back(guarded([&] {
        IF_HANDLE iface = session.openInterface(1);
        while (!done) {
            DEV_HANDLE device = nullptr;
            if (gentl().IFOpenDevice(iface, "SimSerial0", DEVICE_ACCESS_CONTROL, &device) != GC_ERR_SUCCESS) {
                ++failures;
                continue;
            }
            DS_HANDLE stream = nullptr;
            gentl().DevOpenDataStream(device, "Stream0", &stream);
            if (gentl().DevClose(device) != GC_ERR_SUCCESS) ++failures;
        }
    }));
    threads[0].join();
    threads[1].join();
    done = true;
    for (size_t i = 2; i < threads.size(); ++i) threads[i].join();
    EXPECT_EQ(0, failures.load());
    mono.stop();
    bayer.stop();
}

}  // namespace
}  // namespace corvid2::sim::test
