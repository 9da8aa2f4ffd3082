// SPDX-License-Identifier: BSD-3-Clause
// The library's worker threads: splits a loop over rows (or any index range) among several threads.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace corvid2::img {

/// Most threads one operation may use.
constexpr unsigned kMaxThreads = 64;

/// Threads an operation uses when nothing else says: the hardware's, within 1 to kMaxThreads.
unsigned defaultConcurrency();
/// Changes that default for this process (benchmarks and tests); 0 restores the hardware's.
void setDefaultConcurrency(unsigned threads);

/// A pool of worker threads shared by every operation of the process. Workers start on first use and stop with
/// stop() (DeinitLib) or when the library is unloaded; a stopped pool starts again when used.
class CThreadPool {
public:
    static CThreadPool& instance();
    ~CThreadPool();

    /// Calls body(begin, end) for consecutive parts of [0, count) on up to `threads` threads (the caller is one of
    /// them) and returns when every part is done. Parts hold at least minPerPart indices, so that small work stays
    /// on the calling thread. An exception thrown by a part is rethrown here after all parts ended.
    void parallelFor(size_t count, unsigned threads, size_t minPerPart,
                     const std::function<void(size_t, size_t)>& body);
    /// Joins the workers; parallelFor may be called again afterwards.
    void stop();

private:
    struct Job;
    CThreadPool() = default;
    void ensureWorkers(size_t helpers);
    void workerLoop(uint64_t generation);
    static void work(Job& job);

    std::mutex mutex_;  // guards everything below; never held while a part runs
    std::condition_variable wake_;
    std::deque<std::shared_ptr<Job>> queue_;
    std::vector<std::thread> workers_;
    uint64_t generation_ = 0;  // changed by stop(): workers of an older generation leave
};

/// parallelFor on the shared pool.
inline void parallelFor(size_t count, unsigned threads, size_t minPerPart,
                        const std::function<void(size_t, size_t)>& body) {
    CThreadPool::instance().parallelFor(count, threads, minPerPart, body);
}

}  // namespace corvid2::img
