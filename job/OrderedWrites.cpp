#include "OrderedWrites.h"

#include <utility>

#include "TextUtils.h"

namespace varnok {
namespace {

// The journal's lines of one rewrite, each before the step it names.
class TJournaledRewrite : public TWriteRecord {
public:
    TJournaledRewrite(TRunJournal& journal, TRewrite& rewrite) : m_journal(journal), m_rewrite(rewrite) {}

    void Temporary(const TPlace&, const std::string& name, const struct stat& file) override {
        m_journal.AddTemporary(JoinPath(FolderOf(m_rewrite.Journaled->File), name), file);
    }
    struct stat KeepOlder(const TPlace& place, const std::string& name) override {
        return m_journal.KeepOlder(place.Folder->Fd, name, m_rewrite.Journaled->Backup);
    }
    void Replacing(bool backupMade) override {
        TJournalEntry& entry = *m_rewrite.Journaled;
        if (m_rewrite.Backup) {
            entry.MadeBackup = backupMade;
        } else {
            entry.MadeBackup = m_rewrite.FirstOutcome && m_rewrite.FirstOutcome->BackupMade;
        }
        m_journal.Add(entry);
    }
    void Skipped() override { m_journal.AddSkipped(m_rewrite.Journaled->File); }

private:
    TRunJournal& m_journal;
    TRewrite& m_rewrite;
};

}  // namespace

TOrderedWrites::~TOrderedWrites() {
    std::unique_lock lock(m_mutex);
    m_progress.wait(lock, [this] { return m_queue.empty() && !m_placing; });
}

void TOrderedWrites::SetUp(TReadAhead& pool, TRunJournal* journal) {
    m_pool = &pool;
    m_journal = journal;
}

std::size_t TOrderedWrites::Added() const {
    std::lock_guard lock(m_mutex);
    return m_added;
}

std::size_t TOrderedWrites::Done() const {
    std::lock_guard lock(m_mutex);
    return m_done;
}

void TOrderedWrites::Add(TRewrite rewrite, std::size_t bytes) {
    auto item = std::make_unique<TItem>();
    item->Rewrite = std::move(rewrite);
    item->Bytes = bytes;
    if (m_journal && item->Rewrite.Journaled) {
        item->Record = std::make_unique<TJournaledRewrite>(*m_journal, item->Rewrite);
    }
    TItem* added = item.get();
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back(std::move(item));
        ++m_added;
        m_bytes += bytes;
    }
    m_pool->Submit([this, added] { Write(*added); });
}

void TOrderedWrites::WaitForRoom(std::size_t files, std::size_t bytes) {
    std::unique_lock lock(m_mutex);
    m_progress.wait(lock, [&] {
        if (m_failure) return m_queue.empty() && !m_placing;
        return m_added - m_done <= files && m_bytes <= bytes;
    });
    if (m_failure) std::rethrow_exception(m_failure);
}

void TOrderedWrites::Write(TItem& item) {
    TRewrite& rewrite = item.Rewrite;
    try {
        if (rewrite.Journaled) rewrite.Journaled->After = DigestOf(rewrite.Work.Text, rewrite.Work.Rest);
        item.Place = {rewrite.Read.FolderDescriptor, rewrite.Read.Folder->Path(), NameOf(rewrite.Target)};
        item.Contents = WriteNewContents(item.Place, rewrite.Read.File, rewrite.Work.Text, rewrite.Work.Rest,
                                         item.Record.get());
    } catch (...) {
        item.Failure = std::current_exception();
    }
    std::unique_lock lock(m_mutex);
    item.Written = true;
    PutWrittenInPlace(lock);
}

void TOrderedWrites::PutWrittenInPlace(std::unique_lock<std::mutex>& lock) {
    if (m_placing) return;
    m_placing = true;
    while (!m_queue.empty() && m_queue.front()->Written) {
        std::unique_ptr<TItem> item = std::move(m_queue.front());
        m_queue.pop_front();
        const bool failed = m_failure != nullptr;
        lock.unlock();
        // After a failure nothing more takes a name; what was written goes
        // with the item.
        std::exception_ptr failure = item->Failure;
        if (!failed && !failure) {
            TRewrite& rewrite = item->Rewrite;
            try {
                const TPlaced placed = PutInPlace(item->Place, rewrite.Read.File, rewrite.Read.ContentsDigest.value(),
                                                  item->Contents, rewrite.Backup ? &*rewrite.Backup : nullptr,
                                                  item->Record.get());
                rewrite.Outcome->Placed = placed.Replaced;
                rewrite.Outcome->SkipReason = placed.Reason;
                rewrite.Outcome->BackupMade = rewrite.Backup && item->Record && rewrite.Journaled->MadeBackup;
            } catch (...) {
                failure = std::current_exception();
            }
        }
        const std::size_t bytes = item->Bytes;
        item.reset();  // closes the files; freeing them may take a while on some disks
        lock.lock();
        m_bytes -= bytes;
        if (failed) continue;
        if (failure) {
            m_failure = failure;
        } else {
            ++m_done;
        }
        m_progress.notify_all();
    }
    m_placing = false;
    m_progress.notify_all();
}

}  // namespace varnok
