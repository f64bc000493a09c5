#pragma once
// Memory for one parse: the parser allocates through this arena, and the
// whole tree is released at once when the arena goes, with no tree walk (so a
// deeply nested document cannot exhaust the stack while it is freed).

#include <array>
#include <cstddef>
#include <memory>
#include <unordered_set>
#include <vector>

namespace tabrivo {

class GumboArena {
public:
    GumboArena() = default;
    ~GumboArena();
    GumboArena(const GumboArena&) = delete;
    GumboArena& operator=(const GumboArena&) = delete;

    void* allocate(std::size_t size);
    void release(void* block) noexcept;

    // Adapters with the parser's allocator signatures.
    static void* allocateFor(void* arena, std::size_t size);
    static void releaseFor(void* arena, void* block);

private:
    static constexpr std::size_t kClassCount = 13;  // 16 bytes .. 64 KiB
    static constexpr std::size_t kHeader = 16;      // keeps blocks 16-byte aligned

    std::byte* carve(std::size_t bytes);

    struct Chunk {
        std::unique_ptr<std::byte[]> memory;
        std::size_t size = 0;
    };
    // Chunks of finished documents, kept by each thread for its next document
    // so that a batch does not fault fresh pages in for every file.
    static std::vector<Chunk>& spareChunks();

    std::vector<Chunk> m_chunks;
    std::byte* m_cursor = nullptr;
    std::byte* m_end = nullptr;
    std::size_t m_nextChunkSize = std::size_t{64} * 1024;
    std::array<void*, kClassCount> m_freeLists{};
    std::unordered_set<void*> m_large;
};

}  // namespace tabrivo
