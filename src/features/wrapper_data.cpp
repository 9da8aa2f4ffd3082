// SPDX-License-Identifier: BSD-3-Clause
// The serial-port hooks: the selector's lock and port check, the selected features' refusal.
#include "features/wrapper_data.h"

#include <utility>

#include <corvid2/genapi/interfaces.h>

namespace corvid2 {

namespace {

// The selected port's name, read from the engine directly: going through the wrapper would run
// this hook again from inside its own leave. Empty when the selector cannot be read now.
std::string selectedPort(CGenAPINode& selector) {
    auto* value = dynamic_cast<genapi::IValue*>(selector.node());
    if (value == nullptr || !genapi::IsReadable(value)) return std::string();
    return std::string(value->ToString().c_str());
}

// What a locked feature admits to: whatever needed write access is taken away.
constexpr std::pair<const char*, const char*> kLockedAccessModes[] = {{"WO", "NA"}, {"RW", "RO"}};

}  // namespace

void CWrapperDataSelector::enter(CGenAPINode& /*node*/) { owner_.serialPortLock().lock(); }

void CWrapperDataSelector::leave(CGenAPINode& node) {
    try {
        const std::string port = selectedPort(node);
        if (!port.empty()) {
            const bool bridged = owner_.bridgeRunsOn(port);
            for (const auto& entry : node.GetSelectedNodeList()) {
                auto* feature = dynamic_cast<CWrapperDataFeature*>(entry.second->getWrapperData());
                if (feature != nullptr) feature->setLocked(bridged);
            }
        }
    } catch (...) {
        // The flags keep their last state; the lock must be released whatever happened.
    }
    owner_.serialPortLock().unlock();
}

void CWrapperDataFeature::enter(CGenAPINode& node) {
    // The flag is looked at under the lock: the selector changes it only while holding that lock,
    // so an operation never starts on a port that a bridge has just taken.
    std::unique_lock<std::recursive_mutex> lock(owner_.serialPortLock());
    if (locked()) throw CGenAPIException("setValue of " + node.GetName() + " failed.", kGenAPIClassAccessDenied);
    lock.release();
}

void CWrapperDataFeature::leave(CGenAPINode& /*node*/) { owner_.serialPortLock().unlock(); }

bool CWrapperDataFeature::filterBool(CGenAPINode& /*node*/, bool answer) { return answer && !locked(); }

std::string CWrapperDataFeature::filterAccessMode(CGenAPINode& /*node*/, std::string text) {
    if (!locked()) return text;
    for (const auto& [from, to] : kLockedAccessModes)
        if (text == from) return to;
    return text;
}

}  // namespace corvid2
