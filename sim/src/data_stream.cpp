// SPDX-License-Identifier: BSD-3-Clause
// Data stream: GenTL buffer semantics and the acquisition thread, which waits on a condition variable only.
#include "data_stream.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>

#include <unistd.h>

#include "producer.h"
#include "xml_catalog.h"

namespace corvid2::sim {

namespace {
constexpr uint64_t kDescriptionAddress = 0xF0000000;
// A free-run batch ends once it holds as many frames as are left to fill (the consumer then works through one
// half while the acquisition thread fills the other, and neither waits for the other), after this many frames,
// or before one more frame would keep its first frame waiting longer than this: a large frame, whose hand-off
// costs little beside its copy, is announced at once.
constexpr size_t kBatchFrames = 16;
constexpr std::chrono::microseconds kBatchWindow{100};

std::string hexAddress(const void* pointer) {
    char text[32];
    std::snprintf(text, sizeof text, "%llX", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(pointer)));
    return text;
}

std::shared_ptr<const std::vector<uint8_t>> descriptionBytes(const char* name) {
    const std::string text = embeddedDescription(name);
    return std::make_shared<const std::vector<uint8_t>>(text.begin(), text.end());
}

// The stream description is also offered as a file, written once per process beside the other temporary files.
std::string writeStreamDescriptionFile(const std::string& directory) {
    const std::string path = directory + "/corvid2_sim_stream.xml";
    const std::string temporary = path + "." + std::to_string(getpid());
    {
        std::ofstream out(temporary, std::ios::binary);
        out << embeddedDescription("stream.xml");
        if (!out) return "";
    }
    return std::rename(temporary.c_str(), path.c_str()) == 0 ? path : "";
}
}  // namespace

BufferObject::BufferObject(std::shared_ptr<std::mutex> streamMutex, std::vector<Segment> segments,
                           std::vector<uint8_t> ownedMemory, void* userPointer, bool composite)
    : streamMutex_(std::move(streamMutex)),
      segments_(std::move(segments)),
      owned_(std::move(ownedMemory)),
      userPointer_(userPointer),
      composite_(composite),
      port_(PortIdentity{hexAddress(segments_.front().base), "Corvid2", "corvid2_sim", "", "TLBuffer", "BufferPort"}) {
    static const auto kDescription = descriptionBytes("buffer.xml");
    port_.addLocalDescription("Corvid2SimBuffer.xml", kDescription, kDescriptionAddress,
                              embeddedDescription("buffer.xml"));
    RegisterMap& r = port_.registers();
    const auto guarded = [this](auto read) {
        return [this, read] {
            std::lock_guard<std::mutex> lock(*streamMutex_);
            return static_cast<int64_t>(read());
        };
    };
    r.addInt(0x00, 8, guarded([this] { return hostTimestampNs_; }));
    r.addInt(0x08, 8, guarded([this] { return frame_.frameId; }));
    r.addInt(0x10, 4, guarded([this] { return incomplete_ ? 1 : 0; }));
}

size_t BufferObject::totalSize() const {
    size_t total = 0;
    for (const Segment& s : segments_) total += s.size;
    return total;
}

