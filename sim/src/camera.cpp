// SPDX-License-Identifier: BSD-3-Clause
// Simulated camera: register map, acquisition control, automatics, chunks, events and serial interfaces.
#include "camera.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace corvid2::sim {

namespace {
constexpr uint64_t kZippedDescriptionAddress = 0xF0000000, kPlainDescriptionAddress = 0xF1000000;
constexpr uint32_t kSerialBase = 0x6000, kSerialStride = 0x400;
constexpr double kReferenceExposureUs = 10000;

void putBigEndian32(uint8_t* out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

uint32_t widthMax(uint32_t binning) { return (Camera::kSensorWidth / binning) & ~7u; }
uint32_t heightMax(uint32_t binning) { return (Camera::kSensorHeight / binning) & ~1u; }

void requireValue(bool condition, const char* what) {
    if (!condition) fail(GC_ERR_INVALID_VALUE, what);
}
}  // namespace

Camera::Camera(CameraKind kind, CameraIdentity identity, double defaultFrameRate)
    : kind_(kind),
      identity_(std::move(identity)),
      description_(cameraDescription(kind)),
      port_(PortIdentity{identity_.id, identity_.vendor, identity_.model, identity_.tlType, "Device", "Device",
                         identity_.version}) {
    if (kind_ == CameraKind::Bayer) state_.pixelFormat = pfnc::kBayerRG8;
    state_.frameRateEnable = defaultFrameRate > 0 ? 1 : 0;
    if (defaultFrameRate > 0) state_.frameRateMilliHz = static_cast<uint32_t>(std::lround(defaultFrameRate * 1000));
    for (int colour = 0; colour < 3; ++colour) {
        static const double kStokes[12] = {0.5, 0.5, 0.5, 0.5, 1, 0, -1, 0, 0, 1, 0, -1};
        std::copy(kStokes, kStokes + 12, state_.calibration.begin() + colour * 12);
    }
    state_.chunkEnable[0] = 1;
    buildRegisters();
    auto zipped = std::make_shared<const std::vector<uint8_t>>(zipText("Corvid2SimCamera.xml", description_));
    port_.addLocalDescription("Corvid2SimCamera.zip", zipped, kZippedDescriptionAddress, description_);
    port_.addLocalDescription("Corvid2SimCamera.xml",
                              std::make_shared<const std::vector<uint8_t>>(description_.begin(), description_.end()),
                              kPlainDescriptionAddress, description_);
}

uint64_t Camera::nowNs() const {
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - epoch_).count());
}

void Camera::requireUnlocked() const {
    if (state_.tlParamsLocked != 0) fail(GC_ERR_ACCESS_DENIED, "locked while TLParamsLocked is set");
}

void Camera::addField(uint64_t address, uint32_t State::*member, void (Camera::*check)(uint32_t)) {
    port_.registers().addInt(
        address, 4,
        [this, member] {
            std::lock_guard<std::mutex> lock(mutex_);
            return int64_t{state_.*member};
        },
        [this, member, check](int64_t value) {
            std::lock_guard<std::mutex> lock(mutex_);
            if (check != nullptr) (this->*check)(static_cast<uint32_t>(value));
            state_.*member = static_cast<uint32_t>(value);
        });
}

void Camera::addFloatField(uint64_t address, double State::*member, double low, double high) {
    port_.registers().addFloat(
        address,
        [this, member] {
            std::lock_guard<std::mutex> lock(mutex_);
            return state_.*member;
        },
        [this, member, low, high](double value) {
            requireValue(std::isfinite(value) && value >= low && value <= high, "value out of range");
            std::lock_guard<std::mutex> lock(mutex_);
            state_.*member = value;
        });
}

