// SPDX-License-Identifier: BSD-3-Clause
// CDataStreamObj: one open data stream of a device, its announced buffers, acquisition and filled-buffer delivery.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/access_control.h"
#include "core/object_guard.h"
#include "core/result_codes.h"
#include "modules/gentl_module.h"
#include "trace/worker_thread.h"

namespace corvid2 {

class CBufferObj;
class CDeviceObj;

// Made by its device when the stream opens and destroyed when it closes. The stream lock
// (recursive) protects the handle, the announced buffers, start/stop, queue operations, open and
// close; a filled-buffer wait takes it only after the producer delivered, never while waiting.
// Lock order: the device's lock -> the stream lock. The worker thread runs the new-buffer handler.
class CDataStreamObj : public CGenTLModule, public CIThread {
public:
    using NewBufferHandler = void (*)(void* context, CBufferObj* buffer);
    // A company's own wait and cancel, installed through the exported hooks; GC_ERR_NOT_INITIALIZED
    // from them hands the call back to the library.
    using FilledBufferBypass = std::int32_t (*)(void** buffer, std::uint64_t timeout, void* context);
    using CancelBypass = std::int32_t (*)(void* context);
    using InfoBypass = std::int32_t (*)(std::int32_t command, std::int32_t* type, void* buffer, size_t* size,
                                        void* context);

    static constexpr char kDefaultTraceName[] = "DataSreamObj";
    // The wait for a filled buffer looks at cancellation and thread stop at least this often.
    static constexpr std::uint64_t kSliceMilliseconds = 20;

    CDataStreamObj(CDeviceObj& device, std::string id);
    // Leaves the registry (ending every wait for a filled buffer), waits until the threads that
    // use the stream left, then closes it.
    ~CDataStreamObj() override;

    void* getHandle() const override { return handle_.load(std::memory_order_acquire); }
    const std::string& id() const { return id_; }
    CDeviceObj& device() const { return device_; }
    bool isOpen() const { return getHandle() != nullptr; }

    // DevOpenDataStream, port, node map, trace name, new-buffer event in polling mode.
    Result open();
    // Unregisters the event, stops a handler, DSClose, lets every buffer go (they stay alive).
    Result close();

    // Acquisition; the device's transport-layer parameters are locked while it runs.
    Result StartAcquisition(GenTL::ACQ_START_FLAGS flags, std::uint64_t count, bool continuous);
    Result StopAcquisition(GenTL::ACQ_STOP_FLAGS flags);
    // DSFlushQueue; the modes that put every buffer back into the input pool mark them queued.
    Result queueOperation(GenTL::ACQ_QUEUE_TYPE mode);
    // Stream information, through the info bypass when one is installed.
    Result getInfo(GenTL::STREAM_INFO_CMD command, GenTL::INFO_DATATYPE* type, void* buffer, size_t* size);
    // The library's own query, without the bypass.
    Result ownInfo(GenTL::STREAM_INFO_CMD command, GenTL::INFO_DATATYPE* type, void* buffer, size_t* size);
    template <class Value>
    Result infoValue(GenTL::STREAM_INFO_CMD command, Value* value);
    Result infoText(GenTL::STREAM_INFO_CMD command, std::string& text);
    // The bytes a library-allocated buffer needs (see the algorithm in the .cpp).
    Result getPayloadSize(std::uint64_t* size, bool useCurrentValue);
    // How many memory segments a composite buffer of this stream needs: the camera's GenDC flow
    // table when it streams GenDC containers, else 1.
    Result GetSegmentCount(std::uint32_t* count);
    // The bytes of segment `index`; without GenDC only segment 0, of the current payload size.
    Result GetSegmentSize(std::uint32_t index, std::uint64_t* size);
    std::uint64_t getStartCount() const { return startCount_.load(std::memory_order_acquire); }
    std::uint64_t getCounter() const { return counter_.load(std::memory_order_acquire); }
    void setCounter(std::uint64_t value) { counter_.store(value, std::memory_order_release); }
    // The producer's GenTL version, for the buffers' payload-type mapping.
    std::uint32_t genTLVersionMajor() const;
    std::uint32_t genTLVersionMinor() const;

    // ---- buffers
    Result announceBuffer(CBufferObj* buffer);
    Result RevokeBuffer(CBufferObj* buffer, void** privateData);
    Result revokeAllBuffers();
    // QueueBuffer of a buffer announced to this stream; NotAvailable for any other.
    Result requeueBuffer(CBufferObj* buffer);
    Result GetBufferID(std::uint32_t index, CBufferObj** buffer);
    bool holdsBuffer(const CBufferObj* buffer);
    // Takes over a buffer whose Buffer went while the producer still held it; destroyed at close.
    void keepUntilClose(CBufferObj* buffer);
    // The stream's lock, for the buffers' queueing.
    std::recursive_mutex& lock() { return mutex_; }

