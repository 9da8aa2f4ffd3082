// SPDX-License-Identifier: BSD-3-Clause
// corvid2: the command-line face of the library, built only on its public interface.
#include <corvid2_genicam.h>
#include <corvid2_genicam_c.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

int usage(FILE* out) {
    std::fprintf(out,
                 "usage: corvid2 <command> [options]\n"
                 "commands:\n"
                 "  --version        print the library version\n"
                 "  list [--json]    the GenTL producers (systems) found on this machine and their interfaces\n"
                 "  trace-demo       write a few trace lines to standard error and to a trace file\n"
                 "  help             this text\n");
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

// The producers of the machine and their interfaces, as a readable tree or as JSON for scripts.
int listSystems(const std::vector<std::string>& args) {
    const bool asJson = !args.empty() && args.front() == "--json";
    CORVID2::SystemList* systems = CORVID2::SystemList::GetInstance();
    systems->Refresh();
    if (asJson) std::printf("{\"systems\": [");
    bool first = true;
    for (CORVID2::System* system : *systems) {
        struct Field {
            const char* name;
            CORVID2::String value;
        };
        const Field fields[] = {{"id", system->GetID()},         {"vendor", system->GetVendor()},
                                {"model", system->GetModel()},   {"version", system->GetVersion()},
                                {"tl_type", system->GetTLType()}, {"display_name", system->GetDisplayName()},
                                {"file", system->GetPathName()}};
        // The interfaces exist only while the system is open.
        std::vector<std::string> interfaces;
        system->Open();
        CORVID2::InterfaceList* list = system->GetInterfaces();
        list->Refresh(kRefreshTimeoutMs);
        for (CORVID2::Interface* iface : *list) interfaces.push_back(iface->GetID().get());
        system->Close();
        if (asJson) {
            std::printf("%s\n  {", first ? "" : ",");
            for (std::size_t i = 0; i < sizeof fields / sizeof fields[0]; ++i)
                std::printf("%s\"%s\": %s", i ? ", " : "", fields[i].name, json(fields[i].value.get()).c_str());
            std::printf(", \"interfaces\": [");
            for (std::size_t i = 0; i < interfaces.size(); ++i)
                std::printf("%s{\"id\": %s}", i ? ", " : "", json(interfaces[i].c_str()).c_str());
            std::printf("]}");
        } else {
            std::printf("System %s\n", fields[0].value.get());
            for (std::size_t i = 1; i < sizeof fields / sizeof fields[0]; ++i)
                std::printf("  %-13s %s\n", fields[i].name, fields[i].value.get());
            for (const std::string& id : interfaces) std::printf("  Interface %s\n", id.c_str());
        }
        first = false;
    }
    if (asJson) std::printf("\n]}\n");
    else if (first) std::printf("no GenTL producer found (searched beside the program, beside the library and in "
                                "GENICAM_GENTL64_PATH)\n");
    CORVID2::SystemList::ReleaseInstance();
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
