// SPDX-License-Identifier: BSD-3-Clause
// corvid2: the command-line face of the library, built only on its public interface.
#include <corvid2_genicam.h>
#include <corvid2_genicam_c.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "events_command.h"
#include "feature_value_command.h"
#include "features_command.h"
#include "grab_command.h"

namespace {

int usage(FILE* out) {
    std::fprintf(
        out,
        "usage: corvid2 <command> [options]\n"
        "commands:\n"
        "  --version        print the library version\n"
        "  list [--json]    the GenTL producers (systems) found on this machine, their interfaces and devices\n"
        "  features [--module system|interface] [--filter TEXT]\n"
        "                   every feature of the first system or its first interface\n"
        "  grab [--device ID] [--count N] [--pixel-format FORMAT] [--save FILE.png] [--chunks]\n"
        "                   acquire N images (default 10), report frames per second, incomplete and lost\n"
        "                   frames, and save the last image as PNG (other formats than Mono8/10/12/16,\n"
        "                   RGB8 and BGR8 converted by the image-processing library);\n"
        "                   --chunks switches on every chunk of the camera and prints each frame's values\n"
        "  events [--device ID] [--pnp] [--acquire] [--count N] [--seconds S]\n"
        "                   print the camera's events (and with --pnp the plug-and-play events of its\n"
        "                   interface) as they arrive, until N were printed or S seconds passed;\n"
        "                   --acquire runs an acquisition meanwhile, whose frames raise the camera's events\n"
        "  get FEATURE [--device ID]\n"
        "                   print the value of a feature of the camera\n"
        "  set FEATURE VALUE [--device ID]\n"
        "                   write a feature of the camera and print the value it reads back\n"
        "  trace-demo       write a few trace lines to standard error and to a trace file\n"
        "  help             this text\n"
        "Without --device, the commands that use a camera take the first device of the first interface\n"
        "of the first system that `list` shows.\n"
        "Exit codes: 0 success, 1 failure (a library exception, no such device, no image), 2 bad usage.\n");
    return out == stdout ? 0 : 2;
}

int printVersion() {
    std::printf("corvid2 %s\n", CORVID2::GetLibraryVersion().get());
    return 0;
}

// Text as a JSON string literal.
std::string json(const char* text) {
    std::string out = "\"";
    for (const char* c = text; *c; ++c) {
        const unsigned char byte = static_cast<unsigned char>(*c);
        if (byte == '"' || byte == '\\') {
            out += '\\';
            out += *c;
        } else if (byte < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            out += escaped;
        } else {
            out += *c;
        }
    }
    return out + "\"";
}

constexpr std::uint64_t kRefreshTimeoutMs = 1000;

// One listed object (system, interface, device): its named texts, then the objects below it.
struct Entry {
    const char* kind;                                         // "System", "Interface", "Device"
    std::vector<std::pair<const char*, std::string>> fields;  // "id" first
    const char* childrenName = nullptr;                       // "interfaces", "devices"
    std::vector<Entry> children;
};

// Every field of the table, read through the getter beside its name.
template <class Object>
using Getter = CORVID2::String (Object::*)();

template <class Object, std::size_t N>
Entry describe(const char* kind, Object* object, const std::pair<const char*, Getter<Object>> (&getters)[N]) {
    Entry entry{kind, {}, nullptr, {}};
    for (const auto& [name, getter] : getters) entry.fields.emplace_back(name, (object->*getter)().get());
    return entry;
}

constexpr std::pair<const char*, Getter<CORVID2::System>> kSystemFields[] = {
    {"id", &CORVID2::System::GetID},          {"vendor", &CORVID2::System::GetVendor},
    {"model", &CORVID2::System::GetModel},    {"version", &CORVID2::System::GetVersion},
    {"tl_type", &CORVID2::System::GetTLType}, {"display_name", &CORVID2::System::GetDisplayName},
    {"file", &CORVID2::System::GetPathName}};
constexpr std::pair<const char*, Getter<CORVID2::Interface>> kInterfaceFields[] = {
    {"id", &CORVID2::Interface::GetID},
    {"display_name", &CORVID2::Interface::GetDisplayName},
    {"tl_type", &CORVID2::Interface::GetTLType}};
constexpr std::pair<const char*, Getter<CORVID2::Device>> kDeviceFields[] = {
    {"id", &CORVID2::Device::GetID},
    {"vendor", &CORVID2::Device::GetVendor},
    {"model", &CORVID2::Device::GetModel},
    {"serial_number", &CORVID2::Device::GetSerialNumber},
    {"tl_type", &CORVID2::Device::GetTLType},
    {"display_name", &CORVID2::Device::GetDisplayName},
    {"access_status", &CORVID2::Device::GetAccessStatus}};

// An interface and its devices; the devices are only listed while the interface is open, so it is
// opened for the moment of the listing (an interface another program holds shows no devices).
Entry describeInterface(CORVID2::Interface* iface) {
    Entry entry = describe("Interface", iface, kInterfaceFields);
    entry.childrenName = "devices";
    try {
        iface->Open();
    } catch (const CORVID2::Exceptions::IException& e) {
        entry.fields.emplace_back("error", e.GetErrorDescription().get());
        return entry;
    }
    CORVID2::DeviceList* devices = iface->GetDevices();
    devices->Refresh(kRefreshTimeoutMs);
    for (CORVID2::Device* device : *devices) entry.children.push_back(describe("Device", device, kDeviceFields));
    iface->Close();
    return entry;
}

Entry describeSystem(CORVID2::System* system) {
    Entry entry = describe("System", system, kSystemFields);
    entry.childrenName = "interfaces";
    system->Open();
    CORVID2::InterfaceList* interfaces = system->GetInterfaces();
    interfaces->Refresh(kRefreshTimeoutMs);
    for (CORVID2::Interface* iface : *interfaces) entry.children.push_back(describeInterface(iface));
    system->Close();
    return entry;
}

void printTree(const Entry& entry, int depth) {
    const int indent = 2 * depth;
    std::printf("%*s%s %s\n", indent, "", entry.kind, entry.fields.front().second.c_str());
    for (std::size_t i = 1; i < entry.fields.size(); ++i)
        std::printf("%*s  %-14s %s\n", indent, "", entry.fields[i].first, entry.fields[i].second.c_str());
    for (const Entry& child : entry.children) printTree(child, depth + 1);
}

void printJson(const Entry& entry, int depth) {
    const std::string pad(2 * static_cast<std::size_t>(depth), ' ');
    std::printf("{");
    for (std::size_t i = 0; i < entry.fields.size(); ++i)
        std::printf("%s\"%s\": %s", i ? ", " : "", entry.fields[i].first, json(entry.fields[i].second.c_str()).c_str());
    if (entry.childrenName != nullptr) {
        std::printf(", \"%s\": [", entry.childrenName);
        for (std::size_t i = 0; i < entry.children.size(); ++i) {
            std::printf("%s\n%s  ", i ? "," : "", pad.c_str());
            printJson(entry.children[i], depth + 1);
        }
        std::printf("%s]", entry.children.empty() ? "" : ("\n" + pad).c_str());
    }
    std::printf("}");
}

// The producers of the machine, their interfaces and devices, as a readable tree or as JSON for scripts.
int listSystems(const std::vector<std::string>& args) {
    const bool asJson = !args.empty() && args.front() == "--json";
    CORVID2::SystemList* systems = CORVID2::SystemList::GetInstance();
    systems->Refresh();
    std::vector<Entry> entries;
    for (CORVID2::System* system : *systems) entries.push_back(describeSystem(system));
    CORVID2::SystemList::ReleaseInstance();

    if (asJson) {
        std::printf("{\"systems\": [");
        for (std::size_t i = 0; i < entries.size(); ++i) {
            std::printf("%s\n  ", i ? "," : "");
            printJson(entries[i], 1);
        }
        std::printf("\n]}\n");
    } else if (entries.empty()) {
        std::printf(
            "no GenTL producer found (searched beside the program, beside the library and in "
            "GENICAM_GENTL64_PATH)\n");
    } else {
        for (const Entry& entry : entries) printTree(entry, 0);
    }
    return 0;
}

// Shows the trace facility end to end: debugger output (standard error here), a trace file, and
// a library failure whose text arrives both as an exception and through the C interface.
int traceDemo(const std::vector<std::string>& args) {
    const std::string file = args.empty() ? std::string("corvid2_demo_trace.log") : args.front();
    CORVID2::Trace::ActivateOutputToDebugger(true);
    CORVID2::Trace::ActivateOutputToFile(true, file.c_str());
    CORVID2::Trace::Enable(true);
    const int info = 0, warning = 1, error = 2;
    extT(&info, "corvid2 demo: an information line");
    extT(&warning, "corvid2 demo: a warning line");
    extT(&error, "corvid2 demo: an error line");
    try {
        CORVID2::String bad(nullptr, -1);
    } catch (const CORVID2::Exceptions::IException& e) {
        std::printf("caught %s from %s: %s\n", e.GetType().get(), e.GetFunctionName().get(),
                    e.GetErrorDescription().get());
    }
    CORVID2::Trace::Enable(false);  // joins the writer: every line is on disk afterwards
    std::printf("trace file %s:\n", file.c_str());
    if (FILE* in = std::fopen(file.c_str(), "r")) {
        char line[1024];
        while (std::fgets(line, sizeof line, in)) std::printf("  %s", line);
        std::fclose(in);
    }
    return 0;
}

int run(const std::string& command, const std::vector<std::string>& rest) {
    if (command == "--version" || command == "version") return printVersion();
    if (command == "list") return listSystems(rest);
    if (command == "features") return corvid2::tool::listFeatures(rest);
    if (command == "grab") return corvid2::tool::grab(rest);
    if (command == "events") return corvid2::tool::events(rest);
    if (command == "get") return corvid2::tool::getFeature(rest);
    if (command == "set") return corvid2::tool::setFeature(rest);
    if (command == "trace-demo") return traceDemo(rest);
    if (command == "help" || command == "--help" || command == "-h") return usage(stdout);
    std::fprintf(stderr, "corvid2: unknown command '%s'\n", command.c_str());
    return usage(stderr);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage(stderr);
    try {
        return run(argv[1], std::vector<std::string>(argv + 2, argv + argc));
    } catch (const CORVID2::Exceptions::IException& e) {
        std::fprintf(stderr, "corvid2: %s in %s: %s\n", e.GetType().get(), e.GetFunctionName().get(),
                     e.GetErrorDescription().get());
        return 1;
    }
}
