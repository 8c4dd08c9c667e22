#include "foundation/parallel_for.h"

#include <QThreadPool>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

int DefaultWorkerCount()
{
    return int(std::clamp(std::thread::hardware_concurrency(), 1u, 64u));
}

void ParallelFor(qsizetype count, int workers,
                 const std::function<void(qsizetype job, int worker)> &work)
{
    if (count <= 0)
        return;
    workers = int(std::clamp<qsizetype>(workers, 1, count));

    std::atomic<qsizetype> next{0};
    std::atomic<bool> stop{false};
    std::mutex lock;
    std::condition_variable ended;
    int running = 0; // helpers started and not finished, under `lock`
    qsizetype failedJob = count;
    std::exception_ptr failure;

    const auto run = [&](int worker) {
        while (!stop.load(std::memory_order_relaxed)) {
            const qsizetype job = next.fetch_add(1);
            if (job >= count)
                return;
            try {
                work(job, worker);
            } catch (...) {
                const std::lock_guard guard(lock);
                if (job < failedJob) {
                    failedJob = job;
                    failure = std::current_exception();
                }
                stop.store(true);
            }
        }
    };

    QThreadPool *pool = QThreadPool::globalInstance();
    for (int worker = 1; worker < workers; ++worker) {
        {
            const std::lock_guard guard(lock);
            ++running;
        }
        const bool started = pool->tryStart([&, worker] {
            run(worker);
            const std::lock_guard guard(lock);
            if (--running == 0)
                ended.notify_all();
        });
        if (!started) {
            const std::lock_guard guard(lock);
            --running;
            break; // the pool is busy: fewer workers share the jobs
        }
    }
    run(0);
    {
        std::unique_lock guard(lock);
        ended.wait(guard, [&] { return running == 0; });
    }
    if (failure)
        std::rethrow_exception(failure);
}
