#include "StoreTransaction.h"

#include <stdexcept>
#include <system_error>

namespace varnok {

namespace {

// The windows work on one thread; a transaction belongs to the thread that
// opened it, so that another thread's single writes never land in it.
thread_local TStoreTransaction* t_current = nullptr;

}  // namespace

TStoreTransaction::TStoreTransaction(TOpening opening) {
    if (t_current) {
        m_joined = t_current;
        return;
    }
    m_path = StoreFilePath();
    try {
        m_lock.emplace(m_path);
    } catch (const std::system_error& error) {
        m_state = TState::Unlocked;  // reads need no lock; the writes report it
        m_fault = {"locked", error.code().message()};
    }
    try {
        // Without the lock nothing may be set aside: a writer may be replacing it.
        m_document = ReadLockedStore(m_path, m_lock && opening == TOpening::AtStartUp);
    } catch (const TStoreUnparsable& error) {
        m_state = TState::Unparsable;
        m_unparsable = error.what();
    } catch (const std::system_error& error) {
        m_state = TState::Unreadable;
        m_fault = {"read", error.code().message()};
    } catch (const std::runtime_error& error) {
        m_state = TState::Unreadable;
        m_fault = {"read", error.what()};
    }
    t_current = this;
}

TStoreTransaction::~TStoreTransaction() {
    if (!m_joined) End();
}

TStoreTransaction* TStoreTransaction::Current() { return t_current; }

const TStoreDocument& TStoreTransaction::Contents(const std::string& readFailure) const {
    if (m_joined) return m_joined->Contents(readFailure);
    switch (m_state) {
    case TState::Unreadable:
        throw std::runtime_error(StoreFailure(readFailure, m_path, m_fault.first, m_fault.second));
    case TState::Unparsable: throw TStoreUnparsable(m_unparsable);
    case TState::Open:
    case TState::Unlocked: break;
    }
    return m_document;
}

void TStoreTransaction::Modify(const std::function<bool(TStoreDocument&)>& change,
                               const TStoreWriteErrors& errors) {
    if (m_joined) {
        m_joined->Modify(change, errors);
        return;
    }
    switch (m_state) {
    case TState::Unlocked:
    case TState::Unreadable:
        throw std::runtime_error(
            StoreFailure(errors.OpenFailure, m_path, m_fault.first, m_fault.second));
    case TState::Unparsable: throw TStoreUnparsable(m_unparsable);
    case TState::Open: break;
    }
    if (!change(m_document)) return;
    if (!m_changed) m_writeFailure = errors.WriteFailure;
    m_changed = true;
}

void TStoreTransaction::Commit() {
    if (m_joined || t_current != this) return;
    const bool changed = m_changed;
    m_changed = false;
    if (changed) {
        try {
            WriteLockedStore(m_path, m_document);
        } catch (const std::system_error& error) {
            End();
            throw std::runtime_error(
                StoreFailure(m_writeFailure, m_path, "written", error.code().message()));
        }
    }
    End();
}

void TStoreTransaction::End() {
    if (t_current == this) t_current = nullptr;
    m_lock.reset();
}

}  // namespace varnok
