#pragma once

// A temporary folder removed with everything in it at the end of a test.

#include <stdlib.h>

#include <filesystem>
#include <stdexcept>
#include <string>

namespace nurak::testing {

class TempDir {
public:
    explicit TempDir(const char* prefix = "nurak-test") {
        std::string tmpl = (std::filesystem::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
        if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
        path_ = tmpl;
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

}  // namespace nurak::testing
