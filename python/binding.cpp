// The Python module's native half: pages read into tables on C++ threads with
// the interpreter's lock released, handed over as plain Python values.

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include <engine/convert.h>
#include <engine/data_export.h>
#include <engine/encoding.h>
#include <engine/error_trap.h>
#include <engine/source_text.h>
#include <engine/table_model.h>
#include <warc/warc_tables.h>

namespace py = pybind11;

namespace {

using tabrivo::Table;
using tabrivo::TableGrid;
using tabrivo::YieldCallback;

// Ends a read on a worker thread whose reader is closing.
struct ReadStopped {};

// Runs the interpreter's signal handlers now and then while a page is read
// without its lock, so that Ctrl-C ends the read within a moment: a handler
// that raises (KeyboardInterrupt) ends it with its exception.
class SignalCheck {
public:
    void operator()() {
        const auto now = std::chrono::steady_clock::now();
        if (now - m_last < std::chrono::milliseconds(50)) {
            return;
        }
        m_last = now;
        const py::gil_scoped_acquire locked;
        if (PyErr_CheckSignals() != 0) {
            throw py::error_already_set();
        }
    }

private:
    std::chrono::steady_clock::time_point m_last = std::chrono::steady_clock::now();
};

// One page's tables, read without the interpreter.
struct ReadPage {
    std::vector<Table> tables;
    std::vector<std::unique_ptr<TableGrid>> grids;  // when asked for
    std::exception_ptr failure;
};

void addGrids(ReadPage& page, const YieldCallback& yield = {}) {
    page.grids.reserve(page.tables.size());
    for (const Table& table : page.tables) {
        page.grids.push_back(std::make_unique<TableGrid>(table));
        if (yield) {
            yield();
        }
    }
}

// `yield` runs between pieces of the work; what it throws ends the read.
ReadPage readDocument(std::unique_ptr<tabrivo::HtmlDocument> document, bool grid,
                      const YieldCallback& yield) {
    ReadPage page;
    page.tables = tabrivo::readAllTables(*document, "\n", yield);
    document->throwIfSourceFileChanged();
    if (grid) {
        addGrids(page, yield);
    }
    return page;
}

ReadPage readPath(const std::string& path, bool grid, const YieldCallback& yield) {
    ReadPage page;
    try {
        page = readDocument(tabrivo::loadHtmlDocument(path), grid, yield);
    } catch (...) {
        page.failure = std::current_exception();
    }
    return page;
}

py::str text(std::string_view utf8) {
    PyObject* object =
        PyUnicode_DecodeUTF8(utf8.data(), static_cast<Py_ssize_t>(utf8.size()), "replace");
    if (object == nullptr) {
        throw py::error_already_set();
    }
    return py::reinterpret_steal<py::str>(object);
}

// A path's bytes as os.fsdecode gives them: bytes that are not UTF-8 kept as
// surrogates, so that the str names the same file.
py::str filePath(std::string_view path) {
    PyObject* object =
        PyUnicode_DecodeFSDefaultAndSize(path.data(), static_cast<Py_ssize_t>(path.size()));
    if (object == nullptr) {
        throw py::error_already_set();
    }
    return py::reinterpret_steal<py::str>(object);
}

// Raises the failure as the matching Python exception: OSError subclasses by
// errno (FileNotFoundError, IsADirectoryError, ...), tabrivo.SourceChangedError
// for a file changed while read, ValueError for a grid or tables too large,
// MemoryError naming the file when memory ran out.
[[noreturn]] void raise(const std::exception_ptr& failure, const std::string& path) {
    try {
        std::rethrow_exception(failure);
    } catch (const std::bad_alloc&) {
        PyErr_SetString(PyExc_MemoryError, tabrivo::notEnoughMemoryFor(path).c_str());
        throw py::error_already_set();
    } catch (const tabrivo::SourceChangedError& changed) {
        const py::object changedError = py::module_::import("tabrivo").attr("SourceChangedError");
        PyErr_SetObject(changedError.ptr(),
                        py::make_tuple(text(changed.what()), filePath(path)).ptr());
        throw py::error_already_set();
    } catch (const std::system_error& error) {
        const py::object osError = py::module_::import("builtins").attr("OSError");
        PyErr_SetObject(
            osError.ptr(),
            py::make_tuple(error.code().value(), text(error.what()), filePath(path)).ptr());
        throw py::error_already_set();
    }
}

// Lets the interpreter run its signal handlers while many rows are handed over.
void checkSignalsEvery(std::size_t& rows) {
    if ((++rows & 4095U) == 0 && PyErr_CheckSignals() != 0) {
        throw py::error_already_set();
    }
}

// (index, caption, header_rows, rows, attributes) per table; with a grid the
// rows are its slots, one str object per cell shared by the slots it covers.
py::list toPython(const ReadPage& page) {
    py::list tables;
    std::size_t rowsHandedOver = 0;
    for (std::size_t t = 0; t < page.tables.size(); ++t) {
        const Table& table = page.tables[t];
        py::list rows;
        if (page.grids.empty()) {
            for (const tabrivo::TableRow& row : table.rows) {
                py::list cells(row.cells.size());
                for (std::size_t c = 0; c < row.cells.size(); ++c) {
                    cells[c] = text(row.cells[c].text);
                }
                rows.append(std::move(cells));
                checkSignalsEvery(rowsHandedOver);
            }
        } else {
            const TableGrid& grid = *page.grids[t];
            std::vector<py::object> cellTexts;
            for (const tabrivo::TableRow& row : table.rows) {
                for (const tabrivo::TableCell& cell : row.cells) {
                    cellTexts.push_back(text(cell.text));
                }
            }
            const py::object empty = py::str("");
            for (std::size_t y = 0; y < grid.height(); ++y) {
                py::list slots(grid.width());
                for (std::size_t x = 0; x < grid.width(); ++x) {
                    const std::uint32_t number = grid.cellNumberAt(y, x);
                    slots[x] = number == TableGrid::kEmpty ? empty : cellTexts[number];
                }
                rows.append(std::move(slots));
                checkSignalsEvery(rowsHandedOver);
            }
        }
        py::dict attributes;
        for (const auto& [name, value] : table.attributes) {
            attributes[text(name)] = text(value);
        }
        tables.append(py::make_tuple(table.index, text(table.caption),
                                     tabrivo::headerRowCount(table), std::move(rows),
                                     std::move(attributes)));
    }
    return tables;
}

py::list readFile(const std::string& path, bool grid) {
    ReadPage page;
    {
        const py::gil_scoped_release unlocked;
        page = readPath(path, grid, SignalCheck());
    }
    if (page.failure) {
        raise(page.failure, path);
    }
    return toPython(page);
}

py::list readBytes(const py::bytes& bytes, bool grid) {
    std::string copy = bytes;  // the buffer must not move while the lock is released
    ReadPage page;
    {
        const py::gil_scoped_release unlocked;
        page = readDocument(tabrivo::HtmlDocument::parse(tabrivo::htmlBytesToUtf8(copy)), grid,
                            SignalCheck());
    }
    return toPython(page);
}

py::list readText(const std::string& utf8, bool grid) {
    ReadPage page;
    {
        const py::gil_scoped_release unlocked;
        page = readDocument(tabrivo::HtmlDocument::parse(utf8), grid, SignalCheck());
    }
    return toPython(page);
}

// Reads many files on worker threads, a bounded stretch ahead of the reader,
// and gives them back in the order given.
class ManyReader {
public:
    ManyReader(std::vector<std::string> paths, unsigned jobs, bool grid)
        : m_paths(std::move(paths)), m_grid(grid) {
        const std::size_t workers =
            std::max<std::size_t>(1, std::min<std::size_t>(jobs, m_paths.size()));
        m_window = workers * 4;
        m_results.resize(m_paths.size());
        for (std::size_t i = 0; i < workers && !m_paths.empty(); ++i) {
            m_workers.emplace_back([this] { work(); });
        }
    }
    ~ManyReader() { stop(); }
    ManyReader(const ManyReader&) = delete;
    ManyReader& operator=(const ManyReader&) = delete;

