#pragma once
// Allocations that fail on purpose: while a FailLargeAllocations lives, every
// allocation through operator new of at least its size throws std::bad_alloc
// on the thread that made it, as when memory runs out. The test program that
// uses it links allocation_limit.cpp, which replaces the global operator new.

#include <cstddef>

namespace tabrivo::test {

class FailLargeAllocations {
public:
    explicit FailLargeAllocations(std::size_t bytes);
    ~FailLargeAllocations();
    FailLargeAllocations(const FailLargeAllocations&) = delete;
    FailLargeAllocations& operator=(const FailLargeAllocations&) = delete;

private:
    std::size_t m_before;
};

}  // namespace tabrivo::test
