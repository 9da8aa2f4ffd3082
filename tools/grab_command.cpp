// SPDX-License-Identifier: BSD-3-Clause
// The `corvid2 grab` subcommand, built only on the public interface: producer-allocated buffers,
// polling for filled buffers, the camera's own acquisition commands around the stream's.
#include "grab_command.h"

#include <corvid2_genicam.h>

#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <utility>

#include "arguments.h"
#include "device_session.h"
#include "image_convert.h"
#include "png_writer.h"

namespace corvid2::tool {
namespace {

using Clock = std::chrono::steady_clock;

// Enough for the stream to keep delivering while the tool copies or prints, few enough that the
// largest images of the simulator (2448 x 2048 x 2 bytes) stay within a hundred megabytes.
constexpr std::size_t kBufferCount = 8;
// Far longer than a frame period at any usual rate; a camera that sends nothing in this time is
// waiting for a trigger or has stopped, and the tool says so instead of hanging.
constexpr std::uint64_t kFrameTimeoutMs = 5000;
constexpr auto kProgressPeriod = std::chrono::milliseconds(250);

constexpr const char* kUsage =
    "usage: corvid2 grab [--device ID] [--count N] [--pixel-format FORMAT] [--save FILE.png] [--chunks]\n";

struct Options {
    std::string device;
    std::uint64_t count = 10;
    std::string pixelFormat;
    std::string save;
    bool chunks = false;
    bool valid = true;
};

Options parse(const std::vector<std::string>& args) {
    Options options;
    for (std::size_t i = 0; i < args.size() && options.valid; ++i) {
        const bool hasValue = i + 1 < args.size();
        if (args[i] == "--device" && hasValue)
            options.device = args[++i];
        else if (args[i] == "--count" && hasValue)
            options.valid = parseCount(args[++i], options.count);
        else if (args[i] == "--pixel-format" && hasValue)
            options.pixelFormat = args[++i];
        else if (args[i] == "--save" && hasValue)
            options.save = args[++i];
        else if (args[i] == "--chunks")
            options.chunks = true;
        else
            options.valid = false;
    }
    return options;
}

struct Statistics {
    std::uint64_t frames = 0;
    std::uint64_t incomplete = 0;
    std::uint64_t lost = 0;
    std::uint64_t lastFrameId = 0;
    Clock::time_point first, last;

    void add(bool incompleteFrame, std::uint64_t frameId) {
        // A smaller id means that the counter wrapped or restarted; frames lost around that point
        // cannot be told apart from the jump, so none are counted.
        if (frames > 0 && frameId > lastFrameId + 1) lost += frameId - lastFrameId - 1;
        lastFrameId = frameId;
        last = Clock::now();
        if (frames == 0) first = last;
        ++frames;
        if (incompleteFrame) ++incomplete;
    }

    // Measured from the first frame to the last rather than from the start, because the first
    // frame's wait depends on when the camera's clock happened to tick, not on its rate: a short
    // grab at 30 fps would otherwise show up to twice that.
    double framesPerSecond() const {
        const double seconds = std::chrono::duration<double>(last - first).count();
        return frames > 1 && seconds > 0 ? (frames - 1) / seconds : 0.0;
    }
};

// One line that rewrites itself on a terminal; nothing at all when the output goes to a file or a
// pipe, where a stream of carriage returns would only be noise.
class Progress {
public:
    explicit Progress(bool onTerminal) : onTerminal_(onTerminal) {}

    void show(const Statistics& statistics) {
        const Clock::time_point now = Clock::now();
        if (!onTerminal_ || now < next_) return;
        next_ = now + kProgressPeriod;
        const int width = std::printf("\r%llu frames, %.1f fps, %llu incomplete, %llu lost",
                                      static_cast<unsigned long long>(statistics.frames), statistics.framesPerSecond(),
                                      static_cast<unsigned long long>(statistics.incomplete),
                                      static_cast<unsigned long long>(statistics.lost));
        if (width < width_) std::printf("%*s", width_ - width, "");
        width_ = std::max(width_, width);
        std::fflush(stdout);
    }