DataStream::DataStream(Producer& producer, std::shared_ptr<Camera> camera, std::string id)
    : producer_(producer),
      camera_(std::move(camera)),
      id_(std::move(id)),
      port_(PortIdentity{id_, producer.config.vendor, "corvid2_sim", camera_->identity().tlType, "TLDataStream",
                         "StreamPort"}),
      mutex_(std::make_shared<std::mutex>()) {
    const std::string file = writeStreamDescriptionFile(producer.config.descriptionDir);
    if (!file.empty()) port_.addFileDescription(file, embeddedDescription("stream.xml"));
    port_.addLocalDescription("Corvid2SimStream.xml", descriptionBytes("stream.xml"), kDescriptionAddress,
                              embeddedDescription("stream.xml"));
    RegisterMap& r = port_.registers();
    r.addText(0x00, 64, [this] { return id_; });
    r.addText(0x40, 64, [this] { return camera_->identity().tlType; });
    const auto counter = [this](uint64_t address, size_t length, auto read) {
        port_.registers().addInt(address, length, [this, read] {
            std::lock_guard<std::mutex> lock(*mutex_);
            return static_cast<int64_t>(read());
        });
    };
    counter(0x80, 4, [this] { return buffers_.size(); });
    counter(0x88, 8, [this] { return delivered_; });
    counter(0x90, 8, [this] { return underruns_; });
    counter(0x98, 4, [] { return 1; });
    counter(0xA0, 4, [this] { return grabbing_ ? 1 : 0; });
    r.addInt(
        0xA4, 4, [] { return int64_t{0}; },
        [](int64_t v) {
            if (v != 0) fail(GC_ERR_INVALID_VALUE, "only OldestFirst is offered");
        });
}

DataStream::~DataStream() { joinThread(); }

bool DataStream::supportsEvent(EVENT_TYPE type) const {
    return type == EVENT_NEW_BUFFER || type == EVENT_ERROR || type == EVENT_MODULE;
}

// A buffer leaves the output queue when its new-buffer event is fetched.
void DataStream::onRegistered(EventHandle& event) {
    if (event.type() != EVENT_NEW_BUFFER) return;
    std::weak_ptr<DataStream> self = shared_from_this();
    event.setTakeHook([self](const EventRecord& record) {
        if (auto stream = self.lock()) {
            EVENT_NEW_BUFFER_DATA data;
            std::memcpy(&data, record.raw.data(), sizeof data);
            stream->dropFromOutput(data.BufferHandle);
        }
    });
}

void DataStream::dropFromOutput(void* handle) {
    std::lock_guard<std::mutex> lock(*mutex_);
    const auto it =
        std::find_if(output_.begin(), output_.end(), [&](BufferObject* b) { return b->handle() == handle; });
    if (it == output_.end()) return;
    (*it)->inOutput_ = false;
    output_.erase(it);
}

std::shared_ptr<BufferObject> DataStream::announce(std::vector<BufferObject::Segment> segments,
                                                   std::vector<uint8_t> owned, void* userPointer, bool composite) {
    auto buffer = std::make_shared<BufferObject>(mutex_, std::move(segments), std::move(owned), userPointer, composite);
    std::lock_guard<std::mutex> lock(*mutex_);
    for (const auto& other : buffers_)
        if (!composite && !other->composite_ && other->segments_.front().base == buffer->segments_.front().base)
            fail(GC_ERR_RESOURCE_IN_USE, "this memory is already announced");
    buffers_.push_back(buffer);
    announced_.insert(buffer.get());
    return buffer;
}

std::shared_ptr<BufferObject> DataStream::allocate(size_t size, void* userPointer) {
    std::vector<uint8_t> memory(size);
    uint8_t* base = memory.data();
    return announce({{base, size}}, std::move(memory), userPointer, false);
}

void DataStream::revoke(const std::shared_ptr<BufferObject>& buffer, void** memory, void** userPointer) {
    std::lock_guard<std::mutex> lock(*mutex_);
    if (buffer->isQueued() || buffer->acquiring_) fail(GC_ERR_BUSY, "buffer is queued or being filled");
    const auto it = std::find(buffers_.begin(), buffers_.end(), buffer);
    if (it == buffers_.end()) fail(GC_ERR_INVALID_HANDLE, "buffer not announced on this stream");
    if (memory != nullptr)
        *memory = buffer->isProducerMemory() || buffer->composite_ ? nullptr : buffer->segments_.front().base;
    if (userPointer != nullptr) *userPointer = buffer->userPointer_;
    announced_.erase(buffer.get());
    buffers_.erase(it);
}

