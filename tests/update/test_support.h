#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace UpdateTest {

// A private directory under the system temporary folder, removed with its contents.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string File(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

void WriteFile(const std::string& path, const std::string& text);
std::string ReadFile(const std::string& path);

struct ProcessResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs argv[0] (searched in PATH) without a shell and collects its output.
ProcessResult RunProcess(const std::vector<std::string>& argv);

}  // namespace UpdateTest
