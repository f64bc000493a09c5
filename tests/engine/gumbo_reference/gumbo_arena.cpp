#include "gumbo_arena.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <new>

namespace tabrivo {
namespace {

constexpr std::uint32_t kLargeClass = 0xFFFFFFFFU;
constexpr std::size_t kMaxChunk = std::size_t{16} * 1024 * 1024;
constexpr std::size_t kSpareLimit = std::size_t{64} * 1024 * 1024;  // kept per thread

std::size_t classIndex(std::size_t size) {
    const std::size_t rounded = std::bit_ceil(size < 16 ? std::size_t{16} : size);
    return static_cast<std::size_t>(std::countr_zero(rounded)) - 4;
}

}  // namespace

std::vector<GumboArena::Chunk>& GumboArena::spareChunks() {
    thread_local std::vector<Chunk> spare;
    return spare;
}

GumboArena::~GumboArena() {
    for (void* block : m_large) {
        std::free(block);  // NOLINT(cppcoreguidelines-no-malloc): paired with malloc below
    }
    std::vector<Chunk>& spare = spareChunks();
    std::size_t kept = 0;
    for (const Chunk& chunk : spare) {
        kept += chunk.size;
    }
    for (Chunk& chunk : m_chunks) {
        if (kept + chunk.size <= kSpareLimit) {
            kept += chunk.size;
            spare.push_back(std::move(chunk));
        }
    }
}

std::byte* GumboArena::carve(std::size_t bytes) {
    if (m_cursor == nullptr || static_cast<std::size_t>(m_end - m_cursor) < bytes) {
        std::size_t chunkSize = m_nextChunkSize;
        while (chunkSize < bytes) {
            chunkSize *= 2;
        }
        std::vector<Chunk>& spare = spareChunks();
        const auto reusable = std::find_if(spare.begin(), spare.end(),
                                           [&](const Chunk& chunk) { return chunk.size >= bytes; });
        if (reusable != spare.end()) {
            m_chunks.push_back(std::move(*reusable));
            spare.erase(reusable);
        } else {
            m_chunks.push_back({std::make_unique_for_overwrite<std::byte[]>(chunkSize), chunkSize});
        }
        m_cursor = m_chunks.back().memory.get();
        m_end = m_cursor + m_chunks.back().size;
        m_nextChunkSize = std::min(kMaxChunk, m_nextChunkSize * 2);
    }
    std::byte* block = m_cursor;
    m_cursor += bytes;
    return block;
}

void* GumboArena::allocate(std::size_t size) {
    const std::size_t index = classIndex(size);
    if (index >= kClassCount) {
        // NOLINTNEXTLINE(cppcoreguidelines-no-malloc): large blocks go to the system heap
        auto* raw = static_cast<std::byte*>(std::malloc(size + kHeader));
        if (raw == nullptr) {
            throw std::bad_alloc();
        }
        const std::uint32_t tag = kLargeClass;
        std::memcpy(raw, &tag, sizeof tag);
        m_large.insert(raw);
        return raw + kHeader;
    }
    std::byte* block = nullptr;
    if (m_freeLists[index] != nullptr) {
        block = static_cast<std::byte*>(m_freeLists[index]);
        std::memcpy(&m_freeLists[index], block + kHeader, sizeof(void*));
    } else {
        block = carve((std::size_t{16} << index) + kHeader);
    }
    const auto tag = static_cast<std::uint32_t>(index);
    std::memcpy(block, &tag, sizeof tag);
    return block + kHeader;
}

void GumboArena::release(void* pointer) noexcept {
    if (pointer == nullptr) {
        return;
    }
    std::byte* block = static_cast<std::byte*>(pointer) - kHeader;
    std::uint32_t tag = 0;
    std::memcpy(&tag, block, sizeof tag);
    if (tag == kLargeClass) {
        m_large.erase(block);
        std::free(block);  // NOLINT(cppcoreguidelines-no-malloc)
        return;
    }
    std::memcpy(block + kHeader, &m_freeLists[tag], sizeof(void*));
    m_freeLists[tag] = block;
}

void* GumboArena::allocateFor(void* arena, std::size_t size) {
    return static_cast<GumboArena*>(arena)->allocate(size);
}

void GumboArena::releaseFor(void* arena, void* block) {
    static_cast<GumboArena*>(arena)->release(block);
}

}  // namespace tabrivo