std::shared_ptr<BufferObject> DataStream::bufferAt(uint32_t index) const {
    std::lock_guard<std::mutex> lock(*mutex_);
    if (index >= buffers_.size()) fail(GC_ERR_INVALID_INDEX, "no buffer with this index");
    return buffers_[index];
}

void DataStream::requireOwn(const BufferObject& buffer) const {
    // Every buffer call of a consumer asks this; a scan would make each call cost the buffer count.
    std::lock_guard<std::mutex> lock(*mutex_);
    if (announced_.count(&buffer) == 0) fail(GC_ERR_INVALID_HANDLE, "buffer does not belong to this stream");
}

void DataStream::queue(const std::shared_ptr<BufferObject>& buffer) {
    {
        std::lock_guard<std::mutex> lock(*mutex_);
        if (buffer->inInput_ || buffer->acquiring_) fail(GC_ERR_RESOURCE_IN_USE, "buffer already queued");
        if (buffer->inOutput_) {
            output_.erase(std::remove(output_.begin(), output_.end(), buffer.get()), output_.end());
            unannounced_.erase(std::remove(unannounced_.begin(), unannounced_.end(), buffer.get()), unannounced_.end());
            buffer->inOutput_ = false;
        }
        buffer->inInput_ = true;
        input_.push_back(buffer.get());
    }
    wake_.notify_all();
}

void DataStream::deliverLocked(BufferObject& buffer) {
    buffer.inOutput_ = true;
    output_.push_back(&buffer);
    unannounced_.push_back(&buffer);
}

void DataStream::announceLocked() {
    for (BufferObject* buffer : unannounced_) {
        EventRecord record;
        EVENT_NEW_BUFFER_DATA data{buffer->handle(), buffer->userPointer_};
        record.raw.resize(sizeof data);
        std::memcpy(record.raw.data(), &data, sizeof data);
        raise(EVENT_NEW_BUFFER, std::move(record));
    }
    unannounced_.clear();
}

void DataStream::flush(ACQ_QUEUE_TYPE operation) {
    std::lock_guard<std::mutex> lock(*mutex_);
    const auto discardOutput = [this] {
        for (BufferObject* b : output_) b->inOutput_ = false;
        output_.clear();
        unannounced_.clear();
    };
    const auto unqueuedToInput = [this] {
        for (const auto& b : buffers_)
            if (!b->isQueued() && !b->acquiring_) {
                b->inInput_ = true;
                input_.push_back(b.get());
            }
    };
    switch (operation) {
        case ACQ_QUEUE_INPUT_TO_OUTPUT:
            while (!input_.empty()) {
                BufferObject* b = input_.front();
                input_.pop_front();
                b->inInput_ = false;
                b->newData_ = false;
                deliverLocked(*b);
            }
            announceLocked();
            return;
        case ACQ_QUEUE_OUTPUT_DISCARD:
            discardOutput();
            break;
        case ACQ_QUEUE_ALL_TO_INPUT:
            discardOutput();
            unqueuedToInput();
            break;
        case ACQ_QUEUE_UNQUEUED_TO_INPUT:
            unqueuedToInput();
            wake_.notify_all();
            return;
        case ACQ_QUEUE_ALL_DISCARD:
            discardOutput();
            for (BufferObject* b : input_) b->inInput_ = false;
            input_.clear();
            break;
        default:
            fail(GC_ERR_INVALID_PARAMETER, "unknown flush operation");
    }
    // The new-buffer events stand for the output queue, which is now empty.
    flushEvents(EVENT_NEW_BUFFER);
    wake_.notify_all();
}

