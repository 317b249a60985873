#include "WalkFilter.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "FileMask.h"
#include "GitIgnore.h"
#include "MyDirectory.h"

namespace varnok {

bool ExclusionMatches(const std::string& mask, const std::string& relativePath, bool isFolder) {
    std::string_view pattern = mask;
    if (pattern.ends_with('/')) {
        if (!isFolder) return false;
        pattern.remove_suffix(1);
    }
    if (pattern.find('/') == std::string_view::npos) {
        const std::size_t slash = relativePath.rfind('/');
        return MaskMatches(pattern, slash == std::string::npos ? relativePath : relativePath.substr(slash + 1));
    }
    if (pattern.starts_with("./")) pattern.remove_prefix(2);
    return MaskMatches(pattern, relativePath);
}

std::vector<std::string> ExclusionFindings(const std::vector<std::string>& folders,
                                           const std::vector<TFolderEntries>& listings,
                                           const std::vector<std::string>& masks,
                                           const std::vector<std::string>& exclusions) {
    std::vector<std::string> findings;
    if (std::all_of(exclusions.begin(), exclusions.end(), [](const std::string& mask) { return mask.empty(); })) {
        return findings;
    }
    for (std::size_t i = 0; i < folders.size(); ++i) {
        const std::string& folder = folders[i];
        const TFolderEntries& entries = listings[i];
        for (const std::string& mask : masks) {
            bool found = false, kept = false;
            for (const std::string& name : entries.Files) {
                if (!MaskMatches(mask, name)) continue;
                found = true;
                kept = kept || std::none_of(exclusions.begin(), exclusions.end(), [&](const std::string& exclusion) {
                           return !exclusion.empty() && ExclusionMatches(exclusion, name, false);
                       });
            }
            if (found && !kept) {
                findings.push_back("The exclusions leave out every file that the mask \"" + mask + "\" finds in " +
                                   folder);
            }
        }
    }
    return findings;
}

TWalkFilter::TWalkFilter(std::vector<std::string> exclusions, bool gitIgnore)
    : m_exclusions(std::move(exclusions)), m_git(gitIgnore ? std::make_unique<TGitIgnore>() : nullptr) {
    std::erase_if(m_exclusions, [](const std::string& mask) { return mask.empty(); });
    std::error_code error;
    m_workingFolder = std::filesystem::current_path(error).string();
}

TWalkFilter::~TWalkFilter() = default;

void TWalkFilter::Apply(const std::string& folder, const std::string& relative, TFolderEntries& entries) {
    // git knows its work trees by full names.
    const std::string absolute = !m_git || folder.starts_with('/') ? folder : JoinPath(m_workingFolder, folder);
    const auto leftOut = [&](const std::string& name, bool isFolder) {
        const std::string path = relative.empty() ? name : relative + "/" + name;
        for (const std::string& mask : m_exclusions) {
            if (ExclusionMatches(mask, path, isFolder)) return true;
        }
        return m_git && m_git->Ignored(absolute, name, isFolder);
    };
    std::erase_if(entries.Files, [&](const std::string& name) { return leftOut(name, false); });
    std::erase_if(entries.Folders, [&](const std::string& name) { return leftOut(name, true); });
}

std::vector<std::pair<std::string, std::string>> TWalkFilter::TakeProblems() {
    return m_git ? m_git->TakeProblems() : std::vector<std::pair<std::string, std::string>>();
}

}  // namespace varnok
