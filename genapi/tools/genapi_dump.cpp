// SPDX-License-Identifier: BSD-3-Clause
// genapi-dump: loads a description, connects a synthetic register space and prints every feature's state.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "corvid2/genapi/genapi.h"

namespace {

using namespace corvid2::genapi;

constexpr int64_t kMaxReadLength = int64_t{1} << 20;

/// A register space over the whole 64-bit range whose bytes follow a fixed pattern; writes are refused.
class PatternPort : public IPort {
public:
    explicit PatternPort(bool addressPattern) : addressPattern_(addressPattern) {}
    EAccessMode GetAccessMode() const override { return RW; }
    void Read(void* buffer, int64_t address, int64_t length) override {
        auto* bytes = static_cast<uint8_t*>(buffer);
        for (int64_t k = 0; k < length; ++k) {
            uint64_t at = static_cast<uint64_t>(address) + static_cast<uint64_t>(k);
            bytes[k] = addressPattern_ ? static_cast<uint8_t>(((at * 2654435761ull) >> 16) & 0xff) : 0;
        }
    }
    void Write(const void*, int64_t, int64_t) override {
        throw RuntimeException("the dump writes nothing", __FILE__, __LINE__);
    }

private:
    bool addressPattern_;
};

std::string escape(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c == '\t' || c == '\n' || c < 0x20 || c > 0x7e) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string formatDouble(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

std::string hexBytes(const std::vector<uint8_t>& bytes) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    for (uint8_t b : bytes) {
        out += kHex[b >> 4];
        out += kHex[b & 15];
    }
    return out;
}

bool gVerbose = false;

/// Runs one column's read; a failure prints ERR (and with --verbose the reason on stderr) and the walk goes on.
template <class F>
std::string column(F read) {
    try {
        return read();
    } catch (const std::exception& e) {
        if (gVerbose) std::fprintf(stderr, "%s\n", e.what());
        return "ERR";
    }
}

struct Row {
    std::string value, min, max, inc;
};

Row describe(INode* node, EInterfaceType type, bool readable) {
    Row row;
    if (type == intfIInteger) {
        auto* integer = dynamic_cast<IInteger*>(node);
        if (readable) row.value = column([&] { return std::to_string(integer->GetValue()); });
        row.min = column([&] { return std::to_string(integer->GetMin()); });
        row.max = column([&] { return std::to_string(integer->GetMax()); });
        row.inc = column([&] { return std::to_string(integer->GetInc()); });
    } else if (type == intfIFloat) {
        auto* number = dynamic_cast<IFloat*>(node);
        if (readable) row.value = column([&] { return formatDouble(number->GetValue()); });
        row.min = column([&] { return formatDouble(number->GetMin()); });
        row.max = column([&] { return formatDouble(number->GetMax()); });
        row.inc = column([&] { return number->HasInc() ? formatDouble(number->GetInc()) : std::string(); });
    } else if (!readable) {
        return row;
    } else if (type == intfIEnumeration) {
        auto* enumeration = dynamic_cast<IEnumeration*>(node);
        row.value = column([&] {
            IEnumEntry* entry = enumeration->GetCurrentEntry();
            if (!entry) throw RuntimeException("no entry", __FILE__, __LINE__);
            return entry->GetSymbolic();
        });
    } else if (type == intfIBoolean) {
        row.value = column([&] { return std::string(dynamic_cast<IBoolean*>(node)->GetValue() ? "1" : "0"); });
    } else if (type == intfIString) {
        row.value = column([&] {
            if (auto* reg = dynamic_cast<IRegister*>(node); reg && reg->GetLength() > kMaxReadLength) {
                throw RuntimeException("too long", __FILE__, __LINE__);
            }
            return escape(dynamic_cast<IString*>(node)->GetValue());
        });
    } else if (type == intfIRegister) {
        row.value = column([&] {
            auto* reg = dynamic_cast<IRegister*>(node);
            int64_t length = reg->GetLength();
            if (length < 0 || length > kMaxReadLength) throw RuntimeException("too long", __FILE__, __LINE__);
            std::vector<uint8_t> bytes(static_cast<size_t>(length));
            reg->Get(bytes.data(), length);
            bytes.resize(std::min<size_t>(bytes.size(), 64));
            return hexBytes(bytes);
        });
    }
    return row;
}

int usage() {
    std::fprintf(stderr, "usage: genapi-dump [--pattern zero|addr] [--verbose] DESCRIPTION\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    bool addressPattern = false;
    const char* file = nullptr;
    for (int k = 1; k < argc; ++k) {
        if (std::strcmp(argv[k], "--pattern") == 0 && k + 1 < argc) {
            std::string pattern = argv[++k];
            if (pattern != "zero" && pattern != "addr") return usage();
            addressPattern = pattern == "addr";
        } else if (std::strcmp(argv[k], "--verbose") == 0) {
            gVerbose = true;
        } else if (!file && argv[k][0] != '-') {
            file = argv[k];
        } else {
            return usage();
        }
    }
    if (!file) return usage();
    try {
        CNodeMapFactory factory(file);
        std::unique_ptr<INodeMap> map = factory.CreateNodeMap("Device");
        map->SetCachingEnabled(false);
        PatternPort port(addressPattern);
        node_vector nodes;
        map->GetNodes(nodes);
        for (INode* node : nodes) {
            auto* chunkPort = dynamic_cast<IChunkPort*>(node);
            if (chunkPort && chunkPort->GetChunkID().empty() && node->GetEventID().empty()) {
                map->Connect(&port, node->GetName());
            }
        }
        std::vector<INode*> features;
        for (INode* node : nodes) {
            if (node->GetNodeType() != "EnumEntry") features.push_back(node);
        }
        std::sort(features.begin(), features.end(), [](INode* a, INode* b) { return a->GetName() < b->GetName(); });
        for (INode* node : features) {
            EInterfaceType type = node->GetPrincipalInterfaceType();
            EAccessMode mode = node->GetAccessMode();
            Row row = describe(node, type, IsReadable(mode));
            std::printf("%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n", node->GetName().c_str(), node->GetNodeType().c_str(),
                        ToString(type), ToString(mode), row.value.c_str(), row.min.c_str(), row.max.c_str(),
                        row.inc.c_str());
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "genapi-dump: %s\n", e.what());
        return 1;
    }
    return 0;
}
