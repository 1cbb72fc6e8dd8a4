#pragma once

// Scratch folders and byte-exact file helpers for the settings tests.

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <unistd.h>

namespace settings_test {

namespace fs = std::filesystem;

// A fresh folder per test, removed with everything in it afterwards.
struct TempDir {
    const fs::path root = fs::temp_directory_path() /
                          ("hx350-settings-" + std::to_string(::getpid()) + "-" + std::to_string(counter()++));
    TempDir() { fs::remove_all(root), fs::create_directories(root); }
    ~TempDir() {
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string file(const std::string& name) const { return (root / name).string(); }
    const fs::path& path() const { return root; }
    static std::atomic<int>& counter() {
        static std::atomic<int> next{0};
        return next;
    }
};

inline std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// Fixtures are copied before use: the store rewrites what it opens.
inline std::string copyFixture(const TempDir& dir, const std::string& name) {
    fs::copy_file(fs::path(HX350_TEST_DATA_DIR) / "settings" / name, dir.file(name));
    return dir.file(name);
}

} // namespace settings_test