void Camera::buildRegisters() {
    RegisterMap& r = port_.registers();
    const auto constant = [](std::string s) { return [s] { return s; }; };
    // One register per element of a per-index array (trigger, chunk and event settings). `store` runs under the camera
    // mutex and returns what is kept; the listener is told after the mutex is released because it takes it again.
    const auto indexedField = [this, &r](uint64_t base, auto State::*array, bool notify, auto store) {
        for (uint32_t i = 0; i < (state_.*array).size(); ++i)
            r.addInt(
                base + 4 * i, 4,
                [this, array, i] {
                    std::lock_guard<std::mutex> lock(mutex_);
                    return int64_t{(state_.*array)[i]};
                },
                [this, array, notify, store, i](int64_t v) {
                    {
                        std::lock_guard<std::mutex> lock(mutex_);
                        (state_.*array)[i] = store(i, v);
                    }
                    if (notify) notifyListener();
                });
    };
    const auto flag = [](uint32_t, int64_t v) { return v != 0 ? 1u : 0u; };
    r.addText(0x0000, 64, constant(identity_.vendor));
    r.addText(0x0040, 64, constant(identity_.model));
    r.addText(0x0080, 64, constant(identity_.version));
    r.addText(0x00C0, 64, constant(identity_.serial));
    r.addText(
        0x0100, 64, [this] { return userId(); },
        [this](const std::string& text) {
            std::lock_guard<std::mutex> lock(mutex_);
            state_.userId = text;
        });
    r.addText(0x0140, 64, constant("2.6.1"));
    r.addText(0x0180, 64, constant("Simulated by corvid2_sim"));
    r.addFloat(0x01C0, [this] { return 40.0 + 2.0 * std::sin(static_cast<double>(nowNs()) * 1e-10); });
    r.addCommand(0x01C8, [this] {
        const int64_t now = static_cast<int64_t>(nowNs());
        std::lock_guard<std::mutex> lock(mutex_);
        state_.latchedTimestamp = now;
    });
    r.addInt(0x01D0, 8, [this] {
        std::lock_guard<std::mutex> lock(mutex_);
        return state_.latchedTimestamp;
    });
    r.addInt(0x01D8, 4, [this] { return static_cast<int64_t>(kind_); });
    r.addInt(0x01DC, 4, [this] { return int64_t{identity_.tlType == "U3V" ? 5000 : 1000}; });

    // Image format: geometry and format refuse changes while the transport-layer parameters are locked.
    r.addInt(0x1000, 4, [] { return int64_t{kSensorWidth}; });
    r.addInt(0x1004, 4, [] { return int64_t{kSensorHeight}; });
    const auto geometry = [this, &r](uint64_t address, uint32_t State::*member, auto validate) {
        r.addInt(
            address, 4,
            [this, member] {
                std::lock_guard<std::mutex> lock(mutex_);
                return int64_t{state_.*member};
            },
            [this, member, validate](int64_t value) {
                std::lock_guard<std::mutex> lock(mutex_);
                requireUnlocked();
                requireValue(value >= 0 && value <= 0xFFFFFFFF, "negative or too large");
                validate(state_, static_cast<uint32_t>(value));
                state_.*member = static_cast<uint32_t>(value);
            });
    };
    geometry(0x1008, &State::width, [](const State& s, uint32_t v) {
        requireValue(v >= 8 && v % 8 == 0 && v + s.offsetX <= widthMax(s.binningH), "Width out of range");
    });
    geometry(0x100C, &State::height, [](const State& s, uint32_t v) {
        requireValue(v >= 2 && v % 2 == 0 && v + s.offsetY <= heightMax(s.binningV), "Height out of range");
    });
    geometry(0x1010, &State::offsetX, [](const State& s, uint32_t v) {
        requireValue(v % 8 == 0 && v + s.width <= widthMax(s.binningH), "OffsetX out of range");
    });
    geometry(0x1014, &State::offsetY, [](const State& s, uint32_t v) {
        requireValue(v % 2 == 0 && v + s.height <= heightMax(s.binningV), "OffsetY out of range");
    });
    // Binning shrinks the maximum image; a region that no longer fits is pulled back inside.
    for (uint64_t address : {uint64_t{0x1018}, uint64_t{0x101C}}) {
        Register reg;
        reg.address = address;
        reg.length = 4;
        reg.read = [this, address](uint8_t* out) {
            std::lock_guard<std::mutex> lock(mutex_);
            const uint32_t v = address == 0x1018 ? state_.binningH : state_.binningV;
            std::memcpy(out, &v, 4);
        };
        reg.write = [this, address](const uint8_t* in) {
            uint32_t v;
            std::memcpy(&v, in, 4);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                requireUnlocked();
                requireValue(v >= 1 && v <= 4, "binning 1 to 4");
                State& s = state_;
                if (address == 0x1018) {
                    s.binningH = v;
                    if (s.offsetX + s.width > widthMax(v)) s.offsetX = 0;
                    s.width = std::min(s.width, widthMax(v));
                } else {
                    s.binningV = v;
                    if (s.offsetY + s.height > heightMax(v)) s.offsetY = 0;
                    s.height = std::min(s.height, heightMax(v));
                }
            }
            invalidate({"Width", "Height", "OffsetX", "OffsetY", "PayloadSize"});
        };
        r.add(std::move(reg));
    }
    geometry(0x1020, &State::pixelFormat, [this](const State&, uint32_t v) {
        const PixelFormatInfo* f = findPixelFormat(v);
        requireValue(f != nullptr, "unknown pixel format");
        requireValue(f->colour == (kind_ == CameraKind::Bayer) || v == pfnc::kMono8, "pixel format not available");
    });
    r.addInt(0x1024, 4, [this] { return static_cast<int64_t>(payloadSize()); });
    addField(0x1028, &State::testPattern);
    geometry(0x102C, &State::reverse, [](const State&, uint32_t v) { requireValue(v <= 3, "two bits only"); });
    addField(0x1030, &State::component);
    addField(0x1034, &State::tlParamsLocked);
    r.addInt(0x1038, 4, [this] {
        std::lock_guard<std::mutex> lock(mutex_);
        const bool waiting = acquiring_ && state_.triggerMode[0] != 0 && pendingTriggers_ == 0;
        return int64_t{(acquiring_ ? 1 : 0) | (waiting ? 2 : 0)};
    });

    // Acquisition control.
    addField(0x2000, &State::acquisitionMode);
    r.addCommand(0x2004, [this] {
        if (!connected_) fail(GC_ERR_IO, "camera unplugged");
        {
            std::lock_guard<std::mutex> lock(mutex_);
            framesLeft_ = state_.acquisitionMode == 1 ? 1 : state_.acquisitionMode == 2 ? state_.frameCount : 0;
            acquiring_ = true;
        }
        notifyListener();
    });
    for (uint64_t address : {uint64_t{0x2008}, uint64_t{0x200C}})
        r.addCommand(address, [this] {
            acquiring_ = false;
            pendingTriggers_ = 0;
            notifyListener();
        });
    addField(0x2010, &State::frameCount);
    addField(0x2014, &State::frameRateEnable);
    r.addInt(
        0x2018, 4,
        [this] {
            std::lock_guard<std::mutex> lock(mutex_);
            return int64_t{state_.frameRateMilliHz};
        },
        [this](int64_t value) {
            requireValue(value >= 100 && value <= 10000000, "frame rate 0.1 to 10000 Hz");
            {
                std::lock_guard<std::mutex> lock(mutex_);
                state_.frameRateMilliHz = static_cast<uint32_t>(value);
            }
            notifyListener();
        });
    addFloatField(0x2020, &State::exposureUs, 10, 1e6);
    addField(0x2028, &State::exposureAuto);
    addFloatField(0x2030, &State::exposureAutoMin, 10, 1e6);
    addFloatField(0x2038, &State::exposureAutoMax, 10, 1e6);
    addFloatField(0x2040, &State::gainDb, 0, 24);
    addField(0x2048, &State::gainAuto);
    addFloatField(0x2050, &State::gainAutoMin, 0, 24);
    addFloatField(0x2058, &State::gainAutoMax, 0, 24);
    addFloatField(0x2060, &State::nominalPercent, 0, 100);
    addField(0x2068, &State::priority);
    addField(0x2070, &State::regionMode);
    addField(0x2078, &State::regionX);
    addField(0x207C, &State::regionY);
    addField(0x2080, &State::regionWidth);
    addField(0x2084, &State::regionHeight);
    indexedField(0x2110, &State::triggerMode, true, flag);
    indexedField(0x2120, &State::triggerSource, false, [](uint32_t, int64_t v) { return static_cast<uint32_t>(v); });
    for (uint32_t i = 0; i < 2; ++i) {
        // The software trigger reads back busy until the acquisition has taken it.
        r.addCommand(
            0x2130 + 4 * i,
            [this, i] {
                if (i != 0) return;
                ++pendingTriggers_;
                notifyListener();
            },
            [this] { return int64_t{pendingTriggers_ > 0 ? 1 : 0}; });
    }
    addField(0x2304, &State::colourEnable);
    addField(0x2308, &State::colourSelector);
    for (uint32_t i = 0; i < 9; ++i)
        r.addFloat(
            0x2310 + 8 * i,
            [this, i] {
                std::lock_guard<std::mutex> lock(mutex_);
                return state_.colourMatrix[i];
            },
            [this, i](double v) {
                requireValue(std::isfinite(v) && v >= -8 && v <= 8, "gain factor -8 to 8");
                std::lock_guard<std::mutex> lock(mutex_);
                state_.colourMatrix[i] = v;
            });

    // Chunks are part of the payload layout, so they are locked like the geometry.
    geometry(0x4000, &State::chunkMode, [](const State&, uint32_t) {});
    addField(0x4004, &State::chunkSelector);
    // Chunk 0 is the image itself, which cannot be left out.
    indexedField(0x4010, &State::chunkEnable, false, [this](uint32_t i, int64_t v) {
        requireUnlocked();
        return (v != 0 || i == 0) ? 1u : 0u;
    });
    addField(0x5000, &State::eventSelector);
    indexedField(0x5010, &State::eventNotification, false, flag);

    if (kind_ == CameraKind::Polarized) {
        addField(0x7000, &State::calibrationColour);
        addField(0x7004, &State::calibrationElement);
        for (uint32_t i = 0; i < 36; ++i)
            r.addFloat(0x7100 + 8 * i, [this, i] {
                std::lock_guard<std::mutex> lock(mutex_);
                return state_.calibration[i];
            });
        addFloatField(0x7400, &State::aopOffset, -180, 180);
    }

    if (kind_ == CameraKind::Serial) {
        addField(0x5F00, &State::serialSelector);
        for (uint32_t p = 0; p < 2; ++p) {
            const uint64_t base = kSerialBase + kSerialStride * p;
            const auto serialField = [this, &r, p](uint64_t address, uint32_t SerialPortState::*member, uint32_t max) {
                r.addInt(
                    address, 4,
                    [this, p, member] {
                        std::lock_guard<std::mutex> lock(mutex_);
                        return int64_t{state_.serial[p].*member};
                    },
                    [this, p, member, max](int64_t v) {
                        requireValue(v >= 0 && v <= max, "serial setting out of range");
                        std::lock_guard<std::mutex> lock(mutex_);
                        state_.serial[p].*member = static_cast<uint32_t>(v);
                    });
            };
            serialField(base + 0x00, &SerialPortState::control, 1);
            serialField(base + 0x04, &SerialPortState::baud, 8);
            serialField(base + 0x08, &SerialPortState::dataBits, 8);
            serialField(base + 0x0C, &SerialPortState::parity, 4);
            serialField(base + 0x10, &SerialPortState::stopBits, 2);
            serialField(base + 0x14, &SerialPortState::bytesToWrite, 256);
            serialField(base + 0x20, &SerialPortState::bytesToRead, 256);
            r.addCommand(base + 0x18, [this, p] {
                std::unique_lock<std::mutex> lock(mutex_);
                SerialPortState& port = state_.serial[p];
                // The simulated UART is looped back: what the camera sends, it receives.
                port.received.insert(port.received.end(), port.writeBuffer.begin(),
                                     port.writeBuffer.begin() + port.bytesToWrite);
                const uint64_t available = port.received.size();
                lock.unlock();
                raiseEvent(2 + p, kEventSerialBase + p, nowNs(), available);
            });
            r.addInt(base + 0x1C, 4, [this, p] {
                std::lock_guard<std::mutex> lock(mutex_);
                return static_cast<int64_t>(state_.serial[p].received.size());
            });
            r.addCommand(base + 0x24, [this, p] {
                std::lock_guard<std::mutex> lock(mutex_);
                SerialPortState& port = state_.serial[p];
                const size_t count = std::min<size_t>(port.bytesToRead, port.received.size());
                port.readBuffer.fill(0);
                std::copy(port.received.begin(), port.received.begin() + count, port.readBuffer.begin());
                port.received.erase(port.received.begin(), port.received.begin() + count);
            });
            r.add(Register{base + 0x100, 256,
                           [this, p](uint8_t* out) {
                               std::lock_guard<std::mutex> lock(mutex_);
                               std::memcpy(out, state_.serial[p].writeBuffer.data(), 256);
                           },
                           [this, p](const uint8_t* in) {
                               std::lock_guard<std::mutex> lock(mutex_);
                               std::memcpy(state_.serial[p].writeBuffer.data(), in, 256);
                           }});
            r.add(Register{base + 0x200,
                           256,
                           [this, p](uint8_t* out) {
                               std::lock_guard<std::mutex> lock(mutex_);
                               std::memcpy(out, state_.serial[p].readBuffer.data(), 256);
                           },
                           {}});
        }
    }
}

