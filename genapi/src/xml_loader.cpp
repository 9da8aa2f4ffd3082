// SPDX-License-Identifier: BSD-3-Clause
// Node map factory: reads plain or zipped descriptions, checks their structure and builds node maps.
#include <zip.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <unordered_set>

#include "corvid2/genapi/node_map_factory.h"
#include "node_map.h"

namespace corvid2::genapi {

namespace {

using detail::Description;

// clang-format off
const std::unordered_set<std::string_view>& nodeElementNames() {
  static const std::unordered_set<std::string_view> kNames = {
      "Node", "Category", "Integer", "IntReg", "MaskedIntReg", "Float", "FloatReg", "Converter", "IntConverter",
      "SwissKnife", "IntSwissKnife", "Boolean", "Command", "Enumeration", "String", "StringReg", "Register",
      "StructReg", "Port", "ConfRom", "TextDesc", "IntKey", "AdvFeatureLock", "SmartFeature", "EnumEntry"
  };
  return kNames;
}

// Child elements that the schemas (1.0 and 1.1) allow inside node elements (TextDesc and IntKey also as
// key lists of a ConfRom).
const std::unordered_set<std::string_view>& childElementNames() {
  static const std::unordered_set<std::string_view> kNames = {
      "AccessMode", "Address", "Bit", "Cachable", "CacheChunkData", "ChunkID", "CommandValue", "Constant",
      "Description", "DisplayName", "DisplayNotation", "DisplayPrecision", "DocuURL", "Endianess", "EnumEntry",
      "EventID", "Expression", "Extension", "FeatureID", "Formula", "FormulaFrom", "FormulaTo",
      "ImposedAccessMode", "Inc", "IntSwissKnife", "IsDeprecated", "IsLinear", "IsSelfClearing", "Key", "LSB",
      "Length", "MSB", "Max", "Min", "NumericValue", "OffValue", "OnValue", "PollingTime", "Representation",
      "Sign", "Slope", "Streamable", "StructEntry", "SwapEndianess", "Symbolic", "Timeout", "ToolTip", "Unit",
      "ValidValueSet", "Value", "ValueDefault", "ValueIndexed", "Visibility", "p1212Parser", "pAddress", "pAlias",
      "pBlockPolling", "pCastAlias", "pChunkID", "pCommandValue", "pEnumEntry", "pError", "pFeature", "pInc",
      "pIndex", "pInvalidator", "pIsAvailable", "pIsImplemented", "pIsLocked", "pLength", "pMax", "pMin", "pPort",
      "pSelected", "pValue", "pValueCopy", "pValueDefault", "pValueIndexed", "pVariable", "pOffset", "pIncList",
      "IncList", "pTerminal", "TextDesc", "IntKey"
  };
  return kNames;
}
// clang-format on

std::string nodeLabel(pugi::xml_node element) {
    const char* name = element.attribute("Name").value();
    if (*name) return name;
    const char* comment = element.attribute("Comment").value();
    return std::string(element.name()) + (*comment ? std::string(" ") + comment : std::string());
}

// Descriptions nest a few levels only; a limit keeps hostile input from exhausting the stack.
constexpr int kMaxNesting = 16;

void checkChildren(pugi::xml_node element, int depth = 0) {
    if (depth > kMaxNesting) {
        throw RuntimeException("node '" + nodeLabel(element) + "': elements nest too deeply", __FILE__, __LINE__);
    }
    for (pugi::xml_node child : element.children()) {
        if (child.type() != pugi::node_element) continue;
        if (!childElementNames().count(child.name())) {
            throw RuntimeException("node '" + nodeLabel(element) + "': unknown element <" + child.name() + ">",
                                   __FILE__, __LINE__);
        }
        std::string_view name = child.name();
        if (name == "EnumEntry" || name == "StructEntry" || name == "IntSwissKnife") checkChildren(child, depth + 1);
    }
}

void checkName(pugi::xml_node element) {
    const char* name = element.attribute("Name").value();
    if (!*name) {
        throw RuntimeException(std::string("a <") + element.name() + "> element has no Name attribute", __FILE__,
                               __LINE__);
    }
}

void collectNodes(Description& description, pugi::xml_node parent, int depth = 0) {
    if (depth > kMaxNesting) CORVID2_GENAPI_THROW(RuntimeException, "Group elements nest too deeply");
    for (pugi::xml_node element : parent.children()) {
        if (element.type() != pugi::node_element) continue;
        std::string_view kind = element.name();
        if (kind == "Group") {
            collectNodes(description, element, depth + 1);
            continue;
        }
        if (!nodeElementNames().count(kind)) {
            throw RuntimeException("unknown element <" + std::string(kind) + "> in the description (named '" +
                                       element.attribute("Name").value() + "')",
                                   __FILE__, __LINE__);
        }
        checkChildren(element);
        description.nodes.push_back(element);
        if (kind == "StructReg") {
            for (pugi::xml_node entry = element.child("StructEntry"); entry;
                 entry = entry.next_sibling("StructEntry")) {
                checkName(entry);
                description.byName.emplace(entry.attribute("Name").value(), entry);
            }
        } else {
            checkName(element);
            description.byName.emplace(element.attribute("Name").value(), element);
        }
    }
}

bool isZip(const std::vector<char>& bytes) {
    return bytes.size() >= 4 && std::memcmp(bytes.data(), "PK\x03\x04", 4) == 0;
}

std::vector<char> unzipFirstEntry(const std::vector<char>& bytes) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
    zip_t* archive = source ? zip_open_from_source(source, ZIP_RDONLY, &error) : nullptr;
    if (!archive) {
        std::string text = zip_error_strerror(&error);
        if (source) zip_source_free(source);
        zip_error_fini(&error);
        CORVID2_GENAPI_THROW(RuntimeException, "description archive cannot be opened: " + text);
    }
    zip_error_fini(&error);
    std::vector<char> content;
    zip_stat_t stat;
    zip_file_t* file = nullptr;
    if (zip_get_num_entries(archive, 0) > 0 && zip_stat_index(archive, 0, 0, &stat) == 0 &&
        (stat.valid & ZIP_STAT_SIZE) && stat.size < (1ull << 31) && (file = zip_fopen_index(archive, 0, 0))) {
        content.resize(stat.size);
        zip_int64_t got = zip_fread(file, content.data(), stat.size);
        zip_fclose(file);
        if (got != static_cast<zip_int64_t>(stat.size)) content.clear(), file = nullptr;
    }
    zip_close(archive);
    if (!file) CORVID2_GENAPI_THROW(RuntimeException, "description archive has no readable first entry");
    return content;
}

void addReferences(const Description& description, pugi::xml_node element, std::vector<std::string>& pending,
                   int depth = 0) {
    if (depth > kMaxNesting) return;
    for (pugi::xml_node child : element.children()) {
        if (child.type() != pugi::node_element || std::strcmp(child.name(), "Extension") == 0) continue;
        if (child.name()[0] == 'p' && child.first_child().type() == pugi::node_pcdata) {
            pending.emplace_back(child.child_value());
        }
        if (const char* offset = child.attribute("pOffset").value(); *offset) pending.emplace_back(offset);
        if (std::strcmp(child.name(), "StructEntry") != 0) addReferences(description, child, pending, depth + 1);
    }
}

}  // namespace

