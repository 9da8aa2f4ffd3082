// SPDX-License-Identifier: BSD-3-Clause
// The data stream of one camera and its buffers: announcement, input pool and output queue, the acquisition
// thread, flushing, and every stream and buffer information command.
#pragma once

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_set>
#include <vector>

#include "camera.h"
#include "module.h"

namespace corvid2::sim {

struct Producer;

class BufferObject : public Module {
public:
    struct Segment {
        uint8_t* base;
        size_t size;
    };
    BufferObject(std::shared_ptr<std::mutex> streamMutex, std::vector<Segment> segments,
                 std::vector<uint8_t> ownedMemory, void* userPointer, bool composite);

    HandleKind handleKind() const override { return HandleKind::Buffer; }
    Port* port() override { return &port_; }
    bool supportsEvent(EVENT_TYPE) const override { return false; }

    size_t totalSize() const;
    bool isProducerMemory() const { return !owned_.empty(); }
    bool isQueued() const { return inInput_ || inOutput_; }

private:
    friend class DataStream;
    std::shared_ptr<std::mutex> streamMutex_;
    std::vector<Segment> segments_;
    std::vector<uint8_t> owned_;
    void* userPointer_;
    bool composite_;
    Port port_;
    // Guarded by the stream's mutex.
    bool inInput_ = false, inOutput_ = false, acquiring_ = false;
    bool newData_ = false, incomplete_ = false, dataLarger_ = false, containsChunks_ = false;
    size_t filled_ = 0, deliveredLines_ = 0;
    uint64_t hostTimestampNs_ = 0;
    FrameInfo frame_;
};

class DataStream : public Module, public AcquisitionListener, public std::enable_shared_from_this<DataStream> {
public:
    DataStream(Producer& producer, std::shared_ptr<Camera> camera, std::string id);
    ~DataStream() override;

    HandleKind handleKind() const override { return HandleKind::DataStream; }
    Port* port() override { return &port_; }
    bool supportsEvent(EVENT_TYPE type) const override;
    const std::string& id() const { return id_; }
    void setParentHandle(void* device) { parentHandle_ = device; }
    void* parentHandle() const { return parentHandle_; }

    std::shared_ptr<BufferObject> announce(std::vector<BufferObject::Segment> segments, std::vector<uint8_t> owned,
                                           void* userPointer, bool composite);
    std::shared_ptr<BufferObject> allocate(size_t size, void* userPointer);
    // Gives back the user memory and private pointer; the buffer must not be queued or in use.
    void revoke(const std::shared_ptr<BufferObject>& buffer, void** memory, void** userPointer);
    std::shared_ptr<BufferObject> bufferAt(uint32_t index) const;
    // GC_ERR_INVALID_HANDLE unless the buffer is announced on this stream.
    void requireOwn(const BufferObject& buffer) const;
    void queue(const std::shared_ptr<BufferObject>& buffer);
    void flush(ACQ_QUEUE_TYPE operation);
    void start(ACQ_START_FLAGS flags, uint64_t count);
    void stop(ACQ_STOP_FLAGS flags);
    // Stops, revokes every buffer and ends every registration; returns what must leave the handle registry.
    std::vector<void*> close();

    InfoValue info(STREAM_INFO_CMD command) const;
    InfoValue bufferInfo(const BufferObject& buffer, BUFFER_INFO_CMD command) const;
    // Several answers under one hold of the stream's lock; each entry gets its own result.
    void bufferInfoStacked(const BufferObject& buffer, DS_BUFFER_INFO_STACKED* entries, size_t count) const;
    InfoValue partInfo(const BufferObject& buffer, uint32_t part, BUFFER_PART_INFO_CMD command) const;
    InfoValue segmentInfo(const BufferObject& buffer, uint32_t segment, SEGMENT_INFO_CMD command) const;
    uint32_t segmentCount(const BufferObject& buffer) const;
    uint32_t partCount(const BufferObject& buffer) const;
    std::vector<ChunkEntry> chunks(const BufferObject& buffer) const;

    void acquisitionChanged() override;

protected:
    void onRegistered(EventHandle& event) override;

private:
    void run();
    void produce(BufferObject& buffer, uint64_t number);
    // Moves a filled buffer to the output queue; its new-buffer event waits in unannounced_ until announceLocked().
    void deliverLocked(BufferObject& buffer);
    void announceLocked();
    void joinThread();
    void dropFromOutput(void* handle);

    Producer& producer_;
    void* parentHandle_ = nullptr;
    const std::shared_ptr<Camera> camera_;
    const std::string id_;
    Port port_;
    const std::shared_ptr<std::mutex> mutex_;
    std::condition_variable wake_;
    std::vector<std::shared_ptr<BufferObject>> buffers_;  // in order of announcement
    std::unordered_set<const BufferObject*> announced_;
    InfoValue bufferInfoLocked(const BufferObject& buffer, BUFFER_INFO_CMD command) const;
    std::deque<BufferObject*> input_, output_;
    // Delivered buffers whose new-buffer events are not raised yet, oldest first: a free run announces a batch of
    // frames at once so that a waiting consumer is woken once per batch rather than once per frame.
    std::vector<BufferObject*> unannounced_;
    std::thread thread_;
    bool grabbing_ = false, stopRequested_ = false, killRequested_ = false;
    uint64_t changes_ = 0;
    uint64_t toAcquire_ = 0, acquired_ = 0;
    uint64_t delivered_ = 0, underruns_ = 0, started_ = 0;  // since the last acquisition start
    uint64_t frameCount_ = 0;                               // frames started since open: the frame ids
    std::vector<uint8_t> scratch_;
};

}  // namespace corvid2::sim
