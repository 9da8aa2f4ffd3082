// SPDX-License-Identifier: BSD-3-Clause
// The `corvid2 events` subcommand, built only on the public interface: handlers for the camera's
// events and the interface's plug-and-play events, which print each event on the library's event
// threads while the main thread waits for the count or the time to run out.
#include "events_command.h"

#include <corvid2_genicam.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>

#include "arguments.h"
#include "device_session.h"

namespace corvid2::tool {
namespace {

constexpr const char* kUsage = "usage: corvid2 events [--device ID] [--pnp] [--acquire] [--count N] [--seconds S]\n";
// Enough for the camera to keep sending frames (and their events) while events are printed.
constexpr std::size_t kBufferCount = 8;

struct Options {
    std::string device;
    bool pnp = false;
    bool acquire = false;
    std::uint64_t count = 0;    // 0: no limit
    std::uint64_t seconds = 0;  // 0: until the count is reached (or without end)
    bool valid = true;
};

Options parse(const std::vector<std::string>& args) {
    Options options;
    for (std::size_t i = 0; i < args.size() && options.valid; ++i) {
        const bool hasValue = i + 1 < args.size();
        if (args[i] == "--device" && hasValue)
            options.device = args[++i];
        else if (args[i] == "--pnp")
            options.pnp = true;
        else if (args[i] == "--acquire")
            options.acquire = true;
        else if (args[i] == "--count" && hasValue)
            options.valid = parseCount(args[++i], options.count);
        else if (args[i] == "--seconds" && hasValue)
            options.valid = parseCount(args[++i], options.seconds);
        else
            options.valid = false;
    }
    return options;
}

// What the handlers share with the main thread. The handlers run on two library threads; one
// mutex keeps their lines whole and the count right.
struct Printer {
    std::mutex mutex;
    std::condition_variable changed;
    std::uint64_t printed = 0;
    std::uint64_t limit = 0;

    // Prints while the count is not reached; the events after it are dropped, not printed late.
    template <class Print>
    void event(Print&& print) {
        std::lock_guard<std::mutex> lock(mutex);
        if (limit != 0 && printed >= limit) return;
        print();
        std::fflush(stdout);
        ++printed;
        changed.notify_all();
    }
};

void onDeviceEvent(void* user, CORVID2::Events::DeviceEvent* event) {
    static_cast<Printer*>(user)->event([event] {
        std::string name = "(unnamed)";
        std::string timestamp = "none";
        try {
            name = event->GetName().get();
            timestamp = std::to_string(event->GetTimeStamp());
        } catch (const CORVID2::Exceptions::IException&) {
            // A camera description without the event's name or timestamp: the raw event still shows.
        }
        std::printf("device event %s (ID 0x%s) timestamp %s, %llu data bytes\n", name.c_str(), event->GetId().get(),
                    timestamp.c_str(), static_cast<unsigned long long>(event->GetEventMemSize()));
    });
}

void onPnPEvent(void* user, CORVID2::Events::PnPEvent* event) {
    static_cast<Printer*>(user)->event([event] {
        const bool added = event->GetPnPType() == CORVID2::Events::PnPType::DeviceAdded;
        std::string serial;
        try {
            serial = std::string(", serial number ") + event->GetSerialNumber().get();
        } catch (const CORVID2::Exceptions::IException&) {
        }
        std::printf("plug-and-play: device %s %s%s\n", event->GetId().get(), added ? "added" : "removed",
                    serial.c_str());
    });
}

// Switches on the notification of every event the camera offers.
void notifyEverything(CORVID2::Device& device) {
    CORVID2::Node* notification = device.GetRemoteNode("EventNotification");
    forEverySelection(device, "EventSelector", [notification] { notification->SetString("On"); });
}

}  // namespace

int events(const std::vector<std::string>& args) {
    const Options options = parse(args);
    if (!options.valid) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    DeviceSession session;
    if (!session.openOrExplain(options.device)) return 1;
    CORVID2::Device* device = session.device();
    Printer printer;
    printer.limit = options.count;

    notifyEverything(*device);
    device->RegisterDeviceEventHandler(&printer, &onDeviceEvent);
    std::printf("listening for events of %s", device->GetID().get());
    CORVID2::Interface* iface = device->GetParent();
    if (options.pnp) {
        iface->RegisterPnPEventHandler(&printer, &onPnPEvent);
        std::printf(" and plug-and-play events of %s", iface->GetID().get());
    }
    std::printf("\n");
    std::fflush(stdout);

    CORVID2::DataStream* stream = nullptr;
    if (options.acquire) {
        stream = session.openStream(kBufferCount);
        if (stream == nullptr) {
            std::fprintf(stderr, "corvid2: device %s has no data stream to acquire with\n", device->GetID().get());
            return 1;
        }
        // No one fetches the images: the stream's handler puts each buffer straight back.
        stream->RegisterNewBufferEventHandler(nullptr, [](void*, CORVID2::Buffer* buffer) {
            if (buffer != nullptr) buffer->QueueBuffer();
        });
        stream->StartAcquisitionContinuous();
        device->GetRemoteNode("AcquisitionStart")->Execute();
    }

    {
        std::unique_lock<std::mutex> lock(printer.mutex);
        const auto done = [&] { return options.count != 0 && printer.printed >= options.count; };
        if (options.seconds != 0)
            printer.changed.wait_for(lock, std::chrono::seconds(options.seconds), done);
        else
            printer.changed.wait(lock, done);
    }

    if (stream != nullptr) {
        device->GetRemoteNode("AcquisitionStop")->Execute();
        stream->StopAcquisition();
    }
    if (options.pnp) iface->UnregisterPnPEvent();
    device->UnregisterDeviceEvent();
    session.close();
    std::printf("%llu events\n", static_cast<unsigned long long>(printer.printed));
    return 0;
}

}  // namespace corvid2::tool
