#include <engine/document_loader.h>

#include <system_error>

#include <engine/convert.h>

namespace tabrivo {
namespace {
// Deep enough that no nesting of elements can exhaust it.
constexpr std::size_t kLoaderStackSize = std::size_t{256} * 1024 * 1024;
}  // namespace

DocumentLoader::DocumentLoader() {
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, kLoaderStackSize);
    const int error = pthread_create(&m_thread, &attributes, &DocumentLoader::threadMain, this);
    pthread_attr_destroy(&attributes);
    if (error != 0) {
        throw std::system_error(error, std::generic_category(),
                                "Cannot start the thread that loads documents");
    }
}

DocumentLoader::~DocumentLoader() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    pthread_join(m_thread, nullptr);
}

void* DocumentLoader::threadMain(void* self) {
    static_cast<DocumentLoader*>(self)->serve();
    return nullptr;
}

void DocumentLoader::serve() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_requested || m_stopping; });
        if (m_stopping) {
            return;
        }
        m_requested = false;
        const std::string path = std::move(m_path);  // no copy: it cannot fail
        lock.unlock();
        std::unique_ptr<HtmlDocument> document;
        std::exception_ptr failure;
        try {
            document = loadHtmlDocument(path);
        } catch (...) {
            failure = std::current_exception();
        }
        lock.lock();
        m_document = std::move(document);
        m_failure = failure;
        m_ready = true;
        m_changed.notify_all();
    }
}

void DocumentLoader::start(std::string path) {
    {
        std::lock_guard lock(m_mutex);
        m_path = std::move(path);
        m_document.reset();
        m_failure = nullptr;
        m_ready = false;
        m_requested = true;
    }
    m_changed.notify_all();
}

std::string DocumentLoader::readyState() const {
    std::lock_guard lock(m_mutex);
    return m_ready ? "complete" : "loading";
}

void DocumentLoader::waitFor(std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    m_changed.wait_for(lock, timeout, [this] { return m_ready; });
}

std::unique_ptr<HtmlDocument> DocumentLoader::take() {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_ready; });
    if (m_failure) {
        std::exception_ptr failure = m_failure;
        m_failure = nullptr;
        std::rethrow_exception(failure);
    }
    return std::move(m_document);
}

}  // namespace tabrivo
