#include <engine/convert.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <system_error>

#include <engine/atomic_file.h>
#include <engine/document_loader.h>
#include <engine/encoding.h>

namespace tabrivo {
namespace {

constexpr std::uint64_t kOutputLimit = std::uint64_t{4} * 1024 * 1024 * 1024;

[[noreturn]] void throwSourceError(int error, const std::string& what, const std::string& path) {
    throw std::system_error(error, std::generic_category(), what + " \"" + path + "\"");
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

// Collects pieces in memory.
class StringSink : public PieceSink {
public:
    void write(std::string_view piece, int mode) override {
        if (mode < 2) {
            m_text.clear();
        }
        m_text.append(piece);
    }
    std::string take() { return std::move(m_text); }

private:
    std::string m_text;
};

// Writes pieces to an output file that replaces the target only when complete.
class AtomicFileSink : public PieceSink {
public:
    explicit AtomicFileSink(std::string path) : m_path(std::move(path)) {}
    void write(std::string_view piece, int mode) override {
        if (mode < 2 || !m_file) {
            m_file = std::make_unique<AtomicOutputFile>(m_path);
        }
        m_file->write(piece);
    }
    void commit() {
        if (m_file) {
            m_file->commit();
        }
    }

private:
    std::string m_path;
    std::unique_ptr<AtomicOutputFile> m_file;
};

class SilentReporter : public FailureReporter {
public:
    void showFailure(const FailureReport&) override {}
};

}  // namespace

std::string readSourceFile(const std::string& path) {
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.get() < 0) {
        throwSourceError(errno, "Cannot open the source file", path);
    }
    struct stat info {};
    if (::fstat(file.get(), &info) != 0) {
        throwSourceError(errno, "Cannot read the source file", path);
    }
    if (S_ISDIR(info.st_mode)) {
        throwSourceError(EISDIR, "Cannot read the source file, it is a folder:", path);
    }
    if (!S_ISREG(info.st_mode)) {
        throwSourceError(EINVAL, "Cannot read the source file, it is not a regular file:", path);
    }
    std::string bytes;
    bytes.resize(static_cast<std::size_t>(info.st_size));
    std::size_t filled = 0;
    auto readInto = [&](char* buffer, std::size_t size) {
        for (;;) {
            const ssize_t got = ::read(file.get(), buffer, size);
            if (got >= 0) {
                return static_cast<std::size_t>(got);
            }
            if (errno != EINTR) {
                throwSourceError(errno, "Cannot read the source file", path);
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
    return bytes;
}

std::unique_ptr<HtmlDocument> loadHtmlDocument(const std::string& path) {
    return HtmlDocument::parse(htmlFileBytesToUtf8(readSourceFile(path)));
}

bool writeTables(const HtmlDocument& document, PieceSink& sink, StepTrap& trap,
                 const YieldCallback& yield) {
    constexpr auto kYieldEvery = std::chrono::milliseconds(15);
    auto lastYield = std::chrono::steady_clock::now();
    unsigned rowsSinceCheck = 0;
    if (!trap.run(108, [&] { sink.write("{\r\n", 1); })) {
        return false;
    }
    std::string rowText;
    std::uint64_t written = 0;
    const bool finished = document.forEachTable([&](ElementRef table) {
        // The cells of the first row before its last one are followed by ", ";
        // a table without rows has no first row and adds nothing.
        long lastSeparated = -1;
        bool firstRow = true;
        return document.forEachRow(table, [&](ElementRef row) {
            if (yield && ++rowsSinceCheck == 256) {
                rowsSinceCheck = 0;
                const auto now = std::chrono::steady_clock::now();
                if (now - lastYield >= kYieldEvery) {
                    yield();
                    lastYield = now;
                }
            }
            const std::vector<ElementRef> cells = document.cells(row);
            if (firstRow) {
                lastSeparated = static_cast<long>(cells.size()) - 1;
                firstRow = false;
            }
            if (!trap.run(130, [&] { sink.write("\t{\r\n", 2); })) {
                return false;
            }
            rowText.clear();
            long cellIndex = 0;
            for (const ElementRef& cell : cells) {
                rowText.append("\t\"");
                document.appendCellText(cell, rowText, "\r\n");
                rowText.append(cellIndex < lastSeparated ? "\", \r\n" : "\"\r\n");
                ++cellIndex;
            }
            written += rowText.size();
            return trap.run(144, [&] {
                // Nested tables repeat their text in every cell around them,
                // so a small hostile file could ask for an endless result.
                if (written > kOutputLimit) {
                    throw std::length_error(
                        "The result would be larger than 4 GiB (tables nested "
                        "too deeply or too large); nothing is written");
                }
                sink.write(rowText, 2);
            }) && trap.run(146, [&] { sink.write("\t}\r\n", 2); });
        });
    });
    if (!finished) {
        return false;
    }
    return trap.run(152, [&] { sink.write("}", 2); });
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

void ConvertVelquist(const std::string& sourcePath, const std::string& outputPath,
                     FailureReporter& reporter, const YieldCallback& yield,
                     DocumentLoader* loader) {
    StepTrap trap(std::string(kConvertLocation), reporter);
    std::unique_ptr<HtmlDocument> document;
    trap.run(100, [&] { document = std::make_unique<HtmlDocument>(); });
    bool loaded = false;
    if (yield) {
        std::unique_ptr<DocumentLoader> ownLoader;
        trap.run(102, [&] {
            if (loader == nullptr) {
                ownLoader = std::make_unique<DocumentLoader>();
                loader = ownLoader.get();
            }
            loader->start(sourcePath);
        });
        if (loader != nullptr) {
            while (trap.test(104, [&] { return loader->readyState() == "loading"; })) {
                trap.run(106, [&] { yield(); });
                loader->waitFor(std::chrono::milliseconds(10));
            }
            loaded = trap.run(102, [&] { document = loader->take(); });
        }
    } else {
        loaded = trap.run(102, [&] { document = loadHtmlDocument(sourcePath); });
    }
    if (!loaded || !document) {
        return;  // reported; the earlier output stays as it was
    }
    AtomicFileSink sink(outputPath);
    if (writeTables(*document, sink, trap, yield)) {
        trap.run(152, [&] { sink.commit(); });
    }
}

}  // namespace tabrivo
