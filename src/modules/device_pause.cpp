// SPDX-License-Identifier: BSD-3-Clause
// Pausing and resuming a device's acquisition.
#include "modules/device_pause.h"

#include <corvid2/genapi/interfaces.h>

#include <cinttypes>

#include "modules/datastreamobj.h"
#include "modules/deviceobj.h"
#include "trace/trace.h"

namespace corvid2 {

using namespace GenTL;

Result DevicePause::Pause() {
    traceInfo("DevicePause; Pause; called (%X, %u);", flags_, static_cast<unsigned>(streams_.size()));
    try {
        if ((flags_ & kAbortCommand) != 0)
            device_.executeCameraCommand("AcquisitionAbort", "Pause");
        else if ((flags_ & kStopCommand) != 0)
            device_.executeCameraCommand("AcquisitionStop", "Pause");
        streams_.clear();
        if ((flags_ & kStreams) == 0) return Result::Success;
        for (CDataStreamObj* stream : device_.openStreams()) {
            if (const Result code = stream->StopAcquisition(ACQ_STOP_FLAGS_DEFAULT); code != Result::Success)
                return code;
            streams_.push_back(stream);
        }
    } catch (const genapi::GenericException&) {
        traceError("DevicePause; Pause; Unexpected exception occurred;");
        return Result::Error;
    }
    return Result::Success;
}

// The images a finite start still owes: N - what arrived since (D + A), with C the images the
// previous resume counted as waiting already.
Result DevicePause::restart(CDataStreamObj& stream) {
    const std::uint64_t count = stream.getStartCount();
    if (count == GENTL_INFINITE) {
        traceInfo("DevicePause; Stream(true); %s;", "continuous");
        return stream.StartAcquisition(ACQ_START_FLAGS_DEFAULT, GENTL_INFINITE, true);
    }
    if (count == 0) {
        traceError("AcquisitionPause; getNumToAcquire: uiNum == 0;");
        return Result::Success;
    }
    const std::uint64_t counted = stream.getCounter();
    std::uint64_t delivered = 0, waiting = 0;
    if (const Result code = stream.infoValue(STREAM_INFO_NUM_DELIVERED, &delivered); code != Result::Success)
        return code;
    if (const Result code = stream.infoValue(STREAM_INFO_NUM_AWAIT_DELIVERY, &waiting); code != Result::Success)
        return code;
    traceInfo("DevicePause; Stream(true); %" PRIu64 "(%" PRIu64 ")/%" PRIu64 "/%" PRIu64 ";", count, counted, delivered,
              waiting);
    const std::uint64_t owed = count + counted > delivered + waiting ? count + counted - (delivered + waiting) : 0;
    // Nothing owed: a start of no image would be refused, so the stream stays stopped.
    if (owed == 0) return Result::Success;
    if (const Result code = stream.StartAcquisition(ACQ_START_FLAGS_DEFAULT, owed, false); code != Result::Success)
        return code;
    stream.setCounter(waiting);
    return Result::Success;
}

Result DevicePause::Resume() {
    traceInfo("DevicePause; Resume; called (%X);", flags_);
    try {
        for (CDataStreamObj* stream : streams_)
            if (device_.holdsStream(stream) && stream->isOpen())
                if (const Result code = restart(*stream); code != Result::Success) return code;
        streams_.clear();
        device_.executeCameraCommand("AcquisitionStart", "Resume");
    } catch (const genapi::GenericException&) {
        traceError("DevicePause; Resume; Unexpected exception;");
        return Result::Error;
    }
    return Result::Success;
}

}  // namespace corvid2
