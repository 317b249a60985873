#include "StoredJob.h"

#include <cstdlib>
#include <stdexcept>

#include "History.h"
#include "StoreTransaction.h"
#include "UMyIniFile.h"

namespace varnok {

namespace {

constexpr const char* kDialogSection = "Varnok\\Dialog";

// The folder entry's text before anything is restored.
std::string SystemTempFolder() {
    const char* temp = std::getenv("TMPDIR");
    return temp && *temp ? temp : "/tmp";
}

}  // namespace

TStoredJob LoadStoredJob(const std::string& configName) {
    // The batch runner's one reading of the store is its start-up.
    TStoreTransaction startUp(TStoreTransaction::TOpening::AtStartUp);
    const std::string storeKey = configName.empty() ? kDefaultStoreKey : ConfigurationStoreKey(configName);
    if (!configName.empty() && !StoreKeyExists(storeKey)) {
        throw std::runtime_error("No configuration named '" + configName + "' is stored");
    }
    const TMyIniFile store(storeKey);
    TStoredJob job;

    // The folder entry is restored from its history's text only; the entries
    // themselves play no part in a run.
    const std::string folderText = RemoveEnclosingQuotes(
        store.ReadText(HistoryKey(kDialogSection, 1), "Text", SystemTempFolder()));
    for (const TJobFlag& flag : kJobFlags) {
        job.*flag.Member = store.ReadFlag(kDialogSection, flag.StoreName, flag.StoredDefault);
    }
    // No fallback row: an empty list leaves nothing out.
    job.Exclusions = store.ReadList(kDialogSection, kExclusionListName);
    job.Folders = store.ReadList(kDialogSection, "ListBox-2");
    if (job.Folders.empty()) job.Folders.push_back(folderText);
    const std::string maskText = store.ReadText(kDialogSection, "Edit-1", "*.*");
    job.Masks = store.ReadList(kDialogSection, "ListBox-1");
    if (job.Masks.empty()) job.Masks.push_back(maskText);
    job.ChangeText = SplitTextLines(store.ReadTextBlock(kDialogSection, "2").value_or(""));
    startUp.Commit();
    return job;
}

}  // namespace varnok