void DataStream::start(ACQ_START_FLAGS flags, uint64_t count) {
    if (flags != ACQ_START_FLAGS_DEFAULT) fail(GC_ERR_INVALID_PARAMETER, "unknown start flags");
    if (count == 0) fail(GC_ERR_INVALID_PARAMETER, "nothing to acquire");
    joinThread();  // a counted acquisition that ended by itself leaves its finished thread behind
    std::lock_guard<std::mutex> lock(*mutex_);
    if (grabbing_) fail(GC_ERR_RESOURCE_IN_USE, "acquisition already started");
    if (buffers_.empty()) fail(GC_ERR_RESOURCE_IN_USE, "no buffer announced");
    grabbing_ = true;
    stopRequested_ = killRequested_ = false;
    toAcquire_ = count;
    acquired_ = 0;
    // The stream's counters count since the last acquisition start, as GenTL defines them.
    delivered_ = underruns_ = started_ = 0;
    camera_->setListener(shared_from_this());
    thread_ = std::thread([this] { run(); });
}

void DataStream::stop(ACQ_STOP_FLAGS flags) {
    if (flags != ACQ_STOP_FLAGS_DEFAULT && flags != ACQ_STOP_FLAGS_KILL)
        fail(GC_ERR_INVALID_PARAMETER, "unknown stop flags");
    {
        std::lock_guard<std::mutex> lock(*mutex_);
        stopRequested_ = true;
        killRequested_ = flags == ACQ_STOP_FLAGS_KILL;
    }
    wake_.notify_all();
    joinThread();
}

void DataStream::joinThread() {
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void DataStream::acquisitionChanged() {
    {
        std::lock_guard<std::mutex> lock(*mutex_);
        ++changes_;
    }
    wake_.notify_all();
}

std::vector<void*> DataStream::close() {
    stop(ACQ_STOP_FLAGS_KILL);
    camera_->setListener({});
    std::vector<void*> handles;
    for (const auto& event : unregisterAllEvents()) handles.push_back(event->handle());
    std::lock_guard<std::mutex> lock(*mutex_);
    for (const auto& buffer : buffers_) handles.push_back(buffer->handle());
    input_.clear();
    output_.clear();
    unannounced_.clear();
    buffers_.clear();
    announced_.clear();
    return handles;
}

void DataStream::run() {
    using Clock = std::chrono::steady_clock;
    std::unique_lock<std::mutex> lock(*mutex_);
    Clock::time_point next = Clock::now(), batchStart = next;
    while (!stopRequested_) {
        const uint64_t seen = changes_;
        const auto changed = [&] { return stopRequested_ || changes_ != seen; };
        const Camera::Pace pace = camera_->pace();
        const uint32_t delayUs = producer_.frameDelayUs;
        // Only a free run that can go on without waiting keeps its frames back for the batch.
        const bool batching =
            pace.acquiring && !pace.triggered && pace.periodNs == 0 && delayUs == 0 && !input_.empty();
        if (!batching) announceLocked();
        if (!pace.acquiring) {
            wake_.wait(lock, changed);
            next = Clock::now();
            continue;
        }
        if (pace.triggered) {
            if (!camera_->takeTrigger()) {
                wake_.wait(lock, changed);
                continue;
            }
        } else if (pace.periodNs > 0) {
            const Clock::time_point now = Clock::now();
            if (now < next) {
                wake_.wait_until(lock, next, changed);
                continue;
            }
            next += std::chrono::nanoseconds(pace.periodNs);
            if (next < now) next = now + std::chrono::nanoseconds(pace.periodNs);
        } else if (input_.empty()) {
            // Free run goes exactly as fast as buffers come back.
            wake_.wait(lock, [&] { return changed() || !input_.empty(); });
            continue;
        }
        if (input_.empty()) {
            ++underruns_;
            continue;
        }
        BufferObject* buffer = input_.front();
        input_.pop_front();
        buffer->inInput_ = false;
        buffer->acquiring_ = true;
        const uint64_t number = ++frameCount_;
        ++started_;
        lock.unlock();
        const Clock::time_point started = Clock::now();
        produce(*buffer, number);
        lock.lock();
        if (delayUs > 0) wake_.wait_for(lock, std::chrono::microseconds(delayUs), [&] { return stopRequested_; });
        buffer->acquiring_ = false;
        if (killRequested_) {
            buffer->inInput_ = true;
            input_.push_front(buffer);
            break;
        }
        ++delivered_;
        deliverLocked(*buffer);
        const Clock::time_point now = Clock::now();
        if (unannounced_.size() == 1) batchStart = started;
        if (unannounced_.size() >= std::min(kBatchFrames, input_.size()) ||
            (now - batchStart) + (now - started) >= kBatchWindow)
            announceLocked();
        if (toAcquire_ != GENTL_INFINITE && ++acquired_ >= toAcquire_) break;
    }
    announceLocked();
    grabbing_ = false;
}

void DataStream::produce(BufferObject& buffer, uint64_t number) {
    // Only this thread touches a buffer while it is being filled, so the frame is written without the lock.
    FrameInfo frame = camera_->beginFrame();
    const uint32_t every = producer_.incompleteEvery;
    const size_t capacity = buffer.totalSize();
    const bool contiguous = buffer.segments_.size() == 1 && capacity >= frame.payloadBytes;
    if (!contiguous) scratch_.resize(frame.payloadBytes);
    uint8_t* target = contiguous ? buffer.segments_.front().base : scratch_.data();
    camera_->writeFrame(frame, target);
    size_t filled = std::min(capacity, frame.payloadBytes);
    bool incomplete = filled < frame.payloadBytes;
    size_t lines = frame.image.height;
    if (every > 0 && number % every == 0) {
        // A lost packet: only the first half of the image arrives.
        lines = frame.image.height / 2;
        filled = std::min(filled, lines * frame.image.rowBytes());
        incomplete = true;
    } else if (incomplete) {
        const size_t row = std::max<size_t>(frame.image.rowBytes(), 1);
        lines = std::min<size_t>(frame.image.height, filled / row);
    }
    if (!contiguous) {
        size_t copied = 0;
        for (const auto& segment : buffer.segments_) {
            if (copied >= filled) break;
            const size_t n = std::min(segment.size, filled - copied);
            std::memcpy(segment.base, scratch_.data() + copied, n);
            copied += n;
        }
    }
    camera_->endFrame(frame);
    const uint64_t host = static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count());
    std::lock_guard<std::mutex> lock(*mutex_);
    buffer.frame_ = std::move(frame);
    buffer.filled_ = filled;
    buffer.incomplete_ = incomplete;
    buffer.dataLarger_ = capacity < buffer.frame_.payloadBytes;
    buffer.deliveredLines_ = lines;
    buffer.containsChunks_ = buffer.frame_.chunkMode && !incomplete;
    buffer.newData_ = true;
    buffer.hostTimestampNs_ = host;
}

