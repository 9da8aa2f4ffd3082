// SPDX-License-Identifier: BSD-3-Clause
// Port reads and writes of a module as GenApi sees them: owner check, write stack, read cache.
#include "features/genapi_port.h"

#include <algorithm>
#include <cstring>

#include "core/last_error.h"
#include "core/result_codes.h"

namespace corvid2 {

namespace {

const char* codeText(Result code) { return ErrorCodeDescription(code, false); }

// The name GenApi reports as the raising source of port failures.
constexpr char kRaisingSource[] = "igenapi";

void raiseOnFailure(const char* failure) {
    if (failure != nullptr) throw genapi::RuntimeException(failure, kRaisingSource, __LINE__, "RuntimeException");
}
}  // namespace

void IGenAPIPort::Read(void* buffer, std::int64_t address, std::int64_t length) {
    raiseOnFailure(portRead(buffer, address, length, nullptr));
}

void IGenAPIPort::Write(const void* buffer, std::int64_t address, std::int64_t length) {
    raiseOnFailure(portWrite(buffer, address, length, nullptr));
}

// ---- CModulePort ------------------------------------------------------------------------------

CModulePort::CModulePort(CGenTLProducer* producer, const std::string& portName, std::string objectName)
    : port_(producer, portName), objectName_(std::move(objectName)) {}

CModulePort::~CModulePort() = default;

// A stored copy shorter than the request does not serve it: no byte beyond a copy is ever read.
const std::vector<std::uint8_t>* CModulePort::servedCopy(std::uint64_t address, size_t length) const {
    if (stacking_) {
        for (auto held = heldWrites_.rbegin(); held != heldWrites_.rend(); ++held)
            if (held->address == address && held->bytes.size() >= length) return &held->bytes;
        const auto cached = readCache_.find(address);
        if (cached != readCache_.end() && cached->second.size() >= length) return &cached->second;
    }
    return nullptr;
}

const char* CModulePort::portRead(void* buffer, std::int64_t address, std::int64_t length, const void* owner) {
    if (owner != owner_) return codeText(Result::AccessDenied);
    if (buffer == nullptr || length < 0) return codeText(Result::InvalidParameter);
    const auto registerAddress = static_cast<std::uint64_t>(address);
    const auto size = static_cast<size_t>(length);
    if (const auto* copy = servedCopy(registerAddress, size)) {
        std::memcpy(buffer, copy->data(), size);
        return nullptr;
    }
    size_t transferred = size;
    if (const Result code = port_.ReadPort(registerAddress, buffer, &transferred); code != Result::Success)
        return codeText(code);
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    readCache_[registerAddress].assign(bytes, bytes + size);
    return nullptr;
}

const char* CModulePort::portWrite(const void* buffer, std::int64_t address, std::int64_t length, const void* owner) {
    if (owner != owner_) return codeText(Result::AccessDenied);
    if (buffer == nullptr || length < 0) return codeText(Result::InvalidParameter);
    const auto registerAddress = static_cast<std::uint64_t>(address);
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    const auto size = static_cast<size_t>(length);
    if (!stacking_) {
        size_t transferred = size;
        if (const Result code = port_.WritePort(registerAddress, buffer, &transferred); code != Result::Success)
            return codeText(code);
        // The device may have taken another value than the one written: read it afresh next time.
        readCache_.erase(registerAddress);
        return nullptr;
    }
    if (replaceSameRegister_) {
        const auto same = std::find_if(heldWrites_.rbegin(), heldWrites_.rend(), [&](const HeldWrite& held) {
            return held.address == registerAddress && held.bytes.size() == size;
        });
        if (same != heldWrites_.rend()) {
            std::copy(bytes, bytes + size, same->bytes.begin());
            return nullptr;
        }
    }
    heldWrites_.push_back({registerAddress, std::vector<std::uint8_t>(bytes, bytes + size)});
    return nullptr;
}

bool CModulePort::noteFeatureWrite(const std::string& featureName) {
    if (!stacking_) return true;
    writtenFeatures_.push_back(featureName);
    return false;
}

bool CModulePort::connectNodeMap(genapi::INodeMap* nodeMap, const std::string& portName) {
    if (nodeMap == nullptr || !nodeMap->Connect(this, portName)) return false;
    nodeMap_ = nodeMap;
    return true;
}

Result CModulePort::startStacking(bool replaceSameRegister) {
    if (owner_ != nullptr)
        return SetLastError(Result::NotAvailable, objectName_.c_str(), "StartStacking", "%s",
                            codeText(Result::NotAvailable));
    stacking_ = true;
    replaceSameRegister_ = replaceSameRegister;
    return Result::Success;
}

void CModulePort::clearStack() {
    heldWrites_.clear();
    stacking_ = false;
}

Result CModulePort::writeStack() {
    static constexpr char kOperation[] = "WriteStack";
    if (heldWrites_.empty()) {
        cancelStack();
        return SetLastError(Result::NoData, objectName_.c_str(), kOperation, "No items in stack.");
    }
    std::vector<GenTL::PORT_REGISTER_STACK_ENTRY> entries;
    entries.reserve(heldWrites_.size());
    for (HeldWrite& held : heldWrites_) entries.push_back({held.address, held.bytes.data(), held.bytes.size()});
    size_t count = entries.size();
    const Result code = port_.WritePortStacked(entries.data(), &count);
    if (code != Result::Success) {
        // What reached the device is unknown: the written features are read afresh.
        cancelStack();
        return SetLastError(code, objectName_.c_str(), kOperation, "%s", codeText(code));
    }
    for (const HeldWrite& held : heldWrites_) readCache_.erase(held.address);
    // The node map keeps the values written; nothing needs invalidating.
    writtenFeatures_.clear();
    return cancelStack();
}

Result CModulePort::cancelStack() {
    if (nodeMap_ != nullptr) {
        for (const std::string& name : writtenFeatures_) {
            genapi::INode* node = nodeMap_->GetNode(name);
            if (node == nullptr) continue;
            // The held bytes live in the registers' caches below the feature: those are forgotten too.
            genapi::node_vector registers;
            node->GetChildren(registers, genapi::ctTerminalNodes);
            for (genapi::INode* reg : registers) reg->InvalidateNode();
            node->InvalidateNode();
        }
    }
    writtenFeatures_.clear();
    clearStack();
    return Result::Success;
}

void CModulePort::setPortOwner(const void* owner) {
    owner_ = owner;
    cancelStack();
}

void CModulePort::resetPort() {
    writtenFeatures_.clear();
    clearStack();
    readCache_.clear();
    nodeMap_ = nullptr;
    port_.reset();
}

}  // namespace corvid2
