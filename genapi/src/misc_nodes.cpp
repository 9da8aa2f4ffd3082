// SPDX-License-Identifier: BSD-3-Clause
// The remaining node kinds: Node, Category, Boolean, Command, String and Port (device, chunk, event).
#include <algorithm>
#include <cstdio>

#include "computed_nodes.h"

namespace corvid2::genapi::detail {

namespace {

/// The plain Node element: structure only.
class PlainNode : public Node {
public:
    PlainNode(NodeMapImpl& map, const NodeXml& xml, const char* type) : Node(map, xml, nodeName(xml), type) {}
    EAccessMode ownAccessMode() const override { return RO; }
};

class CategoryNode : public Node, public virtual ICategory {
public:
    CategoryNode(NodeMapImpl& map, const NodeXml& xml, const char* type) : Node(map, xml, nodeName(xml), type) {
        imposed_ = parseAccessMode(xml.self.child_value("ImposedAccessMode"), RO);
    }
    EInterfaceType GetPrincipalInterfaceType() const override { return intfICategory; }
    void link(Linker& linker) override {
        Node::link(linker);
        features_ = linker.resolveAll(xml_, "pFeature", false);
    }
    EAccessMode ownAccessMode() const override { return RO; }
    gcstring ToString(bool, bool) override { return {}; }
    void FromString(const gcstring&, bool) override {
        CORVID2_NODE_THROW(AccessException, *this, "a category has no value");
    }
    bool IsValueCacheValid() const override { return true; }
    void GetFeatures(value_vector& features) const override {
        MapGuard guard(*this);
        features.clear();
        for (Node* node : features_) {
            if (auto* value = dynamic_cast<IValue*>(node)) features.push_back(value);
        }
    }
    const std::vector<Node*>* categoryFeatures() const override { return &features_; }
    void GetChildren(node_vector& children, ELinkType linkType) const override {
        if (linkType != ctReadingChildren) return Node::GetChildren(children, linkType);
        children.assign(features_.begin(), features_.end());
    }

private:
    std::vector<Node*> features_;
};

/// A value that is a constant of the description or a linked node (Boolean, Command).
struct LinkedOrConstant {
    Node* node = nullptr;
    int64_t constant = 0;
    void link(Linker& linker, const NodeXml& xml, const char* constElement, const char* refElement,
              const std::string& owner, int64_t (*parse)(const char*, const std::string&, const char*)) {
        if (pugi::xml_node linked = xml.child(refElement)) {
            node = linker.resolve(linked.child_value(), refElement);
        } else if (const char* text = xml.text(constElement)) {
            constant = parse(text, owner, constElement);
        }
    }
    int64_t get(bool verify, bool ignoreCache) const { return node ? node->readInt(verify, ignoreCache) : constant; }
    void set(int64_t value, bool verify) {
        if (node) {
            node->writeInt(value, verify);
        } else {
            constant = value;
        }
    }
    EAccessMode accessMode() const { return node ? node->accessMode() : RW; }
};

int64_t parseBooleanText(const char* text, const std::string& owner, const char* element) {
    std::string value = text;
    value.erase(0, value.find_first_not_of(" \t\r\n"));
    value.erase(value.find_last_not_of(" \t\r\n") + 1);
    if (value == "true") return 1;
    if (value == "false") return 0;
    return parseInteger(text, owner, element);
}

class BooleanNode : public Node, public virtual IBoolean {
public:
    BooleanNode(NodeMapImpl& map, const NodeXml& xml, const char* type) : Node(map, xml, nodeName(xml), type) {
        if (const char* on = xml.text("OnValue")) on_ = parseInteger(on, name_, "OnValue");
        if (const char* off = xml.text("OffValue")) off_ = parseInteger(off, name_, "OffValue");
    }
    EInterfaceType GetPrincipalInterfaceType() const override { return intfIBoolean; }
    void link(Linker& linker) override {
        Node::link(linker);
        value_.link(linker, xml_, "Value", "pValue", name_, parseBooleanText);
        if (!value_.node) value_.constant = value_.constant ? on_ : off_;
    }
    EAccessMode ownAccessMode() const override { return value_.accessMode(); }
    bool hasValidCache() const override { return value_.node && value_.node->hasValidCache(); }
    int64_t getInt(bool verify, bool ignoreCache) override { return state(verify, ignoreCache) ? 1 : 0; }
    void setInt(int64_t value, bool verify) override { value_.set(value ? on_ : off_, verify); }

