#pragma once
// Test helpers: a temporary folder (kept when the test failed, for a look at
// it) and a run host that answers as told and records the rest.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <cstdlib>
#include <functional>
#include <optional>
#include <sstream>

#include "RunHost.h"

namespace varnok::testing {

class TTempTree {
public:
    explicit TTempTree(const std::filesystem::path& base = std::filesystem::temp_directory_path()) {
        std::string pattern = (base / "varnok-test-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        m_root = pattern;
    }
    ~TTempTree() {
        std::error_code ignored;
        if (!::testing::Test::HasFailure()) std::filesystem::remove_all(m_root, ignored);
    }
    std::string Path(const std::string& relative = "") const {
        return relative.empty() ? m_root : m_root + "/" + relative;
    }
    void Write(const std::string& relative, const std::string& contents) const {
        std::filesystem::create_directories(std::filesystem::path(Path(relative)).parent_path());
        std::ofstream(Path(relative), std::ios::binary) << contents;
    }
    std::string Read(const std::string& relative) const { return ReadFile(Path(relative)); }
    static std::string ReadFile(const std::string& path) {
        std::ostringstream text;
        text << std::ifstream(path, std::ios::binary).rdbuf();
        return text.str();
    }
    bool Exists(const std::string& relative) const {
        struct stat info {};
        return lstat(Path(relative).c_str(), &info) == 0;
    }

private:
    std::string m_root;
};

// Run journals in a folder of the test's own while it lasts.
class TStateHome {
public:
    explicit TStateHome(const std::string& folder) {
        if (const char* old = std::getenv("XDG_STATE_HOME")) m_old = old;
        setenv("XDG_STATE_HOME", folder.c_str(), 1);
    }
    ~TStateHome() {
        if (m_old) setenv("XDG_STATE_HOME", m_old->c_str(), 1);
        else unsetenv("XDG_STATE_HOME");
    }
    TStateHome(const TStateHome&) = delete;
    TStateHome& operator=(const TStateHome&) = delete;

private:
    std::optional<std::string> m_old;
};

class TScriptedHost : public TRunHost {
public:
    bool answer = true;
    std::string question;
    bool runDespite = true;
    std::vector<std::string> findings;
    std::string details;  // shown with the last question
    std::vector<std::string> report;
    std::string status;
    std::function<void()> onEvents;

    bool RunDespite(const std::vector<std::string>& found) override {
        findings = found;
        return runDespite;
    }
    bool Confirm(const std::string& caption, const std::string& text, const std::string& scope) override {
        question = caption + ": " + text;
        details = scope;
        return answer;
    }
    void ClearReport() override { report.clear(); }
    void AppendReportLine(const std::string& line) override { report.push_back(line); }
    void SetStatusText(const std::string& text) override { status = text; }
    void ProcessEvents() override {
        if (onEvents) onEvents();
    }
};

}  // namespace varnok::testing
