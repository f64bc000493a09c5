#pragma once
// How a process that converts many documents asks the C library to keep the
// memory one document's tree freed for the next, instead of handing it back
// to the system and taking it again page by page.

namespace tabrivo {

// Call once at start-up, before any thread is made. Does nothing where the C
// library offers no such setting.
void keepFreedMemoryForNextDocuments();

// Held by a thread for as long as it converts documents, made before it
// allocates for them: the memory its documents take next is set aside in one
// step and, where the system offers it, backed by 2 MiB pages. A batch then
// takes a few page faults where it took a thousand (each one a trap and a
// cleared 4 KiB page), and the process unmaps faster when it ends. Needs
// keepFreedMemoryForNextDocuments() first; does nothing where the C library
// or the system has no such means.
class DocumentHeap {
public:
    DocumentHeap();
    ~DocumentHeap();
    DocumentHeap(const DocumentHeap&) = delete;
    DocumentHeap& operator=(const DocumentHeap&) = delete;

    // Where the large pages start, or null where none were asked for.
    const void* largePagesFrom() const { return m_largePagesFrom; }

private:
    void* m_lead = nullptr;  // the heap below the first 2 MiB boundary, held
    const void* m_largePagesFrom = nullptr;
};

}  // namespace tabrivo
