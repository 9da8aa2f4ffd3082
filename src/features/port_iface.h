// SPDX-License-Identifier: BSD-3-Clause
// IPortIface: the GenTL port of one module, with argument checks, one lock per port and error mapping.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <mutex>
#include <string>
#include <vector>

#include "core/result_codes.h"
#include "gentl.h"

namespace corvid2 {

class CGenTLProducer;

// Every operation is one GenTL port call made under this port's mutex. Nothing is raised: a failure
// leaves the calling thread's last error (object name = port name) and returns a result code.
class IPortIface {
public:
    explicit IPortIface(CGenTLProducer* producer = nullptr, std::string portName = std::string());
    virtual ~IPortIface();
    IPortIface(const IPortIface&) = delete;
    IPortIface& operator=(const IPortIface&) = delete;

    // `size` in: bytes wanted, out: bytes transferred.
    virtual Result ReadPort(std::uint64_t address, void* buffer, size_t* size);
    virtual Result WritePort(std::uint64_t address, const void* buffer, size_t* size);
    // The description locations of the port, fetched from the producer on first use.
    virtual Result GetPortURL(std::uint32_t index, std::string* url);
    virtual Result GetNumPortURLs(std::uint32_t* count);
    // A null buffer asks for the size only.
    virtual Result GetPortInfo(GenTL::PORT_INFO_CMD command, GenTL::INFO_DATATYPE* type, void* buffer, size_t* size);
    virtual Result GetPortURLInfo(std::uint32_t index, GenTL::URL_INFO_CMD command, GenTL::INFO_DATATYPE* type,
                                  void* buffer, size_t* size);
    // `count` in: entries given, out: entries the producer handled.
    virtual Result ReadPortStacked(GenTL::PORT_REGISTER_STACK_ENTRY* entries, size_t* count);
    virtual Result WritePortStacked(GenTL::PORT_REGISTER_STACK_ENTRY* entries, size_t* count);

    // A text-valued port information (vendor, model, port name ...) read in two steps.
    Result getPortInfoText(GenTL::PORT_INFO_CMD command, std::string& text);

    void setProducer(CGenTLProducer* producer, const std::string& portName);
    void setHandle(GenTL::PORT_HANDLE handle) { handle_ = handle; }
    void setPortName(const std::string& name) { portName_ = name; }
    CGenTLProducer* producer() const { return producer_; }
    GenTL::PORT_HANDLE handle() const { return handle_; }
    const std::string& portName() const { return portName_; }
    // Forgets the handle, the location list and the name (module reset).
    void reset();

private:
    template <class Call>
    Result call(const char* label, std::initializer_list<Result> keptCodes, bool argumentsPresent, Call&& genTLCall);
    Result checkUsable(const char* label, bool argumentsPresent);
    Result recordFailure(const char* label, GenTL::GC_ERROR result, std::initializer_list<Result> kept);
    // Fills urls_ once; the caller holds mutex_.
    Result createURLList();

    CGenTLProducer* producer_;
    GenTL::PORT_HANDLE handle_ = nullptr;
    std::vector<std::string> urls_;
    std::string portName_;
    std::mutex mutex_;
};

}  // namespace corvid2