void Camera::setObserver(std::weak_ptr<CameraObserver> observer) {
    std::lock_guard<std::mutex> lock(mutex_);
    observer_ = std::move(observer);
}

void Camera::setListener(std::weak_ptr<AcquisitionListener> listener) {
    std::lock_guard<std::mutex> lock(mutex_);
    listener_ = std::move(listener);
}

void Camera::setConnected(bool connected) {
    connected_ = connected;
    if (!connected) acquiring_ = false;
    notifyListener();
}

void Camera::releaseControl() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        state_.tlParamsLocked = 0;
        acquiring_ = false;
        pendingTriggers_ = 0;
    }
    notifyListener();
}

std::string Camera::userId() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return state_.userId;
}

void Camera::notifyListener() {
    std::shared_ptr<AcquisitionListener> listener;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        listener = listener_.lock();
    }
    if (listener) listener->acquisitionChanged();
}

void Camera::invalidate(const std::vector<std::string>& names) {
    std::shared_ptr<CameraObserver> observer;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        observer = observer_.lock();
    }
    if (observer) observer->featuresInvalidated(names);
}

void Camera::raiseEvent(uint32_t selectorValue, uint64_t eventId, uint64_t timestamp, uint64_t value) {
    std::shared_ptr<CameraObserver> observer;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (selectorValue >= state_.eventNotification.size() || state_.eventNotification[selectorValue] == 0) return;
        observer = observer_.lock();
    }
    if (!observer) return;
    std::vector<uint8_t> data(16);
    std::memcpy(data.data(), &timestamp, 8);
    std::memcpy(data.data() + 8, &value, 8);
    observer->remoteEvent(eventId, std::move(data));
}

