#include <engine/node_names_p.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <iterator>

#include <engine/ascii.h>

namespace tabrivo::detail {
namespace {

constexpr std::string_view kNames[] = {
#define TABRIVO_TAG(enumerator, name) name,
#include <engine/tag_names.inc>
#undef TABRIVO_TAG
};
static_assert(std::size(kNames) == kTagUnknown);

// An open-addressed table from a name's hash to its number plus one; 512
// slots for 150 names keep the probes short.
constexpr std::size_t kSlots = 512;

// Tag names hold letters, digits and '-', which OR 0x20 leaves alone but for
// upper-case letters, made lower-case; other bytes hash to some slot, and the
// comparison turns them away.
constexpr std::uint32_t hashOf(std::string_view name) {
    std::uint32_t hash = 2166136261U;
    for (const char c : name) {
        hash = (hash ^ (static_cast<unsigned char>(c) | 0x20U)) * 16777619U;
    }
    return hash;
}

constexpr std::size_t kLongestName = [] {
    std::size_t longest = 0;
    for (const std::string_view name : kNames) {
        longest = std::max(longest, name.size());
    }
    return longest;
}();

constexpr std::array<std::uint8_t, kSlots> makeSlots() {
    std::array<std::uint8_t, kSlots> slots{};
    for (std::size_t tag = 0; tag < std::size(kNames); ++tag) {
        std::size_t slot = hashOf(kNames[tag]) % kSlots;
        while (slots[slot] != 0) {
            slot = (slot + 1) % kSlots;
        }
        slots[slot] = static_cast<std::uint8_t>(tag + 1);
    }
    return slots;
}

constexpr std::array<std::uint8_t, kSlots> kTagOfSlot = makeSlots();

// "<" and each name, NUL-terminated, as an element's original_tag holds it.
struct Opening {
    std::array<char, kLongestName + 2> text{};
    std::size_t size = 0;
};

constexpr std::array<Opening, std::size(kNames)> kOpenings = [] {
    std::array<Opening, std::size(kNames)> openings{};
    for (std::size_t tag = 0; tag < std::size(kNames); ++tag) {
        openings[tag].text[0] = '<';
        for (std::size_t i = 0; i < kNames[tag].size(); ++i) {
            openings[tag].text[i + 1] = kNames[tag][i];
        }
        openings[tag].size = kNames[tag].size() + 1;
    }
    return openings;
}();

// Most names are eight characters or fewer: those are found by the name's
// bytes taken as one number, without a byte-by-byte hash or comparison.
constexpr std::size_t kShortName = 8;

constexpr std::uint64_t shortKey(std::string_view name) {
    std::uint64_t key = 0;
    for (std::size_t i = 0; i < name.size(); ++i) {
        key |= std::uint64_t{static_cast<unsigned char>(name[i])} << (8 * i);
    }
    return key;
}

constexpr std::size_t shortSlot(std::uint64_t key) {
    return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ULL) >> 55);  // 512 slots
}

struct ShortEntry {
    std::uint64_t key = 0;   // 0: an empty slot (no name is empty)
    std::size_t length = 0;  // "a" and "a\0" have the same key
    unsigned tag = 0;
};

constexpr std::array<ShortEntry, 512> makeShortSlots() {
    std::array<ShortEntry, 512> slots{};
    for (std::size_t tag = 0; tag < std::size(kNames); ++tag) {
        if (kNames[tag].size() > kShortName) {
            continue;
        }
        const std::uint64_t key = shortKey(kNames[tag]);
        std::size_t slot = shortSlot(key);
        while (slots[slot].key != 0) {
            slot = (slot + 1) % slots.size();
        }
        slots[slot] = {key, kNames[tag].size(), static_cast<unsigned>(tag)};
    }
    return slots;
}

constexpr std::array<ShortEntry, 512> kShortSlots = makeShortSlots();

// The tag of a name of at most eight bytes as it is, or kTagUnknown.
ElementTag shortTag(std::string_view name) {
    const std::uint64_t key = shortKey(name);
    for (std::size_t slot = shortSlot(key); kShortSlots[slot].key != 0;
         slot = (slot + 1) % kShortSlots.size()) {
        if (kShortSlots[slot].key == key && kShortSlots[slot].length == name.size()) {
            return static_cast<ElementTag>(kShortSlots[slot].tag);
        }
    }
    return kTagUnknown;
}

}  // namespace

std::string_view knownTagName(unsigned tag) {
    return tag < std::size(kNames) ? kNames[tag] : std::string_view();
}

std::string_view knownTagOpening(unsigned tag) {
    return tag < kOpenings.size()
               ? std::string_view(kOpenings[tag].text.data(), kOpenings[tag].size)
               : std::string_view();
}

ElementTag knownTag(std::string_view name) {
    if (name.size() > kLongestName) {
        return kTagUnknown;
    }
    // The tokenizer hands names over in lower case: look them up as they are first.
    if (name.size() <= kShortName) {
        if (const ElementTag tag = shortTag(name); tag != kTagUnknown) {
            return tag;
        }
    }
    for (std::size_t slot = hashOf(name) % kSlots; kTagOfSlot[slot] != 0;
         slot = (slot + 1) % kSlots) {
        const unsigned tag = kTagOfSlot[slot] - 1U;
        // The tokenizer hands names over in lower case: compare as they are first.
        if (name == kNames[tag] ||
            (kNames[tag].size() == name.size() && ascii::equalsIgnoringCase(name, kNames[tag]))) {
            return static_cast<ElementTag>(tag);
        }
    }
    return kTagUnknown;
}

const Attribute* findAttribute(const PointerVector& attributes, std::string_view name) {
    for (unsigned i = 0; i < attributes.length; ++i) {
        const auto* attribute = static_cast<const Attribute*>(attributes.data[i]);
        if (attribute->name_length == name.size() &&
            ascii::equalsIgnoringCase({attribute->name, attribute->name_length}, name)) {
            return attribute;
        }
    }
    return nullptr;
}

}  // namespace tabrivo::detail
