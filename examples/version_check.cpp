// SPDX-License-Identifier: BSD-3-Clause
// The smallest application: prints the library version and shows how failures arrive.
#include <corvid2_genicam.h>

#include <cstdio>

int main() {
    std::printf("corvid2 %s\n", CORVID2::GetLibraryVersion().get());
    try {
        CORVID2::String refused("text", -1);
    } catch (const CORVID2::Exceptions::IException& e) {
        std::printf("%s: %s\n", e.GetType().get(), e.GetErrorDescription().get());
        return 0;
    }
    return 1;
}
