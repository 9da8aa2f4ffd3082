// SPDX-License-Identifier: BSD-3-Clause
// Common node behaviour: description access, linking, access-mode combination, callbacks and checked access.
#include "node_base.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "node_map.h"

namespace corvid2::genapi::detail {

namespace {
std::string_view trim(std::string_view text) {
    const char* kSpace = " \t\r\n";
    size_t begin = text.find_first_not_of(kSpace);
    if (begin == std::string_view::npos) return {};
    size_t end = text.find_last_not_of(kSpace);
    return text.substr(begin, end - begin + 1);
}
}  // namespace

pugi::xml_node NodeXml::child(const char* name) const {
    pugi::xml_node found = self.child(name);
    return found || !shared ? found : shared.child(name);
}

std::vector<pugi::xml_node> NodeXml::children(const char* name) const {
    std::vector<pugi::xml_node> found;
    for (pugi::xml_node n = self.child(name); n; n = n.next_sibling(name)) found.push_back(n);
    if (found.empty() && shared) {
        for (pugi::xml_node n = shared.child(name); n; n = n.next_sibling(name)) found.push_back(n);
    }
    return found;
}

const char* NodeXml::text(const char* name, const char* fallback) const {
    pugi::xml_node found = child(name);
    return found ? found.child_value() : fallback;
}

int64_t parseInteger(const char* text, const std::string& node, const char* element) {
    std::string value(trim(text ? text : ""));
    const char* begin = value.c_str();
    char* end = nullptr;
    errno = 0;
    int64_t result = 0;
    if (value.size() > 2 && value[0] == '0' && (value[1] == 'x' || value[1] == 'X')) {
        result = static_cast<int64_t>(std::strtoull(begin + 2, &end, 16));
        if (end == begin + 2) end = const_cast<char*>(begin);
    } else if (!value.empty() && value[0] != '-') {
        result = static_cast<int64_t>(std::strtoull(begin, &end, 10));
    } else {
        result = std::strtoll(begin, &end, 10);
    }
    if (value.empty() || end != begin + value.size() || errno == ERANGE) {
        throw RuntimeException("node '" + node + "': <" + element + "> holds '" + value + "', which is not an integer",
                               __FILE__, __LINE__);
    }
    return result;
}

double parseFloat(const char* text, const std::string& node, const char* element) {
    std::string value(trim(text ? text : ""));
    if (value.size() > 2 && value[0] == '0' && (value[1] == 'x' || value[1] == 'X')) {
        return static_cast<double>(parseInteger(value.c_str(), node, element));
    }
    char* end = nullptr;
    double result = std::strtod(value.c_str(), &end);
    if (value.empty() || end != value.c_str() + value.size()) {
        throw RuntimeException("node '" + node + "': <" + element + "> holds '" + value + "', which is not a number",
                               __FILE__, __LINE__);
    }
    return result;
}

bool parseYesNo(const char* text, bool fallback) {
    if (!text) return fallback;
    std::string_view value = trim(text);
    if (value == "Yes" || value == "true" || value == "1") return true;
    if (value == "No" || value == "false" || value == "0") return false;
    return fallback;
}

EAccessMode parseAccessMode(const char* text, EAccessMode fallback) {
    if (!text) return fallback;
    std::string_view value = trim(text);
    static const std::pair<std::string_view, EAccessMode> kModes[] = {
        {"RO", RO}, {"WO", WO}, {"RW", RW}, {"NA", NA}, {"NI", NI}};
    for (const auto& [text_, mode] : kModes) {
        if (value == text_) return mode;
    }
    return fallback;
}

EAccessMode combineAccess(EAccessMode a, EAccessMode b) {
    if (a == NI || b == NI) return NI;
    if (a == NA || b == NA) return NA;
    bool readable = IsReadable(a) && IsReadable(b);
    bool writable = IsWritable(a) && IsWritable(b);
    return readable && writable ? RW : readable ? RO : writable ? WO : NA;
}

Node* Linker::resolve(const char* name, const char* element, bool dependency) {
    std::string_view wanted = trim(name ? name : "");
    Node* node = map_.find(wanted);
    if (!node) {
        throw RuntimeException(
            "node '" + self_.name() + "': <" + element + "> refers to missing node '" + std::string(wanted) + "'",
            __FILE__, __LINE__);
    }
    // A node that reads itself is a cycle like any other: recording the edge lets the map's cycle check report it.
    if (dependency) self_.children_.push_back(node);
    return node;
}

std::vector<Node*> Linker::resolveAll(const NodeXml& xml, const char* element, bool dependency) {
    std::vector<Node*> nodes;
    for (pugi::xml_node n : xml.children(element)) nodes.push_back(resolve(n.child_value(), element, dependency));
    return nodes;
}

Node* Linker::resolveOptional(const NodeXml& xml, const char* element, bool dependency) {
    pugi::xml_node n = xml.child(element);
    return n ? resolve(n.child_value(), element, dependency) : nullptr;
}

MapGuard::MapGuard(const Node& node) : mutex_(node.map().GetLock()) { mutex_.lock(); }
MapGuard::~MapGuard() { mutex_.unlock(); }

void DepthGuard::raise(const Node& node) {
    if (state_.depth + weight_ > kMaxDepth) {
        CORVID2_NODE_THROW(LogicalErrorException, node, "evaluation nests too deep (cyclic reference?)");
    }
    raiseIfExhausted(node);
    CORVID2_NODE_THROW(LogicalErrorException, node, "evaluation is beyond its bounds");
}

void DepthGuard::raiseIfExhausted(const Node& node) {
    // Outside an evaluation the count belongs to an earlier one.
    const EvaluationState& state = node.evaluationState();
    if (state.depth > 0 && state.steps > kMaxSteps) {
        CORVID2_NODE_THROW(LogicalErrorException, node,
                           "evaluation takes more than " + std::to_string(kMaxSteps) +
                               " steps (formulas that read the same nodes over and over)");
    }
}

Node::Node(NodeMapImpl& map, NodeXml xml, std::string name, const char* nodeType)
    : map_(map), evaluationState_(map.evaluationState()), xml_(xml), name_(std::move(name)), nodeType_(nodeType) {
    if (const char* text = xml_.text("PollingTime")) pollingTime_ = parseInteger(text, name_, "PollingTime");
    imposed_ = parseAccessMode(xml_.self.child_value("ImposedAccessMode"), RW);
}

Node::~Node() = default;

void Node::link(Linker& linker) {
    isImplemented_ = linker.resolveOptional(xml_, "pIsImplemented");
    isAvailable_ = linker.resolveOptional(xml_, "pIsAvailable");
    isLocked_ = linker.resolveOptional(xml_, "pIsLocked");
    alias_ = linker.resolveOptional(xml_, "pAlias", false);
    castAlias_ = linker.resolveOptional(xml_, "pCastAlias", false);
    errors_ = linker.resolveAll(xml_, "pError", false);
    invalidators_ = linker.resolveAll(xml_, "pInvalidator", false);
    selected_ = linker.resolveAll(xml_, "pSelected", false);
    blockPolling_ = linker.resolveOptional(xml_, "pBlockPolling", false);
}

gcstring Node::GetName(bool fullQualified) const { return fullQualified ? "Device::" + name_ : name_; }

EAccessMode Node::GetAccessMode() const {
    MapGuard guard(*this);
    return accessMode();
}

namespace {
bool conditionHolds(Node* condition) {
    if (!IsReadable(condition->accessMode())) return false;
    return condition->getInt(false, false) != 0;
}
}  // namespace

EAccessMode Node::accessMode() const {
    if (accessValid_) return accessCache_;
    if (evaluationState_.depth > 0 && accessEvaluation_ == evaluationState_.evaluation) return accessCache_;
    if (computingAccess_) return RW;  // a condition that depends on itself restricts nothing
    computingAccess_ = true;
    EAccessMode mode;
    uint64_t evaluation = 0;
    try {
        DepthGuard depth(*this);
        evaluation = evaluationState_.evaluation;
        if (isImplemented_ && !conditionHolds(isImplemented_)) {
            mode = NI;
        } else if (isAvailable_ && !conditionHolds(isAvailable_)) {
            mode = NA;
        } else {
            mode = combineAccess(ownAccessMode(), imposed_);
            if (isLocked_ && IsWritable(mode) && conditionHolds(isLocked_)) mode = combineAccess(mode, RO);
        }
    } catch (const GenericException&) {
        mode = NA;
    }
    computingAccess_ = false;
    accessCache_ = mode;
    accessEvaluation_ = evaluation;  // a change during the computation has begun another evaluation already
    accessValid_ = map_.caching() && !volatile_;
    return mode;
}

void Node::checkReadable() const {
    EAccessMode mode = accessMode();
    if (!IsReadable(mode)) {
        DepthGuard::raiseIfExhausted(*this);
        CORVID2_NODE_THROW(AccessException, *this, std::string("not readable (access mode ") + ToString(mode) + ")");
    }
}

void Node::checkWritable() const {
    EAccessMode mode = accessMode();
    if (!IsWritable(mode)) {
        DepthGuard::raiseIfExhausted(*this);
        CORVID2_NODE_THROW(AccessException, *this, std::string("not writable (access mode ") + ToString(mode) + ")");
    }
}

void Node::checkError(bool ignoreCache) const {
    for (Node* error : errors_) {
        if (!IsReadable(error->accessMode())) continue;
        int64_t code = error->getInt(false, ignoreCache);
        if (code == 0) continue;
        std::string text = std::to_string(code);
        if (auto* enumeration = dynamic_cast<IEnumeration*>(error)) {
            if (IEnumEntry* entry = enumeration->GetEntry(code)) {
                text = entry->GetSymbolic();
                INode* entryNode = entry->GetNode();
                std::string explanation = entryNode->GetDescription();
                if (explanation.empty()) explanation = entryNode->GetToolTip();
                if (!explanation.empty()) text += ": " + explanation;
            }
        }
        CORVID2_NODE_THROW(RuntimeException, *this, "device reports error " + text + " (" + error->name() + ")");
    }
}

bool Node::pollingBlocked() const {
    if (!blockPolling_) return false;
    try {
        return IsReadable(blockPolling_->accessMode()) && blockPolling_->getInt(false, false) != 0;
    } catch (const GenericException&) {
        return false;
    }
}

int64_t Node::getInt(bool, bool) {
    CORVID2_NODE_THROW(LogicalErrorException, *this, std::string("a ") + nodeType_ + " has no numeric value");
}

void Node::setInt(int64_t, bool) {
    CORVID2_NODE_THROW(LogicalErrorException, *this, std::string("a ") + nodeType_ + " takes no numeric value");
}

void Node::setFloat(double value, bool verify) {
    if (!std::isfinite(value) || value >= 9.2233720368547758e18 || value < -9.2233720368547758e18) {
        CORVID2_NODE_THROW(OutOfRangeException, *this, "value " + formatFloat(value) + " does not fit an integer");
    }
    setInt(std::llround(value), verify);
}

int64_t Node::readInt(bool verify, bool ignoreCache) {
    DepthGuard depth(*this);
    uint64_t evaluation = evaluationState_.evaluation;
    if (intEvaluation_ == evaluation) return intMemo_;
    checkReadable();
    int64_t value = getInt(verify, ignoreCache);
    if (!errors_.empty()) checkError(ignoreCache);
    intMemo_ = value;
    intEvaluation_ = evaluation;
    return value;
}

double Node::readFloat(bool verify, bool ignoreCache) {
    DepthGuard depth(*this);
    uint64_t evaluation = evaluationState_.evaluation;
    if (floatEvaluation_ == evaluation) return floatMemo_;
    checkReadable();
    double value = getFloat(verify, ignoreCache);
    if (!errors_.empty()) checkError(ignoreCache);
    floatMemo_ = value;
    floatEvaluation_ = evaluation;
    return value;
}

void Node::writeInt(int64_t value, bool verify) {
    DepthGuard depth(*this);
    checkWritable();
    setInt(value, verify);
    if (verify) checkError();
    map_.changed(*this, false);
}

void Node::writeFloat(double value, bool verify) {
    DepthGuard depth(*this);
    checkWritable();
    setFloat(value, verify);
    if (verify) checkError();
    map_.changed(*this, false);
}

ENameSpace Node::GetNameSpace() const {
    return std::strcmp(xml_.self.attribute("NameSpace").value(), "Standard") == 0 ? Standard : Custom;
}

EVisibility Node::GetVisibility() const {
    static const std::pair<std::string_view, EVisibility> kLevels[] = {
        {"Beginner", Beginner}, {"Expert", Expert}, {"Guru", Guru}, {"Invisible", Invisible}};
    EVisibility visibility = Beginner;
    std::string_view text = trim(xml_.self.child_value("Visibility"));
    for (const auto& [name, level] : kLevels) {
        if (text == name) visibility = level;
    }
    if (imposedVisibility_ != _UndefinedVisibility && imposedVisibility_ > visibility) visibility = imposedVisibility_;
    return visibility;
}

ECachingMode Node::GetCachingMode() const {
    std::string_view text = trim(xml_.text("Cachable", "WriteThrough"));
    return text == "NoCache" ? NoCache : text == "WriteAround" ? WriteAround : WriteThrough;
}

gcstring Node::GetToolTip() const { return xml_.self.child_value("ToolTip"); }
gcstring Node::GetDescription() const { return xml_.self.child_value("Description"); }
gcstring Node::GetDisplayName() const {
    const char* text = xml_.self.child_value("DisplayName");
    return *text ? text : name_;
}
gcstring Node::GetDocuURL() const { return xml_.self.child_value("DocuURL"); }
gcstring Node::GetEventID() const { return gcstring(trim(xml_.text("EventID", ""))); }
bool Node::IsDeprecated() const { return parseYesNo(xml_.self.child_value("IsDeprecated"), false); }
bool Node::IsStreamable() const { return parseYesNo(xml_.text("Streamable"), false); }
bool Node::IsFeature() const { return feature_; }

void Node::InvalidateNode() {
    MapGuard guard(*this);
    map_.changed(*this, true);
}

void Node::GetChildren(node_vector& children, ELinkType linkType) const {
    MapGuard guard(*this);
    children.clear();
    auto append = [&](const std::vector<Node*>& nodes) {
        for (Node* n : nodes) children.push_back(n);
    };
    switch (linkType) {
        case ctParentNodes:
        case ctDependingNodes:
            append(dependents_);
            break;
        case ctInvalidatingChildren:
            append(invalidators_);
            break;
        case ctTerminalNodes:
            collectTerminals(children);
            break;
        default:
            append(children_);
            break;
    }
}

void Node::collectTerminals(node_vector& terminals) const {
    // Registers end every path; other nodes pass the walk on to what they read.
    std::vector<const Node*> pending{this};
    std::vector<const Node*> seen{this};
    while (!pending.empty()) {
        const Node* node = pending.back();
        pending.pop_back();
        if (node->isRegister()) {
            terminals.push_back(const_cast<Node*>(node));
            continue;
        }
        for (Node* child : node->children_) {
            if (std::find(seen.begin(), seen.end(), child) != seen.end()) continue;
            seen.push_back(child);
            pending.push_back(child);
        }
    }
}

void Node::GetParents(node_vector& parents) const { GetChildren(parents, ctParentNodes); }
INode* Node::GetAlias() const { return alias_; }
INode* Node::GetCastAlias() const { return castAlias_; }
INodeMap* Node::GetNodeMap() const { return &map_; }

bool Node::GetProperty(const gcstring& propertyName, gcstring& valueStr, gcstring& attributeStr) const {
    valueStr.clear();
    attributeStr.clear();
    if (propertyName == "Name") {
        valueStr = name_;
        return true;
    }
    std::vector<pugi::xml_node> found = xml_.children(propertyName.c_str());
    if (found.empty()) {
        pugi::xml_attribute attribute = xml_.self.attribute(propertyName.c_str());
        if (!attribute) return false;
        valueStr = attribute.value();
        return true;
    }
    for (pugi::xml_node n : found) {
        if (!valueStr.empty()) valueStr += '\t';
        valueStr += std::string(trim(n.child_value()));
        for (pugi::xml_attribute a : n.attributes()) {
            if (!attributeStr.empty()) attributeStr += '\t';
            attributeStr += std::string(a.name()) + "=" + a.value();
        }
    }
    return true;
}

void Node::GetPropertyNames(gcstring_vector& propertyNames) const {
    propertyNames.clear();
    propertyNames.push_back("Name");
    auto collect = [&](pugi::xml_node parent) {
        for (pugi::xml_node n : parent.children()) {
            if (n.type() != pugi::node_element) continue;
            if (std::find(propertyNames.begin(), propertyNames.end(), n.name()) == propertyNames.end()) {
                propertyNames.emplace_back(n.name());
            }
        }
    };
    collect(xml_.self);
    if (xml_.shared) collect(xml_.shared);
}

void Node::ImposeAccessMode(EAccessMode mode) {
    MapGuard guard(*this);
    imposed_ = mode;
    map_.changed(*this, true);
}

void Node::ImposeVisibility(EVisibility visibility) {
    MapGuard guard(*this);
    imposedVisibility_ = visibility;
}

CallbackHandleType Node::RegisterCallback(NodeCallback callback) {
    MapGuard guard(*this);
    CallbackHandleType handle = map_.nextCallbackHandle();
    callbacks_.emplace_back(handle, std::move(callback));
    return handle;
}

bool Node::DeregisterCallback(CallbackHandleType handle) {
    MapGuard guard(*this);
    auto it = std::find_if(callbacks_.begin(), callbacks_.end(), [&](const auto& c) { return c.first == handle; });
    if (it == callbacks_.end()) return false;
    callbacks_.erase(it);
    return true;
}

void Node::GetSelectedFeatures(value_vector& features) const {
    features.clear();
    for (Node* n : selected_) {
        if (auto* value = dynamic_cast<IValue*>(n)) features.push_back(value);
    }
}

void Node::GetSelectingFeatures(value_vector& features) const {
    features.clear();
    for (Node* n : selecting_) {
        if (auto* value = dynamic_cast<IValue*>(n)) features.push_back(value);
    }
}

void Node::floatRange(double& low, double& high) {
    if (isFloatValued()) {
        low = floatMin();
        high = floatMax();
        return;
    }
    int64_t a = 0, b = 0;
    intRange(a, b);
    low = static_cast<double>(a);
    high = static_cast<double>(b);
}

int64_t saturatingRound(double value) {
    if (std::isnan(value)) return 0;
    if (value >= 9.2233720368547758e18) return INT64_MAX;
    if (value <= -9.2233720368547758e18) return INT64_MIN;
    return std::llround(value);
}

std::string formatFloat(double value) {
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

int64_t parseIntegerText(const std::string& text, const Node& node) {
    try {
        return parseInteger(text.c_str(), node.name(), "value");
    } catch (const GenericException&) {
        CORVID2_NODE_THROW(InvalidArgumentException, node, "'" + text + "' is not an integer");
    }
}

double parseFloatText(const std::string& text, const Node& node) {
    try {
        return parseFloat(text.c_str(), node.name(), "value");
    } catch (const GenericException&) {
        CORVID2_NODE_THROW(InvalidArgumentException, node, "'" + text + "' is not a number");
    }
}

}  // namespace corvid2::genapi::detail