CNodeMapFactory::CNodeMapFactory() = default;
CNodeMapFactory::CNodeMapFactory(const CNodeMapFactory&) = default;
CNodeMapFactory& CNodeMapFactory::operator=(const CNodeMapFactory&) = default;
CNodeMapFactory::~CNodeMapFactory() = default;

CNodeMapFactory::CNodeMapFactory(EContentType contentType, const void* data, size_t size, ECacheUsage, bool) {
    if (!data && size) CORVID2_GENAPI_THROW(InvalidArgumentException, "description text is null");
    auto bytes =
        std::make_shared<std::vector<char>>(static_cast<const char*>(data), static_cast<const char*>(data) + size);
    if (contentType == ContentType_ZippedXml || isZip(*bytes)) *bytes = unzipFirstEntry(*bytes);
    text_ = std::move(bytes);
}

CNodeMapFactory::CNodeMapFactory(const gcstring& fileName) {
    std::ifstream stream(fileName, std::ios::binary);
    if (!stream) CORVID2_GENAPI_THROW(RuntimeException, "cannot open description file '" + fileName + "'");
    std::vector<char> bytes((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
    if (isZip(bytes)) bytes = unzipFirstEntry(bytes);
    text_ = std::make_shared<const std::vector<char>>(std::move(bytes));
}

bool CNodeMapFactory::IsEmpty() const { return !text_ || text_->empty(); }
bool CNodeMapFactory::IsPreprocessed() const { return description_ != nullptr; }

void CNodeMapFactory::Preprocess() {
    if (description_) return;
    if (IsEmpty()) CORVID2_GENAPI_THROW(RuntimeException, "no description text");
    auto description = std::make_shared<Description>();
    description->text = *text_;
    pugi::xml_parse_result result =
        description->document.load_buffer_inplace(description->text.data(), description->text.size(),
                                                  pugi::parse_default | pugi::parse_trim_pcdata, pugi::encoding_auto);
    if (!result) {
        CORVID2_GENAPI_THROW(RuntimeException, std::string("description is not well-formed XML: ") +
                                                   result.description() + " at offset " +
                                                   std::to_string(result.offset));
    }
    description->root = description->document.document_element();
    if (std::strcmp(description->root.name(), "RegisterDescription") != 0) {
        CORVID2_GENAPI_THROW(RuntimeException, std::string("description root is <") + description->root.name() +
                                                   ">, not <RegisterDescription>");
    }
    collectNodes(*description, description->root);
    description_ = std::move(description);
}

void CNodeMapFactory::ensurePreprocessed() {
    if (!description_) Preprocess();
}

void CNodeMapFactory::ExtractSubtree(const gcstring& subTreeRootNodeName, bool) {
    ensurePreprocessed();
    if (!description_->byName.count(subTreeRootNodeName)) {
        CORVID2_GENAPI_THROW(InvalidArgumentException,
                             "ExtractSubtree: the description has no node '" + subTreeRootNodeName + "'");
    }
    subtreeRoot_ = subTreeRootNodeName;
}

std::unique_ptr<INodeMap> CNodeMapFactory::CreateNodeMap(const gcstring& deviceName, bool) {
    ensurePreprocessed();
    auto map = std::make_unique<detail::NodeMapImpl>(description_, deviceName);
    if (subtreeRoot_.empty()) {
        map->build(nullptr);
        return map;
    }
    std::unordered_set<std::string> keep;
    std::vector<std::string> pending{subtreeRoot_};
    while (!pending.empty()) {
        std::string name = std::move(pending.back());
        pending.pop_back();
        size_t begin = name.find_first_not_of(" \t\r\n"), end = name.find_last_not_of(" \t\r\n");
        name = begin == std::string::npos ? std::string() : name.substr(begin, end - begin + 1);
        auto it = description_->byName.find(name);
        if (it == description_->byName.end() || !keep.insert(name).second) continue;
        addReferences(*description_, it->second, pending);
        if (std::strcmp(it->second.name(), "StructEntry") == 0)
            addReferences(*description_, it->second.parent(), pending);
    }
    map->build(&keep);
    return map;
}

gcstring CNodeMapFactory::GetVendorName() const {
    return description_ ? description_->root.attribute("VendorName").value() : "";
}

gcstring CNodeMapFactory::GetModelName() const {
    return description_ ? description_->root.attribute("ModelName").value() : "";
}

void CNodeMapFactory::GetSchemaVersion(int64_t& major, int64_t& minor, int64_t& subMinor) const {
    major = minor = subMinor = 0;
    if (!description_) return;
    major = description_->root.attribute("SchemaMajorVersion").as_llong();
    minor = description_->root.attribute("SchemaMinorVersion").as_llong();
    subMinor = description_->root.attribute("SchemaSubMinorVersion").as_llong();
}

}  // namespace corvid2::genapi
