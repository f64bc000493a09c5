#pragma once
// The output writer: the tables of a parsed document as the output text,
// piece by piece, into a sink.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include <engine/error_trap.h>
#include <engine/html_document.h>

namespace tabrivo {

// Lets the caller's event loop run during long work (the window passes its
// event processing; a batch caller passes nothing).
using YieldCallback = std::function<void()>;

// The conversion's numbered steps, as its error box reports them.
namespace convert_step {
inline constexpr int kCreateDocument = 100;
inline constexpr int kLoadDocument = 102;  // read, decode and parse the source
inline constexpr int kWaitWhileLoading = 104;
inline constexpr int kYield = 106;
inline constexpr int kWriteOpening = 108;
inline constexpr int kWriteRowOpening = 130;
inline constexpr int kReadCellText = 138;  // the cells' texts, the walk of the tables
inline constexpr int kWriteRowText = 144;
inline constexpr int kWriteRowClosing = 146;
inline constexpr int kWriteClosing = 152;  // the closing brace, then the file is committed
}  // namespace convert_step

// Receives the output pieces in order.
class PieceSink {
public:
    virtual ~PieceSink() = default;
    // Starts the output afresh with `piece`.
    virtual void start(std::string_view piece) = 0;
    // Adds `piece` to the end of the output.
    virtual void append(std::string_view piece) = 0;
};

// Collects the pieces in memory.
class StringSink : public PieceSink {
public:
    void start(std::string_view piece) override { m_text.assign(piece); }
    void append(std::string_view piece) override { m_text.append(piece); }
    std::string take() { return std::move(m_text); }

private:
    std::string m_text;
};

struct TableMeasure;

// The bytes the rows of a table add to the output (each row's TAB "{" CR LF,
// its cell lines and its TAB "}" CR LF), from its cells' measures.
std::uint64_t textFormatRowsBytes(const TableMeasure& table);

// Writes the tables of a parsed document as the output pieces: "{" CR LF,
// per row TAB "{" CR LF, one quoted line per cell (", " after the cells before
// the first row's last position), TAB "}" CR LF, and a closing "}". Each piece
// is one numbered step of `trap`; a failed piece ends the walk (returns false),
// and so does a failure of the walk itself (reading the cells' texts).
// A large document's rows are parsed during the walk; `yield`, when given,
// runs a few times a second meanwhile.
bool writeTables(const HtmlDocument& document, PieceSink& sink, StepTrap& trap,
                 const YieldCallback& yield = {});

}  // namespace tabrivo
