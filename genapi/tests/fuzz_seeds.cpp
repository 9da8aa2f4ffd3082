// SPDX-License-Identifier: BSD-3-Clause
// Cuts camera descriptions into small ones for the fuzzer's seed corpus. A mutated copy of a 1 MB description
// takes the fuzz target seconds to walk; pieces of a few kilobytes, each holding some features together with
// every node they refer to, take milliseconds and still load.
//
// genapi_fuzz_seeds OUTPUT_DIR MAX_BYTES DESCRIPTION...
// A description of at most MAX_BYTES is copied whole; a larger one becomes OUTPUT_DIR/<name>_<n>.xml pieces.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <pugixml.hpp>
#include <set>
#include <sstream>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

struct Description {
    pugi::xml_document document;
    std::vector<pugi::xml_node> nodes;                       // node elements in document order, Groups flattened
    std::unordered_map<std::string, pugi::xml_node> byName;  // a StructEntry's name leads to its StructReg
    std::unordered_map<const void*, size_t> sizes;           // printed size of each element of `nodes`
};

std::string trimmed(const char* text) {
    std::string value = text;
    size_t begin = value.find_first_not_of(" \t\r\n"), end = value.find_last_not_of(" \t\r\n");
    return begin == std::string::npos ? std::string() : value.substr(begin, end - begin + 1);
}

// Links that name a node without reading it (category members, selected features, invalidators, aliases): a
// piece does not follow them, and drops those that lead outside it.
bool isLooseLink(const char* element) {
    for (const char* name : {"pFeature", "pSelected", "pInvalidator", "pAlias", "pCastAlias"}) {
        if (std::strcmp(element, name) == 0) return true;
    }
    return false;
}

std::string print(pugi::xml_node element) {
    std::ostringstream text;
    element.print(text, "", pugi::format_raw);
    return text.str();
}

void collect(Description& description, pugi::xml_node parent) {
    for (pugi::xml_node element : parent.children()) {
        if (element.type() != pugi::node_element) continue;
        if (std::strcmp(element.name(), "Group") == 0) {
            collect(description, element);
            continue;
        }
        description.nodes.push_back(element);
        description.sizes[element.internal_object()] = print(element).size();
        description.byName.emplace(trimmed(element.attribute("Name").value()), element);
        for (pugi::xml_node entry = element.child("StructEntry"); entry; entry = entry.next_sibling("StructEntry")) {
            description.byName.emplace(trimmed(entry.attribute("Name").value()), element);
        }
    }
}

// Adds the element and everything it names (pXxx elements, pOffset attributes), directly or through others.
void addWithReferences(const Description& description, pugi::xml_node element, std::set<const void*>& piece) {
    std::vector<pugi::xml_node> pending{element};
    while (!pending.empty()) {
        pugi::xml_node node = pending.back();
        pending.pop_back();
        if (!piece.insert(node.internal_object()).second) continue;
        std::vector<pugi::xml_node> inside{node};
        while (!inside.empty()) {
            pugi::xml_node parent = inside.back();
            inside.pop_back();
            for (pugi::xml_node child : parent.children()) {
                if (child.type() != pugi::node_element) continue;
                inside.push_back(child);
                std::string name;
                if (isLooseLink(child.name())) continue;
                if (child.name()[0] == 'p' && child.first_child().type() == pugi::node_pcdata) {
                    name = trimmed(child.child_value());
                } else if (const char* offset = child.attribute("pOffset").value(); *offset) {
                    name = trimmed(offset);
                }
                auto it = description.byName.find(name);
                if (!name.empty() && it != description.byName.end()) pending.push_back(it->second);
            }
        }
    }
}

std::string escapeAttribute(const char* value) {
    std::string out;
    for (const char* c = value; *c; ++c) {
        if (*c == '"') {
            out += "&quot;";
        } else if (*c == '&') {
            out += "&amp;";
        } else if (*c == '<') {
            out += "&lt;";
        } else {
            out += *c;
        }
    }
    return out;
}

bool writePiece(const Description& description, const std::set<const void*>& piece, const std::string& path) {
    std::ofstream out(path, std::ios::binary);
    pugi::xml_node root = description.document.document_element();
    out << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<" << root.name();
    for (pugi::xml_attribute attribute : root.attributes()) {
        out << ' ' << attribute.name() << "=\"" << escapeAttribute(attribute.value()) << '"';
    }
    out << ">\n";
    for (pugi::xml_node element : description.nodes) {
        if (!piece.count(element.internal_object())) continue;
        pugi::xml_document copy;
        pugi::xml_node kept = copy.append_copy(element);
        std::vector<pugi::xml_node> outside;
        for (pugi::xml_node child : kept.children()) {
            if (!isLooseLink(child.name())) continue;
            auto it = description.byName.find(trimmed(child.child_value()));
            if (it == description.byName.end() || !piece.count(it->second.internal_object())) outside.push_back(child);
        }
        for (pugi::xml_node child : outside) kept.remove_child(child);
        out << print(kept) << '\n';
    }
    out << "</" << root.name() << ">\n";
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: genapi_fuzz_seeds OUTPUT_DIR MAX_BYTES DESCRIPTION...\n");
        return 2;
    }
    std::string outputDir = argv[1];
    size_t maxBytes = std::strtoul(argv[2], nullptr, 10);
    int status = 0;
    for (int k = 3; k < argc; ++k) {
        std::string path = argv[k];
        std::string stem = path.substr(path.find_last_of('/') + 1);
        stem = stem.substr(0, stem.rfind('.'));
        std::ifstream in(path, std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (text.size() <= maxBytes) {
            std::ofstream(outputDir + "/" + stem + ".xml", std::ios::binary) << text;
            continue;
        }
        Description description;
        if (!description.document.load_buffer(text.data(), text.size())) {
            std::fprintf(stderr, "genapi_fuzz_seeds: %s is not well-formed XML; left out\n", path.c_str());
            status = 1;
            continue;
        }
        collect(description, description.document.document_element());
        std::set<const void*> piece;
        size_t pieceBytes = 0;
        int pieces = 0;
        auto flush = [&] {
            if (piece.empty()) return;
            std::string name = outputDir + "/" + stem + "_" + std::to_string(++pieces) + ".xml";
            if (!writePiece(description, piece, name)) status = 1;
            piece.clear();
            pieceBytes = 0;
        };
        for (pugi::xml_node element : description.nodes) {
            if (piece.count(element.internal_object())) continue;
            std::set<const void*> added;
            addWithReferences(description, element, added);
            for (const void* node : added) {
                if (piece.insert(node).second) pieceBytes += description.sizes.at(node);
            }
            if (pieceBytes >= maxBytes) flush();
        }
        flush();
        std::printf("%s: %d pieces\n", stem.c_str(), pieces);
    }
    return status;
}
