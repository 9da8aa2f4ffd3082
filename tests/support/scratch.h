// SPDX-License-Identifier: BSD-3-Clause
// Scratch folders that clean up after themselves, and whole files written and read back.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace corvid2::test {

namespace fs = std::filesystem;

// A fresh folder under the system's temporary folder, removed with everything in it. Each one has a
// random name of its own, so that test programs running side by side never share files.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const fs::path& path() const { return path_; }
    // The path of `name` inside the folder, as text: most callers hand it to a C-style interface.
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    // Writes `bytes` as the file `name` and returns its path.
    fs::path write(const std::string& name, const std::string& bytes) const;

private:
    fs::path path_;
};

std::string readFile(const fs::path& path);
void writeFile(const fs::path& path, const std::string& text);
// Lines without their line ends; none when the file is missing.
std::vector<std::string> readLines(const fs::path& path);

}  // namespace corvid2::test
