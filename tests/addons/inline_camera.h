// SPDX-License-Identifier: BSD-3-Clause
// A remote device for the add-on tests: an inline description over a memory port, whose flat view
// is what a device hands its add-ons.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "features/igenapi.h"
#include "support/genapi_maps.h"

namespace corvid2::test {

class InlineCamera {
public:
    // `features` are the nodes the flat view lists (the root category's), `body` defines them.
    InlineCamera(const std::vector<std::string>& features, const std::string& body, std::size_t size = 0x200)
        : port_(size) {
        std::string root = "<Category Name=\"Root\">";
        for (const std::string& name : features) root += "<pFeature>" + name + "</pFeature>";
        root += "</Category>";
        map_.setXMLAndConnect(description(root + body), &port_, "Device");
    }
    InlineCamera(const InlineCamera&) = delete;
    InlineCamera& operator=(const InlineCamera&) = delete;

    const genAPINodeMap* view() const { return &map_.getNodeMapFlat(); }

    double f64(std::size_t address) const {
        double value = 0;
        std::memcpy(&value, port_.bytes_.data() + address, sizeof value);
        return value;
    }
    void setF64(std::size_t address, double value) { std::memcpy(port_.bytes_.data() + address, &value, sizeof value); }

    MemoryPort port_;
    IGenAPI map_;
};

}  // namespace corvid2::test
