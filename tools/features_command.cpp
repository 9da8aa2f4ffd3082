// SPDX-License-Identifier: BSD-3-Clause
// The `corvid2 features` subcommand: name, type, access and value of every feature of a module,
// read only through the public Node interface.
#include "features_command.h"

#include <corvid2_genicam.h>

#include <cstdio>
#include <string>

namespace corvid2::tool {
namespace {

constexpr std::uint64_t kRefreshTimeoutMs = 1000;

struct Options {
    std::string module = "system";
    std::string filter;
    bool valid = true;
};

Options parse(const std::vector<std::string>& args) {
    Options options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const bool hasValue = i + 1 < args.size();
        if (args[i] == "--module" && hasValue)
            options.module = args[++i];
        else if (args[i] == "--filter" && hasValue)
            options.filter = args[++i];
        else
            options.valid = false;
    }
    if (options.module != "system" && options.module != "interface") options.valid = false;
    return options;
}

// The value as text for the types that have one; readers of other types get a placeholder.
std::string valueText(CORVID2::Node& node, const std::string& type) {
    if (!node.IsReadable()) return "-";
    if (type == "ICommand") return node.IsDone() ? "(done)" : "(in progress)";
    if (type == "IRegister") return "(" + std::to_string(node.getLength()) + " bytes)";
    try {
        return node.GetValue().get();
    } catch (const CORVID2::Exceptions::IException& error) {
        return std::string("(") + error.GetType().get() + ")";
    }
}

void printFeatures(CORVID2::INode& module, const std::string& filter) {
    std::printf("%-28s %-13s %-6s %s\n", "name", "type", "access", "value");
    for (CORVID2::Node* node : *module.GetNodeList()) {
        const std::string name = node->GetName().get();
        if (name.find(filter) == std::string::npos) continue;
        const std::string type = node->GetInterface().get();
        std::printf("%-28s %-13s %-6s %s\n", name.c_str(), type.c_str(), node->GetCurrentAccessMode().get(),
                    valueText(*node, type).c_str());
    }
}

}  // namespace

int listFeatures(const std::vector<std::string>& args) {
    const Options options = parse(args);
    if (!options.valid) {
        std::fprintf(stderr, "usage: corvid2 features [--module system|interface] [--filter TEXT]\n");
        return 2;
    }
    CORVID2::SystemList* systems = CORVID2::SystemList::GetInstance();
    systems->Refresh();
    if (systems->size() == 0) {
        std::fprintf(stderr, "corvid2: no GenTL producer found\n");
        CORVID2::SystemList::ReleaseInstance();
        return 1;
    }
    CORVID2::System* system = (*systems)[std::size_t{0}];
    system->Open();
    int result = 0;
    if (options.module == "system") {
        std::printf("System %s\n", system->GetID().get());
        printFeatures(*system, options.filter);
    } else {
        CORVID2::InterfaceList* interfaces = system->GetInterfaces();
        interfaces->Refresh(kRefreshTimeoutMs);
        if (interfaces->size() == 0) {
            std::fprintf(stderr, "corvid2: system %s has no interface\n", system->GetID().get());
            result = 1;
        } else {
            CORVID2::Interface* iface = (*interfaces)[std::size_t{0}];
            iface->Open();
            std::printf("Interface %s\n", iface->GetID().get());
            printFeatures(*iface, options.filter);
            iface->Close();
        }
    }
    system->Close();
    CORVID2::SystemList::ReleaseInstance();
    return result;
}

}  // namespace corvid2::tool