ImageSettings Camera::imageSettingsLocked() const {
    const State& s = state_;
    ImageSettings image;
    image.kind = kind_;
    image.pattern = static_cast<TestPattern>(std::min<uint32_t>(s.testPattern, 3));
    image.sensorWidth = kSensorWidth;
    image.sensorHeight = kSensorHeight;
    image.width = s.width;
    image.height = s.height;
    image.offsetX = s.offsetX;
    image.offsetY = s.offsetY;
    image.binningH = s.binningH;
    image.binningV = s.binningV;
    image.pixelFormat = s.pixelFormat;
    image.reverseX = (s.reverse & 1) != 0;
    image.reverseY = (s.reverse & 2) != 0;
    image.brightness = s.exposureUs / kReferenceExposureUs * std::pow(10.0, s.gainDb / 20);
    return image;
}

size_t Camera::payloadSizeLocked() const {
    size_t size = imageSettingsLocked().imageBytes();
    if (state_.chunkMode != 0) {
        size += 8;  // the image chunk's own tag
        for (uint32_t i = 1; i < kChunkCount; ++i)
            if (state_.chunkEnable[i] != 0) size += 16;
    }
    return size;
}

size_t Camera::payloadSize() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return payloadSizeLocked();
}

Camera::Pace Camera::pace() const {
    std::lock_guard<std::mutex> lock(mutex_);
    Pace pace;
    pace.acquiring = acquiring_ && connected_;
    pace.triggered = state_.triggerMode[0] != 0;
    if (state_.frameRateEnable != 0 && state_.frameRateMilliHz > 0)
        pace.periodNs = uint64_t{1000000000000} / state_.frameRateMilliHz;
    return pace;
}

