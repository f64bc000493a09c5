#pragma once
// Output files that are replaced atomically, and the piece-by-piece appender.

#include <string>
#include <string_view>

namespace tabrivo {

// What the writer of a result knows of the file already at its path.
enum class TargetStatus {
    Unknown,  // looked up before writing (a link is followed, the permissions kept)
    // A listing of its folder taken moments before held no such name: the
    // look-up is left out. Should the name appear meanwhile, what appeared is
    // replaced, as a file that appears during the writing is.
    KnownAbsent,
};

// Writes a file through a temporary file in the destination folder that takes
// the target's place on commit(), so a failure or a crash never leaves a
// half-written or emptied result. Writes are buffered. Every failure throws
// std::system_error naming the path and the reason. The destructor only cleans
// up: without a successful commit() the target is left exactly as it was.
//
// The temporary file is unnamed (O_TMPFILE) where the file system allows it,
// so a process killed while writing leaves nothing under any name; commit()
// links it in (linkat), under the target's name when there is no target yet,
// else under a temporary name renamed over the target at once. Where the file
// system refuses unnamed files, a named hidden temporary file is used instead.
class AtomicOutputFile {
public:
    enum class Staging {
        Unnamed,  // O_TMPFILE, falling back to Named where refused
        Named,    // a hidden ".tabrivo-....tmp" file beside the target
    };

    explicit AtomicOutputFile(std::string targetPath, Staging staging = Staging::Unnamed,
                              TargetStatus status = TargetStatus::Unknown);
    ~AtomicOutputFile();
    AtomicOutputFile(const AtomicOutputFile&) = delete;
    AtomicOutputFile& operator=(const AtomicOutputFile&) = delete;

    void write(std::string_view text);
    void commit();
    // Finishes the writing: the file is closed under a hidden temporary name
    // beside the target (registered like a named temporary file), its buffer
    // freed, and commit() only renames it into place. For many files put in
    // place together, so that they need no descriptor or buffer each meanwhile.
    void park();
    // Drops everything written so far; the target stays untouched.
    void discard() noexcept;

    const std::string& targetPath() const { return m_target; }

private:
    void flushBuffer();
    bool openUnnamed(const std::string& folder, const std::string& requested);
    void openNamed(const std::string& folder, const std::string& requested);
    // Under the target's name when `targetNameFirst` and there is no target
    // yet, else under a temporary name.
    void linkUnnamed(bool targetNameFirst);
    void renameTempOverTarget();

    std::string m_target;    // where the result goes (symbolic links resolved)
    std::string m_tempPath;  // the named temporary file beside it, if any
    std::string m_buffer;
    int m_fd = -1;
    bool m_unnamed = false;  // m_fd is an O_TMPFILE file with no name yet
    bool m_parked = false;   // closed under m_tempPath, waiting for commit()
};

// The folder that holds the file at `path` ("." for a bare name).
std::string folderOfFile(const std::string& path);
// The same as a view into `path` (or of a static "." or "/").
std::string_view folderOfFileView(std::string_view path);

// Removes the temporary files of every output still being written. Safe to
// call from a signal handler (it only unlinks), for a program ended by a signal.
void removeUnfinishedOutputs() noexcept;

// Puts one piece of text into a file: a mode below 2 starts the file afresh
// with the text (atomically), 2 or more appends it, creating a missing file.
// A missing folder, a folder in the file's place or no right to write throws
// std::system_error and leaves nothing behind.
void WriteTextFile(std::string_view text, const std::string& path, const int& mode);

}  // namespace tabrivo
