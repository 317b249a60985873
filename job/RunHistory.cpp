#include "RunHistory.h"

#include <sys/stat.h>

#include <ctime>
#include <stdexcept>

#include "ChangeList.h"
#include "TextUtils.h"

namespace varnok {
namespace {

// The journal keeps the start in UTC ("YYYY-MM-DD HH:MM:SS UTC").
std::string LocalTime(const std::string& started) {
    std::tm parts{};
    const char* end = strptime(started.c_str(), "%Y-%m-%d %H:%M:%S", &parts);
    if (!end) return started;
    const std::time_t time = timegm(&parts);
    std::tm local{};
    localtime_r(&time, &local);
    char text[64];
    std::strftime(text, sizeof text, "%e %b %Y %H:%M", &local);
    return text[0] == ' ' ? text + 1 : text;
}

}  // namespace

std::string RunDescription(const TJournal& journal) {
    std::string text = LocalTime(journal.Started);
    if (!journal.Folders.empty()) text += " in " + Joined(journal.Folders);
    const std::vector<TChange> changes = ReadChangeList(journal.ChangeText);
    if (!changes.empty()) {
        text += " (" + changes.front().Search + " \u2192 " + changes.front().Replace;
        const std::size_t more = changes.size() - 1;
        if (more != 0) text += " and " + IntToText(static_cast<long long>(more)) + (more == 1 ? " more change" : " more changes");
        text += ")";
    }
    return text;
}

std::string UndoQuestion(const TJournal& journal, std::size_t files) {
    const std::string count = files == 1 ? "1 file" : IntToText(static_cast<long long>(files)) + " files";
    return "Undo the run of " + RunDescription(journal) + ": restore " + count + "?";
}

std::vector<TKeptRun> KeptRuns(const std::string& folder) {
    std::vector<TKeptRun> runs;
    for (const std::string& id : JournalIds(folder)) {
        TKeptRun run;
        run.Id = id;
        struct stat info {};
        if (stat((folder + "/" + id + ".txt").c_str(), &info) == 0 && info.st_size == 0) {
            run.Problem = "empty";
        } else {
            try {
                run.Journal = ReadJournal(folder, id);
                run.Readable = true;
            } catch (const std::runtime_error& error) {
                run.Problem = error.what();
            }
        }
        runs.push_back(std::move(run));
    }
    return runs;
}

}  // namespace varnok
