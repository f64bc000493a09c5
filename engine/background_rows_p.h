#pragma once
// The rows of a large document's table read on a thread of their own, in the
// order they are handed over, while the document's next rows are parsed.

#include <engine/node_p.h>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace tabrivo::detail {

// Whether the process may run on more than one processor at once.
bool spareProcessorAvailable();

// Chooses, a stretch of rows at a time, whether rows are read on the other
// thread or on the parsing one, by how fast the text was parsed each way
// lately. The other thread helps only while it runs beside this one and the
// two pass memory between them cheaply; a busy machine, or a virtual one
// whose processors the host moves about, may not give that, and then reading
// there is slower than reading here.
class ReadingChoice {
public:
    // Whether the rows of the next stretch are read on the other thread.
    bool behind() const { return m_behind; }
    // How many rows the next stretch takes: a quarter for a try of the way
    // found slower, which costs what it loses.
    std::size_t stretchRows() const { return m_retrying ? kStretchRows / 4 : kStretchRows; }
    // Ends a stretch in which `bytes` of text were parsed in `seconds`, and
    // chooses for the next one. True when the choice changed.
    bool endStretch(double bytes, double seconds);

private:
    static constexpr std::size_t kStretchRows = 2048;

    // After so many stretches the way found slower is tried again, twice as
    // late after each try that finds it slower still. Reading behind gains
    // much when it gains: it is tried again sooner. The first stretch is not
    // measured; the third reads here.
    static constexpr unsigned kFirstRetry[2] = {16, 4};  // here, behind
    static constexpr unsigned kLatestRetry = 64;
    double m_rate[2] = {0, 0};  // bytes a second, here and behind; 0 until tried
    unsigned m_retryAfter[2] = {kFirstRetry[0], kFirstRetry[1]};
    unsigned m_stretches = 0;
    unsigned m_sinceRetry = 0;
    bool m_retrying = false;
    bool m_behind = true;
};

class BackgroundRowVisits {
public:
    // Reads one row; false stops the visits.
    using Visit = std::function<bool(const Node* row)>;

    BackgroundRowVisits();
    // Skips the visits not begun and waits for the one under way.
    ~BackgroundRowVisits();
    BackgroundRowVisits(const BackgroundRowVisits&) = delete;
    BackgroundRowVisits& operator=(const BackgroundRowVisits&) = delete;

    // Starts a run of visits; no visit of an earlier run may be under way.
    void begin(Visit visit);
    // Queues the row's visit. Rows go over a few dozen at a time, so that the
    // thread is woken once for many of them.
    void add(const Node* row);
    // How many of the rows added since begin() are done with: visited, or
    // skipped after a visit stopped. Their memory may go.
    std::size_t done() const { return m_done.load(std::memory_order_acquire); }
    // Whether a visit returned false or threw.
    bool stopped() const { return m_stopped.load(std::memory_order_acquire); }
    // Waits until every row added is done with.
    void waitIdle();
    // The same; then rethrows what a visit threw, or returns false when a
    // visit returned false.
    bool finish();

private:
    void serve();
    void handOver(std::unique_lock<std::mutex>& lock);

    // About a tenth of a millisecond of parsing per hand-over on typical
    // rows; at most this many rows wait to be read, so that slow reading
    // cannot make the parse hold the whole table.
    static constexpr std::size_t kBatch = 64;
    static constexpr std::size_t kMostWaiting = 1024;

    Visit m_visit;
    std::vector<const Node*> m_pending;  // added, not yet handed over
    std::mutex m_mutex;
    std::condition_variable m_work;      // the thread waits for rows
    std::condition_variable m_progress;  // the caller waits for visits
    std::vector<const Node*> m_queue;    // handed over, not yet taken by the thread
    std::size_t m_handedOver = 0;        // since begin()
    bool m_busy = false;                 // the thread is reading a batch
    bool m_callerWaits = false;
    bool m_quit = false;
    std::exception_ptr m_error;
    std::atomic<std::size_t> m_done{0};
    std::atomic<bool> m_stopped{false};
    std::atomic<bool> m_skip{false};
    std::thread m_thread;  // last: it starts once the rest is made
};

}  // namespace tabrivo::detail
