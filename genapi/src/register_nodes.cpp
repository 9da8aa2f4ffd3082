// SPDX-License-Identifier: BSD-3-Clause
// Register nodes: address arithmetic, port access and caching, and the IntReg, MaskedIntReg, StructEntry,
// FloatReg, StringReg, Register, AdvFeatureLock, SmartFeature and ConfRom kinds on top.
#include <cfloat>
#include <cstdio>

#include "value_nodes.h"

namespace corvid2::genapi::detail {

uint64_t loadUnsigned(const uint8_t* bytes, int64_t length, bool bigEndian) {
    uint64_t value = 0;
    for (int64_t k = 0; k < length; ++k) {
        uint64_t byte = bytes[bigEndian ? k : length - 1 - k];
        value = (value << 8) | byte;
    }
    return value;
}

void storeUnsigned(uint64_t value, uint8_t* bytes, int64_t length, bool bigEndian) {
    for (int64_t k = 0; k < length; ++k) {
        bytes[bigEndian ? length - 1 - k : k] = static_cast<uint8_t>(value);
        value >>= 8;
    }
}

namespace {

// Port failures reach the caller with the register's name and location, keeping the exception's kind.
[[noreturn]] void rethrowPortError(const Node& node, const char* operation, int64_t address, int64_t length) {
    char where[96];
    std::snprintf(where, sizeof where, "%s of %lld bytes at 0x%llx failed: ", operation, static_cast<long long>(length),
                  static_cast<unsigned long long>(address));
    std::string prefix = "node '" + node.name() + "': " + where;
    try {
        throw;
    } catch (const AccessException& e) {
        throw AccessException(prefix + e.GetDescription(), e.GetSourceFileName(), e.GetSourceLine());
    } catch (const TimeoutException& e) {
        throw TimeoutException(prefix + e.GetDescription(), e.GetSourceFileName(), e.GetSourceLine());
    } catch (const GenericException& e) {
        throw RuntimeException(prefix + e.GetDescription(), e.GetSourceFileName(), e.GetSourceLine());
    } catch (const std::exception& e) {
        throw RuntimeException(prefix + e.what(), __FILE__, __LINE__);
    }
}

ECachingMode parseCaching(const char* text) {
    if (!text) return WriteThrough;
    std::string value = text;
    return value == "NoCache" ? NoCache : value == "WriteAround" ? WriteAround : WriteThrough;
}

}  // namespace

void RegisterCore::link(Linker& linker, const NodeXml& xml) {
    const std::string& owner = owner_.name();
    for (pugi::xml_node element : xml.children("Address")) {
        int64_t part = parseInteger(element.child_value(), owner, "Address");
        // A port takes signed 64-bit addresses; a fixed sum beyond them is a broken description, not a location.
        if (__builtin_add_overflow(fixedAddress_, part, &fixedAddress_)) {
            CORVID2_NODE_THROW(RuntimeException, owner_, "its <Address> elements add up beyond the 64-bit range");
        }
    }
    for (pugi::xml_node element : xml.children("IntSwissKnife")) {
        std::string helper = element.attribute("Name").value();
        if (!linker.map().find(helper)) {
            Builder builder(linker.map());
            builder.build(element);
        }
        addressNodes_.push_back(linker.resolve(helper.c_str(), "IntSwissKnife"));
    }
    for (Node* node : linker.resolveAll(xml, "pAddress")) addressNodes_.push_back(node);
    if (const char* text = xml.text("Length")) {
        length_ = parseInteger(text, owner, "Length");
    } else if (xml.child("pLength")) {
        lengthNode_ = linker.resolveOptional(xml, "pLength");
    } else if (std::strcmp(owner_.GetNodeType().c_str(), "AdvFeatureLock") == 0 ||
               std::strcmp(owner_.GetNodeType().c_str(), "SmartFeature") == 0) {
        length_ = 4;
    } else {
        CORVID2_NODE_THROW(RuntimeException, owner_, "register without <Length> or <pLength>");
    }
    for (pugi::xml_node element : xml.children("pIndex")) {
        Index index{linker.resolve(element.child_value(), "pIndex"), length_, nullptr};
        if (const char* offset = element.attribute("Offset").value(); *offset) {
            index.offset = parseInteger(offset, owner, "pIndex Offset");
        } else if (const char* offsetNode = element.attribute("pOffset").value(); *offsetNode) {
            index.offsetNode = linker.resolve(offsetNode, "pIndex pOffset");
        }
        indexes_.push_back(index);
    }
    mode_ = parseAccessMode(xml.text("AccessMode"), RO);
    caching_ = parseCaching(xml.text("Cachable"));
    pugi::xml_node port = xml.child("pPort");
    if (!port) return;  // such a register is never available
    portNode_ = linker.resolve(port.child_value(), "pPort");
    port_ = dynamic_cast<IPort*>(portNode_);
    if (!port_)
        CORVID2_NODE_THROW(RuntimeException, owner_, "<pPort> names '" + portNode_->name() + "', which is no port");
}

int64_t RegisterCore::address() const {
    uint64_t address = static_cast<uint64_t>(fixedAddress_);
    for (Node* node : addressNodes_) address += static_cast<uint64_t>(node->readInt());
    for (const Index& index : indexes_) {
        int64_t offset = index.offsetNode ? index.offsetNode->readInt() : index.offset;
        address += static_cast<uint64_t>(index.node->readInt()) * static_cast<uint64_t>(offset);
    }
    return static_cast<int64_t>(address);
}

int64_t RegisterCore::length() const { return lengthNode_ ? lengthNode_->readInt() : length_; }

EAccessMode RegisterCore::accessMode() const {
    if (!portNode_) return NA;
    // A location that cannot be computed makes the register unavailable rather than failing on access.
    auto unreadable = [](const Node* node) { return node && !IsReadable(node->accessMode()); };
    for (Node* node : addressNodes_) {
        if (unreadable(node)) return NA;
    }
    for (const Index& index : indexes_) {
        if (unreadable(index.node) || unreadable(index.offsetNode)) return NA;
    }
    if (unreadable(lengthNode_)) return NA;
    return combineAccess(mode_, portNode_->accessMode());
}

bool RegisterCore::cacheUsable() const {
    if (!owner_.map().caching() || caching_ == NoCache) return false;
    for (Node* node : addressNodes_) {
        if (node->volatile_) return false;
    }
    for (const Index& index : indexes_) {
        if (index.node->volatile_ || (index.offsetNode && index.offsetNode->volatile_)) return false;
    }
    return !(lengthNode_ && lengthNode_->volatile_);
}

void RegisterCore::checkLength(int64_t length) const {
    int64_t expected = this->length();
    if (length != expected) {
        CORVID2_NODE_THROW(
            OutOfRangeException, owner_,
            "buffer of " + std::to_string(length) + " bytes for a register of " + std::to_string(expected) + " bytes");
    }
}

void RegisterCore::read(uint8_t* buffer, int64_t length, bool ignoreCache) {
    if (length < 0 || length > kMaxLength) {
        CORVID2_NODE_THROW(OutOfRangeException, owner_, "register length " + std::to_string(length) + " is not usable");
    }
    bool usable = cacheUsable();
    if (!ignoreCache && usable && cacheValid_ && static_cast<int64_t>(cache_.size()) == length) {
        std::memcpy(buffer, cache_.data(), static_cast<size_t>(length));
        return;
    }
    if (!port_) CORVID2_NODE_THROW(AccessException, owner_, "register without <pPort>");
    int64_t where = address();
    try {
        port_->Read(buffer, where, length);
    } catch (...) {
        rethrowPortError(owner_, "read", where, length);
    }
    if (usable) {
        cache_.assign(buffer, buffer + length);
        cacheValid_ = true;
    }
}

void RegisterCore::write(const uint8_t* buffer, int64_t length, bool verify) {
    if (length < 0 || length > kMaxLength) {
        CORVID2_NODE_THROW(OutOfRangeException, owner_, "register length " + std::to_string(length) + " is not usable");
    }
    if (!port_) CORVID2_NODE_THROW(AccessException, owner_, "register without <pPort>");
    int64_t where = address();
    try {
        port_->Write(buffer, where, length);
    } catch (...) {
        rethrowPortError(owner_, "write", where, length);
    }
    cacheValid_ = false;
    if (verify && owner_.map().readBack() && IsReadable(mode_)) {
        std::vector<uint8_t> check(static_cast<size_t>(length));
        try {
            port_->Read(check.data(), where, length);
        } catch (...) {
            rethrowPortError(owner_, "read-back", where, length);
        }
        if (std::memcmp(check.data(), buffer, static_cast<size_t>(length)) != 0) {
            CORVID2_NODE_THROW(RuntimeException, owner_,
                               "write verification failed: the register reads back differently");
        }
    }
    if (caching_ == WriteThrough && cacheUsable()) {
        cache_.assign(buffer, buffer + length);
        cacheValid_ = true;
    }
}

namespace {

bool isBigEndian(const NodeXml& xml) {
    const char* text = xml.text("Endianess");
    return text && std::strcmp(text, "BigEndian") == 0;
}

bool isSigned(const NodeXml& xml) {
    const char* text = xml.text("Sign");
    return text && std::strcmp(text, "Signed") == 0;
}

int64_t signExtend(uint64_t value, int bits) {
    if (bits >= 64) return static_cast<int64_t>(value);
    uint64_t sign = uint64_t{1} << (bits - 1);
    return static_cast<int64_t>((value ^ sign) - sign);
}

int64_t fieldMin(int bits, bool isSigned) {
    return isSigned ? (bits >= 64 ? INT64_MIN : -(int64_t{1} << (bits - 1))) : 0;
}
int64_t fieldMax(int bits, bool isSigned) {
    if (bits >= 64) return INT64_MAX;
    return isSigned ? (int64_t{1} << (bits - 1)) - 1 : static_cast<int64_t>((uint64_t{1} << bits) - 1);
}

/// IntReg, AdvFeatureLock, SmartFeature: a whole register of 1 to 8 bytes as an integer.
class IntRegNode : public RegisterNode<IntegerBase> {
public:
    IntRegNode(NodeMapImpl& map, const NodeXml& xml, const char* type)
        : RegisterNode(map, xml, type), bigEndian_(isBigEndian(xml)), signed_(isSigned(xml)) {}

