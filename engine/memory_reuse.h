#pragma once
// How a process that converts many documents asks the C library to keep the
// memory one document's tree freed for the next, instead of handing it back
// to the system and taking it again page by page.

namespace tabrivo {

// Call once at start-up, before any thread is made. Does nothing where the C
// library offers no such setting.
void keepFreedMemoryForNextDocuments();

}  // namespace tabrivo
