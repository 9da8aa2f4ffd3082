// SPDX-License-Identifier: BSD-3-Clause
// A simulated camera: the behaviour behind its remote-device registers and the frames it produces.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "image_pattern.h"
#include "port.h"
#include "xml_catalog.h"

namespace corvid2::sim {

struct CameraIdentity {
    std::string id;
    std::string vendor;
    std::string model;
    std::string serial;
    std::string tlType;
    std::string version = "1.0.0";
};

// Told about what happens inside the camera (implemented by the open device module).
class CameraObserver {
public:
    virtual ~CameraObserver() = default;
    virtual void remoteEvent(uint64_t eventId, std::vector<uint8_t> data) = 0;
    virtual void featuresInvalidated(const std::vector<std::string>& names) = 0;
};

// Woken when acquisition starts, stops or is triggered (implemented by the data stream).
class AcquisitionListener {
public:
    virtual ~AcquisitionListener() = default;
    virtual void acquisitionChanged() = 0;
};

struct ChunkEntry {
    uint64_t id;
    size_t offset;  // from the start of the payload
    size_t length;
};

// Everything a data stream needs to deliver one frame, fixed when the frame begins.
struct FrameInfo {
    uint64_t frameId = 0;
    uint64_t timestampNs = 0;
    ImageSettings image;
    double exposureUs = 0, gainDb = 0;
    bool chunkMode = false;
    uint32_t chunkMask = 0;  // bit n: chunk selector value n enabled
    size_t imageBytes = 0, payloadBytes = 0;
    uint64_t chunkLayoutId = 0;
    std::vector<ChunkEntry> chunks;
};

class Camera {
public:
    static constexpr uint32_t kSensorWidth = 2448, kSensorHeight = 2048;
    static constexpr uint32_t kChunkCount =
        9;  // Image, FrameID, Timestamp, ExposureTime, Gain, Width, Height, OffsetX, OffsetY
    static constexpr uint64_t kChunkIdBase = 0x1000;
    static constexpr uint64_t kEventFrameStart = 0x9001, kEventExposureEnd = 0x9002, kEventSerialBase = 0x9100;

    Camera(CameraKind kind, CameraIdentity identity, double defaultFrameRate);

    CameraKind kind() const { return kind_; }
    const CameraIdentity& identity() const { return identity_; }
    const std::string& description() const { return description_; }
    Port& port() { return port_; }

    void setObserver(std::weak_ptr<CameraObserver> observer);
    void setListener(std::weak_ptr<AcquisitionListener> listener);
    void setConnected(bool connected);
    // The controlling device closed: like a camera losing its control channel, it stops and unlocks.
    void releaseControl();
    bool connected() const { return connected_; }
    std::string userId() const;
    size_t payloadSize() const;

    // Pacing of the acquisition as the data stream sees it.
    struct Pace {
        bool acquiring = false;
        bool triggered = false;  // frames wait for a trigger
        uint64_t periodNs = 0;   // 0: as fast as buffers allow
    };
    Pace pace() const;
    bool takeTrigger();
    FrameInfo beginFrame();
    // Writes info.payloadBytes bytes: the image, then the chunk trailer when chunks are active.
    void writeFrame(const FrameInfo& info, uint8_t* destination);
    void endFrame(const FrameInfo& info);
    uint64_t framesGenerated() const { return framesGenerated_; }

private:
    struct SerialPortState {
        uint32_t control = 0, baud = 4, dataBits = 8, parity = 0, stopBits = 0;
        uint32_t bytesToWrite = 0, bytesToRead = 0;
        std::array<uint8_t, 256> writeBuffer{}, readBuffer{};
        std::deque<uint8_t> received;
    };
    struct State {
        std::string userId;
        uint32_t width = 640, height = 480, offsetX = 0, offsetY = 0, binningH = 1, binningV = 1;
        uint32_t pixelFormat = pfnc::kMono8, testPattern = 0, reverse = 0, component = 0;
        uint32_t tlParamsLocked = 0, acquisitionMode = 0, frameCount = 1, frameRateEnable = 1, frameRateMilliHz = 30000;
        double exposureUs = 10000, exposureAutoMin = 100, exposureAutoMax = 200000;
        double gainDb = 0, gainAutoMin = 0, gainAutoMax = 24, nominalPercent = 50;
        uint32_t exposureAuto = 0, gainAuto = 0, priority = 0;
        uint32_t regionMode = 0, regionX = 0, regionY = 0, regionWidth = kSensorWidth, regionHeight = kSensorHeight;
        std::array<uint32_t, 2> triggerMode{}, triggerSource{};
        uint32_t colourEnable = 0, colourSelector = 0;
        std::array<double, 9> colourMatrix{1, 0, 0, 0, 1, 0, 0, 0, 1};
        uint32_t chunkMode = 0, chunkSelector = 0;
        std::array<uint32_t, kChunkCount> chunkEnable{};
        uint32_t eventSelector = 0;
        std::array<uint32_t, 8> eventNotification{};
        uint32_t calibrationColour = 0, calibrationElement = 0;
        std::array<double, 36> calibration{};
        double aopOffset = 0;
        uint32_t serialSelector = 0;
        std::array<SerialPortState, 2> serial;
        int64_t latchedTimestamp = 0;
    };

    void buildRegisters();
    void addField(uint64_t address, uint32_t State::*member, void (Camera::*check)(uint32_t) = nullptr);
    void addFloatField(uint64_t address, double State::*member, double low, double high);
    void requireUnlocked() const;
    ImageSettings imageSettingsLocked() const;
    size_t payloadSizeLocked() const;
    uint64_t nowNs() const;
    // Calls outside the lock: the observer and the listener may take locks of their own.
    void notifyListener();
    void raiseEvent(uint32_t selectorValue, uint64_t eventId, uint64_t timestamp, uint64_t value);
    void invalidate(const std::vector<std::string>& names);
    void runAutomatics(std::vector<std::string>& changed);

    const CameraKind kind_;
    const CameraIdentity identity_;
    const std::string description_;
    const std::chrono::steady_clock::time_point epoch_ = std::chrono::steady_clock::now();
    Port port_;
    mutable std::mutex mutex_;
    State state_;
    std::weak_ptr<CameraObserver> observer_;
    std::weak_ptr<AcquisitionListener> listener_;
    std::atomic<bool> connected_{true};
    std::atomic<bool> acquiring_{false};
    std::atomic<uint32_t> pendingTriggers_{0};
    uint64_t framesLeft_ = 0;  // 0: unlimited
    uint64_t nextFrameId_ = 1;
    std::atomic<uint64_t> framesGenerated_{0};
    ImageRenderer renderer_;
};

}  // namespace corvid2::sim