    int64_t getInt(bool, bool ignoreCache) override {
        int64_t length = checkedLength();
        uint8_t bytes[8];
        reg_.read(bytes, length, ignoreCache);
        uint64_t raw = loadUnsigned(bytes, length, bigEndian_);
        return signed_ ? signExtend(raw, static_cast<int>(length * 8)) : static_cast<int64_t>(raw);
    }
    void setInt(int64_t value, bool verify) override {
        int64_t length = checkedLength();
        uint8_t bytes[8];
        storeUnsigned(static_cast<uint64_t>(value), bytes, length, bigEndian_);
        reg_.write(bytes, length, verify);
    }
    int64_t intMin() override { return fieldMin(static_cast<int>(checkedLength() * 8), signed_); }
    int64_t intMax() override { return fieldMax(static_cast<int>(checkedLength() * 8), signed_); }

private:
    int64_t checkedLength() {
        int64_t length = reg_.length();
        if (length < 1 || length > 8) {
            CORVID2_NODE_THROW(RuntimeException, *this, "integer register of " + std::to_string(length) + " bytes");
        }
        return length;
    }
    bool bigEndian_;
    bool signed_;
};

/// MaskedIntReg and StructEntry: a bit field of a register. Big-endian registers number bit 0 as the
/// most significant bit of the whole register, so the field's shift depends on the register's length.
class MaskedIntRegNode : public RegisterNode<IntegerBase> {
public:
    MaskedIntRegNode(NodeMapImpl& map, const NodeXml& xml, const char* type)
        : RegisterNode(map, xml, type), bigEndian_(isBigEndian(xml)), signed_(isSigned(xml)) {
        if (const char* bit = xml.self.child_value("Bit"); *bit) {
            lsb_ = msb_ = parseInteger(bit, name_, "Bit");
        } else if (xml.self.child("LSB") || xml.self.child("MSB")) {
            lsb_ = parseInteger(xml.self.child_value("LSB"), name_, "LSB");
            msb_ = parseInteger(xml.self.child_value("MSB"), name_, "MSB");
        } else if (const char* sharedBit = xml.text("Bit")) {
            lsb_ = msb_ = parseInteger(sharedBit, name_, "Bit");
        } else {
            lsb_ = parseInteger(xml.text("LSB", "0"), name_, "LSB");
            msb_ = parseInteger(xml.text("MSB", "0"), name_, "MSB");
        }
    }