bool Camera::takeTrigger() {
    uint32_t pending = pendingTriggers_.load();
    while (pending > 0)
        if (pendingTriggers_.compare_exchange_weak(pending, pending - 1)) return true;
    return false;
}

// The camera's own brightness automatic: one proportional step per frame towards the nominal value.
void Camera::runAutomatics(std::vector<std::string>& changed) {
    State& s = state_;
    if (s.exposureAuto == 0 && s.gainAuto == 0) return;
    const ImageSettings image = imageSettingsLocked();
    uint32_t x = image.offsetX * image.binningH, y = image.offsetY * image.binningV;
    uint32_t w = image.width * image.binningH, h = image.height * image.binningV;
    if (s.regionMode != 0) {
        x = s.regionX * image.binningH;
        y = s.regionY * image.binningV;
        w = std::min(s.regionWidth * image.binningH, kSensorWidth - std::min(x, kSensorWidth));
        h = std::min(s.regionHeight * image.binningV, kSensorHeight - std::min(y, kSensorHeight));
    }
    const double mean = ImageRenderer::meanLevel(image, x, y, w, h);
    const double target = s.nominalPercent / 100;
    if (target <= 0) return;
    if (std::abs(mean - target) <= 0.02 * target) {
        if (s.exposureAuto == 1) s.exposureAuto = 0, changed.push_back("ExposureAuto");
        if (s.gainAuto == 1) s.gainAuto = 0, changed.push_back("GainAuto");
        return;
    }
    double ratio = mean > 0 ? target / mean : 2.0;
    const auto stepExposure = [&] {
        if (s.exposureAuto == 0) return;
        const double wanted = std::clamp(s.exposureUs * ratio, s.exposureAutoMin, s.exposureAutoMax);
        if (wanted != s.exposureUs) changed.push_back("ExposureTime");
        ratio *= s.exposureUs / wanted;
        s.exposureUs = wanted;
    };
    const auto stepGain = [&] {
        if (s.gainAuto == 0) return;
        const double wanted = std::clamp(s.gainDb + 20 * std::log10(ratio), s.gainAutoMin, s.gainAutoMax);
        if (wanted != s.gainDb) changed.push_back("Gain");
        ratio /= std::pow(10.0, (wanted - s.gainDb) / 20);
        s.gainDb = wanted;
    };
    if (s.priority == 0) {
        stepExposure();
        stepGain();
    } else {
        stepGain();
        stepExposure();
    }
}

