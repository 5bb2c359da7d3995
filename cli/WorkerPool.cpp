#include "cli/WorkerPool.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace {

struct Outcome {
    std::size_t index;
    PipelineResult result;
};

} // namespace

void runInPool(std::size_t count, int jobs, const PoolTasks& tasks) {
    // Finished items are handed to this thread to report.
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Outcome> outcomes;
    std::atomic<std::size_t> next{0};
    int running = static_cast<int>(std::min<std::size_t>(
        static_cast<std::size_t>(std::max(jobs, 1)), std::max<std::size_t>(count, 1)));
    const auto work = [&] {
        for (;;) {
            if (tasks.stopped())
                break;
            const std::size_t index = next.fetch_add(1);
            if (index >= count)
                break;
            PipelineResult result = tasks.work(index);
            const std::lock_guard lock(mutex);
            outcomes.push_back({index, std::move(result)});
            changed.notify_one();
        }
        const std::lock_guard lock(mutex);
        --running;
        changed.notify_one();
    };
    std::vector<std::thread> workers;
    workers.reserve(static_cast<std::size_t>(running));
    for (int i = running; i > 0; --i)
        workers.emplace_back(work);

    std::unique_lock lock(mutex);
    for (;;) {
        // Wakes for each item done, and now and then so the caller can show
        // time passing and an interruption is seen.
        changed.wait_for(lock, std::chrono::milliseconds(250),
                         [&] { return !outcomes.empty() || running == 0; });
        while (!outcomes.empty()) {
            const Outcome outcome = std::move(outcomes.front());
            outcomes.pop_front();
            lock.unlock();
            tasks.finished(outcome.index, outcome.result);
            lock.lock();
        }
        if (running == 0)
            break;
        lock.unlock();
        tasks.waiting();
        lock.lock();
    }
    lock.unlock();
    for (std::thread& worker : workers)
        worker.join();
}