InfoValue DataStream::info(STREAM_INFO_CMD command) const {
    std::lock_guard<std::mutex> lock(*mutex_);
    const InfoTable table = {
        {STREAM_INFO_ID, [&] { return InfoValue::text(id_); }},
        {STREAM_INFO_NUM_DELIVERED, [&] { return InfoValue::u64(delivered_); }},
        {STREAM_INFO_NUM_UNDERRUN, [&] { return InfoValue::u64(underruns_); }},
        {STREAM_INFO_NUM_ANNOUNCED, [&] { return InfoValue::sizet(buffers_.size()); }},
        {STREAM_INFO_NUM_QUEUED, [&] { return InfoValue::sizet(input_.size()); }},
        {STREAM_INFO_NUM_AWAIT_DELIVERY, [&] { return InfoValue::sizet(output_.size()); }},
        {STREAM_INFO_NUM_STARTED, [&] { return InfoValue::u64(started_); }},
        {STREAM_INFO_PAYLOAD_SIZE, [&] { return InfoValue::sizet(camera_->payloadSize()); }},
        {STREAM_INFO_IS_GRABBING, [&] { return InfoValue::boolean(grabbing_); }},
        {STREAM_INFO_DEFINES_PAYLOADSIZE, [] { return InfoValue::boolean(true); }},
        {STREAM_INFO_TLTYPE, [&] { return InfoValue::text(camera_->identity().tlType); }},
        {STREAM_INFO_NUM_CHUNKS_MAX, [] { return InfoValue::sizet(Camera::kChunkCount); }},
        {STREAM_INFO_BUF_ANNOUNCE_MIN, [] { return InfoValue::sizet(1); }},
        {STREAM_INFO_BUF_ALIGNMENT, [] { return InfoValue::sizet(1); }},
        {STREAM_INFO_FLOW_TABLE, []() -> InfoValue { fail(GC_ERR_NO_DATA, "the stream uses no flows"); }},
        {STREAM_INFO_GENDC_PREFETCH_DESCRIPTOR,
         []() -> InfoValue { fail(GC_ERR_NO_DATA, "the stream uses no GenDC"); }},
    };
    return lookupInfo(table, command);
}

