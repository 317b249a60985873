#pragma once
// The threads that work for a run, a dry run or an undo. They sleep until
// there is work (no spinning): a queued task first, then whatever the pool's
// source offers. The thread that started the job works as well, so a job of
// N threads has a pool of N - 1; with none, a task runs on the caller.

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace varnok {

// The threads a job may keep busy, its own included: jobs, or one per core
// when jobs is 0.
unsigned JobThreads(unsigned jobs);

class TWorkerPool {
public:
    // What the workers do when no task is queued.
    class TSource {
    public:
        virtual ~TSource() = default;
        // Does one piece of work; false when there is none just now, in
        // which case the source calls Wake once there may be.
        virtual bool WorkOnce() = 0;
    };

    explicit TWorkerPool(TSource* source) : m_source(source) {}
    ~TWorkerPool() { Stop(); }
    TWorkerPool(const TWorkerPool&) = delete;
    TWorkerPool& operator=(const TWorkerPool&) = delete;

    // Starts the threads, with every signal blocked: signals go to the
    // thread that started the job. Once only.
    void Start(unsigned threads);
    // Does the tasks still queued, then ends the threads.
    void Stop();
    void Submit(std::function<void()> task);
    // The source may have work: sleepers look again. Costs no system call
    // while no worker sleeps.
    void Wake();

private:
    void Work();

    TSource* const m_source;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_tasks;
    bool m_quit = false;
    // A sleeper counts itself, then looks at the generation once more: who
    // makes work after that sees it asleep and wakes it.
    std::atomic<unsigned long> m_generation{0};
    std::atomic<int> m_asleep{0};
    std::atomic<unsigned> m_running{0};  // threads started and not yet ended
    std::vector<std::thread> m_threads;
};

}  // namespace varnok
