// SPDX-License-Identifier: BSD-3-Clause
// The `corvid2 get` and `corvid2 set` subcommands, through the camera's node map (the remote
// device) and the nodes' text conversion, so that every feature type reads and writes the same way.
#include "feature_value_command.h"

#include <corvid2_genicam.h>

#include <cstdio>

#include "device_session.h"

namespace corvid2::tool {
namespace {

struct Options {
    std::vector<std::string> positional;  // the feature, then the value for `set`
    std::string device;
    bool valid = true;
};

Options parse(const std::vector<std::string>& args, std::size_t positionalCount) {
    Options options;
    for (std::size_t i = 0; i < args.size() && options.valid; ++i) {
        if (args[i] == "--device" && i + 1 < args.size())
            options.device = args[++i];
        else if (args[i].rfind("--", 0) == 0)
            options.valid = false;
        else
            options.positional.push_back(args[i]);
    }
    if (options.positional.size() != positionalCount || options.positional.front().empty()) options.valid = false;
    return options;
}

// Runs `use` on the camera's feature and closes the device afterwards, so that a failure to close
// is reported like any other.
template <class Use>
int withFeature(const Options& options, Use use) {
    DeviceSession session;
    if (!session.openOrExplain(options.device)) return 1;
    CORVID2::Node* node = session.device()->GetRemoteNode(options.positional[0].c_str());
    const std::string value = use(*node);
    session.close();
    std::printf("%s\n", value.c_str());
    return 0;
}

}  // namespace

int getFeature(const std::vector<std::string>& args) {
    const Options options = parse(args, 1);
    if (!options.valid) {
        std::fputs("usage: corvid2 get FEATURE [--device ID]\n", stderr);
        return 2;
    }
    return withFeature(options, [](CORVID2::Node& node) { return std::string(node.GetString().get()); });
}

int setFeature(const std::vector<std::string>& args) {
    const Options options = parse(args, 2);
    if (!options.valid) {
        std::fputs("usage: corvid2 set FEATURE VALUE [--device ID]\n", stderr);
        return 2;
    }
    return withFeature(options, [&options](CORVID2::Node& node) {
        node.SetString(options.positional[1].c_str());
        return std::string(node.GetString().get());
    });
}

}  // namespace corvid2::tool