    int64_t getInt(bool, bool ignoreCache) override {
        Field field = layout();
        uint8_t bytes[8];
        reg_.read(bytes, field.length, ignoreCache);
        uint64_t raw = loadUnsigned(bytes, field.length, bigEndian_);
        uint64_t value = (raw >> field.shift) & field.mask;
        return signed_ ? signExtend(value, field.width) : static_cast<int64_t>(value);
    }
    void setInt(int64_t value, bool verify) override {
        Field field = layout();
        uint8_t bytes[8];
        reg_.read(bytes, field.length, false);
        uint64_t raw = loadUnsigned(bytes, field.length, bigEndian_);
        raw &= ~(field.mask << field.shift);
        raw |= (static_cast<uint64_t>(value) & field.mask) << field.shift;
        storeUnsigned(raw, bytes, field.length, bigEndian_);
        reg_.write(bytes, field.length, verify);
    }
    int64_t intMin() override { return fieldMin(layout().width, signed_); }
    int64_t intMax() override { return fieldMax(layout().width, signed_); }

private:
    struct Field {
        int64_t length;
        int shift;
        int width;
        uint64_t mask;
    };
    Field layout() {
        int64_t length = reg_.length();
        if (length < 1 || length > 8) {
            CORVID2_NODE_THROW(RuntimeException, *this, "masked register of " + std::to_string(length) + " bytes");
        }
        int64_t low = std::min(lsb_, msb_), high = std::max(lsb_, msb_);
        int64_t bits = length * 8;
        if (low < 0 || high >= bits) {
            CORVID2_NODE_THROW(RuntimeException, *this,
                               "bit field " + std::to_string(lsb_) + ".." + std::to_string(msb_) +
                                   " outside a register of " + std::to_string(length) + " bytes");
        }
        Field field;
        field.length = length;
        field.width = static_cast<int>(high - low + 1);
        field.shift = static_cast<int>(bigEndian_ ? bits - 1 - high : low);
        field.mask = field.width >= 64 ? ~uint64_t{0} : (uint64_t{1} << field.width) - 1;
        return field;
    }
    bool bigEndian_;
    bool signed_;
    int64_t lsb_ = 0;
    int64_t msb_ = 0;
};

/// FloatReg: IEEE float or double in a register.
class FloatRegNode : public RegisterNode<FloatBase> {
public:
    FloatRegNode(NodeMapImpl& map, const NodeXml& xml, const char* type)
        : RegisterNode(map, xml, type), bigEndian_(isBigEndian(xml)) {}