// A switch, not a table: consumers ask several of these for every frame, under the stream's lock.
InfoValue DataStream::bufferInfo(const BufferObject& b, BUFFER_INFO_CMD command) const {
    std::lock_guard<std::mutex> lock(*mutex_);
    return bufferInfoLocked(b, command);
}

void DataStream::bufferInfoStacked(const BufferObject& b, DS_BUFFER_INFO_STACKED* entries, size_t count) const {
    std::lock_guard<std::mutex> lock(*mutex_);
    for (size_t index = 0; index < count; ++index) {
        DS_BUFFER_INFO_STACKED& entry = entries[index];
        try {
            size_t size = entry.iSize;
            INFO_DATATYPE type = INFO_DATATYPE_UNKNOWN;
            deliverInfo(bufferInfoLocked(b, entry.iInfoCmd), &type, entry.pBuffer, &size);
            entry.iType = type;
            entry.iSize = size;
            entry.iResult = GC_ERR_SUCCESS;
        } catch (const SimError& e) {
            entry.iResult = e.code();
        }
    }
}

InfoValue DataStream::bufferInfoLocked(const BufferObject& b, BUFFER_INFO_CMD command) const {
    const FrameInfo& f = b.frame_;
    switch (command) {
        case BUFFER_INFO_BASE:
            if (b.composite_) fail(GC_ERR_NO_DATA, "a composite buffer has no single base");
            return InfoValue::ptr(b.segments_.front().base);
        case BUFFER_INFO_SIZE:
            return InfoValue::sizet(b.totalSize());
        case BUFFER_INFO_USER_PTR:
            return InfoValue::ptr(b.userPointer_);
        case BUFFER_INFO_TIMESTAMP:
        case BUFFER_INFO_TIMESTAMP_NS:
            return InfoValue::u64(f.timestampNs);
        case BUFFER_INFO_NEW_DATA:
        case BUFFER_INFO_IMAGEPRESENT:
            return InfoValue::boolean(b.newData_);
        case BUFFER_INFO_IS_QUEUED:
            return InfoValue::boolean(b.isQueued());
        case BUFFER_INFO_IS_ACQUIRING:
            return InfoValue::boolean(b.acquiring_);
        case BUFFER_INFO_IS_INCOMPLETE:
            return InfoValue::boolean(b.incomplete_);
        case BUFFER_INFO_TLTYPE:
            return InfoValue::text(camera_->identity().tlType);
        case BUFFER_INFO_SIZE_FILLED:
            return InfoValue::sizet(b.filled_);
        case BUFFER_INFO_WIDTH:
            return InfoValue::sizet(f.image.width);
        case BUFFER_INFO_HEIGHT:
            return InfoValue::sizet(f.image.height);
        case BUFFER_INFO_XOFFSET:
            return InfoValue::sizet(f.image.offsetX);
        case BUFFER_INFO_YOFFSET:
            return InfoValue::sizet(f.image.offsetY);
        case BUFFER_INFO_XPADDING:
        case BUFFER_INFO_YPADDING:
        case BUFFER_INFO_IMAGEOFFSET:
            return InfoValue::sizet(0);
        case BUFFER_INFO_FRAMEID:
            return InfoValue::u64(f.frameId);
        case BUFFER_INFO_PAYLOADTYPE:
            return InfoValue::sizet(f.chunkMode ? PAYLOAD_TYPE_CHUNK_DATA : PAYLOAD_TYPE_IMAGE);
        case BUFFER_INFO_PIXELFORMAT:
            return InfoValue::u64(f.image.pixelFormat);
        case BUFFER_INFO_PIXELFORMAT_NAMESPACE:
            return InfoValue::u64(PIXELFORMAT_NAMESPACE_PFNC_32BIT);
        case BUFFER_INFO_DELIVERED_IMAGEHEIGHT:
            return InfoValue::sizet(b.deliveredLines_);
        case BUFFER_INFO_DELIVERED_CHUNKPAYLOADSIZE:
            return InfoValue::sizet(b.containsChunks_ ? b.filled_ : 0);
        case BUFFER_INFO_CHUNKLAYOUTID:
            return InfoValue::u64(f.chunkLayoutId);
        case BUFFER_INFO_FILENAME:
            fail(GC_ERR_NOT_AVAILABLE, "the payload is not a file");
        case BUFFER_INFO_PIXEL_ENDIANNESS:
            return InfoValue::i32(PIXELENDIANNESS_LITTLE);
        case BUFFER_INFO_DATA_SIZE:
            return InfoValue::sizet(f.payloadBytes);
        case BUFFER_INFO_DATA_LARGER_THAN_BUFFER:
            return InfoValue::boolean(b.dataLarger_);
        case BUFFER_INFO_CONTAINS_CHUNKDATA:
            return InfoValue::boolean(b.containsChunks_);
        case BUFFER_INFO_IS_COMPOSITE:
            return InfoValue::boolean(b.composite_);
        default:
            fail(GC_ERR_NOT_IMPLEMENTED, "info command " + std::to_string(command) + " not implemented");
    }
}