    // ---- the new-buffer event
    // 0 unregisters, 1 polling, 2 handler (the registration itself; the handler thread is apart).
    Result RegisterNewBufferEvent(std::int32_t mode);
    std::int32_t newBufferEventMode() const;
    Result registerEvent(GenTL::EVENT_TYPE type, std::int32_t mode, bool internal) override;
    Result unregisterEvent(GenTL::EVENT_TYPE type, bool internal) override;
    // The next filled buffer within `timeout` ms (GENTL_INFINITE without end): Success, Timeout,
    // Abort (cancelled, or the handler thread asked to stop) or a failure.
    Result GetFilledBuffer(CBufferObj** buffer, std::uint64_t timeout);
    // The library's own wait, without the bypass.
    Result waitForFilledBuffer(CBufferObj** buffer, std::uint64_t timeout);
    // Ends a waiting GetFilledBuffer, or the next one at once (through the cancel bypass when one
    // is installed).
    void cancelGetFilledBuffer();
    // The library's own cancel, without the bypass.
    void cancelOwnWait();
    // Ends every wait for a filled buffer, now and from now on: the stream is going.
    void endWaits();
    // Starts the handler thread calling `handler(context, buffer)` for every filled buffer.
    Result installNewBufferHandler(void* context, NewBufferHandler handler);
    // Stops the handler thread, discards every queued buffer, clears the handler; nothing without
    // a handler. Never called with the stream lock held (the handler thread takes it).
    Result UnregisterNewCBufferObjEventHandler();
    bool handlerInstalled() const;
    using CIThread::isWorkerThread;

    // ---- hooks for a companion component
    void setInfoBypass(InfoBypass bypass, void* context);
    void setCancelBypass(CancelBypass bypass, void* context);
    void setFilledBufferBypass(FilledBufferBypass bypass, void* context);

    // For the guards of the internal stream registry.
    const ObjectIdentity identity_ = nextObjectIdentity();
    std::atomic<std::uint32_t> useCount_{0};

protected:
    void run() override;

private:
    using Lock = std::lock_guard<std::recursive_mutex>;
    // Producer table and handle present, else recorded with `operation`.
    Result checkOpen(const char* operation) const;
    Result lockTransportLayer(bool locked, const char* operation);
    Result revokeOne(CBufferObj* buffer, void** privateData);
    Result takeCancel();

    CDeviceObj& device_;
    const std::string id_;
    std::atomic<GenTL::DS_HANDLE> handle_{nullptr};
    mutable std::recursive_mutex mutex_;
    std::set<CBufferObj*> buffers_;
    std::unordered_map<GenTL::BUFFER_HANDLE, CBufferObj*> byHandle_;  // one lookup per image
    std::vector<std::unique_ptr<CBufferObj>> orphans_;
    std::atomic<std::uint64_t> startCount_{0};
    std::atomic<std::uint64_t> counter_{0};

    std::mutex cancelFlagMutex_;
    bool cancelled_ = false;
    std::atomic<bool> ending_{false};
    std::atomic<bool> newBufferRegistered_{false};
    std::atomic<GenTL::EVENT_HANDLE> newBufferEvent_{nullptr};
    std::atomic<std::int32_t> newBufferMode_{0};

    mutable std::mutex handlerMutex_;
    NewBufferHandler handler_ = nullptr;
    void* handlerContext_ = nullptr;

    std::mutex filledBufferMutex_;
    FilledBufferBypass filledBufferBypass_ = nullptr;
    void* filledBufferContext_ = nullptr;
    std::mutex cancelMutex_;
    CancelBypass cancelBypass_ = nullptr;
    void* cancelContext_ = nullptr;
    std::mutex infoMutex_;
    InfoBypass infoBypass_ = nullptr;
    void* infoContext_ = nullptr;
    std::atomic<std::uint32_t> pauseState_{0};
};

// Stream objects are counted; the guard does not wait for their users, the stream's destructor
// does, after leaving the registry has ended every wait for a filled buffer.
struct StreamAccess : IdentityAndCounter<CDataStreamObj, &CDataStreamObj::identity_, &CDataStreamObj::useCount_> {
    static void onUnregistered(CDataStreamObj* stream) { stream->endWaits(); }
};
using CDataStreamObjGuard = CObjectGuard<RegistryKind::DataStreamObjPtr, CDataStreamObj, StreamAccess>;

}  // namespace corvid2
