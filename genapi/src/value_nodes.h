// SPDX-License-Identifier: BSD-3-Clause
// Bases of the value node families (integer, float, string) and the register machinery they share.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "node_base.h"
#include "node_map.h"

namespace corvid2::genapi::detail {

/// Name attribute of a node element, trimmed.
std::string nodeName(const NodeXml& xml);
ERepresentation parseRepresentation(const char* text, ERepresentation fallback);

/// Everything that offers IInteger: the public operations on top of the node's numeric protocol.
class IntegerBase : public Node, public virtual IInteger {
public:
    using Node::Node;
    EInterfaceType GetPrincipalInterfaceType() const override { return intfIInteger; }
    gcstring ToString(bool verify, bool ignoreCache) override;
    void FromString(const gcstring& value, bool verify) override;
    bool IsValueCacheValid() const override;
    void SetValue(int64_t value, bool verify) override;
    int64_t GetValue(bool verify, bool ignoreCache) override;
    int64_t GetMin() override;
    int64_t GetMax() override;
    EIncMode GetIncMode() override;
    int64_t GetInc() override;
    int64_autovector_t GetListOfValidValues(bool bounded) override;
    ERepresentation GetRepresentation() override;
    gcstring GetUnit() override;
    void ImposeMin(int64_t value) override;
    void ImposeMax(int64_t value) override;

protected:
    void checkRange(int64_t value);
    int64_t imposedMin_ = INT64_MIN;
    int64_t imposedMax_ = INT64_MAX;
};

/// Everything that offers IFloat.
class FloatBase : public Node, public virtual IFloat {
public:
    using Node::Node;
    EInterfaceType GetPrincipalInterfaceType() const override { return intfIFloat; }
    bool isFloatValued() const override { return true; }
    int64_t getInt(bool verify, bool ignoreCache) override;
    void setInt(int64_t value, bool verify) override { setFloat(static_cast<double>(value), verify); }
    // An integer reader of a float node sees the integers inside its range, stepping by its rounded increment.
    int64_t intMin() override { return saturatingRound(std::ceil(floatMin())); }
    int64_t intMax() override { return saturatingRound(std::floor(floatMax())); }
    int64_t intInc() override { return hasIncrement() ? std::max<int64_t>(1, saturatingRound(floatInc())) : 1; }
    void intRange(int64_t& low, int64_t& high) override {
        double a = 0, b = 0;
        floatRange(a, b);
        low = saturatingRound(std::ceil(a));
        high = saturatingRound(std::floor(b));
    }
    double floatMin() override { return -1.7976931348623157e308; }
    double floatMax() override { return 1.7976931348623157e308; }
    double floatInc() override { return 0; }
    gcstring ToString(bool verify, bool ignoreCache) override;
    void FromString(const gcstring& value, bool verify) override;
    bool IsValueCacheValid() const override;
    void SetValue(double value, bool verify) override;
    double GetValue(bool verify, bool ignoreCache) override;
    double GetMin() override;
    double GetMax() override;
    bool HasInc() override;
    EIncMode GetIncMode() override;
    double GetInc() override;
    double_autovector_t GetListOfValidValues(bool bounded) override;
    ERepresentation GetRepresentation() override;
    gcstring GetUnit() override;
    EDisplayNotation GetDisplayNotation() override;
    int64_t GetDisplayPrecision() override;
    void ImposeMin(double value) override;
    void ImposeMax(double value) override;

protected:
    double imposedMin_ = -1.7976931348623157e308;
    double imposedMax_ = 1.7976931348623157e308;
};

/// Everything that offers IString; subclasses supply the text.
class StringBase : public Node, public virtual IString {
public:
    using Node::Node;
    EInterfaceType GetPrincipalInterfaceType() const override { return intfIString; }
    gcstring ToString(bool verify, bool ignoreCache) override { return GetValue(verify, ignoreCache); }
    void FromString(const gcstring& value, bool verify) override { SetValue(value, verify); }
    bool IsValueCacheValid() const override;
    void SetValue(const gcstring& value, bool verify) override;
    gcstring GetValue(bool verify, bool ignoreCache) override;
    int64_t GetMaxLength() override;
    virtual std::string getText(bool verify, bool ignoreCache) = 0;
    virtual void setText(const std::string& value, bool verify) = 0;
    virtual int64_t maxLength() = 0;
};

/// Location, size, port and cache of a register; shared by every register node kind.
class RegisterCore {
public:
    /// Longest register the engine reads or writes in one piece.
    static constexpr int64_t kMaxLength = int64_t{64} << 20;

