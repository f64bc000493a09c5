#pragma once
// Output files that are replaced atomically, and the piece-by-piece appender.

#include <string>
#include <string_view>

namespace tabrivo {

// Writes a file through a temporary file in the destination folder and renames
// it over the target on commit(), so a failure or a crash never leaves a
// half-written or emptied result. Writes are buffered. Every failure throws
// std::system_error naming the path and the reason. The destructor only cleans
// up: without a successful commit() the target is left exactly as it was.
class AtomicOutputFile {
public:
    explicit AtomicOutputFile(std::string targetPath);
    ~AtomicOutputFile();
    AtomicOutputFile(const AtomicOutputFile&) = delete;
    AtomicOutputFile& operator=(const AtomicOutputFile&) = delete;

    void write(std::string_view text);
    void commit();
    // Drops everything written so far; the target stays untouched.
    void discard() noexcept;

    const std::string& targetPath() const { return m_target; }

private:
    void flushBuffer();

    std::string m_target;    // where the result goes (symbolic links resolved)
    std::string m_tempPath;  // the temporary file beside it
    std::string m_buffer;
    int m_fd = -1;
};

// Removes the temporary files of every output still being written. Safe to
// call from a signal handler (it only unlinks), for a program ended by a signal.
void removeUnfinishedOutputs() noexcept;

// Puts one piece of text into a file: a mode below 2 starts the file afresh
// with the text (atomically), 2 or more appends it, creating a missing file.
// A missing folder, a folder in the file's place or no right to write throws
// std::system_error and leaves nothing behind.
void WriteTextFile(std::string_view text, const std::string& path, const int& mode);

}  // namespace tabrivo
