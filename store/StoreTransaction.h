#pragma once
// TStoreTransaction: one locked reading and at most one writing of the store
// file for a series of reads and writes that belong together, such as a
// window's full save or full load.
//
//   {
//       TStoreTransaction transaction;  // locks the store and reads it once
//       ...every TMyIniFile read and write on this thread uses its contents...
//       transaction.Commit();           // writes the store once, if changed
//   }                                   // releases the lock
//
// A kill at any instant therefore leaves the whole previous or the whole new
// series in the file, and since the lock is held from the opening to the end,
// two processes' series never interleave. Keep modal questions outside: a
// second instance waits for the lock meanwhile.
//
// A transaction opened while another is open on the same thread joins it: its
// Commit does nothing and the outermost one writes everything. Leaving the
// outermost without Commit (an error unwinding) writes nothing.
//
// Failures keep the messages of the single operations: when the store cannot
// be locked or read, every read raises its own readFailure and every write its
// OpenFailure (a store that cannot be locked is still read, as single reads
// need no lock); a failing Commit raises the WriteFailure of the first write
// that changed something; each followed by the file and the reason, as
// StoreFailure puts them. A store that does not parse raises
// TStoreUnparsable, except in the start-up transaction, which sets it aside
// (see StoreFile.h).

#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "StoreFile.h"

namespace varnok {

class TStoreTransaction {
public:
    enum class TOpening { InSession, AtStartUp };

    explicit TStoreTransaction(TOpening opening = TOpening::InSession);
    ~TStoreTransaction();
    TStoreTransaction(const TStoreTransaction&) = delete;
    TStoreTransaction& operator=(const TStoreTransaction&) = delete;

    // Writes what changed and ends the transaction (outermost only).
    void Commit();

    // The outermost transaction open on this thread; nullptr when none is.
    static TStoreTransaction* Current();

    // The store as the transaction sees it, its changes included.
    const TStoreDocument& Contents(const std::string& readFailure) const;
    // `change` returns false when it changed nothing.
    void Modify(const std::function<bool(TStoreDocument&)>& change, const TStoreWriteErrors& errors);

private:
    enum class TState { Open, Unlocked, Unreadable, Unparsable };

    void End();

    TStoreTransaction* m_joined = nullptr;  // the outer transaction this one joins
    std::string m_path;
    std::optional<TStoreLock> m_lock;
    TStoreDocument m_document;
    TState m_state = TState::Open;
    std::string m_unparsable;     // the message when the file does not parse
    std::pair<std::string, std::string> m_fault;  // what cannot be done to the file, and why
    std::string m_writeFailure;   // of the first write that changed something
    bool m_changed = false;
};

}  // namespace varnok