    double getFloat(bool, bool ignoreCache) override {
        int64_t length = checkedLength();
        uint8_t bytes[8];
        reg_.read(bytes, length, ignoreCache);
        uint64_t raw = loadUnsigned(bytes, length, bigEndian_);
        if (length == 4) {
            uint32_t narrow = static_cast<uint32_t>(raw);
            float value;
            std::memcpy(&value, &narrow, 4);
            return value;
        }
        double value;
        std::memcpy(&value, &raw, 8);
        return value;
    }
    void setFloat(double value, bool verify) override {
        int64_t length = checkedLength();
        uint64_t raw;
        if (length == 4) {
            float narrow = static_cast<float>(value);
            uint32_t bits;
            std::memcpy(&bits, &narrow, 4);
            raw = bits;
        } else {
            std::memcpy(&raw, &value, 8);
        }
        uint8_t bytes[8];
        storeUnsigned(raw, bytes, length, bigEndian_);
        reg_.write(bytes, length, verify);
    }
    double floatMin() override { return reg_.length() == 4 ? -FLT_MAX : -DBL_MAX; }
    double floatMax() override { return reg_.length() == 4 ? FLT_MAX : DBL_MAX; }

private:
    int64_t checkedLength() {
        int64_t length = reg_.length();
        if (length != 4 && length != 8) {
            CORVID2_NODE_THROW(RuntimeException, *this, "float register of " + std::to_string(length) + " bytes");
        }
        return length;
    }
    bool bigEndian_;
};

/// StringReg: text of fixed length, zero-padded.
class StringRegNode : public RegisterNode<StringBase> {
public:
    using RegisterNode::RegisterNode;
    std::string getText(bool, bool ignoreCache) override {
        int64_t length = reg_.length();
        if (length < 0 || length > RegisterCore::kMaxLength) {
            CORVID2_NODE_THROW(OutOfRangeException, *this,
                               "string register length " + std::to_string(length) + " is not usable");
        }
        std::vector<uint8_t> bytes(static_cast<size_t>(length));
        reg_.read(bytes.data(), length, ignoreCache);
        size_t end = 0;
        while (end < bytes.size() && bytes[end] != 0) ++end;
        return std::string(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(end));
    }
    void setText(const std::string& value, bool verify) override {
        std::vector<uint8_t> bytes(static_cast<size_t>(reg_.length()), 0);
        std::memcpy(bytes.data(), value.data(), std::min(value.size(), bytes.size()));
        reg_.write(bytes.data(), static_cast<int64_t>(bytes.size()), verify);
    }
    int64_t maxLength() override { return reg_.length(); }
};

/// Register and ConfRom: raw bytes, shown as hexadecimal text.
class RawValueBase : public Node, public virtual IValue {
public:
    using Node::Node;
    EInterfaceType GetPrincipalInterfaceType() const override { return intfIRegister; }
    bool IsValueCacheValid() const override {
        MapGuard guard(*this);
        return hasValidCache();
    }
};

class RawRegisterNode : public RegisterNode<RawValueBase> {
public:
    using RegisterNode::RegisterNode;
    gcstring ToString(bool verify, bool ignoreCache) override {
        MapGuard guard(*this);
        int64_t length = GetLength();
        if (length < 0 || length > RegisterCore::kMaxLength)
            CORVID2_NODE_THROW(OutOfRangeException, *this, "unusable length");
        std::vector<uint8_t> bytes(static_cast<size_t>(length));
        Get(bytes.data(), length, verify, ignoreCache);
        static const char kHex[] = "0123456789abcdef";
        std::string text = "0x";
        for (uint8_t b : bytes) {
            text += kHex[b >> 4];
            text += kHex[b & 15];
        }
        return text;
    }
    void FromString(const gcstring& value, bool verify) override {
        MapGuard guard(*this);
        std::string digits = value.compare(0, 2, "0x") == 0 ? value.substr(2) : value;
        std::vector<uint8_t> bytes(static_cast<size_t>(GetLength()), 0);
        for (size_t k = 0; k < bytes.size() && 2 * k + 1 < digits.size(); ++k) {
            bytes[k] = static_cast<uint8_t>(std::stoul(digits.substr(2 * k, 2), nullptr, 16));
        }
        Set(bytes.data(), static_cast<int64_t>(bytes.size()), verify);
    }
};

/// ConfRom: the ROM itself reads as a raw register; the keys it lists become nodes beside it.
void createConfRom(Builder& builder, const NodeXml& xml) {
    createNode<RawRegisterNode>(builder, xml);
    addConfigRomKeys(builder, xml);
}

}  // namespace

void addRegisterCreators(CreatorTable& table) {
    table["IntReg"] = createNode<IntRegNode>;
    table["AdvFeatureLock"] = createNode<IntRegNode>;
    table["SmartFeature"] = createNode<IntRegNode>;
    table["MaskedIntReg"] = createNode<MaskedIntRegNode>;
    table["StructEntry"] = createNode<MaskedIntRegNode>;
    table["FloatReg"] = createNode<FloatRegNode>;
    table["StringReg"] = createNode<StringRegNode>;
    table["Register"] = createNode<RawRegisterNode>;
    table["ConfRom"] = createConfRom;
}

}  // namespace corvid2::genapi::detail
