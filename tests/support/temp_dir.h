#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

namespace slotscope::testing {

// A path the program names in UTF-8, as the system's: on Windows the narrow string of a path is
// in the ANSI code page instead, which holds no Chinese name on most systems.
inline std::filesystem::path Utf8Path(const std::string& utf8) {
    return {std::u8string(utf8.begin(), utf8.end())};
}

// A fresh directory under the system's temporary directory, removed with everything in it.
class TempDir final {
  public:
    TempDir() {
        std::random_device random;
        path_ = std::filesystem::temp_directory_path() /
                ("slotscope-test-" + std::to_string(random()) + std::to_string(random()));
        std::filesystem::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // A file in it, its name and the whole path in UTF-8, as the program's paths are.
    std::string file(const std::string& name) const {
        const std::u8string path = (path_ / Utf8Path(name)).u8string();
        return {path.begin(), path.end()};
    }

  private:
    std::filesystem::path path_;
};

inline std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(Utf8Path(path), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(Utf8Path(path), std::ios::binary) << bytes;
}

}  // namespace slotscope::testing