    // The next file's path and tables; raises StopIteration after the last,
    // and the file's own error for a file that could not be read. While it
    // waits, the interpreter's signal handlers run every tenth of a second
    // (Ctrl-C raises KeyboardInterrupt at once).
    py::tuple next() {
        if (m_taken == m_paths.size() || m_stopping) {
            throw py::stop_iteration();
        }
        const std::size_t index = m_taken;
        std::optional<ReadPage> page;
        while (!page) {
            {
                const py::gil_scoped_release unlocked;
                std::unique_lock lock(m_mutex);
                if (m_ready.wait_for(lock, std::chrono::milliseconds(100),
                                     [&] { return m_results[index].has_value(); })) {
                    page = std::move(m_results[index]);
                    m_results[index].reset();
                    ++m_taken;
                }
            }
            if (!page && PyErr_CheckSignals() != 0) {
                throw py::error_already_set();
            }
        }
        m_wanted.notify_all();
        if (page->failure) {
            raise(page->failure, m_paths[index]);
        }
        return py::make_tuple(filePath(m_paths[index]), toPython(*page));
    }

    // Ends the reading: the files being read are left at their next row batch.
    void stop() {
        {
            const std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_wanted.notify_all();
        const py::gil_scoped_release unlocked;
        m_workers.clear();  // joins
    }

private:
    void work() {
        for (;;) {
            std::size_t index = 0;
            {
                std::unique_lock lock(m_mutex);
                m_wanted.wait(lock, [&] {
                    return m_stopping || m_next >= m_paths.size() || m_next < m_taken + m_window;
                });
                if (m_stopping || m_next >= m_paths.size()) {
                    return;
                }
                index = m_next++;
            }
            ReadPage page = readPath(m_paths[index], m_grid, [this] {
                if (m_stopping) {
                    throw ReadStopped();
                }
            });
            {
                const std::lock_guard lock(m_mutex);
                m_results[index] = std::move(page);
            }
            m_ready.notify_all();
        }
    }

    std::vector<std::string> m_paths;
    bool m_grid;
    std::size_t m_window = 4;
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::condition_variable m_wanted;
    std::vector<std::optional<ReadPage>> m_results;
    std::size_t m_next = 0;
    std::size_t m_taken = 0;
    std::atomic<bool> m_stopping = false;  // read by the workers' reads unlocked
    std::vector<std::jthread> m_workers;   // last: joined before the rest goes
};

// The JSON Lines tabrivo-convert --format jsonl writes for a file, byte for byte.
py::bytes fileJsonLines(const std::string& path, bool grid) {
    struct FirstFailure : tabrivo::FailureReporter {
        void showFailure(const tabrivo::FailureReport& report) override {
            if (description.empty()) {
                description = report.description;
                outOfMemory = report.outOfMemory;
            }
        }
        std::string description;
        bool outOfMemory = false;
    } reporter;
    std::string lines;
    {
        const py::gil_scoped_release unlocked;
        tabrivo::ExportOptions options;
        options.format = tabrivo::DataFormat::kJsonLines;
        options.grid = grid;
        tabrivo::exportFile(path, std::string(), options, reporter, &lines);
    }
    if (reporter.outOfMemory) {
        PyErr_SetString(PyExc_MemoryError, reporter.description.c_str());
        throw py::error_already_set();
    }
    if (!reporter.description.empty()) {
        PyErr_SetObject(PyExc_RuntimeError, text(reporter.description).ptr());
        throw py::error_already_set();
    }
    return {lines};
}

// The JSON Lines tabrivo-convert --warc writes for an archive, byte for byte,
// with (offset, reason) for each record passed over and the archive's counts.
py::tuple warcJsonLines(const std::string& path, bool grid) {
    std::string lines;
    std::vector<tabrivo::WarcFailure> failures;
    tabrivo::WarcCounts counts;
    try {
        const py::gil_scoped_release unlocked;
        counts = tabrivo::readWarcTables(
            path,
            [&](const tabrivo::WarcPage& page) { tabrivo::appendWarcJsonLines(lines, page, grid); },
            [&](const tabrivo::WarcFailure& failure) { failures.push_back(failure); });
    } catch (...) {
        raise(std::current_exception(), path);
    }
    py::list failed;
    for (const tabrivo::WarcFailure& failure : failures) {
        failed.append(py::make_tuple(failure.offset, text(failure.reason)));
    }
    return py::make_tuple(py::bytes(lines), std::move(failed), counts.summary());
}

// The pages of a web archive, read one at a time without the interpreter's
// lock: (uri, record id, date, HTTP status or None, tables) each; the records
// that could not be read or converted are kept as (offset, reason).
class WarcPages {
public:
    WarcPages(const std::string& path, bool grid) : m_grid(grid) {
        try {
            m_reader = std::make_unique<tabrivo::WarcTableReader>(path);
        } catch (...) {
            raise(std::current_exception(), path);
        }
    }

