// SPDX-License-Identifier: BSD-3-Clause
// One loaded GenTL producer: its function table, its optional trace hook and its error texts.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

#include "gentl.h"
#include "platform/platform.h"

namespace corvid2 {

// The GenTL names all carry their own prefixes (GC_, TL_, DS_ ...), so the internal layer uses
// them unqualified; the public headers never see this.
using namespace GenTL;

// Raised while binding a producer file: not loadable, or a mandatory function missing.
class CProducerLoadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The 64 GenTL entry points of one producer. The table is immutable once built, so calls through
// it take no lock: concurrency inside the producer is the producer's own affair.
class CGenTLProducer {
public:
    // Takes its own reference to the file and resolves the table; throws CProducerLoadError when a
    // mandatory function is missing (the partly built object releases its reference).
    explicit CGenTLProducer(const std::filesystem::path& file);
    virtual ~CGenTLProducer();
    CGenTLProducer(const CGenTLProducer&) = delete;
    CGenTLProducer& operator=(const CGenTLProducer&) = delete;

    static constexpr int kMandatoryCount = 52;
    static constexpr int kFunctionCount = 64;
    // Names in the order of resolution: the 52 mandatory rows first, then the 12 optional ones.
    static const char* const kFunctionNames[kFunctionCount];

    // One forwarding call per GenTL function. An optional function the producer lacks answers
    // GC_ERR_NOT_IMPLEMENTED without calling anything.
#define CORVID2_DECLARE_FORWARDER(name, since_major, since_minor, params, args) virtual GenTL::GC_ERROR name params;
    GENTL_FUNCTION_LIST(CORVID2_DECLARE_FORWARDER)
#undef CORVID2_DECLARE_FORWARDER

    // Whether the producer exports `name` (for the optional rows; mandatory ones always are).
    bool exports(const char* name) const;

    // "<GenTL name of the last code> <producer text>", or "" when the producer reports no text.
    std::string lastErrorText(GenTL::GC_ERROR* lastCode = nullptr);

private:
    platform::SharedLibrary library_;
    struct Table {
#define CORVID2_DECLARE_POINTER(name, since_major, since_minor, params, args) GenTL::P##name name = nullptr;
        GENTL_FUNCTION_LIST(CORVID2_DECLARE_POINTER)
#undef CORVID2_DECLARE_POINTER
    } table_;
};

// The trace hook that producers of our own maker export: all eleven functions or nothing.
class CProducerTraceHook {
public:
    using TraceCallback = void (*)(const char* prefix, std::int32_t channel, std::int32_t level,
                                   std::uint32_t traceLevelBits, const char* format, ...);
    static constexpr int kFunctionCount = 11;
    static const char* const kFunctionNames[kFunctionCount];

    // Null when the file does not export every one of the eleven functions.
    static std::unique_ptr<CProducerTraceHook> create(const std::filesystem::path& file);
    // Hands the library's callback to the producer, which then traces through our facility.
    void registerCallback(TraceCallback callback);

private:
    CProducerTraceHook() = default;
    platform::SharedLibrary library_;
    void* functions_[kFunctionCount] = {};
};

// The callback given to producers: one of their lines, formatted with their own prefix.
void producerTraceCallback(const char* prefix, std::int32_t channel, std::int32_t level, std::uint32_t traceLevelBits,
                           const char* format, ...);

}  // namespace corvid2
