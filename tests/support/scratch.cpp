// SPDX-License-Identifier: BSD-3-Clause
// Scratch folders and whole-file reads and writes for the tests.
#include "support/scratch.h"

#include <fstream>
#include <random>
#include <sstream>

namespace corvid2::test {

ScratchFolder::ScratchFolder() {
    std::random_device seed;
    path_ = fs::temp_directory_path() / ("corvid2_test_" + std::to_string(seed()) + "_" + std::to_string(seed()));
    fs::create_directories(path_);
}

ScratchFolder::~ScratchFolder() {
    // A destructor must not throw; a folder left behind in the temporary folder harms nobody.
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

fs::path ScratchFolder::write(const std::string& name, const std::string& bytes) const {
    const fs::path target = path_ / name;
    writeFile(target, bytes);
    return target;
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::vector<std::string> readLines(const fs::path& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

}  // namespace corvid2::test
