#include <engine/source_text.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <utility>

#include <engine/unique_fd.h>

namespace tabrivo {

// The mapped file as it was when mapped, and whether a page of it was found
// cut off while it was read.
struct FileWatch {
    std::string path;
    UniqueFd file;  // its own descriptor: the path may come to name another file
    struct stat mapped {};
    std::atomic<bool> cutShort{false};
};

namespace {

// A page of a mapped file that another program cut short faults (SIGBUS)
// when it is read. The handler maps zeros in place of the rest of the file
// and marks it, and the read goes on; the change is reported once the
// conversion is done with the text. A signal handler reaches only what is
// global: the mapped sources are listed in a fixed table of the process,
// each entry guarded by a sequence number that is odd while it changes.
struct GuardedRange {
    std::atomic<bool> taken{false};
    std::atomic<unsigned> sequence{0};
    std::atomic<std::uintptr_t> begin{0};
    std::atomic<std::uintptr_t> end{0};
    std::atomic<std::atomic<bool>*> cutShort{nullptr};
};
// What the handler reads and writes must not take a lock.
static_assert(std::atomic<std::uintptr_t>::is_always_lock_free &&
              std::atomic<unsigned>::is_always_lock_free &&
              std::atomic<std::atomic<bool>*>::is_always_lock_free &&
              std::atomic<bool>::is_always_lock_free);

// Beyond this many files mapped at once, files are read instead.
constexpr std::size_t kGuardedRanges = 64;
std::array<GuardedRange, kGuardedRanges> g_guarded;
struct sigaction g_earlierBusAction {};
std::uintptr_t g_pageSize = 4096;

void onBusError(int signal, siginfo_t* info, void* context) {
    const auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
    for (GuardedRange& range : g_guarded) {
        const unsigned before = range.sequence.load(std::memory_order_acquire);
        const std::uintptr_t begin = range.begin.load(std::memory_order_relaxed);
        const std::uintptr_t end = range.end.load(std::memory_order_relaxed);
        std::atomic<bool>* cutShort = range.cutShort.load(std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_acquire);
        if ((before & 1U) != 0 || before != range.sequence.load(std::memory_order_relaxed) ||
            begin == 0 || address < begin || address >= end) {
            continue;
        }
        // The faulting page's start, as a pointer into the mapping.
        char* const page = static_cast<char*>(info->si_addr) - (address & (g_pageSize - 1));
        void* zeros = ::mmap(page, end - (address & ~(g_pageSize - 1)), PROT_READ | PROT_WRITE,
                             MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
        if (zeros != MAP_FAILED) {
            cutShort->store(true, std::memory_order_relaxed);
            return;  // the read is made again, of zeros
        }
    }
    // Not a mapped source's page: what would have happened without this handler.
    if ((g_earlierBusAction.sa_flags & SA_SIGINFO) != 0) {
        if (g_earlierBusAction.sa_sigaction != nullptr) {
            g_earlierBusAction.sa_sigaction(signal, info, context);
            return;
        }
    } else if (g_earlierBusAction.sa_handler != SIG_DFL &&
               g_earlierBusAction.sa_handler != SIG_IGN) {
        g_earlierBusAction.sa_handler(signal);
        return;
    }
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    ::sigaction(SIGBUS, &fallback, nullptr);  // the read faults again and ends the process
}

bool installBusHandler() {
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    if (pageSize > 0) {
        g_pageSize = static_cast<std::uintptr_t>(pageSize);
    }
    struct sigaction action {};
    action.sa_sigaction = onBusError;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESTART;
    sigemptyset(&action.sa_mask);
    return ::sigaction(SIGBUS, &action, &g_earlierBusAction) == 0;
}

// Whether a page of a mapped file cut short reads as zeros: the handler is in
// place (installed once, and not replaced since by someone else's).
bool busErrorsHandled() {
    static const bool installed = installBusHandler();
    struct sigaction current {};
    return installed && ::sigaction(SIGBUS, nullptr, &current) == 0 &&
           (current.sa_flags & SA_SIGINFO) != 0 && current.sa_sigaction == onBusError;
}

GuardedRange* guardRange(std::uintptr_t begin, std::uintptr_t end, std::atomic<bool>* cutShort) {
    for (GuardedRange& range : g_guarded) {
        if (range.taken.exchange(true, std::memory_order_acquire)) {
            continue;
        }
        range.sequence.fetch_add(1, std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_release);
        range.begin.store(begin, std::memory_order_relaxed);
        range.end.store(end, std::memory_order_relaxed);
        range.cutShort.store(cutShort, std::memory_order_relaxed);
        range.sequence.fetch_add(1, std::memory_order_release);
        return &range;
    }
    return nullptr;
}

void unguardRange(GuardedRange& range) {
    range.sequence.fetch_add(1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    range.begin.store(0, std::memory_order_relaxed);
    range.end.store(0, std::memory_order_relaxed);
    range.cutShort.store(nullptr, std::memory_order_relaxed);
    range.sequence.fetch_add(1, std::memory_order_release);
    range.taken.store(false, std::memory_order_release);
}

bool sameTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

}  // namespace

class MappedFile {
public:
    MappedFile(void* address, std::size_t length, GuardedRange& range)
        : m_address(static_cast<char*>(address)), m_length(length), m_range(range) {}
    ~MappedFile() {
        unguardRange(m_range);
        ::munmap(m_address, m_length);
    }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    char* address() const { return m_address; }

private:
    char* m_address;
    std::size_t m_length;
    GuardedRange& m_range;
};

SourceChangedError::SourceChangedError(const std::string& path)
    : std::runtime_error(
          "Cannot read the source file, another program changed it while it was read: \"" + path +
          "\"") {}

void SourceFileCheck::throwIfChanged() const {
    if (m_watch == nullptr) {
        return;
    }
    struct stat now {};
    const bool changed = m_watch->cutShort.load(std::memory_order_relaxed) ||
                         ::fstat(m_watch->file.get(), &now) != 0 ||
                         now.st_size != m_watch->mapped.st_size ||
                         !sameTime(now.st_mtim, m_watch->mapped.st_mtim);
    if (changed) {
        throw SourceChangedError(m_watch->path);
    }
}

SourceText::SourceText() noexcept = default;

SourceText::SourceText(std::string text) noexcept : m_own(std::move(text)), m_size(m_own.size()) {}

SourceText::SourceText(SourceText&& other) noexcept
    : m_own(std::move(other.m_own)),
      m_file(std::move(other.m_file)),
      m_watch(std::move(other.m_watch)),
      m_offset(std::exchange(other.m_offset, 0)),
      m_size(std::exchange(other.m_size, 0)) {
    other.m_own.clear();
}

SourceText& SourceText::operator=(SourceText&& other) noexcept {
    if (this != &other) {
        m_own = std::move(other.m_own);
        other.m_own.clear();
        m_file = std::move(other.m_file);
        m_watch = std::move(other.m_watch);
        m_offset = std::exchange(other.m_offset, 0);
        m_size = std::exchange(other.m_size, 0);
    }
    return *this;
}

SourceText::~SourceText() = default;

std::optional<SourceText> SourceText::mapFile(int descriptor, const struct stat& info,
                                              const std::string& path) {
    const auto size = static_cast<std::size_t>(info.st_size);
    if (size == 0 || !busErrorsHandled()) {
        return std::nullopt;
    }
    auto watch = std::make_shared<FileWatch>();
    watch->path = path;
    watch->mapped = info;
    watch->file = UniqueFd(::fcntl(descriptor, F_DUPFD_CLOEXEC, 0));
    if (!watch->file.valid()) {
        return std::nullopt;
    }
    // Private and writable: normalising line breaks writes into the text,
    // and the pages written become copies of this process's own.
    void* address = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE, descriptor, 0);
    if (address == MAP_FAILED) {
        return std::nullopt;
    }
    const auto begin = reinterpret_cast<std::uintptr_t>(address);
    const std::size_t length = (size + g_pageSize - 1) & ~(g_pageSize - 1);
    GuardedRange* range = guardRange(begin, begin + length, &watch->cutShort);
    if (range == nullptr) {
        ::munmap(address, size);
        return std::nullopt;
    }
    SourceText text;
    text.m_file = std::make_unique<MappedFile>(address, length, *range);
    text.m_watch = std::move(watch);
    text.m_size = size;
    return text;
}

const char* SourceText::data() const {
    return (m_file != nullptr ? m_file->address() : m_own.data()) + m_offset;
}

char* SourceText::data() {
    return (m_file != nullptr ? m_file->address() : m_own.data()) + m_offset;
}

void SourceText::removePrefix(std::size_t count) {
    count = std::min(count, m_size);
    m_offset += count;
    m_size -= count;
}

void SourceText::shrinkTo(std::size_t size) {
    m_size = std::min(size, m_size);
}

std::string SourceText::toString() && {
    if (m_file == nullptr && m_offset == 0) {
        m_own.resize(m_size);
        std::string text = std::move(m_own);
        m_own.clear();
        m_size = 0;
        return text;
    }
    return std::string(view());
}

SourceFileCheck SourceText::fileCheck() const {
    SourceFileCheck check;
    check.m_watch = m_watch;
    return check;
}

}  // namespace tabrivo
