#pragma once
// Each test gets its own XDG_CONFIG_HOME, kept when the test fails. It is on
// tmpfs when there is one: every store write flushes to disk, which on a real
// disk makes the concurrency test slow without testing more of the locking.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

#include "StoreFile.h"

namespace varnok::testing {

class StoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
        pattern += "/varnok-store-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_folder = pattern;
        ::setenv("XDG_CONFIG_HOME", m_folder.c_str(), 1);
        TakeStoreWarning();
    }
    void TearDown() override {
        if (!HasFailure()) std::filesystem::remove_all(m_folder);
    }

    const std::string& Folder() const { return m_folder; }

    static std::string FileText(const std::string& path) {
        std::ostringstream text;
        text << std::ifstream(path, std::ios::binary).rdbuf();
        return text.str();
    }
    static void PutFile(const std::string& path, const std::string& text) {
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << text;
    }

private:
    std::string m_folder;
};

// The message an operation raises, or "" when it raises none.
template <typename Operation>
std::string ErrorOf(Operation operation) {
    try {
        operation();
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return "";
}

}  // namespace varnok::testing