    void SetValue(bool value, bool verify) override {
        MapGuard guard(*this);
        writeInt(value ? 1 : 0, verify);
    }
    bool GetValue(bool verify, bool ignoreCache) const override {
        MapGuard guard(*this);
        return const_cast<BooleanNode*>(this)->readInt(verify, ignoreCache) != 0;
    }
    gcstring ToString(bool verify, bool ignoreCache) override {
        return GetValue(verify, ignoreCache) ? "true" : "false";
    }
    void FromString(const gcstring& text, bool verify) override {
        if (text == "true" || text == "1" || text == "True") return SetValue(true, verify);
        if (text == "false" || text == "0" || text == "False") return SetValue(false, verify);
        CORVID2_NODE_THROW(InvalidArgumentException, *this, "'" + text + "' is not a boolean");
    }
    bool IsValueCacheValid() const override {
        MapGuard guard(*this);
        return hasValidCache();
    }

private:
    bool state(bool verify, bool ignoreCache) {
        int64_t raw = value_.get(verify, ignoreCache);
        if (raw == on_) return true;
        if (raw == off_) return false;
        CORVID2_NODE_THROW(OutOfRangeException, *this,
                           "value " + std::to_string(raw) + " is neither OnValue " + std::to_string(on_) +
                               " nor OffValue " + std::to_string(off_));
    }
    LinkedOrConstant value_;
    int64_t on_ = 1;
    int64_t off_ = 0;
};

class CommandNode : public Node, public virtual ICommand {
public:
    CommandNode(NodeMapImpl& map, const NodeXml& xml, const char* type) : Node(map, xml, nodeName(xml), type) {}
    EInterfaceType GetPrincipalInterfaceType() const override { return intfICommand; }
    void link(Linker& linker) override {
        Node::link(linker);
        value_.link(linker, xml_, "Value", "pValue", name_, parseInteger);
        command_.link(linker, xml_, "CommandValue", "pCommandValue", name_, parseInteger);
    }
    EAccessMode ownAccessMode() const override { return value_.accessMode(); }
    void setInt(int64_t, bool verify) override { value_.set(command_.get(false, false), verify); }

    void Execute(bool verify) override {
        MapGuard guard(*this);
        writeInt(1, verify);
        pollingElapsed_ = 0;
    }
    /// Done when the command register no longer holds the command value (the device cleared it).
    bool IsDone(bool) override {
        MapGuard guard(*this);
        DepthGuard depth(*this);
        if (!value_.node || !IsReadable(value_.node->accessMode())) return true;
        return value_.node->readInt(false, true) != command_.get(false, false);
    }
    gcstring ToString(bool verify, bool) override { return IsDone(verify) ? "Done" : "InProgress"; }
    void FromString(const gcstring&, bool verify) override { Execute(verify); }
    bool IsValueCacheValid() const override { return false; }

private:
    LinkedOrConstant value_;
    LinkedOrConstant command_;
};

class StringNode : public StringBase {
public:
    StringNode(NodeMapImpl& map, const NodeXml& xml, const char* type) : StringBase(map, xml, nodeName(xml), type) {
        value_ = xml.self.child_value("Value");
    }
    void link(Linker& linker) override {
        StringBase::link(linker);
        if (Node* node = linker.resolveOptional(xml_, "pValue")) {
            target_ = dynamic_cast<IString*>(node);
            targetNode_ = node;
            if (!target_)
                CORVID2_NODE_THROW(RuntimeException, *this,
                                   "<pValue> names '" + node->name() + "', which is no string");
        }
    }
    EAccessMode ownAccessMode() const override { return targetNode_ ? targetNode_->accessMode() : RW; }
    std::string getText(bool verify, bool ignoreCache) override {
        return target_ ? target_->GetValue(verify, ignoreCache) : value_;
    }
    void setText(const std::string& value, bool verify) override {
        if (target_) {
            target_->SetValue(value, verify);
        } else {
            value_ = value;
        }
    }
    int64_t maxLength() override { return target_ ? target_->GetMaxLength() : RegisterCore::kMaxLength; }

private:
    std::string value_;
    IString* target_ = nullptr;
    Node* targetNode_ = nullptr;
};

/// Port: forwards to the application's port, or reads attached chunk or event data.
class PortNode : public Node, public virtual IChunkPort {
public:
    PortNode(NodeMapImpl& map, const NodeXml& xml, const char* type) : Node(map, xml, nodeName(xml), type) {
        chunkId_ = xml.self.child_value("ChunkID");
        chunkId_.erase(0, chunkId_.find_first_not_of(" \t\r\n"));
        chunkId_.erase(chunkId_.find_last_not_of(" \t\r\n") + 1);
        swap_ = parseYesNo(xml.self.child_value("SwapEndianess"), false);
        cacheChunkData_ = parseYesNo(xml.self.child_value("CacheChunkData"), false);
        isEvent_ = !GetEventID().empty();
    }
    EInterfaceType GetPrincipalInterfaceType() const override { return intfIPort; }
    void link(Linker& linker) override {
        Node::link(linker);
        chunkIdNode_ = linker.resolveOptional(xml_, "pChunkID");
    }
    bool connectPort(IPort* port) override {
        port_ = port;
        return true;
    }
    bool isDevicePort() const override { return chunkId_.empty() && !chunkIdNode_ && !isEvent_; }
    EAccessMode ownAccessMode() const override {
        if (attached_) return isEvent_ ? RO : RW;
        return port_ ? port_->GetAccessMode() : NA;
    }

