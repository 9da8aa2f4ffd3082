// SPDX-License-Identifier: BSD-3-Clause
// Node map: building and linking the nodes, name lookup, invalidation propagation, ports and polling.
#include "node_map.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>

namespace corvid2::genapi::detail {

namespace {
std::string_view trimName(std::string_view text) {
    const char* kSpace = " \t\r\n";
    size_t begin = text.find_first_not_of(kSpace);
    if (begin == std::string_view::npos) return {};
    return text.substr(begin, text.find_last_not_of(kSpace) - begin + 1);
}

void dedupe(std::vector<Node*>& nodes) {
    std::sort(nodes.begin(), nodes.end());
    nodes.erase(std::unique(nodes.begin(), nodes.end()), nodes.end());
}
}  // namespace

const CreatorTable& creatorTable() {
    static const CreatorTable kTable = [] {
        CreatorTable table;
        addIntegerCreators(table);
        addFloatCreators(table);
        addRegisterCreators(table);
        addEnumerationCreators(table);
        addMiscCreators(table);
        addConfigRomCreators(table);
        return table;
    }();
    return kTable;
}

void Builder::add(std::unique_ptr<Node> node) { map_.addNode(std::move(node)); }

void Builder::build(pugi::xml_node element, pugi::xml_node shared) {
    const CreatorTable& table = creatorTable();
    auto it = table.find(element.name());
    if (it == table.end()) {
        throw RuntimeException(std::string("unknown node element <") + element.name() + "> named '" +
                                   element.attribute("Name").value() + "'",
                               __FILE__, __LINE__);
    }
    it->second(*this, NodeXml{element, shared});
}

NodeMapImpl::NodeMapImpl(std::shared_ptr<const Description> description, std::string deviceName)
    : description_(std::move(description)), deviceName_(std::move(deviceName)) {}

NodeMapImpl::~NodeMapImpl() = default;

void NodeMapImpl::addNode(std::unique_ptr<Node> node) {
    auto [it, inserted] = byName_.emplace(node->name(), node.get());
    if (!inserted) {
        throw RuntimeException("node '" + node->name() + "' is defined twice", __FILE__, __LINE__);
    }
    nodes_.push_back(std::move(node));
}

void NodeMapImpl::build(const std::unordered_set<std::string>* only) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    Builder builder(*this);
    auto wanted = [&](pugi::xml_node element) {
        return !only || only->count(std::string(trimName(element.attribute("Name").value()))) != 0;
    };
    nodes_.reserve(description_->nodes.size() + description_->nodes.size() / 2);
    byName_.reserve(description_->nodes.size() * 2);
    for (pugi::xml_node element : description_->nodes) {
        if (std::strcmp(element.name(), "StructReg") == 0) {
            for (pugi::xml_node entry = element.child("StructEntry"); entry;
                 entry = entry.next_sibling("StructEntry")) {
                if (wanted(entry)) builder.build(entry, element);
            }
        } else if (wanted(element)) {
            builder.build(element);
        }
    }
    // Linking may add helper nodes (inline address formulas), so walk by index.
    for (size_t i = 0; i < nodes_.size(); ++i) {
        Linker linker(*this, *nodes_[i]);
        nodes_[i]->link(linker);
    }
    for (auto& node : nodes_) {
        dedupe(node->children_);
        for (Node* child : node->children_) child->dependents_.push_back(node.get());
        for (Node* invalidator : node->invalidators_) invalidator->invalidates_.push_back(node.get());
        for (Node* selected : node->selected_) selected->selecting_.push_back(node.get());
        if (node->GetPollingTime() > 0) polled_.push_back(node.get());
    }
    for (auto& node : nodes_) {
        dedupe(node->dependents_);
        dedupe(node->invalidates_);
    }
    checkCycles();
    groupSiblings();
    markFeatures();
}

void NodeMapImpl::markFeatures() {
    // Features are what the category tree under "Root" shows; without such a tree, every node but entries and ports.
    Node* root = find("Root");
    if (!root || !root->categoryFeatures()) {
        for (auto& node : nodes_) {
            node->feature_ = !node->isEntry_ && node->GetPrincipalInterfaceType() != intfIPort;
        }
        return;
    }
    std::vector<Node*> pending{root};
    root->feature_ = true;
    while (!pending.empty()) {
        Node* node = pending.back();
        pending.pop_back();
        const std::vector<Node*>* members = node->categoryFeatures();
        if (!members) continue;
        for (Node* member : *members) {
            if (member->feature_) continue;
            member->feature_ = true;
            pending.push_back(member);
        }
    }
}