FrameInfo Camera::beginFrame() {
    FrameInfo info;
    std::vector<std::string> changed;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        runAutomatics(changed);
        info.frameId = nextFrameId_++;
        info.timestampNs = nowNs();
        info.image = imageSettingsLocked();
        info.exposureUs = state_.exposureUs;
        info.gainDb = state_.gainDb;
        info.chunkMode = state_.chunkMode != 0;
        info.imageBytes = info.image.imageBytes();
        info.payloadBytes = payloadSizeLocked();
        if (info.chunkMode) {
            info.chunks.push_back({kChunkIdBase, 0, info.imageBytes});
            size_t offset = info.imageBytes + 8;
            info.chunkMask = 1;
            for (uint32_t i = 1; i < kChunkCount; ++i)
                if (state_.chunkEnable[i] != 0) {
                    info.chunkMask |= 1u << i;
                    info.chunks.push_back({kChunkIdBase + i, offset, 8});
                    offset += 16;
                }
            info.chunkLayoutId = info.chunkMask;
        }
    }
    ++framesGenerated_;
    if (!changed.empty()) invalidate(changed);
    raiseEvent(0, kEventFrameStart, info.timestampNs, info.frameId);
    return info;
}

void Camera::writeFrame(const FrameInfo& info, uint8_t* destination) {
    renderer_.render(info.image, info.frameId, destination);
    if (!info.chunkMode) return;
    uint8_t* tag = destination + info.imageBytes;
    putBigEndian32(tag, static_cast<uint32_t>(kChunkIdBase));
    putBigEndian32(tag + 4, static_cast<uint32_t>(info.imageBytes));
    for (size_t n = 1; n < info.chunks.size(); ++n) {
        const ChunkEntry& chunk = info.chunks[n];
        uint8_t* data = destination + chunk.offset;
        const uint32_t selector = static_cast<uint32_t>(chunk.id - kChunkIdBase);
        int64_t integer = 0;
        double real = 0;
        bool isReal = false;
        switch (selector) {
            case 1:
                integer = static_cast<int64_t>(info.frameId);
                break;
            case 2:
                integer = static_cast<int64_t>(info.timestampNs);
                break;
            case 3:
                real = info.exposureUs, isReal = true;
                break;
            case 4:
                real = info.gainDb, isReal = true;
                break;
            case 5:
                integer = info.image.width;
                break;
            case 6:
                integer = info.image.height;
                break;
            case 7:
                integer = info.image.offsetX;
                break;
            default:
                integer = info.image.offsetY;
                break;
        }
        if (isReal)
            std::memcpy(data, &real, 8);
        else
            std::memcpy(data, &integer, 8);
        putBigEndian32(data + 8, static_cast<uint32_t>(chunk.id));
        putBigEndian32(data + 12, 8);
    }
}

void Camera::endFrame(const FrameInfo& info) {
    bool finished = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (framesLeft_ > 0 && --framesLeft_ == 0) {
            acquiring_ = false;
            finished = true;
        }
    }
    raiseEvent(1, kEventExposureEnd, nowNs(), info.frameId);
    if (finished) notifyListener();
}

}  // namespace corvid2::sim