uint32_t DataStream::partCount(const BufferObject&) const { return 0; }

InfoValue DataStream::partInfo(const BufferObject&, uint32_t, BUFFER_PART_INFO_CMD) const {
    fail(GC_ERR_INVALID_INDEX, "single-part payload: no buffer parts");
}

uint32_t DataStream::segmentCount(const BufferObject& b) const { return static_cast<uint32_t>(b.segments_.size()); }

InfoValue DataStream::segmentInfo(const BufferObject& b, uint32_t index, SEGMENT_INFO_CMD command) const {
    if (index >= b.segments_.size()) fail(GC_ERR_INVALID_INDEX, "no segment with this index");
    std::lock_guard<std::mutex> lock(*mutex_);
    size_t before = 0;
    for (uint32_t i = 0; i < index; ++i) before += b.segments_[i].size;
    const auto& segment = b.segments_[index];
    const size_t filled = b.filled_ > before ? std::min(segment.size, b.filled_ - before) : 0;
    const InfoTable table = {
        {SEGMENT_INFO_BASE, [&] { return InfoValue::ptr(segment.base); }},
        {SEGMENT_INFO_SIZE, [&] { return InfoValue::sizet(segment.size); }},
        {SEGMENT_INFO_IS_INCOMPLETE, [&] { return InfoValue::boolean(b.incomplete_); }},
        {SEGMENT_INFO_SIZE_FILLED, [&] { return InfoValue::sizet(filled); }},
        {SEGMENT_INFO_DATA_SIZE, [&] { return InfoValue::sizet(filled); }},
    };
    return lookupInfo(table, command);
}

std::vector<ChunkEntry> DataStream::chunks(const BufferObject& b) const {
    std::lock_guard<std::mutex> lock(*mutex_);
    if (!b.containsChunks_) fail(GC_ERR_NO_DATA, "the buffer carries no chunk data");
    return b.frame_.chunks;
}

}  // namespace corvid2::sim
