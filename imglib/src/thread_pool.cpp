// SPDX-License-Identifier: BSD-3-Clause
// Worker threads that share a job's parts with the calling thread.
#include "thread_pool.h"

#include <algorithm>
#include <atomic>
#include <exception>

namespace corvid2::img {

namespace {
std::atomic<unsigned> gDefaultOverride{0};
}

unsigned defaultConcurrency() {
    const unsigned forced = gDefaultOverride.load(std::memory_order_relaxed);
    if (forced != 0) return forced;
    const unsigned hardware = std::thread::hardware_concurrency();
    return std::clamp(hardware, 1u, kMaxThreads);
}

void setDefaultConcurrency(unsigned threads) {
    gDefaultOverride.store(std::min(threads, kMaxThreads), std::memory_order_relaxed);
}

/// One parallelFor call. Parts are taken by whoever comes first, so a worker that wakes late finds nothing left
/// and a busy machine does not leave the caller waiting for a part that no thread has started.
struct CThreadPool::Job {
    const std::function<void(size_t, size_t)>* body = nullptr;
    size_t count = 0;
    size_t parts = 0;
    std::atomic<size_t> next{0};
    std::mutex mutex;  // guards done and error
    std::condition_variable finished;
    size_t done = 0;
    std::exception_ptr error;
};

CThreadPool& CThreadPool::instance() {
    // Destroyed when the library is unloaded, which joins the workers before their code goes away.
    static CThreadPool pool;
    return pool;
}

CThreadPool::~CThreadPool() { stop(); }

void CThreadPool::work(Job& job) {
    for (;;) {
        const size_t part = job.next.fetch_add(1);
        if (part >= job.parts) return;
        const size_t begin = job.count * part / job.parts;
        const size_t end = job.count * (part + 1) / job.parts;
        std::exception_ptr error;
        try {
            (*job.body)(begin, end);
        } catch (...) {
            error = std::current_exception();
        }
        std::lock_guard<std::mutex> lock(job.mutex);
        if (error && !job.error) job.error = error;
        if (++job.done == job.parts) job.finished.notify_all();
    }
}

void CThreadPool::parallelFor(size_t count, unsigned threads, size_t minPerPart,
                              const std::function<void(size_t, size_t)>& body) {
    if (count == 0) return;
    const size_t most = std::max<size_t>(1, count / std::max<size_t>(1, minPerPart));
    const size_t helpers = std::min<size_t>(std::clamp(threads, 1u, kMaxThreads), most) - 1;
    if (helpers == 0) {
        body(0, count);
        return;
    }
    auto job = std::make_shared<Job>();
    job->body = &body;
    job->count = count;
    // A few parts per thread even out threads that the machine runs at different speeds.
    job->parts = std::min(most, (helpers + 1) * 4);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ensureWorkers(helpers);
        for (size_t i = 0; i < helpers; ++i) queue_.push_back(job);
    }
    wake_.notify_all();
    work(*job);
    std::unique_lock<std::mutex> lock(job->mutex);
    job->finished.wait(lock, [&] { return job->done == job->parts; });
    if (job->error) std::rethrow_exception(job->error);
}

void CThreadPool::ensureWorkers(size_t helpers) {
    const uint64_t generation = generation_;
    while (workers_.size() < helpers) workers_.emplace_back([this, generation] { workerLoop(generation); });
}

// A worker may leave with jobs still queued: every caller works through its own job's parts, so no part waits
// for a worker.
void CThreadPool::workerLoop(uint64_t generation) {
    for (;;) {
        std::shared_ptr<Job> job;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [&] { return generation_ != generation || !queue_.empty(); });
            if (generation_ != generation) return;
            job = std::move(queue_.front());
            queue_.pop_front();
        }
        work(*job);
    }
}

void CThreadPool::stop() {
    std::vector<std::thread> workers;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++generation_;
        queue_.clear();
        workers.swap(workers_);
    }
    wake_.notify_all();
    for (std::thread& worker : workers) worker.join();
}

}  // namespace corvid2::img
