#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>

/// The platform's path delimiter, as the program's PathDelim.
inline constexpr char kTestPathDelim =
    static_cast<char>(std::filesystem::path::preferred_separator);

/// A UTF-8 path as the standard library wants it: on Windows a narrow path would be read in the
/// ANSI code page.
inline std::filesystem::path FsPath(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

inline std::string Utf8Path(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

/// A fresh folder under the system's temporary folder, removed with everything in it at the end
/// of the test. Path() ends with the platform's delimiter; names given to / may use "/", which
/// becomes that delimiter.
class TempDir {
  public:
    TempDir() {
        const std::filesystem::path base = std::filesystem::temp_directory_path();
        std::random_device random;
        for (int attempt = 0; attempt < 100; ++attempt) {
            const std::filesystem::path candidate =
                base / ("quillon-" + std::to_string(random()) + std::to_string(attempt));
            // create_directory answers false when the name exists already: nobody else's.
            if (std::filesystem::create_directory(candidate)) {
                path_ = Utf8Path(candidate) + kTestPathDelim;
                return;
            }
        }
        throw std::runtime_error("no temporary folder");
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(FsPath(path_), ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    std::string operator/(std::string name) const {
        for (char& c : name) {
            if (c == '/') c = kTestPathDelim;
        }
        return path_ + name;
    }

  private:
    std::string path_;
};

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(FsPath(path), std::ios::binary) << bytes;
}

inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(FsPath(path), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
