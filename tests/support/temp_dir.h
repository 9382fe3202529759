#pragma once
// A temporary folder for one test, removed with everything in it at the end.

#include <filesystem>
#include <fstream>
#include <string>

#include <cstdlib>
#include <unistd.h>

namespace ktest {

class TempDir {
public:
    TempDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "kinetta-test-XXXXXX").string();
        char* made = ::mkdtemp(tmpl.data());
        path_ = made ? made : "";
    }
    ~TempDir() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& rel) const { return path_ + "/" + rel; }

    // Creates a file (and its folders) holding content; returns its path.
    std::string Write(const std::string& rel, const std::string& content = "x") const {
        std::string full = *this / rel;
        std::filesystem::create_directories(std::filesystem::path(full).parent_path());
        std::ofstream(full, std::ios::binary) << content;
        return full;
    }
    std::string Mkdir(const std::string& rel) const {
        std::string full = *this / rel;
        std::filesystem::create_directories(full);
        return full;
    }

private:
    std::string path_;
};

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

} // namespace ktest
