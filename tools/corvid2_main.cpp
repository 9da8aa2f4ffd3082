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
                 "  trace-demo       write a few trace lines to standard error and to a trace file\n"
                 "  help             this text\n");
    return out == stdout ? 0 : 2;
}

int printVersion() {
    std::printf("corvid2 %s\n", CORVID2::GetLibraryVersion().get());
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

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage(stderr);
    const std::string command = argv[1];
    const std::vector<std::string> rest(argv + 2, argv + argc);
    if (command == "--version" || command == "version") return printVersion();
    if (command == "trace-demo") return traceDemo(rest);
    if (command == "help" || command == "--help" || command == "-h") return usage(stdout);
    std::fprintf(stderr, "corvid2: unknown command '%s'\n", command.c_str());
    return usage(stderr);
}
