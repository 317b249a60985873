#include "WorkerPool.h"

#include <pthread.h>
#include <signal.h>

#include <algorithm>

namespace varnok {

unsigned JobThreads(unsigned jobs) {
    return jobs != 0 ? jobs : std::max(1u, std::thread::hardware_concurrency());
}

void TWorkerPool::Start(unsigned threads) {
    m_running = threads;  // before any worker can look
    sigset_t all, before;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &before);
    try {
        for (unsigned i = 0; i < threads; ++i) m_threads.emplace_back([this] { Work(); });
    } catch (...) {
        pthread_sigmask(SIG_SETMASK, &before, nullptr);
        Stop();
        throw;
    }
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
}

// The workers do every queued task before they end.
void TWorkerPool::Stop() {
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_wake.notify_all();
    for (std::thread& thread : m_threads) thread.join();
    m_threads.clear();
    m_running = 0;
}

void TWorkerPool::Submit(std::function<void()> task) {
    if (m_running.load() == 0) {
        task();
        return;
    }
    {
        std::lock_guard lock(m_mutex);
        m_tasks.push_back(std::move(task));
    }
    if (m_asleep.load() != 0) m_wake.notify_one();
}

void TWorkerPool::Wake() {
    m_generation.fetch_add(1);
    if (m_asleep.load() == 0) return;
    { std::lock_guard lock(m_mutex); }
    m_wake.notify_all();
}

void TWorkerPool::Work() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (!m_tasks.empty()) {
            std::function<void()> task = std::move(m_tasks.front());
            m_tasks.pop_front();
            lock.unlock();
            task();
            lock.lock();
            continue;
        }
        if (m_quit) return;
        const unsigned long seen = m_generation.load();
        if (m_source) {
            lock.unlock();
            const bool worked = m_source->WorkOnce();
            lock.lock();
            if (worked) continue;
        }
        ++m_asleep;
        m_wake.wait(lock, [&] { return m_quit || !m_tasks.empty() || m_generation.load() != seen; });
        --m_asleep;
    }
}

}  // namespace varnok
