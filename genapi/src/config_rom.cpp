// SPDX-License-Identifier: BSD-3-Clause
// IEEE 1212 configuration ROM lookups: the directory walk and the IntKey and TextDesc nodes built on it.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>

#include "computed_nodes.h"

namespace corvid2::genapi::detail {

namespace {

/// A configuration ROM image in big-endian quadlets. Every index is checked, so a corrupt or truncated ROM
/// reads as "key not present" instead of reading past the image.
class Ieee1212Rom {
public:
    static constexpr uint8_t kTextualDescriptorLeaf = 0x81;
    static constexpr uint8_t kDescriptorDirectory = 0xC1;
    static constexpr uint8_t kUnitDirectory = 0xD1;
    static constexpr uint8_t kUnitSpecId = 0x12;
    static constexpr uint8_t kUnitDependentDirectory = 0xD4;

    /// `unit` picks the unit directory: the one whose Unit_Spec_ID equals it, otherwise the one at that index.
    Ieee1212Rom(const std::vector<uint8_t>& bytes, int64_t unit) : bytes_(bytes) {
        if (quadlets() == 0) return;
        size_t root = 1 + (quadlet(0) >> 24);  // after the bus information block
        std::vector<size_t> units;
        for (size_t entry : entries(root)) {
            if (key(entry) == kUnitDirectory) {
                if (auto target = follow(entry)) units.push_back(*target);
            }
        }
        std::optional<size_t> chosen;
        for (size_t dir : units) {
            for (size_t entry : entries(dir)) {
                if (!chosen && key(entry) == kUnitSpecId && static_cast<int64_t>(value(entry)) == unit) chosen = dir;
            }
        }
        if (!chosen && unit >= 0 && static_cast<uint64_t>(unit) < units.size())
            chosen = units[static_cast<size_t>(unit)];
        // Most specific first: what the unit says about itself overrides what the node says in general.
        if (chosen) {
            for (size_t entry : entries(*chosen)) {
                if (key(entry) == kUnitDependentDirectory) {
                    if (auto target = follow(entry)) search_.push_back(*target);
                }
            }
            search_.push_back(*chosen);
        }
        search_.push_back(root);
    }

    /// The 24-bit value of the first entry with this key (immediate values and CSR offsets alike).
    std::optional<int64_t> immediate(uint8_t wanted) const {
        if (auto entry = find(wanted)) return value(*entry);
        return std::nullopt;
    }

    /// A leaf key names its textual descriptor leaf; any other key names the entry the descriptor describes,
    /// whose descriptor (leaf or descriptor directory) follows it.
    std::optional<std::string> text(uint8_t wanted) const {
        std::optional<size_t> entry = find(wanted);
        if (!entry) return std::nullopt;
        if ((wanted >> 6) != kLeafType) {
            size_t next = *entry + 1;
            if (!inDirectory(next, *entry)) return std::nullopt;
            if (key(next) == kDescriptorDirectory) {
                std::optional<size_t> dir = follow(next);
                if (!dir) return std::nullopt;
                next = 0;
                for (size_t inner : entries(*dir)) {
                    if (!next && key(inner) == kTextualDescriptorLeaf) next = inner;
                }
                if (!next) return std::nullopt;
            } else if (key(next) != kTextualDescriptorLeaf) {
                return std::nullopt;
            }
            entry = next;
        }
        std::optional<size_t> leaf = follow(*entry);
        return leaf ? textOfLeaf(*leaf) : std::nullopt;
    }

private:
    static constexpr uint8_t kLeafType = 2;
    static constexpr size_t kTextHeaderQuadlets = 3;  // leaf header, descriptor type/specifier, charset/language

