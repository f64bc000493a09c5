// A converting thread's heap: its documents' memory starts where large pages
// were asked for.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include <engine/memory_reuse.h>

namespace tabrivo {
namespace {

// The "THPeligible" value of the mapping that holds the address, or "".
std::string largePageEligibility(std::uintptr_t address) {
    std::ifstream smaps("/proc/self/smaps");
    std::string line;
    bool inMapping = false;
    while (std::getline(smaps, line)) {
        std::uintptr_t from = 0;
        std::uintptr_t to = 0;
        char dash = 0;
        std::istringstream head(line);
        if (head >> std::hex >> from >> dash >> to && dash == '-') {
            inMapping = from <= address && address < to;
        } else if (inMapping && line.rfind("THPeligible:", 0) == 0) {
            std::string value;
            std::istringstream(line.substr(line.find(':') + 1)) >> value;
            return value;
        }
    }
    return {};
}

TEST(DocumentHeap, aThreadsDocumentMemoryStartsInTheLargePages) {
    keepFreedMemoryForNextDocuments();
    // A fresh thread, as each worker of a batch is, with a heap of its own.
    std::thread([] {
        const DocumentHeap heap;
        if (heap.largePagesFrom() == nullptr) {
            GTEST_SKIP() << "no large pages here";
        }
        constexpr std::size_t kBlock = std::size_t{64} * 1024;  // a tree's block
        void* block = std::malloc(kBlock);
        ASSERT_NE(block, nullptr);
        const auto at = reinterpret_cast<std::uintptr_t>(block);
        const auto from = reinterpret_cast<std::uintptr_t>(heap.largePagesFrom());
        // The allocator's own words before a block may fall just below.
        EXPECT_LE(from, at + 64);
        EXPECT_LT(at, from + kBlock) << "the heap below the large pages was not held";
        std::ifstream policy("/sys/kernel/mm/transparent_hugepage/enabled");
        std::string modes;
        if (std::getline(policy, modes) && modes.find("[never]") == std::string::npos) {
            EXPECT_EQ(largePageEligibility(at + kBlock - 1), "1");
        }
        std::free(block);
    }).join();
}

}  // namespace
}  // namespace tabrivo
