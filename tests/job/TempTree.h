#pragma once
// A temporary folder for file-system tests; kept when the test failed, so
// that the failure can be inspected.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace varnok::testing {

class TTempTree {
public:
    explicit TTempTree(const std::filesystem::path& base = std::filesystem::temp_directory_path()) {
        std::string pattern = (base / "varnok-test-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        m_root = pattern;
    }
    ~TTempTree() {
        if (!::testing::Test::HasFailure()) {
            std::error_code ignored;
            std::filesystem::remove_all(m_root, ignored);
        }
    }
    TTempTree(const TTempTree&) = delete;
    TTempTree& operator=(const TTempTree&) = delete;

    std::string Path(const std::string& relative = "") const {
        return relative.empty() ? m_root : m_root + "/" + relative;
    }
    void Write(const std::string& relative, const std::string& contents) const {
        const auto path = std::filesystem::path(Path(relative));
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << contents;
    }
    std::string Read(const std::string& relative) const {
        std::ifstream file(Path(relative), std::ios::binary);
        std::ostringstream text;
        text << file.rdbuf();
        return text.str();
    }
    bool Exists(const std::string& relative) const {
        struct stat info {};
        return lstat(Path(relative).c_str(), &info) == 0;
    }

private:
    std::string m_root;
};

}  // namespace varnok::testing