    size_t quadlets() const { return bytes_.size() / 4; }
    uint32_t quadlet(size_t index) const {
        const uint8_t* q = bytes_.data() + 4 * index;
        return uint32_t{q[0]} << 24 | uint32_t{q[1]} << 16 | uint32_t{q[2]} << 8 | q[3];
    }
    uint8_t key(size_t entry) const { return static_cast<uint8_t>(quadlet(entry) >> 24); }
    uint32_t value(size_t entry) const { return quadlet(entry) & 0xFFFFFF; }

    /// Entries of the directory whose header is at `dir`, clipped to the image.
    std::vector<size_t> entries(size_t dir) const {
        std::vector<size_t> result;
        if (dir >= quadlets()) return result;
        size_t length = quadlet(dir) >> 16;
        for (size_t k = 1; k <= length && dir + k < quadlets(); ++k) result.push_back(dir + k);
        return result;
    }
    bool inDirectory(size_t entry, size_t sibling) const {
        for (size_t dir : search_) {
            std::vector<size_t> list = entries(dir);
            bool hasSibling = std::find(list.begin(), list.end(), sibling) != list.end();
            if (hasSibling) return std::find(list.begin(), list.end(), entry) != list.end();
        }
        return false;
    }
    /// Leaf and directory entries point forward, in quadlets from the entry itself.
    std::optional<size_t> follow(size_t entry) const {
        if ((key(entry) >> 6) < kLeafType || value(entry) == 0) return std::nullopt;
        size_t target = entry + value(entry);
        return target < quadlets() ? std::optional<size_t>(target) : std::nullopt;
    }
    std::optional<size_t> find(uint8_t wanted) const {
        for (size_t dir : search_) {
            for (size_t entry : entries(dir)) {
                if (key(entry) == wanted) return entry;
            }
        }
        return std::nullopt;
    }
    std::optional<std::string> textOfLeaf(size_t leaf) const {
        size_t length = quadlet(leaf) >> 16;
        if (length < kTextHeaderQuadlets - 1 || leaf + 1 >= quadlets()) return std::nullopt;
        if ((quadlet(leaf + 1) >> 24) != 0) return std::nullopt;  // a descriptor, but not a textual one
        size_t begin = 4 * (leaf + kTextHeaderQuadlets);
        size_t end = std::min(bytes_.size(), 4 * (leaf + 1 + length));
        std::string text;
        for (size_t k = begin; k < end && bytes_[k] != 0; ++k) text += static_cast<char>(bytes_[k]);
        return text;
    }

    const std::vector<uint8_t>& bytes_;
    std::vector<size_t> search_;  // directory headers, searched in this order
};

/// Common part of IntKey and TextDesc: the parser (a ConfRom), the key, and the ROM lookup.
/// A key listed inside its ConfRom takes the ConfRom as parser and its own text as the key.
template <class Base>
class RomKeyNode : public Base {
public:
    RomKeyNode(NodeMapImpl& map, const NodeXml& xml, const char* type) : Base(map, xml, nodeName(xml), type) {}
    void link(Linker& linker) override {
        Base::link(linker);
        pugi::xml_node parserElement = this->xml_.child("p1212Parser");
        pugi::xml_node keyElement = this->xml_.child("Key");
        bool listed = std::strcmp(this->xml_.self.parent().name(), "ConfRom") == 0;
        if (!listed && !parserElement) CORVID2_NODE_THROW(RuntimeException, *this, "has no <p1212Parser>");
        parser_ = listed ? linker.resolve(this->xml_.self.parent().attribute("Name").value(), "ConfRom")
                         : linker.resolve(parserElement.child_value(), "p1212Parser");
        rom_ = dynamic_cast<IRegister*>(parser_);
        if (!rom_)
            CORVID2_NODE_THROW(RuntimeException, *this, "its parser '" + parser_->name() + "' is not a register");
        int64_t key =
            parseInteger(listed ? this->xml_.self.child_value() : keyElement.child_value(), this->name_, "Key");
        if (key < 0 || key > 0xFF) {
            CORVID2_NODE_THROW(RuntimeException, *this,
                               "key " + std::to_string(key) + " is not an 8-bit IEEE 1212 key");
        }
        key_ = static_cast<uint8_t>(key);
        const char* unit = parser_->xml().text("Unit");
        unit_ = unit ? parseInteger(unit, parser_->name(), "Unit") : 0;
    }
    /// Read-only while the ROM holds the key; a key the device does not have is not available.
    EAccessMode ownAccessMode() const override {
        if (!IsReadable(parser_->accessMode())) return NA;
        return const_cast<RomKeyNode*>(this)->lookup(false) ? RO : NA;
    }

protected:
    virtual bool lookup(bool ignoreCache) = 0;
    /// The ROM image, through the parser's register cache.
    std::vector<uint8_t> image(bool ignoreCache) {
        int64_t length = rom_->GetLength();
        if (length < 0 || length > RegisterCore::kMaxLength) {
            CORVID2_NODE_THROW(OutOfRangeException, *this, "configuration ROM length " + std::to_string(length));
        }
        std::vector<uint8_t> bytes(static_cast<size_t>(length));
        rom_->Get(bytes.data(), length, false, ignoreCache);
        return bytes;
    }
    [[noreturn]] void missing() const {
        char key[8];
        std::snprintf(key, sizeof key, "0x%02X", key_);
        CORVID2_NODE_THROW(AccessException, *this,
                           std::string("configuration ROM '") + parser_->name() + "' has no key " + key);
    }