    void clear() {
        if (width_ == 0) return;
        std::printf("\r%*s\r", width_, "");
        std::fflush(stdout);
        width_ = 0;
    }

private:
    bool onTerminal_;
    Clock::time_point next_{};
    int width_ = 0;
};

// Keeps the camera and the stream stopped on every way out: the normal end stops them itself, so
// that a failure to stop is reported; an early end by an exception leaves it to the destructor.
class Acquisition {
public:
    Acquisition(CORVID2::Device* device, CORVID2::DataStream* stream) : device_(device), stream_(stream) {}
    Acquisition(const Acquisition&) = delete;
    Acquisition& operator=(const Acquisition&) = delete;
    ~Acquisition() {
        for (int step = 0; step < 2; ++step) {
            try {
                stop();
                return;
            } catch (...) {
            }
        }
    }

    // The stream first, so that the first image the camera sends finds queued buffers.
    void start() {
        stream_->StartAcquisitionContinuous();
        streamRunning_ = true;
        device_->GetRemoteNode("AcquisitionStart")->Execute();
        cameraRunning_ = true;
    }

    void stop() {
        if (std::exchange(cameraRunning_, false)) device_->GetRemoteNode("AcquisitionStop")->Execute();
        if (std::exchange(streamRunning_, false)) stream_->StopAcquisition();
    }

private:
    CORVID2::Device* device_;
    CORVID2::DataStream* stream_;
    bool streamRunning_ = false;
    bool cameraRunning_ = false;
};

// The image of a buffer, copied out before the buffer goes back to the stream.
struct Frame {
    Image image;
    std::uint64_t frameId = 0;
    bool incomplete = false;
    std::string noImage;  // why an incomplete frame has no image, else empty
};

Frame copyFrame(CORVID2::Buffer& buffer) {
    Frame frame;
    frame.frameId = buffer.GetFrameID();
    frame.incomplete = buffer.GetIsIncomplete();
    Image& image = frame.image;
    try {
        image.pixelFormat = buffer.GetPixelFormat().get();
        image.width = static_cast<std::uint32_t>(buffer.GetWidth());
        image.height = static_cast<std::uint32_t>(buffer.GetHeight());
        const auto* data = static_cast<const std::uint8_t*>(buffer.GetImageData());
        const std::uint64_t length = buffer.GetImageLength();
        if (data != nullptr) image.bytes.assign(data, data + length);
        if (const PngFormat* format = pngFormatOf(image.pixelFormat))
            image.stride = image.width * format->bytesPerPixel + buffer.GetXPadding();
    } catch (const CORVID2::Exceptions::IException& error) {
        // The library answers none of the image getters for an incomplete buffer; that is said in
        // the output instead of ending the grab, whose counts are still right.
        if (!frame.incomplete) throw;
        frame.image = Image{};
        frame.noImage = std::string(error.GetType().get()) + ": " + error.GetErrorDescription().get();
    }
    return frame;
}

// Returns the exit code: 0 when written or when the format has no PNG form (which is a fact
// about the camera, not a failure of the grab), 1 when there was no image or writing failed.
int save(const std::string& path, Frame& frame) {
    if (!frame.noImage.empty()) {
        std::fprintf(stderr, "corvid2: the last frame arrived incomplete without an image (%s); %s was not written\n",
                     frame.noImage.c_str(), path.c_str());
        return 1;
    }
    Image& image = frame.image;
    const PngFormat* format = pngFormatOf(image.pixelFormat);
    if (format == nullptr) {
        const std::string original = image.pixelFormat;
        std::string why;
        if (!convertForPng(image, why)) {
            std::fprintf(stderr,
                         "corvid2: note: the images are %s, which corvid2 could not convert for PNG (%s); %s was not "
                         "written\n",
                         original.c_str(), why.c_str(), path.c_str());
            return 0;
        }
        format = pngFormatOf(image.pixelFormat);
        std::fprintf(stderr, "corvid2: note: the %s image was converted to %s for the PNG\n", original.c_str(),
                     image.pixelFormat.c_str());
    }
    const std::size_t needed = image.stride * image.height;
    if (frame.incomplete && image.bytes.size() < needed) {
        // An incomplete image still shows what arrived; the lines that did not are left black.
        image.bytes.resize(needed, 0);
        std::fprintf(stderr, "corvid2: note: the last frame arrived incomplete; its missing lines are black in %s\n",
                     path.c_str());
    } else if (frame.incomplete) {
        std::fprintf(stderr, "corvid2: note: the last frame arrived incomplete; %s shows it as delivered\n",
                     path.c_str());
    }
    const std::string error = writePng(path, image);
    if (!error.empty()) {
        std::fprintf(stderr, "corvid2: %s\n", error.c_str());
        return 1;
    }
    std::printf("saved the last image to %s (%ux%u, %s)\n", path.c_str(), image.width, image.height,
                format->description);
    return 0;
}

// Switches on the chunk mode and every chunk the camera offers; the buffers are allocated
// afterwards, so that they hold the larger payload.
void enableAllChunks(CORVID2::Device& device) {
    device.GetRemoteNode("ChunkModeActive")->SetBool(true);
    CORVID2::Node* enable = device.GetRemoteNode("ChunkEnable");
    forEverySelection(device, "ChunkSelector", [enable] { enable->SetBool(true); });
}

// "frame <id>: ChunkFrameID=7 ChunkTimestamp=..." for every readable chunk value of the buffer.
void printChunks(CORVID2::Buffer& buffer) {
    std::printf("frame %llu:", static_cast<unsigned long long>(buffer.GetFrameID()));
    if (!buffer.GetContainsChunk()) {
        std::printf(" no chunk data\n");
        return;
    }
    for (CORVID2::Node* node : *buffer.GetChunkNodeList()) {
        const std::string name = node->GetName().get();
        if (name.rfind("Chunk", 0) != 0 || node->GetInterface().get() == std::string("ICategory") ||
            !node->IsReadable())
            continue;
        std::printf(" %s=%s", name.c_str(), node->GetValue().get());
    }
    std::printf("\n");
}

}  // namespace

int grab(const std::vector<std::string>& args) {
    const Options options = parse(args);
    if (!options.valid) {
        std::fputs(kUsage, stderr);
        return 2;
    }

    DeviceSession session;
    if (!session.openOrExplain(options.device)) return 1;
    CORVID2::Device* device = session.device();
    const std::string deviceId = device->GetID().get();
    if (!options.pixelFormat.empty()) device->GetRemoteNode("PixelFormat")->SetString(options.pixelFormat.c_str());
    if (options.chunks) enableAllChunks(*device);

    CORVID2::DataStream* stream = session.openStream(kBufferCount);
    if (stream == nullptr) {
        std::fprintf(stderr, "corvid2: device %s has no data stream\n", deviceId.c_str());
        return 1;
    }

    std::printf("grabbing %llu frames from %s\n", static_cast<unsigned long long>(options.count), deviceId.c_str());
    std::fflush(stdout);
    Acquisition acquisition(device, stream);
    acquisition.start();
    const Clock::time_point start = Clock::now();
    Statistics statistics;
    Progress progress(isatty(fileno(stdout)) != 0);
    Frame last;
    while (statistics.frames < options.count) {
        CORVID2::Buffer* buffer = stream->GetFilledBuffer(kFrameTimeoutMs);
        if (buffer == nullptr) {
            progress.clear();
            std::fprintf(stderr, "corvid2: no image from %s within %llu ms (after %llu frames)\n", deviceId.c_str(),
                         static_cast<unsigned long long>(kFrameTimeoutMs),
                         static_cast<unsigned long long>(statistics.frames));
            return 1;
        }
        statistics.add(buffer->GetIsIncomplete(), buffer->GetFrameID());
        if (options.chunks) {
            progress.clear();
            printChunks(*buffer);
        }
        if (statistics.frames == options.count) last = copyFrame(*buffer);
        buffer->QueueBuffer();
        progress.show(statistics);
    }
    acquisition.stop();
    session.close();

    progress.clear();
    std::printf("grabbed %llu frames in %.2f s: %.1f fps, %llu incomplete, %llu lost\n",
                static_cast<unsigned long long>(statistics.frames),
                std::chrono::duration<double>(statistics.last - start).count(), statistics.framesPerSecond(),
                static_cast<unsigned long long>(statistics.incomplete),
                static_cast<unsigned long long>(statistics.lost));
    if (last.noImage.empty())
        std::printf("last frame: ID %llu, %ux%u %s%s\n", static_cast<unsigned long long>(last.frameId),
                    last.image.width, last.image.height, last.image.pixelFormat.c_str(),
                    last.incomplete ? ", incomplete" : "");
    else
        std::printf("last frame: ID %llu, incomplete, no image (%s)\n", static_cast<unsigned long long>(last.frameId),
                    last.noImage.c_str());
    return options.save.empty() ? 0 : save(options.save, last);
}

}  // namespace corvid2::tool
