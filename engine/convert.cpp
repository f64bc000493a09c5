#include <engine/convert.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <system_error>

#include <engine/atomic_file.h>
#include <engine/document_loader.h>
#include <engine/encoding.h>
#include <engine/file_error.h>
#include <engine/output_writer.h>
#include <engine/unique_fd.h>

namespace tabrivo {

using namespace convert_step;

namespace {

class SilentReporter : public FailureReporter {
public:
    void showFailure(const FailureReport&) override {}
};

}  // namespace

AtomicFileSink::AtomicFileSink(std::string path, TargetStatus status)
    : m_path(std::move(path)), m_status(status) {}
AtomicFileSink::~AtomicFileSink() = default;

void AtomicFileSink::open() {
    m_file =
        std::make_unique<AtomicOutputFile>(m_path, AtomicOutputFile::Staging::Unnamed, m_status);
}

void AtomicFileSink::start(std::string_view piece) {
    open();
    m_file->write(piece);
}

void AtomicFileSink::append(std::string_view piece) {
    if (!m_file) {
        open();
    }
    m_file->write(piece);
}

void AtomicFileSink::commit() {
    if (m_file) {
        m_file->commit();
    }
}

namespace {

// A large file is read, and then parsed, through one buffer from end to end:
// in large pages it takes the system far fewer faults and address look-ups.
void preferLargePages(char* buffer, std::size_t size) {
#ifdef MADV_HUGEPAGE
    constexpr std::uintptr_t kLargePage = std::uintptr_t{2} << 20;
    const auto begin = reinterpret_cast<std::uintptr_t>(buffer);
    // The whole large pages inside the buffer, as offsets from its start.
    const std::uintptr_t first = ((begin + kLargePage - 1) & ~(kLargePage - 1)) - begin;
    const std::uintptr_t last = ((begin + size) & ~(kLargePage - 1)) - begin;
    if (last > first && last <= size) {
        // Only a hint: where it is refused, the small pages serve as before.
        ::madvise(buffer + first, last - first, MADV_HUGEPAGE);
    }
#else
    (void)buffer;
    (void)size;
#endif
}

}  // namespace

SourceText readSourceFile(const std::string& path) {
    const UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.get() < 0) {
        throwFileError(errno, "Cannot open the source file", path);
    }
    struct stat info {};
    if (::fstat(file.get(), &info) != 0) {
        throwFileError(errno, "Cannot read the source file", path);
    }
    if (S_ISDIR(info.st_mode)) {
        throwFileError(EISDIR, "Cannot read the source file, it is a folder:", path);
    }
    if (!S_ISREG(info.st_mode)) {
        throwFileError(EINVAL, "Cannot read the source file, it is not a regular file:", path);
    }
    // A large file is mapped: read through the page cache where it lies, it
    // needs no buffer of fresh memory the size of the file.
    constexpr std::size_t kMapFrom = std::size_t{2} << 20;
    if (static_cast<std::size_t>(info.st_size) >= kMapFrom) {
        if (std::optional<SourceText> mapped = SourceText::mapFile(file.get(), info, path)) {
            return std::move(*mapped);
        }
    }
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(info.st_size));
    preferLargePages(bytes.data(), bytes.capacity());
    bytes.resize(static_cast<std::size_t>(info.st_size));
    std::size_t filled = 0;
    auto readInto = [&](char* buffer, std::size_t size) {
        for (;;) {
            const ssize_t got = ::read(file.get(), buffer, size);
            if (got >= 0) {
                return static_cast<std::size_t>(got);
            }
            if (errno != EINTR) {
                throwFileError(errno, "Cannot read the source file", path);
            }
        }
    };
    for (;;) {
        if (filled == bytes.size()) {
            // The expected end: look for more through a small buffer, since
            // a file may grow while it is read.
            std::array<char, 4096> probe{};
            const std::size_t got = readInto(probe.data(), probe.size());
            if (got == 0) {
                break;
            }
            bytes.append(probe.data(), got);
            filled += got;
            continue;
        }
        const std::size_t got = readInto(bytes.data() + filled, bytes.size() - filled);
        if (got == 0) {
            break;
        }
        filled += got;
    }
    bytes.resize(filled);
    return SourceText(std::move(bytes));
}

std::unique_ptr<HtmlDocument> loadHtmlDocument(const std::string& path,
                                               const ParseOptions& options) {
    return HtmlDocument::parse(htmlFileBytesToUtf8(readSourceFile(path)), options);
}

std::string convertHtmlToText(std::string_view htmlBytes, const ParseOptions& options) {
    const std::unique_ptr<HtmlDocument> document =
        HtmlDocument::parse(htmlBytesToUtf8(htmlBytes), options);
    SilentReporter reporter;
    StepTrap trap(std::string(kConvertLocation), reporter);
    StringSink sink;
    writeTables(*document, sink, trap);
    return sink.take();
}

namespace {

void convertFile(const std::string& sourcePath, const std::string& outputPath, StepTrap& trap,
                 const YieldCallback& yield, DocumentLoader* loader, TargetStatus outputStatus) {
    trap.setSubject(sourcePath);
    std::unique_ptr<HtmlDocument> document;
    trap.run(kCreateDocument, [&] { document = std::make_unique<HtmlDocument>(); });
    bool loaded = false;
    if (yield) {
        std::unique_ptr<DocumentLoader> ownLoader;
        trap.run(kLoadDocument, [&] {
            if (loader == nullptr) {
                ownLoader = std::make_unique<DocumentLoader>();
                loader = ownLoader.get();
            }
            loader->start(sourcePath);
        });
        if (loader != nullptr) {
            while (
                trap.test(kWaitWhileLoading, [&] { return loader->readyState() == "loading"; })) {
                trap.run(kYield, [&] { yield(); });
                loader->waitFor(std::chrono::milliseconds(10));
            }
            loaded = trap.run(kLoadDocument, [&] { document = loader->take(); });
        }
    } else {
        // Nothing waits on this thread meanwhile: a large file's rows may be
        // read on another while the next are parsed.
        ParseOptions options;
        options.readRowsBehindFromRow = ParseOptions::kReadRowsBehindFromRow;
        loaded = trap.run(kLoadDocument, [&] { document = loadHtmlDocument(sourcePath, options); });
    }
    if (!loaded || !document) {
        return;  // reported; the earlier output stays as it was
    }
    AtomicFileSink sink(outputPath, outputStatus);
    if (writeTables(*document, sink, trap, yield)) {
        trap.run(kWriteClosing, [&] {
            document->throwIfSourceFileChanged();
            sink.commit();
        });
    }
}

}  // namespace

void ConvertVelquist(const std::string& sourcePath, const std::string& outputPath,
                     FailureReporter& reporter, const YieldCallback& yield, DocumentLoader* loader,
                     TargetStatus outputStatus) {
    StepTrap trap(std::string(kConvertLocation), reporter);
    try {
        convertFile(sourcePath, outputPath, trap, yield, loader, outputStatus);
    } catch (...) {
        // Whatever the steps leave out (the output file's name, say, when
        // memory runs out) fails the file as theirs do.
        trap.reportCurrentException(trap.currentLine());
    }
}

}  // namespace tabrivo