    explicit RegisterCore(Node& owner) : owner_(owner) {}
    void link(Linker& linker, const NodeXml& xml);
    int64_t address() const;
    int64_t length() const;
    EAccessMode accessMode() const;
    ECachingMode caching() const { return caching_; }
    bool isFixed() const { return addressNodes_.empty() && indexes_.empty() && !lengthNode_; }
    const Node* port() const { return portNode_; }
    int64_t fixedAddress() const { return fixedAddress_; }
    /// Reads `length` bytes (from the cache when allowed and valid).
    void read(uint8_t* buffer, int64_t length, bool ignoreCache);
    void write(const uint8_t* buffer, int64_t length, bool verify);
    void dropCache() { cacheValid_ = false; }
    bool cacheValid() const { return cacheValid_; }
    /// Raises OutOfRangeException when the length is not that of the register.
    void checkLength(int64_t length) const;

private:
    bool cacheUsable() const;
    struct Index {
        Node* node;
        int64_t offset;
        Node* offsetNode;
    };
    Node& owner_;
    int64_t fixedAddress_ = 0;
    std::vector<Node*> addressNodes_;
    std::vector<Index> indexes_;
    int64_t length_ = 0;
    Node* lengthNode_ = nullptr;
    EAccessMode mode_ = RO;
    Node* portNode_ = nullptr;
    IPort* port_ = nullptr;
    ECachingMode caching_ = WriteThrough;
    std::vector<uint8_t> cache_;
    bool cacheValid_ = false;
};

/// Adds IRegister and register behaviour to a value family base.
template <class Base>
class RegisterNode : public Base, public virtual IRegister {
public:
    RegisterNode(NodeMapImpl& map, const NodeXml& xml, const char* type) : Base(map, xml, nodeName(xml), type) {}

    void Set(const uint8_t* buffer, int64_t length, bool verify) override {
        MapGuard guard(*this);
        this->checkWritable();
        reg_.checkLength(length);
        reg_.write(buffer, length, verify);
        this->map().changed(*this, false);
    }
    void Get(uint8_t* buffer, int64_t length, bool, bool ignoreCache) override {
        MapGuard guard(*this);
        this->checkReadable();
        reg_.checkLength(length);
        reg_.read(buffer, length, ignoreCache);
        if (!this->errors_.empty()) this->checkError(ignoreCache);
    }
    int64_t GetLength() override {
        MapGuard guard(*this);
        return reg_.length();
    }
    int64_t GetAddress() override {
        MapGuard guard(*this);
        return reg_.address();
    }
    void link(Linker& linker) override {
        Base::link(linker);
        reg_.link(linker, this->xml());
    }
    EAccessMode ownAccessMode() const override { return reg_.accessMode(); }
    void dropCache() override { reg_.dropCache(); }
    bool hasValidCache() const override { return reg_.cacheValid(); }
    bool isVolatileSource() const override { return Base::isVolatileSource() || reg_.caching() == NoCache; }
    bool isRegister() const override { return true; }
    bool fixedLocation(const Node*& port, int64_t& address) const override {
        if (!reg_.isFixed()) return false;
        port = reg_.port();
        address = reg_.fixedAddress();
        return true;
    }

protected:
    RegisterCore reg_{*this};
};

/// Reads a little- or big-endian unsigned number of 1 to 8 bytes.
uint64_t loadUnsigned(const uint8_t* bytes, int64_t length, bool bigEndian);
void storeUnsigned(uint64_t value, uint8_t* bytes, int64_t length, bool bigEndian);

}  // namespace corvid2::genapi::detail
