// SPDX-License-Identifier: BSD-3-Clause
// CProducerObj: one producer file bound to the library, the object behind a public System.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "core/result_codes.h"
#include "gentl/gentl_producer.h"
#include "modules/gentl_module.h"

namespace corvid2 {

class CInterfaceObj;

class CProducerObj : public CGenTLModule {
public:
    explicit CProducerObj(std::filesystem::path file);
    ~CProducerObj() override;

    void* getHandle() const override { return tlHandle_; }

    // Loads the file, builds the trace hook and the table, and calls GCInitLib once. True exactly
    // when GCInitLib succeeded; throws CProducerLoadError when the file cannot be bound.
    bool loadProducer();
    // Releases events and port, calls GCCloseLib once (also after a failed GCInitLib) and lets the
    // file go. True when GCCloseLib succeeded or nothing was loaded.
    bool unloadProducer();
    bool isProducerLoaded() const;
    // The producer's last error when GCCloseLib failed (the table is gone by then).
    GenTL::GC_ERROR closeErrorCode() const { return closeErrorCode_; }
    const std::string& closeErrorText() const { return closeErrorText_; }

    // GCGetInfo while the transport layer is closed, TLGetInfo while it is open.
    Result getInfo(GenTL::TL_INFO_CMD command, GenTL::INFO_DATATYPE* type, void* buffer, size_t* size);
    // The text of one information command, read in two steps (size, then value).
    Result getInfoString(GenTL::TL_INFO_CMD command, std::string& text);

    // Opens the transport layer and builds its node map; a second open only warns. An open that
    // fails after TLOpen closes the transport layer again, so that the next one starts afresh.
    Result open();
    // Destroys the interfaces and closes the transport layer; closing a closed system only warns.
    Result close();
    bool isOpened() const { return opened_; }
    std::uint32_t genTLVersionMajor() const { return genTLVersionMajor_; }
    std::uint32_t genTLVersionMinor() const { return genTLVersionMinor_; }

    Result GetNumInterfaces(std::uint32_t* count);
    Result getInterfaceID(std::uint32_t index, std::string* id);
    Result getInterfaceInfo(const char* id, GenTL::INTERFACE_INFO_CMD command, GenTL::INFO_DATATYPE* type, void* buffer,
                            size_t* size);
    Result getInterfaceInfoString(const std::string& id, GenTL::INTERFACE_INFO_CMD command, std::string& text);
    // The interface object of that id among the listed ones.
    Result getInterface(const std::string& id, CInterfaceObj** iface);
    // Asks the producer to update its list, then drops vanished closed interfaces and adds new ones.
    Result updateInterfaceList(bool* changed, std::uint64_t timeout);
    std::size_t interfaceCount() const;

    const std::filesystem::path& path() const { return path_; }
    CGenTLProducer* table() const { return table_.get(); }

    // Set by the consumer context when it destroys the object at shutdown.
    void setDestroyedByContext() { destroyedByContext_ = true; }

    std::recursive_mutex& lock() { return mutex_; }

private:
    // The table and an open transport layer, which every interface operation needs.
    Result checkOpenTransportLayer(const char* operation);
    void destroyInterfaces();

    std::filesystem::path path_;
    std::set<std::unique_ptr<CInterfaceObj>> interfaces_;
    GenTL::TL_HANDLE tlHandle_ = nullptr;
    bool opened_ = false;
    bool destroyedByContext_ = false;
    GenTL::GC_ERROR closeErrorCode_ = GenTL::GC_ERR_SUCCESS;
    std::string closeErrorText_;
    std::uint32_t genTLVersionMajor_ = 0, genTLVersionMinor_ = 0;

    platform::SharedLibrary library_;
    std::unique_ptr<CProducerTraceHook> traceHook_;
    std::unique_ptr<CGenTLProducer> table_;
    mutable std::recursive_mutex mutex_;
};

}  // namespace corvid2
