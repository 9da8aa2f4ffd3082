// SPDX-License-Identifier: BSD-3-Clause
// Shared libraries through Boost.DLL: producers and run-time libraries are opened here only.
#include "platform/platform.h"

#include <boost/dll/shared_library.hpp>

namespace corvid2::platform {

struct SharedLibrary::Impl {
    boost::dll::shared_library library;
    std::filesystem::path path;
};

SharedLibrary::SharedLibrary() : impl_(std::make_unique<Impl>()) {}
SharedLibrary::~SharedLibrary() = default;
SharedLibrary::SharedLibrary(SharedLibrary&&) noexcept = default;
SharedLibrary& SharedLibrary::operator=(SharedLibrary&&) noexcept = default;

bool SharedLibrary::load(const std::filesystem::path& path, std::string& error) {
    if (!impl_) impl_ = std::make_unique<Impl>();
    boost::dll::fs::error_code ec;
    // Each producer gets its own symbol scope so that two producers exporting the same
    // GenTL names never resolve into each other.
    impl_->library.load(path, ec, boost::dll::load_mode::rtld_local | boost::dll::load_mode::rtld_now);
    if (ec) {
        error = ec.message();
        impl_->path.clear();
        return false;
    }
    impl_->path = path;
    return true;
}

void SharedLibrary::unload() {
    if (impl_) {
        impl_->library.unload();
        impl_->path.clear();
    }
}

bool SharedLibrary::isLoaded() const { return impl_ && impl_->library.is_loaded(); }

void* SharedLibrary::symbol(const char* name) const {
    if (!isLoaded() || name == nullptr || !impl_->library.has(name)) return nullptr;
    // get<char> hands back a reference at the symbol's address, whatever the symbol is.
    return &impl_->library.get<char>(name);
}

const std::filesystem::path& SharedLibrary::path() const {
    static const std::filesystem::path kNone;
    return impl_ ? impl_->path : kNone;
}

}  // namespace corvid2::platform