void NodeMapImpl::checkCycles() const {
    // Depth-first walk with an explicit stack (descriptions may chain thousands of nodes). Colours: 0 new,
    // 1 on the current path, 2 done. On the way back it marks nodes whose value may change unseen.
    std::unordered_map<const Node*, int> colour;
    colour.reserve(nodes_.size());
    struct Frame {
        Node* node;
        size_t next;
    };
    std::vector<Frame> path;
    for (auto& root : nodes_) {
        if (colour[root.get()] != 0) continue;
        colour[root.get()] = 1;
        root->volatile_ = root->isVolatileSource();
        path.push_back({root.get(), 0});
        while (!path.empty()) {
            Frame& frame = path.back();
            if (frame.next == frame.node->children_.size()) {
                colour[frame.node] = 2;
                Node* done = frame.node;
                path.pop_back();
                if (!path.empty() && done->volatile_) path.back().node->volatile_ = true;
                continue;
            }
            Node* child = frame.node->children_[frame.next++];
            int& state = colour[child];
            if (state == 2) {
                if (child->volatile_) frame.node->volatile_ = true;
            } else if (state == 1) {
                std::string text = child->name();
                for (auto it = path.rbegin(); it != path.rend() && it->node != child; ++it)
                    text = it->node->name() + " -> " + text;
                throw RuntimeException("cyclic reference: " + child->name() + " -> " + text, __FILE__, __LINE__);
            } else {
                state = 1;
                child->volatile_ = child->isVolatileSource();
                path.push_back({child, 0});
            }
        }
    }
}

void NodeMapImpl::groupSiblings() {
    std::map<std::pair<const Node*, int64_t>, std::vector<Node*>> groups;
    for (auto& node : nodes_) {
        const Node* port = nullptr;
        int64_t address = 0;
        if (node->fixedLocation(port, address)) groups[{port, address}].push_back(node.get());
    }
    for (auto& [key, members] : groups) {
        if (members.size() < 2 || members.size() > 64) continue;
        for (Node* member : members) {
            for (Node* other : members) {
                if (other != member) member->siblings_.push_back(other);
            }
        }
    }
}

Node* NodeMapImpl::find(std::string_view name) const {
    auto it = byName_.find(trimName(name));
    return it == byName_.end() ? nullptr : it->second;
}

void NodeMapImpl::GetNodes(node_vector& nodes) const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    nodes.clear();
    nodes.reserve(nodes_.size());
    for (const auto& node : nodes_) nodes.push_back(node.get());
}

INode* NodeMapImpl::GetNode(const gcstring& name) const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return find(name);
}

void NodeMapImpl::InvalidateNodes() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    ++evaluationState_.evaluation;
    for (const auto& node : nodes_) {
        node->dropCache();
        node->accessValid_ = false;
    }
}

void NodeMapImpl::changed(Node& start, bool includeSelf) const {
    ++evaluationState_.evaluation;
    uint32_t epoch = ++epoch_;
    if (includeSelf) {
        start.dropCache();
        start.accessValid_ = false;
    }
    start.visitEpoch_ = epoch;
    std::vector<Node*> pending{&start};
    std::vector<Node*> notified;
    auto reach = [&](const std::vector<Node*>& nodes) {
        for (Node* n : nodes) {
            if (n->visitEpoch_ == epoch) continue;
            n->visitEpoch_ = epoch;
            n->dropCache();
            n->accessValid_ = false;
            pending.push_back(n);
        }
    };
    while (!pending.empty()) {
        Node* node = pending.back();
        pending.pop_back();
        if (!node->callbacks_.empty()) notified.push_back(node);
        reach(node->dependents_);
        reach(node->invalidates_);
        reach(node->siblings_);
    }
    for (Node* node : notified) {
        auto callbacks = node->callbacks_;  // a callback may deregister itself
        for (auto& entry : callbacks) entry.second(node);
    }
}

bool NodeMapImpl::Connect(IPort* port, const gcstring& portName) const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    Node* node = find(portName);
    if (!node || !node->connectPort(port)) return false;
    InvalidateNodes();
    return true;
}

bool NodeMapImpl::Connect(IPort* port) const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (Node* device = find("Device"); device && device->isDevicePort()) return Connect(port, "Device");
    for (const auto& node : nodes_) {
        if (node->isDevicePort()) return Connect(port, node->name());
    }
    return false;
}

void NodeMapImpl::Poll(int64_t elapsedTime) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    for (Node* node : polled_) {
        if (node->pollingBlocked()) continue;
        node->pollingElapsed_ += elapsedTime;
        if (node->pollingElapsed_ >= node->GetPollingTime()) {
            node->pollingElapsed_ = 0;
            changed(*node, true);
        }
    }
}

void NodeMapImpl::SetCachingEnabled(bool enabled) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    caching_ = enabled;
    InvalidateNodes();
}

}  // namespace corvid2::genapi::detail