    Node* parser_ = nullptr;
    IRegister* rom_ = nullptr;
    uint8_t key_ = 0;
    int64_t unit_ = 0;
};

/// IntKey: the value of an immediate (or CSR offset) entry.
class IntKeyNode : public RomKeyNode<IntegerBase> {
public:
    using RomKeyNode::RomKeyNode;
    int64_t getInt(bool, bool ignoreCache) override {
        std::optional<int64_t> value = Ieee1212Rom(image(ignoreCache), unit_).immediate(key_);
        if (!value) missing();
        return *value;
    }
    int64_t intMin() override { return 0; }
    int64_t intMax() override { return 0xFFFFFF; }

protected:
    bool lookup(bool ignoreCache) override {
        return Ieee1212Rom(image(ignoreCache), unit_).immediate(key_).has_value();
    }
};

/// TextDesc: the text of a textual descriptor leaf.
class TextDescNode : public RomKeyNode<StringBase> {
public:
    using RomKeyNode::RomKeyNode;
    std::string getText(bool, bool ignoreCache) override {
        std::optional<std::string> text = Ieee1212Rom(image(ignoreCache), unit_).text(key_);
        if (!text) missing();
        return *text;
    }
    void setText(const std::string&, bool) override {
        CORVID2_NODE_THROW(AccessException, *this, "a configuration ROM text is read-only");
    }
    int64_t maxLength() override { return rom_->GetLength(); }

protected:
    bool lookup(bool ignoreCache) override { return Ieee1212Rom(image(ignoreCache), unit_).text(key_).has_value(); }
};

}  // namespace

void addConfigRomKeys(Builder& builder, const NodeXml& confRom) {
    // Keys listed inside a ConfRom become nodes of their own when they carry a name.
    for (pugi::xml_node element : confRom.self.children()) {
        bool text = std::strcmp(element.name(), "TextDesc") == 0;
        if (!text && std::strcmp(element.name(), "IntKey") != 0) continue;
        NodeXml xml{element, {}};
        if (nodeName(xml).empty()) continue;
        if (text) {
            createNode<TextDescNode>(builder, xml);
        } else {
            createNode<IntKeyNode>(builder, xml);
        }
    }
}

void addConfigRomCreators(CreatorTable& table) {
    table["IntKey"] = createNode<IntKeyNode>;
    table["TextDesc"] = createNode<TextDescNode>;
}

}  // namespace corvid2::genapi::detail
