#include <engine/background_rows_p.h>

#include <algorithm>
#include <utility>

#if defined(__linux__)
#include <sched.h>
#endif

namespace tabrivo::detail {

bool spareProcessorAvailable() {
#if defined(__linux__)
    // The processors this process may run on, which taskset or a container
    // may limit below those the machine has.
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    if (sched_getaffinity(0, sizeof(allowed), &allowed) == 0) {
        return CPU_COUNT(&allowed) > 1;
    }
#endif
    return std::thread::hardware_concurrency() > 1;
}

bool ReadingChoice::endStretch(double bytes, double seconds) {
    const int way = m_behind ? 1 : 0;
    // The first stretch starts the thread and fills its caches: not a measure.
    if (m_stretches > 0 && seconds > 0) {
        m_rate[way] = bytes / seconds;
    }
    ++m_stretches;
    const int faster = m_rate[1] >= m_rate[0] ? 1 : 0;
    if (m_retrying) {
        // The way found slower was tried again: if it still is, it waits
        // twice as long for its next try.
        m_retryAfter[way] =
            faster == way ? kFirstRetry[way] : std::min(2 * m_retryAfter[way], kLatestRetry);
        m_retrying = false;
        m_sinceRetry = 0;
    } else {
        ++m_sinceRetry;
    }
    const int slower = 1 - faster;
    m_retrying = m_stretches == 2 || m_sinceRetry >= m_retryAfter[slower];
    const bool next = (m_retrying ? slower : faster) == 1;
    const bool changed = next != m_behind;
    if (changed && !m_retrying) {
        m_sinceRetry = 0;
    }
    m_behind = next;
    return changed;
}

BackgroundRowVisits::BackgroundRowVisits() : m_thread([this] { serve(); }) {}

BackgroundRowVisits::~BackgroundRowVisits() {
    m_skip.store(true, std::memory_order_relaxed);
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_work.notify_one();
    m_thread.join();
}

void BackgroundRowVisits::begin(Visit visit) {
    m_visit = std::move(visit);
    m_pending.clear();
    std::lock_guard lock(m_mutex);
    m_handedOver = 0;
    m_error = nullptr;
    m_done.store(0, std::memory_order_relaxed);
    m_stopped.store(false, std::memory_order_relaxed);
    m_skip.store(false, std::memory_order_relaxed);
}

void BackgroundRowVisits::add(const Node* row) {
    m_pending.push_back(row);
    if (m_pending.size() >= kBatch) {
        std::unique_lock lock(m_mutex);
        handOver(lock);
    }
}

void BackgroundRowVisits::handOver(std::unique_lock<std::mutex>& lock) {
    m_callerWaits = true;
    m_progress.wait(lock, [this] {
        return m_handedOver - done() + m_pending.size() <= kMostWaiting || stopped();
    });
    m_callerWaits = false;
    const bool idle = m_queue.empty() && !m_busy;
    m_queue.insert(m_queue.end(), m_pending.begin(), m_pending.end());
    m_handedOver += m_pending.size();
    m_pending.clear();
    if (idle) {
        m_work.notify_one();
    }
}

void BackgroundRowVisits::waitIdle() {
    std::unique_lock lock(m_mutex);
    if (!m_pending.empty()) {
        handOver(lock);
    }
    m_callerWaits = true;
    m_progress.wait(lock, [this] { return done() == m_handedOver && !m_busy; });
    m_callerWaits = false;
}

bool BackgroundRowVisits::finish() {
    waitIdle();
    std::lock_guard lock(m_mutex);
    if (m_error) {
        std::rethrow_exception(std::exchange(m_error, nullptr));
    }
    return !stopped();
}

void BackgroundRowVisits::serve() {
    std::vector<const Node*> batch;
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_work.wait(lock, [this] { return m_quit || !m_queue.empty(); });
        if (m_queue.empty()) {
            return;
        }
        batch.swap(m_queue);
        m_busy = true;
        lock.unlock();
        for (const Node* row : batch) {
            if (stopped() || m_skip.load(std::memory_order_relaxed)) {
                break;
            }
            try {
                if (!m_visit(row)) {
                    m_stopped.store(true, std::memory_order_release);
                }
            } catch (...) {
                m_error = std::current_exception();  // read under the lock, once done
                m_stopped.store(true, std::memory_order_release);
            }
        }
        // Once per batch: the parsing thread reads the count for every row.
        m_done.fetch_add(batch.size(), std::memory_order_release);
        batch.clear();
        lock.lock();
        m_busy = false;
        if (m_callerWaits) {
            m_progress.notify_one();
        }
    }
}

}  // namespace tabrivo::detail
