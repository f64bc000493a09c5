#pragma once
// Loads documents on a thread of its own while the caller keeps its user
// interface alive. One loader serves many documents, one at a time, so a
// batch does not start a thread per file.

#include <chrono>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <string>

#include <pthread.h>

#include <engine/html_document.h>

namespace tabrivo {

class DocumentLoader {
public:
    // Starts the loading thread (with a stack deep enough for any document).
    // Throws std::system_error when it cannot be started.
    DocumentLoader();
    ~DocumentLoader();
    DocumentLoader(const DocumentLoader&) = delete;
    DocumentLoader& operator=(const DocumentLoader&) = delete;

    // Starts loading a file; the previous document must have been taken.
    void start(std::string path);
    // "loading" until the document is parsed, then "complete".
    std::string readyState() const;
    // Waits until the document is ready or the time is up.
    void waitFor(std::chrono::milliseconds timeout);
    // The loaded document; waits for it, and rethrows what stopped the load.
    std::unique_ptr<HtmlDocument> take();

private:
    static void* threadMain(void* self);
    void serve();

    pthread_t m_thread{};
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::string m_path;
    bool m_requested = false;  // a path waits to be loaded
    bool m_ready = true;       // no load under way
    bool m_stopping = false;
    std::unique_ptr<HtmlDocument> m_document;
    std::exception_ptr m_failure;
};

}  // namespace tabrivo