    py::tuple next() {
        tabrivo::WarcPage warcPage;
        ReadPage page;
        bool found = false;
        {
            const py::gil_scoped_release unlocked;
            found = m_reader->next(warcPage, [this](const tabrivo::WarcFailure& failure) {
                m_failures.push_back(failure);
            });
            page.tables = std::move(warcPage.tables);
            if (found && m_grid) {
                addGrids(page);
            }
        }
        if (!found) {
            throw py::stop_iteration();
        }
        const tabrivo::WarcRecord& record = warcPage.record;
        return py::make_tuple(text(record.targetUri), text(record.recordId), text(record.date),
                              warcPage.httpStatus ? py::object(py::int_(*warcPage.httpStatus))
                                                  : py::object(py::none()),
                              toPython(page));
    }

    py::list failures() const {
        py::list failures;
        for (const tabrivo::WarcFailure& failure : m_failures) {
            failures.append(py::make_tuple(failure.offset, text(failure.reason)));
        }
        return failures;
    }

    std::string summary() const { return m_reader->counts().summary(); }

private:
    std::unique_ptr<tabrivo::WarcTableReader> m_reader;
    bool m_grid;
    std::vector<tabrivo::WarcFailure> m_failures;
};

}  // namespace

PYBIND11_MODULE(_tabrivo, module) {
    module.doc() = "The native half of the tabrivo package; use the package's functions.";
    module.def("read_file", &readFile, py::arg("path"), py::arg("grid"));
    module.def("read_bytes", &readBytes, py::arg("data"), py::arg("grid"));
    module.def("read_text", &readText, py::arg("text"), py::arg("grid"));
    module.def("file_json_lines", &fileJsonLines, py::arg("path"), py::arg("grid"));
    module.def("warc_json_lines", &warcJsonLines, py::arg("path"), py::arg("grid"));
    py::class_<ManyReader>(module, "ManyReader")
        .def(py::init<std::vector<std::string>, unsigned, bool>(), py::arg("paths"),
             py::arg("jobs"), py::arg("grid"))
        .def("__iter__", [](ManyReader& self) -> ManyReader& { return self; })
        .def("__next__", &ManyReader::next)
        .def("close", &ManyReader::stop);
    py::class_<WarcPages>(module, "WarcPages")
        .def(py::init<std::string, bool>(), py::arg("path"), py::arg("grid"))
        .def("__iter__", [](WarcPages& self) -> WarcPages& { return self; })
        .def("__next__", &WarcPages::next)
        .def("failures", &WarcPages::failures)
        .def("summary", &WarcPages::summary);
}