    void Read(void* buffer, int64_t address, int64_t length) override {
        MapGuard guard(*this);
        if (attached_) {
            checkBounds(address, length, "read");
            std::memcpy(buffer, data_ + address, static_cast<size_t>(length));
        } else if (port_) {
            port_->Read(buffer, address, length);
        } else {
            CORVID2_NODE_THROW(AccessException, *this, "port is not connected");
        }
        if (swaps(length)) std::reverse(static_cast<uint8_t*>(buffer), static_cast<uint8_t*>(buffer) + length);
    }
    void Write(const void* buffer, int64_t address, int64_t length) override {
        MapGuard guard(*this);
        std::vector<uint8_t> swapped;
        if (swaps(length)) {
            swapped.assign(static_cast<const uint8_t*>(buffer), static_cast<const uint8_t*>(buffer) + length);
            std::reverse(swapped.begin(), swapped.end());
            buffer = swapped.data();
        }
        if (attached_) {
            checkBounds(address, length, "write");
            std::memcpy(data_ + address, buffer, static_cast<size_t>(length));
        } else if (port_) {
            port_->Write(buffer, address, length);
        } else {
            CORVID2_NODE_THROW(AccessException, *this, "port is not connected");
        }
    }

    gcstring GetChunkID() const override {
        MapGuard guard(*this);
        if (!chunkIdNode_) return chunkId_;
        char text[24];
        std::snprintf(text, sizeof text, "%llX", static_cast<unsigned long long>(chunkIdNode_->readInt()));
        return text;
    }
    bool CacheChunkData() const override { return cacheChunkData_; }
    void AttachChunk(uint8_t* data, int64_t length) override {
        MapGuard guard(*this);
        data_ = data;
        dataLength_ = length;
        attached_ = true;
        map_.changed(*this, true);
    }
    void DetachChunk() override {
        MapGuard guard(*this);
        attached_ = false;
        data_ = nullptr;
        dataLength_ = 0;
        map_.changed(*this, true);
    }
    bool IsAttached() const override { return attached_; }

private:
    // SwapEndianess turns numbers around: accesses of 2, 4 or 8 bytes; texts and blocks keep their order.
    bool swaps(int64_t length) const { return swap_ && (length == 2 || length == 4 || length == 8); }

    void checkBounds(int64_t address, int64_t length, const char* operation) const {
        if (address < 0 || length < 0 || address > dataLength_ || length > dataLength_ - address) {
            CORVID2_NODE_THROW(AccessException, *this,
                               std::string(operation) + " of " + std::to_string(length) + " bytes at " +
                                   std::to_string(address) + " is outside the " + std::to_string(dataLength_) +
                                   " bytes of attached data");
        }
    }
    std::string chunkId_;
    Node* chunkIdNode_ = nullptr;
    bool swap_ = false;
    bool cacheChunkData_ = false;
    bool isEvent_ = false;
    IPort* port_ = nullptr;
    uint8_t* data_ = nullptr;
    int64_t dataLength_ = 0;
    bool attached_ = false;
};

}  // namespace

void addMiscCreators(CreatorTable& table) {
    table["Node"] = createNode<PlainNode>;
    table["Category"] = createNode<CategoryNode>;
    table["Boolean"] = createNode<BooleanNode>;
    table["Command"] = createNode<CommandNode>;
    table["String"] = createNode<StringNode>;
    table["Port"] = createNode<PortNode>;
}

}  // namespace corvid2::genapi::detail
