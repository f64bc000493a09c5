#pragma once
// The text of a document: a string of its own, or a large file mapped into
// memory where it lies. A mapped file is read with no copy and no fresh memory
// to clear (for a file of 100 MB, from a few percent to a quarter of its
// conversion, as the machine has memory at hand or must find it); the price is
// that another program may change or cut short the file while it is read,
// which the mapping notices and reports instead of failing on it (see
// SourceFileCheck).

#include <cstddef>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

struct stat;

namespace tabrivo {

class MappedFile;
struct FileWatch;

// The file a text was mapped from changed while it was read. The message says
// so in plain words and names the file (no system error stands behind it).
class SourceChangedError : public std::runtime_error {
public:
    explicit SourceChangedError(const std::string& path);
};

// Tells whether the file a text was mapped from changed while it was read.
class SourceFileCheck {
public:
    // Throws SourceChangedError when the mapped file changed or was cut short
    // after it was mapped (the cut part reads as zeros, never as a fault):
    // what was read from it may be a mix of two versions. A change is told by
    // the file's size and modification time, so one that leaves both as they
    // were (within a step of the file system's clock) goes unseen. Nothing for
    // a text that was not mapped.
    void throwIfChanged() const;

private:
    friend class SourceText;
    std::shared_ptr<const FileWatch> m_watch;
};

class SourceText {
public:
    SourceText() noexcept;
    // A text of its own (the bytes of a small file, a decoded text, a test's);
    // not explicit, so that a string is given wherever a text is asked for.
    SourceText(std::string text) noexcept;
    SourceText(const char* text) : SourceText(std::string(text)) {}
    SourceText(SourceText&& other) noexcept;
    SourceText& operator=(SourceText&& other) noexcept;
    SourceText(const SourceText&) = delete;
    SourceText& operator=(const SourceText&) = delete;
    ~SourceText();

    // The open regular file as `info` (its fstat) describes it, mapped
    // privately: what this process writes into it stays its own. Nothing when
    // the system cannot map it (the file is then read as usual). `path` names
    // the file in the error a change to it gives.
    static std::optional<SourceText> mapFile(int descriptor, const struct stat& info,
                                             const std::string& path);

    std::string_view view() const { return {data(), m_size}; }
    const char* data() const;
    // Writable in place, a mapped file's pages included (as copies of their own).
    char* data();
    std::size_t size() const { return m_size; }
    bool isMapped() const { return m_file != nullptr; }
    void removePrefix(std::size_t count);
    // Keeps the first `size` bytes; never grows the text.
    void shrinkTo(std::size_t size);
    // The text as a string of its own (a mapped file's bytes are copied).
    std::string toString() &&;

    // The check of the file this text was read from; a text decoded from
    // another's bytes is given the other's (answerForFileOf).
    SourceFileCheck fileCheck() const;
    void answerForFileOf(const SourceText& bytes) { m_watch = bytes.m_watch; }

private:
    std::string m_own;
    std::unique_ptr<MappedFile> m_file;
    // What tells a change of the file; shared with texts decoded from this one.
    std::shared_ptr<const FileWatch> m_watch;
    std::size_t m_offset = 0;  // into m_own or the mapping
    std::size_t m_size = 0;
};

}  // namespace tabrivo
