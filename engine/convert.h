#pragma once
// The conversion of one HTML file into its output text file.

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include <engine/atomic_file.h>
#include <engine/error_trap.h>
#include <engine/html_document.h>
#include <engine/output_writer.h>

namespace tabrivo {

inline constexpr std::string_view kConvertLocation = "Velquist2021/08/31.modJSON.ConvertVelquist";

// Writes pieces to an output file that replaces the target only when complete.
class AtomicFileSink : public PieceSink {
public:
    explicit AtomicFileSink(std::string path, TargetStatus status = TargetStatus::Unknown);
    ~AtomicFileSink() override;
    AtomicFileSink(const AtomicFileSink&) = delete;
    AtomicFileSink& operator=(const AtomicFileSink&) = delete;
    void start(std::string_view piece) override;
    void append(std::string_view piece) override;
    // Puts the written file in the target's place (nothing was written: nothing happens).
    void commit();

private:
    void open();  // a new output file, in place of any earlier one

    std::string m_path;
    TargetStatus m_status;
    std::unique_ptr<AtomicOutputFile> m_file;
};

// Reads a source file whole; a large one is mapped rather than read (see
// SourceText). Throws std::system_error naming the path and the reason;
// refuses folders, devices and pipes, which have no end to read to.
SourceText readSourceFile(const std::string& path);

// Reads, decodes and parses one file. Throws like readSourceFile.
std::unique_ptr<HtmlDocument> loadHtmlDocument(const std::string& path,
                                               const ParseOptions& options = {});

// The whole conversion of HTML bytes to the output text, in memory.
std::string convertHtmlToText(std::string_view htmlBytes, const ParseOptions& options = {});

class DocumentLoader;

// Converts one HTML file into the output file. Every failure is shown through
// `reporter` with its step number and never reaches the caller. A source that
// cannot be loaded or an output that cannot be written leaves the earlier
// output file, if any, untouched. With `yield` the document loads on another
// thread (the given loader's, or one started for this call) while `yield` runs.
// `outputStatus` is what the caller knows of a file at `outputPath`.
// NOLINTNEXTLINE(readability-identifier-naming): the conversion's established name
void ConvertVelquist(const std::string& sourcePath, const std::string& outputPath,
                     FailureReporter& reporter, const YieldCallback& yield = {},
                     DocumentLoader* loader = nullptr,
                     TargetStatus outputStatus = TargetStatus::Unknown);

}  // namespace tabrivo
