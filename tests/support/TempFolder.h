#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace qrx::test {

// A folder of its own below the system's temporary folder, removed with all it holds at the
// end. Works the same on Linux and under Wine.
struct TempFolder {
    std::filesystem::path dir;

    TempFolder() {
        static std::atomic<unsigned> count{0};
        const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
        dir = std::filesystem::temp_directory_path() /
              ("qrx-test-" + std::to_string(now) + "-" + std::to_string(count++));
        std::filesystem::create_directories(dir);
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // A file below the folder with that text, and the folders above it.
    void Write(const std::string& rel, const std::string& text) const {
        std::filesystem::create_directories((dir / rel).parent_path());
        std::ofstream(dir / rel, std::ios::binary) << text;
    }
    static std::string Read(const std::filesystem::path& file) {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
};

}  // namespace qrx::test
