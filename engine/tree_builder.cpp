#include <engine/tree_builder_p.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <iterator>
#include <new>
#include <string>
#include <unordered_map>

#include <engine/ascii.h>
#include <engine/html_tokenizer_p.h>
#include <engine/node_names_p.h>

namespace tabrivo::detail {

namespace {

// Elements the standard names that the tag table (tag_names.inc) does not
// number; their nodes keep kTagUnknown and their names.
constexpr unsigned kTagSearch = kTagLast + 1;
constexpr unsigned kTagDialog = kTagLast + 2;

using ascii::isSpace;
constexpr auto equalsNoCase = ascii::equalsIgnoringCase;

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && equalsNoCase(text.substr(0, prefix.size()), prefix);
}

std::size_t spacePrefix(std::string_view text) {
    std::size_t n = 0;
    while (n < text.size() && isSpace(text[n])) {
        ++n;
    }
    return n;
}

bool allSpace(std::string_view text) {
    return spacePrefix(text) == text.size();
}

unsigned tagOf(std::string_view name) {
    const ElementTag tag = knownTag(name);
    if (tag != kTagUnknown) {
        return tag;
    }
    if (name == "search") {
        return kTagSearch;
    }
    if (name == "dialog") {
        return kTagDialog;
    }
    return kTagUnknown;
}

// SVG element and attribute names in their camel case.
constexpr std::string_view kSvgElementNames[] = {"altGlyph",
                                                 "altGlyphDef",
                                                 "altGlyphItem",
                                                 "animateColor",
                                                 "animateMotion",
                                                 "animateTransform",
                                                 "clipPath",
                                                 "feBlend",
                                                 "feColorMatrix",
                                                 "feComponentTransfer",
                                                 "feComposite",
                                                 "feConvolveMatrix",
                                                 "feDiffuseLighting",
                                                 "feDisplacementMap",
                                                 "feDistantLight",
                                                 "feDropShadow",
                                                 "feFlood",
                                                 "feFuncA",
                                                 "feFuncB",
                                                 "feFuncG",
                                                 "feFuncR",
                                                 "feGaussianBlur",
                                                 "feImage",
                                                 "feMerge",
                                                 "feMergeNode",
                                                 "feMorphology",
                                                 "feOffset",
                                                 "fePointLight",
                                                 "feSpecularLighting",
                                                 "feSpotLight",
                                                 "feTile",
                                                 "feTurbulence",
                                                 "foreignObject",
                                                 "glyphRef",
                                                 "linearGradient",
                                                 "radialGradient",
                                                 "textPath"};
constexpr std::string_view kSvgAttributeNames[] = {"attributeName",
                                                   "attributeType",
                                                   "baseFrequency",
                                                   "baseProfile",
                                                   "calcMode",
                                                   "clipPathUnits",
                                                   "diffuseConstant",
                                                   "edgeMode",
                                                   "filterUnits",
                                                   "glyphRef",
                                                   "gradientTransform",
                                                   "gradientUnits",
                                                   "kernelMatrix",
                                                   "kernelUnitLength",
                                                   "keyPoints",
                                                   "keySplines",
                                                   "keyTimes",
                                                   "lengthAdjust",
                                                   "limitingConeAngle",
                                                   "markerHeight",
                                                   "markerUnits",
                                                   "markerWidth",
                                                   "maskContentUnits",
                                                   "maskUnits",
                                                   "numOctaves",
                                                   "pathLength",
                                                   "patternContentUnits",
                                                   "patternTransform",
                                                   "patternUnits",
                                                   "pointsAtX",
                                                   "pointsAtY",
                                                   "pointsAtZ",
                                                   "preserveAlpha",
                                                   "preserveAspectRatio",
                                                   "primitiveUnits",
                                                   "refX",
                                                   "refY",
                                                   "repeatCount",
                                                   "repeatDur",
                                                   "requiredExtensions",
                                                   "requiredFeatures",
                                                   "specularConstant",
                                                   "specularExponent",
                                                   "spreadMethod",
                                                   "startOffset",
                                                   "stdDeviation",
                                                   "stitchTiles",
                                                   "surfaceScale",
                                                   "systemLanguage",
                                                   "tableValues",
                                                   "targetX",
                                                   "targetY",
                                                   "textLength",
                                                   "viewBox",
                                                   "viewTarget",
                                                   "xChannelSelector",
                                                   "yChannelSelector",
                                                   "zoomAndPan"};

std::string_view camelCase(std::string_view name, const std::string_view* begin,
                           const std::string_view* end) {
    for (const std::string_view* it = begin; it != end; ++it) {
        if (equalsNoCase(*it, name)) {
            return *it;
        }
    }
    return name;
}

// Public identifiers of DOCTYPEs that put the document in quirks mode.
constexpr std::string_view kQuirkyPublicPrefixes[] = {
    "+//silmaril//dtd html pro v0r11 19970101//",
    "-//as//dtd html 3.0 aswedit + extensions//",
    "-//advasoft ltd//dtd html 3.0 aswedit + extensions//",
    "-//ietf//dtd html 2.0 level 1//",
    "-//ietf//dtd html 2.0 level 2//",
    "-//ietf//dtd html 2.0 strict level 1//",
    "-//ietf//dtd html 2.0 strict level 2//",
    "-//ietf//dtd html 2.0 strict//",
    "-//ietf//dtd html 2.0//",
    "-//ietf//dtd html 2.1e//",
    "-//ietf//dtd html 3.0//",
    "-//ietf//dtd html 3.2 final//",
    "-//ietf//dtd html 3.2//",
    "-//ietf//dtd html 3//",
    "-//ietf//dtd html level 0//",
    "-//ietf//dtd html level 1//",
    "-//ietf//dtd html level 2//",
    "-//ietf//dtd html level 3//",
    "-//ietf//dtd html strict level 0//",
    "-//ietf//dtd html strict level 1//",
    "-//ietf//dtd html strict level 2//",
    "-//ietf//dtd html strict level 3//",
    "-//ietf//dtd html strict//",
    "-//ietf//dtd html//",
    "-//metrius//dtd metrius presentational//",
    "-//microsoft//dtd internet explorer 2.0 html strict//",
    "-//microsoft//dtd internet explorer 2.0 html//",
    "-//microsoft//dtd internet explorer 2.0 tables//",
    "-//microsoft//dtd internet explorer 3.0 html strict//",
    "-//microsoft//dtd internet explorer 3.0 html//",
    "-//microsoft//dtd internet explorer 3.0 tables//",
    "-//netscape comm. corp.//dtd html//",
    "-//netscape comm. corp.//dtd strict html//",
    "-//o'reilly and associates//dtd html 2.0//",
    "-//o'reilly and associates//dtd html extended 1.0//",
    "-//o'reilly and associates//dtd html extended relaxed 1.0//",
    "-//sq//dtd html 2.0 hotmetal + extensions//",
    "-//softquad software//dtd hotmetal pro 6.0::19990601::extensions to html 4.0//",
    "-//softquad//dtd hotmetal pro 4.0::19970916::extensions to html 4.0//",
    "-//spyglass//dtd html 2.0 extended//",
    "-//sun microsystems corp.//dtd hotjava html//",
    "-//sun microsystems corp.//dtd hotjava strict html//",
    "-//w3c//dtd html 3 1995-03-24//",
    "-//w3c//dtd html 3.2 draft//",
    "-//w3c//dtd html 3.2 final//",
    "-//w3c//dtd html 3.2//",
    "-//w3c//dtd html 3.2s draft//",
    "-//w3c//dtd html 4.0 frameset//",
    "-//w3c//dtd html 4.0 transitional//",
    "-//w3c//dtd html experimental 19960712//",
    "-//w3c//dtd html experimental 970421//",
    "-//w3c//dtd w3 html//",
    "-//w3o//dtd w3 html 3.0//",
    "-//webtechs//dtd mozilla html 2.0//",
    "-//webtechs//dtd mozilla html//",
};

QuirksMode quirksOf(const Token& doctype) {
    const std::string_view pub = doctype.hasPublicId ? doctype.publicId : std::string_view();
    const std::string_view sys = doctype.hasSystemId ? doctype.systemId : std::string_view();
    if (doctype.forceQuirks || doctype.text != "html") {
        return kQuirks;
    }
    if (doctype.hasPublicId &&
        (equalsNoCase(pub, "-//w3o//dtd w3 html strict 3.0//en//") ||
         equalsNoCase(pub, "-/w3c/dtd html 4.0 transitional/en") || equalsNoCase(pub, "html"))) {
        return kQuirks;
    }
    if (doctype.hasSystemId &&
        equalsNoCase(sys, "http://www.ibm.com/data/dtd/v11/ibmxhtml1-transitional.dtd")) {
        return kQuirks;
    }
    if (doctype.hasPublicId) {
        for (const std::string_view prefix : kQuirkyPublicPrefixes) {
            if (startsWithNoCase(pub, prefix)) {
                return kQuirks;
            }
        }
        const bool html401 = startsWithNoCase(pub, "-//w3c//dtd html 4.01 frameset//") ||
                             startsWithNoCase(pub, "-//w3c//dtd html 4.01 transitional//");
        if (html401 && !doctype.hasSystemId) {
            return kQuirks;
        }
        if (startsWithNoCase(pub, "-//w3c//dtd xhtml 1.0 frameset//") ||
            startsWithNoCase(pub, "-//w3c//dtd xhtml 1.0 transitional//") || html401) {
            return kLimitedQuirks;
        }
    }
    return kNoQuirks;
}

enum class Mode : std::uint8_t {
    Initial,
    BeforeHtml,
    BeforeHead,
    InHead,
    InHeadNoscript,
    AfterHead,
    InBody,
    Text,
    InTable,
    InTableText,
    InCaption,
    InColumnGroup,
    InTableBody,
    InRow,
    InCell,
    InTemplate,
    AfterBody,
    InFrameset,
    AfterFrameset,
    AfterAfterBody,
    AfterAfterFrameset,
};

// A token as the builder sees it: the tokenizer's, or one the rules make up.
struct Tag {
    TokenType type = TokenType::StartTag;
    std::string_view name;
    unsigned tag = kTagUnknown;
    const TokenAttribute* attributes = nullptr;
    std::size_t attributeCount = 0;
    bool selfClosing = false;
    std::size_t offset = 0;                           // of the start tag; 0 when implied
    const PointerVector* copiedAttributes = nullptr;  // when recreating an element

    const TokenAttribute* find(std::string_view attribute) const {
        for (std::size_t i = 0; i < attributeCount; ++i) {
            if (attributes[i].name == attribute) {
                return &attributes[i];
            }
        }
        return nullptr;
    }
};

}  // namespace

void NodeArena::newBlock(std::size_t bytes) {
    // A block left by reset() is used again if it is large enough.
    std::size_t next = m_blocks.empty() || m_next == nullptr ? 0 : m_current + 1;
    while (next < m_blocks.size() && m_blocks[next].size < bytes) {
        ++next;
    }
    if (next == m_blocks.size()) {
        const std::size_t size = std::max(bytes, m_nextBlockBytes);
        m_nextBlockBytes = std::min(2 * m_nextBlockBytes, kMaxBlockBytes);
        // Not zeroed: every byte given out is written before it is read.
        m_blocks.push_back({std::make_unique_for_overwrite<std::byte[]>(size), size});
    }
    m_current = next;
    m_next = m_blocks[next].bytes.get();
    m_left = m_blocks[next].size;
}

void NodeArena::dropUnusedBlocks() {
    const std::size_t used = m_next == nullptr ? 0 : m_current + 1;
#ifdef TABRIVO_POISON_ARENAS
    for (std::size_t i = used; i < m_blocks.size(); ++i) {
        ASAN_UNPOISON_MEMORY_REGION(m_blocks[i].bytes.get(), m_blocks[i].size);
    }
#endif
    if (m_blocks.size() > used) {
        m_blocks.resize(used);
    }
}

bool NodeArena::owns(const void* address) const {
    const auto* byte = static_cast<const std::byte*>(address);
    const std::less<const std::byte*> before;  // an order for addresses of any objects
    return std::any_of(m_blocks.begin(), m_blocks.end(), [&](const Block& block) {
        return !before(byte, block.bytes.get()) && before(byte, block.bytes.get() + block.size);
    });
}

NodeArena::~NodeArena() {
#ifdef TABRIVO_POISON_ARENAS
    for (const Block& block : m_blocks) {
        ASAN_UNPOISON_MEMORY_REGION(block.bytes.get(), block.size);
    }
#endif
}

void NodeArena::reset() {
#ifdef TABRIVO_POISON_ARENAS
    for (const Block& block : m_blocks) {
        ASAN_POISON_MEMORY_REGION(block.bytes.get(), block.size);
    }
#endif
    m_current = 0;
    m_next = nullptr;
    m_left = 0;
}

const char* NodeArena::copy(std::string_view text) {
    auto* out = static_cast<char*>(allocate(text.size() + 1));
    if (!text.empty()) {
        std::memcpy(out, text.data(), text.size());  // an empty view may hold no pointer
    }
    out[text.size()] = '\0';
    return out;
}

std::string_view elementName(const Node* element) {
    const TextPiece& tag = element->v.element.original_tag;
    return {tag.data + 1, tag.length - 1};
}

class TreeBuilder {
public:
    TreeBuilder(HtmlTree& tree, std::string_view text)
        : m_tree(tree), m_source(text), m_alloc(&tree.m_arena), m_tokenizer(text) {}
    void run();
    // The same a token at a time: begin(), then step() until it returns false.
    void begin();
    bool step();

    // Rows made apart (see IncrementalParse).
    void streamRowsOf(Node* table);
    std::size_t closedRowCount() const { return m_closedRows.size(); }
    const Node* closedRow(std::size_t index) const { return m_closedRows[index]->row; }
    void settleClosedRow(std::size_t index);
    bool streamedTableClosed() const { return m_streamedTableClosed; }
    bool streaming() const { return m_streamedTable != nullptr; }
    void releaseFirstClosedRow(bool free);
    void releaseClosedRows(std::size_t count);
    // Frees the closed segments whose tables the walk is done with (the
    // first `tablesDone`), where nothing else points into them (see
    // IncrementalParse::releaseSegments). True when one was freed.
    bool releaseClosedSegments(std::size_t tablesDone);
    bool stepUntil(std::size_t tables, std::size_t rowsKnown, unsigned tokens) {
        const bool rows = rowsKnown != IncrementalParse::kNoRows;
        for (unsigned i = 0; i < tokens; ++i) {
            if (!step()) {
                return false;
            }
            if (m_tree.m_tables.size() > tables ||
                (rows && (m_closedRows.size() > rowsKnown || m_streamedTableClosed))) {
                break;
            }
        }
        return true;
    }
    std::size_t attributeMerges() const { return m_attributeMerges; }
    std::size_t parsedBytes() const { return m_tokenizer.position(); }
    void setBeforeSharedChange(std::function<void()> call) {
        m_beforeSharedChange = std::move(call);
    }

private:
    // Nodes.
    Node* newNode(NodeType type, NodeArena& arena);
    Node* newElement(const Tag& tag, Namespace ns);
    Node* newText(NodeType type, std::string_view text, NodeArena& arena);
    void appendChild(Node* parent, Node* child);
    void insertAt(Node* parent, std::size_t index, Node* child);
    void detach(Node* child);
    static PointerVector& childrenOf(Node* node) {
        return node->type == kNodeDocument ? node->v.document.children : node->v.element.children;
    }
    static Node* lastChild(Node* parent) {
        PointerVector& children = childrenOf(parent);
        return childAt(children, children.length - 1);
    }
    static Node* childAt(PointerVector& children, std::size_t i) {
        return static_cast<Node*>(children.data[i]);
    }
    static std::string_view textOf(const Node* node) {
        return {node->v.text.original_text.data, node->v.text.original_text.length};
    }
    void appendText(Node* node, std::string_view more, NodeArena& arena);
    // Where a new child of `parent` is made: what belongs to the table whose
    // rows are made apart, but not to a row, lives as long as the tree.
    NodeArena& arenaForChildOf(const Node* parent) {
        if (m_streamedTable == nullptr || parent->built.streamed == BuildState::kStreamedGroup ||
            (parent->built.streamed == BuildState::kNotStreamed && inRowMemory(parent))) {
            return *m_alloc;
        }
        return arenaOf(parent);
    }
    // The memory a node was made in, for what it comes to hold (its child
    // list, a longer text); the tree's own for a memory no longer open.
    NodeArena& arenaOf(const Node* node) {
        if (node->built.memory == m_alloc->id()) {
            return *m_alloc;
        }
        if (m_segment != nullptr && node->built.memory == m_segment->arena->id()) {
            return *m_segment->arena;
        }
        return m_tree.m_arena;
    }
    // Whether the node was made in the open row's memory.
    bool inRowMemory(const Node* node) const {
        return node->built.memory == m_rowMemory->arena->id();
    }
    // What insertAt notes while rows are made apart.
    void noteStreamedInsert(Node* parent, Node* child);
    void closeStreamedRow(Node* row);
    bool inSource(std::string_view text) const {
        return std::less_equal<>{}(m_source.data(), text.data()) &&
               std::less_equal<>{}(text.data() + text.size(), m_source.data() + m_source.size());
    }

    // What a node is.
    static unsigned tagOfNode(const Node* node) { return node->built.tag; }
    static bool isHtml(const Node* node) { return node->v.element.tag_namespace == kNamespaceHtml; }
    static bool is(const Node* node, unsigned tag) {
        return isHtml(node) && tagOfNode(node) == tag && tag != kTagUnknown;
    }
    static bool isSpecial(const Node* node);
    static bool isMathmlTextIntegrationPoint(const Node* node);
    static bool isHtmlIntegrationPoint(const Node* node);
    static bool sameName(const Node* node, const Tag& tag) {
        return isHtml(node) && tagOfNode(node) == tag.tag &&
               (tag.tag != kTagUnknown || elementName(node) == tag.name);
    }

    // The stack of open elements.
    Node* current() const { return m_open.back(); }
    Node* adjustedCurrent() const { return m_open.empty() ? nullptr : m_open.back(); }
    void push(Node* element);
    void noteDepth(std::size_t index);  // of the element at that place on the stack
    void pop();
    void popUntil(unsigned tag);       // up to and including the element
    void popUntilNode(Node* element);  // likewise
    void removeFromStack(Node* element);
    bool onStack(unsigned tag) const;
    enum class Scope : std::uint8_t { Default, ListItem, Button, Table, Select };
    bool inScope(unsigned tag, Scope scope = Scope::Default) const;
    bool nodeInScope(const Node* element) const;
    bool nameInScope(const Tag& tag) const;
    void generateImpliedEndTags(unsigned except = kTagLast);
    void generateAllImpliedEndTags();
    void closeParagraph();
    void closeParagraphIfInButtonScope();
    void clearStackBackTo(std::initializer_list<unsigned> tags);
    void resetInsertionMode();

    // Active formatting elements; null is a marker.
    void pushFormatting(Node* element);
    void removeFormatting(std::size_t index);
    void insertMarker() { m_formatting.push_back(nullptr); }
    void clearFormattingToMarker();
    void reconstructFormatting();
    std::size_t formattingIndex(const Node* element) const;
    bool adoptionAgency(const Tag& tag);

    // Limits on nesting, so that no input makes the parse quadratic: a start
    // tag that would open more than kMaxOpenElements elements above the
    // nearest scope boundary, or a formatting element past
    // kMaxFormattingElements since the last marker, is left out, and so is
    // one later end tag of its name. Browsers stop nesting at 512 too; no
    // real page comes near these numbers inside one cell.
    static constexpr std::size_t kMaxOpenElements = 512;
    static constexpr std::size_t kMaxFormattingElements = 64;
    bool leavesOutStartTag(const Tag& tag);
    bool leavesOutEndTag(const Tag& tag);
    bool tooDeep() const;
    bool tooManyFormatting(const Tag& tag) const;

    // Insertion.
    struct Place {
        Node* parent = nullptr;
        std::size_t index = 0;
    };
    Place appropriatePlace(Node* target = nullptr);
    void insertNodeAt(const Place& place, Node* node);
    void noteTableOrStyle(const Node* element);  // an HTML element just inserted
    Node* insertElement(const Tag& tag);
    Node* insertForeign(const Tag& tag, Namespace ns);
    Node* insertNamed(std::string_view name);
    void insertText(std::string_view text);
    void insertComment(std::string_view text, Node* parent = nullptr);
    void genericText(const Tag& tag, HtmlTokenizer::State state);

    // Dispatch.
    void process(const Token& token);
    void processTag(const Tag& tag);
    void processText(std::string_view text);
    void processComment(std::string_view text);
    void processDoctype(const Token& token);
    void processEof();
    bool useForeignRules(const Tag* tag, bool isText) const {
        // Mostly the adjusted current node is an HTML element: decided here.
        return !m_open.empty() && !isHtml(m_open.back()) && useForeignRulesIn(tag, isText);
    }
    bool useForeignRulesIn(const Tag* tag, bool isText) const;
    void foreignTag(const Tag& tag);
    void foreignText(std::string_view text);

    // The insertion modes, one function each for tags and for text.
    void tagIn(Mode mode, const Tag& tag);
    void textIn(Mode mode, std::string_view text);
    void eofIn(Mode mode);
    void initialTag(const Tag& tag);
    void beforeHtmlTag(const Tag& tag);
    void beforeHeadTag(const Tag& tag);
    void inHeadTag(const Tag& tag);
    void inHeadNoscriptTag(const Tag& tag);
    void afterHeadTag(const Tag& tag);
    void inBodyTag(const Tag& tag);
    void inBodyStartTag(const Tag& tag);
    void inBodyEndTag(const Tag& tag);
    void inBodyOtherEndTag(const Tag& tag);
    void textTag(const Tag& tag);
    void inTableTag(const Tag& tag);
    void inTableAnythingElse(const Tag& tag);
    void inCaptionTag(const Tag& tag);
    void inColumnGroupTag(const Tag& tag);
    void inTableBodyTag(const Tag& tag);
    void inRowTag(const Tag& tag);
    void inCellTag(const Tag& tag);
    void inTemplateTag(const Tag& tag);
    void afterBodyTag(const Tag& tag);
    void inFramesetTag(const Tag& tag);
    void afterFramesetTag(const Tag& tag);
    void afterAfterBodyTag(const Tag& tag);
    void afterAfterFramesetTag(const Tag& tag);
    void inBodyText(std::string_view text);
    void flushTableText();
    bool closeCell();
    void closeCaption();

    // The tag number of a name, the last one met in its slot remembered:
    // a page uses few names many times.
    unsigned cachedTagOf(std::string_view name) {
        if (std::endian::native != std::endian::little || name.empty() ||
            name.size() > sizeof(std::uint64_t)) {
            return tagOf(name);
        }
        // The name's bytes as one number, read in at most two loads (the two
        // may overlap): bytes copied through memory would stall the load.
        const char* bytes = name.data();
        const std::size_t size = name.size();
        std::uint64_t key = static_cast<unsigned char>(bytes[0]);
        if (size >= 4) {
            std::uint32_t low = 0;
            std::uint32_t high = 0;
            std::memcpy(&low, bytes, 4);
            std::memcpy(&high, bytes + size - 4, 4);
            key = std::uint64_t{low} | (std::uint64_t{high} << (8 * (size - 4)));
        } else if (size >= 2) {
            std::uint16_t low = 0;
            std::uint16_t high = 0;
            std::memcpy(&low, bytes, 2);
            std::memcpy(&high, bytes + size - 2, 2);
            key = std::uint64_t{low} | (std::uint64_t{high} << (8 * (size - 2)));
        }
        TagSlot& slot = m_tagSlots[(key * 0x9E3779B97F4A7C15ULL) >> 58];
        if (slot.key != key || slot.length != name.size()) {
            slot = {key, static_cast<unsigned>(name.size()), tagOf(name)};
        }
        return slot.tag;
    }

    Tag makeTag(TokenType type, std::string_view name) const {
        Tag tag;
        tag.type = type;
        tag.name = name;
        tag.tag = tagOf(name);
        return tag;
    }
    // A select's button may show the chosen option: its selectedcontent gets
    // a copy of the option's content when the option closes.
    void noteSelectedContent(Node* element);
    void optionClosed(Node* option);
    void cloneChildren(Node* from, Node* to);

    HtmlTree& m_tree;
    std::string_view m_source;  // normalised; text nodes point into it
    NodeArena* m_alloc;         // where nodes are made: the tree's arena, or a row's
    Node* m_lastInserted = nullptr;

    // A streamed row's memory, from the end of the row before it (or the
    // start of streaming) to its own end.
    struct RowMemory {
        std::unique_ptr<NodeArena> arena;
        const Node* row = nullptr;  // once closed
        // Children put into row groups in this memory: runs of `count`
        // siblings from `first` to `last`. Nodes, not places: a run's place
        // moves down as earlier rows are taken out.
        struct Run {
            Node* group;
            Node* first;
            Node* last;
            unsigned count;
        };
        std::vector<Run> inserted;
        bool mustKeep = false;  // something outside the row points into it
        // Whether the row could be freed when the walk took it (see
        // IncrementalParse::settleClosedRow), if it did.
        bool settled = false;
        bool soundWhenSettled = false;
        std::size_t tables = 0;  // the tree's tables and style elements when it began
        std::size_t styleElements = 0;
        Node* form = nullptr;        // the form element pointer when it began
        std::size_t keptArenas = 0;  // the tree's kept memories when it began
        // A segment's (below): whether a streamed table closed in it, and what
        // the tree held when it closed.
        bool tableClosed = false;
        std::size_t tablesAtClose = 0;
        std::size_t styleElementsAtClose = 0;
        std::size_t keptArenasAtClose = 0;
    };
    std::unique_ptr<RowMemory> newRowMemory();
    // Frees the memory (see IncrementalParse::release), or keeps it with the tree.
    void releaseRowMemory(std::unique_ptr<RowMemory> memory, bool free);
    // Whether nothing that lives on points into the memory of a closed row.
    bool rowMemoryIsSound(const RowMemory& memory) const;
    // Whether the runs noted are still where they were put.
    bool runsInPlace(const RowMemory& memory) const;
    // Takes the runs out of their parents and keeps the memory for reuse.
    void freeMemory(std::unique_ptr<RowMemory> memory);
    // Whether release() may free the memory of a closed row.
    bool mayFree(const RowMemory& memory) const;
    void keepMemory(std::unique_ptr<RowMemory> memory);
    // Takes the runs out of their groups, moving what follows in a group
    // once for all of them (the rows after them may be many, when the walk
    // reads rows while later ones are parsed).
    static void takeOutRuns(std::vector<RowMemory::Run>& runs);
    // Empties a memory whose nodes are out of the tree, for the next rows.
    void recycleMemory(std::unique_ptr<RowMemory> memory);
    std::vector<RowMemory::Run> m_runsTakenOut;
    std::vector<std::unique_ptr<RowMemory>> m_memoriesFreed;
    // Once a streamed table has closed, the body's content is made in
    // segments of memory: one closes where the open elements are down to the
    // html and body elements again after a streamed table closed in it (the
    // content before the first is the tree's own). Once the walk is done with
    // a closed segment's tables, its nodes in the body are taken out and its
    // memory freed, unless something else points into it: then it is kept,
    // and no more segments are made.
    void closeSegment();
    bool segmentIsSound(const RowMemory& segment) const;
    void keepSegment(std::unique_ptr<RowMemory> segment);
    void noteSegmentInsert(Node* parent, Node* child);
    // A node of the memory `user` comes to point to `address` (a recreated
    // element shares its original's attributes).
    void noteSharedSegmentMemory(const void* address, const NodeArena& user);
    std::unique_ptr<RowMemory> m_segment;                     // the open one
    std::deque<std::unique_ptr<RowMemory>> m_closedSegments;  // for the walk to release
    Node* m_segmentParent = nullptr;                          // the body
    bool m_segmentsOn = false;  // from the close of the first streamed table
    bool m_segmentsOff = false;
    std::vector<std::uint16_t> m_keptSegmentIds;
    // Calls `visit` with the open segment and each closed one.
    template <typename Visit>
    void forEachSegment(Visit visit) {
        if (m_segment != nullptr) {
            visit(*m_segment);
        }
        for (const std::unique_ptr<RowMemory>& closed : m_closedSegments) {
            visit(*closed);
        }
    }
    bool segmentNumberInUse(std::uint16_t id) {
        bool inUse = std::find(m_keptSegmentIds.begin(), m_keptSegmentIds.end(), id) !=
                     m_keptSegmentIds.end();
        forEachSegment(
            [&](const RowMemory& segment) { inUse = inUse || segment.arena->id() == id; });
        return inUse;
    }
    // Notes `child` as put into `group`, lengthening the memory's last run
    // where it follows that run's last node.
    static void noteRun(RowMemory& memory, Node* group, Node* child) {
        std::vector<RowMemory::Run>& runs = memory.inserted;
        if (!runs.empty() && runs.back().group == group &&
            runs.back().last->index_within_parent + 1 == child->index_within_parent) {
            ++runs.back().count;
            runs.back().last = child;
        } else {
            runs.push_back({group, child, child, 1});
        }
    }
    Node* m_streamedTable = nullptr;
    bool m_streamedTableClosed = false;
    std::unique_ptr<RowMemory> m_rowMemory;                   // the open one
    std::deque<std::unique_ptr<RowMemory>> m_closedRows;      // not yet released
    std::vector<std::unique_ptr<RowMemory>> m_spareMemories;  // freed, for the next rows
    bool m_rowKeptLast = false;  // the last row memory done with was kept, not freed
    std::size_t m_attributeMerges = 0;
    // Called before an element every row inherits from (html, body) may change.
    std::function<void()> m_beforeSharedChange;
    void beforeSharedChange(const Tag& tag) {
        if (tag.attributeCount != 0 && m_beforeSharedChange) {
            m_beforeSharedChange();
        }
    }
    std::uint16_t m_rowMemoryId = 0;
    HtmlTokenizer m_tokenizer;
    Mode m_mode = Mode::Initial;
    Mode m_originalMode = Mode::Initial;
    std::vector<Mode> m_templateModes;
    std::vector<Node*> m_open;
    std::size_t m_openTables = 0;  // the HTML tables among them
    std::vector<Node*> m_formatting;
    Node* m_head = nullptr;
    Node* m_form = nullptr;
    bool m_framesetOk = true;
    bool m_fosterParenting = false;
    bool m_skipNewline = false;
    bool m_done = false;
    // Pending table text: a view into the source while it is one run (as it
    // mostly is), else a copy; flushed through a second buffer so neither
    // gives up its room.
    std::string_view m_tableTextRun;
    std::string m_tableText;
    std::string m_tableTextFlushed;
    std::string m_scratch;
    std::vector<std::pair<Node*, Node*>> m_selectedContents;        // select, its first
    std::unordered_map<std::string, std::size_t> m_leftOutEndTags;  // by name, still to leave out
    struct TagSlot {
        std::uint64_t key = 0;
        unsigned length = 0;  // 0: empty, as no name is
        unsigned tag = 0;
    };
    std::array<TagSlot, 64> m_tagSlots{};
};

// ---- Nodes -----------------------------------------------------------------

Node* TreeBuilder::newNode(NodeType type, NodeArena& arena) {
    // Zeroed once, whichever part of the union is used.
    // Zeroed in two halves, which compilers write with a few wide stores; one
    // call for the whole node becomes a string instruction slow to start.
    static_assert(sizeof(Node) % 2 == 0);
    void* memory = arena.allocate(sizeof(Node));
    std::memset(memory, 0, sizeof(Node) / 2);
    std::memset(static_cast<char*>(memory) + sizeof(Node) / 2, 0, sizeof(Node) / 2);
    auto* node = static_cast<Node*>(memory);
    node->built.memory = arena.id();
    node->type = type;
    node->built.tag = kTagUnknown;
    return node;
}

Node* TreeBuilder::newElement(const Tag& tag, Namespace ns) {
    NodeArena* arena = m_alloc;
    if (m_streamedTable != nullptr && ns == kNamespaceHtml) {
        switch (tag.tag) {
            case kTagTbody:
            case kTagThead:
            case kTagTfoot:
            case kTagCaption:
            case kTagColgroup:
            case kTagCol:
                // A part of the table, not of a row.
                arena = m_segment != nullptr ? m_segment->arena.get() : &m_tree.m_arena;
                break;
            default:
                break;
        }
    }
    Node* node = newNode(
        tag.tag == kTagTemplate && ns == kNamespaceHtml ? kNodeTemplate : kNodeElement, *arena);
    ElementData& element = node->v.element;
    std::string_view name = tag.name;
    if (ns == kNamespaceSvg) {
        name = camelCase(name, std::begin(kSvgElementNames), std::end(kSvgElementNames));
    }
    node->built.tag = tag.tag;
    element.tag = tag.tag < kTagUnknown ? static_cast<ElementTag>(tag.tag) : kTagUnknown;
    element.tag_namespace = ns;
    // "<name", as the source would have it: the engine reads unknown names from
    // it. A numbered tag's is the table's, but for SVG's camel-case names.
    if (tag.tag < kTagUnknown && ns != kNamespaceSvg) {
        const std::string_view opening = knownTagOpening(tag.tag);
        element.original_tag = {opening.data(), opening.size()};
    } else {
        auto* original = static_cast<char*>(arena->allocate(name.size() + 2));
        original[0] = '<';
        std::memcpy(original + 1, name.data(), name.size());
        original[name.size() + 1] = '\0';
        element.original_tag = {original, name.size() + 1};
    }
    element.start_pos.offset = static_cast<unsigned>(tag.offset);
    if (tag.copiedAttributes != nullptr) {
        element.attributes = *tag.copiedAttributes;  // attributes are never changed in place
        if (element.attributes.data != nullptr &&
            (m_segment != nullptr || !m_closedSegments.empty())) {
            noteSharedSegmentMemory(element.attributes.data, *arena);
        }
        return node;
    }
    if (tag.attributeCount == 0) {
        return node;
    }
    auto** data = static_cast<void**>(arena->allocate(sizeof(void*) * tag.attributeCount));
    for (std::size_t i = 0; i < tag.attributeCount; ++i) {
        const TokenAttribute& source = tag.attributes[i];
        auto* attribute = arena->make<Attribute>();
        attribute->attr_namespace = kAttributeNamespaceNone;
        std::string_view attributeName = source.name;
        if (ns == kNamespaceSvg) {
            attributeName = camelCase(attributeName, std::begin(kSvgAttributeNames),
                                      std::end(kSvgAttributeNames));
        } else if (ns == kNamespaceMathml && attributeName == "definitionurl") {
            attributeName = "definitionURL";
        }
        if (ns != kNamespaceHtml) {
            struct Foreign {
                std::string_view name;
                AttributeNamespace ns;
                std::size_t prefix;
            };
            static constexpr Foreign kForeign[] = {
                {"xlink:actuate", kAttributeNamespaceXlink, 6},
                {"xlink:arcrole", kAttributeNamespaceXlink, 6},
                {"xlink:href", kAttributeNamespaceXlink, 6},
                {"xlink:role", kAttributeNamespaceXlink, 6},
                {"xlink:show", kAttributeNamespaceXlink, 6},
                {"xlink:title", kAttributeNamespaceXlink, 6},
                {"xlink:type", kAttributeNamespaceXlink, 6},
                {"xml:lang", kAttributeNamespaceXml, 4},
                {"xml:space", kAttributeNamespaceXml, 4},
                {"xmlns", kAttributeNamespaceXmlns, 0},
                {"xmlns:xlink", kAttributeNamespaceXmlns, 6},
            };
            for (const Foreign& foreign : kForeign) {
                if (attributeName == foreign.name) {
                    attribute->attr_namespace = foreign.ns;
                    attributeName.remove_prefix(foreign.prefix);
                    break;
                }
            }
        }
        attribute->name = arena->copy(attributeName);
        attribute->name_length = static_cast<unsigned>(attributeName.size());
        attribute->value = arena->copy(source.value);
        data[i] = attribute;
    }
    element.attributes.data = data;
    element.attributes.length = static_cast<unsigned>(tag.attributeCount);
    element.attributes.capacity = static_cast<unsigned>(tag.attributeCount);
    return node;
}

Node* TreeBuilder::newText(NodeType type, std::string_view text, NodeArena& arena) {
    // Text of white space alone is told apart as it is made.
    Node* node = newNode(type == kNodeText && allSpace(text) ? kNodeWhitespace : type, arena);
    if (inSource(text)) {
        node->v.text.original_text = {text.data(), text.size()};  // the source outlives the tree
    } else {
        appendText(node, text, arena);
    }
    return node;
}

void TreeBuilder::appendText(Node* node, std::string_view more, NodeArena& arena) {
    if (more.empty()) {
        return;  // an empty comment: nothing to copy, and no buffer to copy into
    }
    TextPiece& text = node->v.text.original_text;
    std::size_t& room = node->v.text.room;
    if (room == 0 && text.length > 0 && text.data + text.length == more.data() && inSource(more)) {
        text.length += more.size();  // the source's next characters
        return;
    }
    const std::size_t length = text.length + more.size();
    if (length > room) {
        // Room doubles, so text that grows a run at a time is copied a bounded number of times.
        const std::size_t newRoom = text.length == 0 ? length : std::max(length, 2 * room);
        auto* buffer = static_cast<char*>(arena.allocate(newRoom));
        if (text.length > 0) {
            std::memcpy(buffer, text.data, text.length);
        }
        text.data = buffer;
        room = newRoom;
    }
    // The buffer is the arena's, given out writable above.
    std::memcpy(const_cast<char*>(text.data) + text.length, more.data(), more.size());
    text.length = length;
}

void TreeBuilder::insertAt(Node* parent, std::size_t index, Node* child) {
    PointerVector& children = childrenOf(parent);
    if (children.length == children.capacity) {
        const unsigned capacity = children.capacity == 0 ? 4 : children.capacity * 2;
        // A list goes with the memory of its node.
        NodeArena& arena = arenaOf(parent);
        auto** data = static_cast<void**>(arena.allocate(sizeof(void*) * capacity));
        if (children.length > 0) {
            std::memcpy(static_cast<void*>(data), static_cast<const void*>(children.data),
                        sizeof(void*) * children.length);
        }
        children.data = data;
        children.capacity = capacity;
    }
    // Made in document order while each node goes last into the document or the
    // current node, the open element that was made last.
    if (index != children.length ||
        (parent != m_tree.m_document && (m_open.empty() || parent != m_open.back()))) {
        m_tree.m_madeInOrder = false;
    }
    m_lastInserted = child;
    // A child list is no longer than the arena's blocks allow, far below 2^32.
    for (auto i = static_cast<unsigned>(children.length); i > index; --i) {
        children.data[i] = children.data[i - 1];
        childAt(children, i)->index_within_parent = i;
    }
    children.data[index] = child;
    ++children.length;
    child->parent = parent;
    child->index_within_parent = static_cast<unsigned>(index);
    // Into a node that is no part of a streamed table, from the same memory: nothing to note.
    if (m_streamedTable != nullptr && (parent->built.streamed != BuildState::kNotStreamed ||
                                       parent->built.memory != child->built.memory)) {
        noteStreamedInsert(parent, child);
    }
    if ((m_segment != nullptr || !m_closedSegments.empty()) &&
        parent->built.memory != child->built.memory) {
        noteSegmentInsert(parent, child);
    }
}

void TreeBuilder::appendChild(Node* parent, Node* child) {
    insertAt(parent, childrenOf(parent).length, child);
}

void TreeBuilder::detach(Node* child) {
    m_tree.m_madeInOrder = false;
    Node* parent = child->parent;
    if (parent == nullptr) {
        return;
    }
    PointerVector& children = childrenOf(parent);
    for (unsigned i = child->index_within_parent; i + 1 < children.length; ++i) {
        children.data[i] = children.data[i + 1];
        childAt(children, i)->index_within_parent = i;
    }
    --children.length;
    child->parent = nullptr;
}

// ---- What a node is ----------------------------------------------------------

bool TreeBuilder::isSpecial(const Node* node) {
    const unsigned tag = tagOfNode(node);
    switch (node->v.element.tag_namespace) {
        case kNamespaceHtml:
            switch (tag) {
                case kTagAddress:
                case kTagApplet:
                case kTagArea:
                case kTagArticle:
                case kTagAside:
                case kTagBase:
                case kTagBasefont:
                case kTagBgsound:
                case kTagBlockquote:
                case kTagBody:
                case kTagBr:
                case kTagButton:
                case kTagCaption:
                case kTagCenter:
                case kTagCol:
                case kTagColgroup:
                case kTagDd:
                case kTagDetails:
                case kTagDir:
                case kTagDiv:
                case kTagDl:
                case kTagDt:
                case kTagEmbed:
                case kTagFieldset:
                case kTagFigcaption:
                case kTagFigure:
                case kTagFooter:
                case kTagForm:
                case kTagFrame:
                case kTagFrameset:
                case kTagH1:
                case kTagH2:
                case kTagH3:
                case kTagH4:
                case kTagH5:
                case kTagH6:
                case kTagHead:
                case kTagHeader:
                case kTagHgroup:
                case kTagHr:
                case kTagHtml:
                case kTagIframe:
                case kTagImg:
                case kTagInput:
                case kTagKeygen:
                case kTagLi:
                case kTagLink:
                case kTagListing:
                case kTagMain:
                case kTagMarquee:
                case kTagMenu:
                case kTagMeta:
                case kTagNav:
                case kTagNoembed:
                case kTagNoframes:
                case kTagNoscript:
                case kTagObject:
                case kTagOl:
                case kTagP:
                case kTagParam:
                case kTagPlaintext:
                case kTagPre:
                case kTagScript:
                case kTagSection:
                case kTagSelect:
                case kTagSource:
                case kTagStyle:
                case kTagSummary:
                case kTagTable:
                case kTagTbody:
                case kTagTd:
                case kTagTemplate:
                case kTagTextarea:
                case kTagTfoot:
                case kTagTh:
                case kTagThead:
                case kTagTitle:
                case kTagTr:
                case kTagTrack:
                case kTagUl:
                case kTagWbr:
                case kTagXmp:
                case kTagSearch:
                    return true;
                default:
                    return false;
            }
        case kNamespaceMathml:
            return tag == kTagMi || tag == kTagMo || tag == kTagMn || tag == kTagMs ||
                   tag == kTagMtext || tag == kTagAnnotationXml;
        case kNamespaceSvg:
            return tag == kTagForeignobject || tag == kTagDesc || tag == kTagTitle;
    }
    return false;
}

bool TreeBuilder::isMathmlTextIntegrationPoint(const Node* node) {
    const unsigned tag = tagOfNode(node);
    return node->v.element.tag_namespace == kNamespaceMathml &&
           (tag == kTagMi || tag == kTagMo || tag == kTagMn || tag == kTagMs || tag == kTagMtext);
}

bool TreeBuilder::isHtmlIntegrationPoint(const Node* node) {
    const unsigned tag = tagOfNode(node);
    if (node->v.element.tag_namespace == kNamespaceSvg) {
        return tag == kTagForeignobject || tag == kTagDesc || tag == kTagTitle;
    }
    if (node->v.element.tag_namespace == kNamespaceMathml && tag == kTagAnnotationXml) {
        const Attribute* encoding = findAttribute(node->v.element.attributes, "encoding");
        return encoding != nullptr && (equalsNoCase(encoding->value, "text/html") ||
                                       equalsNoCase(encoding->value, "application/xhtml+xml"));
    }
    return false;
}

// ---- The stack of open elements ------------------------------------------------

namespace {
// Whether scope checks of the kind stop at the element (0: the default scope).
bool isScopeBoundary(const Node* node, unsigned scope);
}  // namespace

void TreeBuilder::push(Node* element) {
    if (element != m_lastInserted) {
        m_tree.m_madeInOrder = false;  // an element opened again, maybe before later nodes
    }
    element->built.open = true;
    m_open.push_back(element);
    noteDepth(m_open.size() - 1);
    if (is(element, kTagTable)) {
        ++m_openTables;
        if (m_openTables > m_tree.deepestTableNesting()) {
            m_tree.m_deepestTableNesting.store(m_openTables, std::memory_order_relaxed);
        }
    }
}

void TreeBuilder::noteDepth(std::size_t index) {
    Node* element = m_open[index];
    element->built.depth =
        isScopeBoundary(element, 0) || index == 0 ? 0 : m_open[index - 1]->built.depth + 1;
}

void TreeBuilder::pop() {
    Node* element = m_open.back();
    element->built.open = false;
    m_open.pop_back();
    m_openTables -= is(element, kTagTable) ? 1 : 0;
    if (!m_selectedContents.empty() && is(element, kTagOption)) {
        optionClosed(element);
    }
    if (m_streamedTable != nullptr) {
        closeStreamedRow(element);
    }
    if (m_segmentsOn && m_open.size() == 2 && m_streamedTable == nullptr &&
        (m_segment == nullptr || m_segment->tableClosed)) {
        closeSegment();
    }
}

void TreeBuilder::noteSelectedContent(Node* element) {
    for (Node* node = element->parent; node != nullptr && node->type != kNodeDocument;
         node = node->parent) {
        if (is(node, kTagSelect)) {
            for (const auto& entry : m_selectedContents) {
                if (entry.first == node) {
                    return;
                }
            }
            m_selectedContents.emplace_back(node, element);
            return;
        }
    }
}

void TreeBuilder::optionClosed(Node* option) {
    Node* select = option->parent;
    while (select != nullptr && select->type != kNodeDocument && !is(select, kTagSelect)) {
        select = select->parent;
    }
    Node* target = nullptr;
    for (const auto& entry : m_selectedContents) {
        if (entry.first == select) {
            target = entry.second;
        }
    }
    if (target == nullptr) {
        return;
    }
    // The chosen option: the last one marked selected, else the first.
    Node* first = nullptr;
    Node* marked = nullptr;
    std::vector<Node*> pending = {select};
    while (!pending.empty()) {
        Node* node = pending.back();
        pending.pop_back();
        if (node != select && is(node, kTagOption)) {
            first = first == nullptr ? node : first;
            if (findAttribute(node->v.element.attributes, "selected") != nullptr) {
                marked = node;
            }
        }
        if (node->type == kNodeElement) {
            PointerVector& children = node->v.element.children;
            for (unsigned i = children.length; i-- > 0;) {
                pending.push_back(childAt(children, i));
            }
        }
    }
    if ((marked != nullptr ? marked : first) != option) {
        return;
    }
    PointerVector& old = target->v.element.children;
    while (old.length > 0) {
        detach(childAt(old, old.length - 1));
    }
    cloneChildren(option, target);
}

void TreeBuilder::cloneChildren(Node* from, Node* to) {
    std::vector<std::pair<Node*, Node*>> pending = {{from, to}};
    while (!pending.empty()) {
        const auto [source, parent] = pending.back();
        pending.pop_back();
        PointerVector& children = childrenOf(source);
        for (unsigned i = 0; i < children.length; ++i) {
            Node* child = childAt(children, i);
            Node* copy = nullptr;
            if (child->type == kNodeElement || child->type == kNodeTemplate) {
                Tag tag;
                tag.name = elementName(child);
                tag.tag = tagOfNode(child);
                tag.copiedAttributes = &child->v.element.attributes;
                copy = newElement(tag, child->v.element.tag_namespace);
                pending.emplace_back(child, copy);
            } else {
                copy = newText(child->type, textOf(child), *m_alloc);
            }
            appendChild(parent, copy);
        }
    }
}

void TreeBuilder::popUntil(unsigned tag) {
    while (!m_open.empty()) {
        const bool found = is(current(), tag);
        pop();
        if (found) {
            return;
        }
    }
}

void TreeBuilder::popUntilNode(Node* element) {
    while (!m_open.empty()) {
        const bool found = current() == element;
        pop();
        if (found) {
            return;
        }
    }
}

void TreeBuilder::removeFromStack(Node* element) {
    const auto it = std::find(m_open.rbegin(), m_open.rend(), element);
    if (it != m_open.rend()) {
        element->built.open = false;
        m_open.erase(std::next(it).base());
        m_openTables -= is(element, kTagTable) ? 1 : 0;
    }
}

bool TreeBuilder::onStack(unsigned tag) const {
    return std::any_of(m_open.rbegin(), m_open.rend(),
                       [tag](const Node* node) { return is(node, tag); });
}

namespace {

bool isScopeBoundary(const Node* node, unsigned scope) {
    const unsigned tag = node->built.tag;
    const Namespace ns = node->v.element.tag_namespace;
    if (ns == kNamespaceHtml) {
        switch (tag) {
            case kTagHtml:
            case kTagTable:
            case kTagTemplate:
                return true;
            case kTagApplet:
            case kTagCaption:
            case kTagTd:
            case kTagTh:
            case kTagMarquee:
            case kTagObject:
                return scope <= 2;
            case kTagOl:
            case kTagUl:
                return scope == 1;
            case kTagButton:
                return scope == 2;
            default:
                return false;
        }
    }
    if (scope > 2) {
        return true;  // table scope stops at HTML ones only; handled by the caller
    }
    if (ns == kNamespaceMathml) {
        return tag == kTagMi || tag == kTagMo || tag == kTagMn || tag == kTagMs ||
               tag == kTagMtext || tag == kTagAnnotationXml;
    }
    return tag == kTagForeignobject || tag == kTagDesc || tag == kTagTitle;
}

}  // namespace

bool TreeBuilder::inScope(unsigned tag, Scope scope) const {
    for (auto it = m_open.rbegin(); it != m_open.rend(); ++it) {
        const Node* node = *it;
        if (is(node, tag)) {
            return true;
        }
        if (scope == Scope::Select) {
            if (!(is(node, kTagOptgroup) || is(node, kTagOption))) {
                return false;
            }
            continue;
        }
        if (scope == Scope::Table) {
            if (isHtml(node) && (tagOfNode(node) == kTagHtml || tagOfNode(node) == kTagTable ||
                                 tagOfNode(node) == kTagTemplate)) {
                return false;
            }
            continue;
        }
        if (isScopeBoundary(node, static_cast<unsigned>(scope))) {
            return false;
        }
    }
    return false;
}

bool TreeBuilder::nodeInScope(const Node* element) const {
    for (auto it = m_open.rbegin(); it != m_open.rend(); ++it) {
        if (*it == element) {
            return true;
        }
        if (isScopeBoundary(*it, 0)) {
            return false;
        }
    }
    return false;
}

void TreeBuilder::generateImpliedEndTags(unsigned except) {
    for (;;) {
        const Node* node = current();
        if (!isHtml(node) || tagOfNode(node) == except) {
            return;
        }
        switch (tagOfNode(node)) {
            case kTagDd:
            case kTagDt:
            case kTagLi:
            case kTagOptgroup:
            case kTagOption:
            case kTagP:
            case kTagRb:
            case kTagRp:
            case kTagRt:
            case kTagRtc:
                pop();
                break;
            default:
                return;
        }
    }
}

void TreeBuilder::generateAllImpliedEndTags() {
    for (;;) {
        const Node* node = current();
        if (!isHtml(node)) {
            return;
        }
        switch (tagOfNode(node)) {
            case kTagCaption:
            case kTagColgroup:
            case kTagDd:
            case kTagDt:
            case kTagLi:
            case kTagOptgroup:
            case kTagOption:
            case kTagP:
            case kTagRb:
            case kTagRp:
            case kTagRt:
            case kTagRtc:
            case kTagTbody:
            case kTagTd:
            case kTagTfoot:
            case kTagTh:
            case kTagThead:
            case kTagTr:
                pop();
                break;
            default:
                return;
        }
    }
}

void TreeBuilder::closeParagraph() {
    generateImpliedEndTags(kTagP);
    popUntil(kTagP);
}

void TreeBuilder::closeParagraphIfInButtonScope() {
    if (inScope(kTagP, Scope::Button)) {
        closeParagraph();
    }
}

void TreeBuilder::clearStackBackTo(std::initializer_list<unsigned> tags) {
    while (!(isHtml(current()) &&
             std::find(tags.begin(), tags.end(), tagOfNode(current())) != tags.end())) {
        pop();
    }
}

void TreeBuilder::resetInsertionMode() {
    for (std::size_t i = m_open.size(); i-- > 0;) {
        const Node* node = m_open[i];
        const bool last = i == 0;
        if (!isHtml(node)) {
            continue;
        }
        switch (tagOfNode(node)) {
            case kTagTd:
            case kTagTh:
                if (!last) {
                    m_mode = Mode::InCell;
                    return;
                }
                break;
            case kTagTr:
                m_mode = Mode::InRow;
                return;
            case kTagTbody:
            case kTagThead:
            case kTagTfoot:
                m_mode = Mode::InTableBody;
                return;
            case kTagCaption:
                m_mode = Mode::InCaption;
                return;
            case kTagColgroup:
                m_mode = Mode::InColumnGroup;
                return;
            case kTagTable:
                m_mode = Mode::InTable;
                return;
            case kTagTemplate:
                m_mode = m_templateModes.back();
                return;
            case kTagHead:
                if (!last) {
                    m_mode = Mode::InHead;
                    return;
                }
                break;
            case kTagBody:
                m_mode = Mode::InBody;
                return;
            case kTagFrameset:
                m_mode = Mode::InFrameset;
                return;
            case kTagHtml:
                m_mode = m_head == nullptr ? Mode::BeforeHead : Mode::AfterHead;
                return;
            default:
                break;
        }
        if (last) {
            m_mode = Mode::InBody;
            return;
        }
    }
    m_mode = Mode::InBody;
}

// ---- Active formatting elements --------------------------------------------------

namespace {

bool sameAttributes(const PointerVector& a, const PointerVector& b) {
    if (a.length != b.length) {
        return false;
    }
    for (unsigned i = 0; i < a.length; ++i) {
        const auto* attribute = static_cast<const Attribute*>(a.data[i]);
        const Attribute* other = findAttribute(b, attribute->name);
        if (other == nullptr || other->attr_namespace != attribute->attr_namespace ||
            std::strcmp(other->value, attribute->value) != 0) {
            return false;
        }
    }
    return true;
}

}  // namespace

void TreeBuilder::pushFormatting(Node* element) {
    // No more than three alike since the last marker: the earliest goes.
    int alike = 0;
    std::size_t earliest = 0;
    for (std::size_t i = m_formatting.size(); i-- > 0;) {
        const Node* entry = m_formatting[i];
        if (entry == nullptr) {
            break;
        }
        if (tagOfNode(entry) == tagOfNode(element) &&
            entry->v.element.tag_namespace == element->v.element.tag_namespace &&
            elementName(entry) == elementName(element) &&
            sameAttributes(entry->v.element.attributes, element->v.element.attributes)) {
            ++alike;
            earliest = i;
        }
    }
    if (alike >= 3) {
        removeFormatting(earliest);
    }
    ++element->built.formatting;
    m_formatting.push_back(element);
}

void TreeBuilder::removeFormatting(std::size_t index) {
    if (m_formatting[index] != nullptr) {
        --m_formatting[index]->built.formatting;
    }
    m_formatting.erase(m_formatting.begin() + static_cast<std::ptrdiff_t>(index));
}

void TreeBuilder::clearFormattingToMarker() {
    while (!m_formatting.empty()) {
        Node* entry = m_formatting.back();
        m_formatting.pop_back();
        if (entry == nullptr) {
            return;
        }
        --entry->built.formatting;
    }
}

std::size_t TreeBuilder::formattingIndex(const Node* element) const {
    for (std::size_t i = m_formatting.size(); i-- > 0;) {
        if (m_formatting[i] == element) {
            return i;
        }
    }
    return m_formatting.size();
}

void TreeBuilder::reconstructFormatting() {
    if (m_formatting.empty() || m_formatting.back() == nullptr || m_formatting.back()->built.open) {
        return;
    }
    std::size_t i = m_formatting.size() - 1;
    while (i > 0) {
        const Node* entry = m_formatting[i - 1];
        if (entry == nullptr || entry->built.open) {
            break;
        }
        --i;
    }
    for (; i < m_formatting.size(); ++i) {
        Node* entry = m_formatting[i];
        Tag tag;
        tag.name = elementName(entry);
        tag.tag = tagOfNode(entry);
        tag.copiedAttributes = &entry->v.element.attributes;
        Node* element = insertElement(tag);
        --entry->built.formatting;
        ++element->built.formatting;
        m_formatting[i] = element;
    }
}

// Returns false when the end tag is to be handled as "any other end tag".
bool TreeBuilder::adoptionAgency(const Tag& tag) {
    Node* now = current();
    if (sameName(now, tag) && now->built.formatting == 0) {
        pop();
        return true;
    }
    for (int outer = 0; outer < 8; ++outer) {
        std::size_t formattingAt = m_formatting.size();
        for (std::size_t i = m_formatting.size(); i-- > 0;) {
            if (m_formatting[i] == nullptr) {
                break;
            }
            if (sameName(m_formatting[i], tag)) {
                formattingAt = i;
                break;
            }
        }
        if (formattingAt == m_formatting.size()) {
            return false;
        }
        Node* formatting = m_formatting[formattingAt];
        if (!formatting->built.open) {
            removeFormatting(formattingAt);
            return true;
        }
        if (!nodeInScope(formatting)) {
            return true;
        }
        std::size_t stackAt = m_open.size();
        while (m_open[--stackAt] != formatting) {
        }
        // Browsers leave a select whole: a formatting element outside it stays open.
        for (std::size_t i = stackAt + 1; i < m_open.size(); ++i) {
            if (is(m_open[i], kTagSelect)) {
                return true;
            }
        }
        Node* furthest = nullptr;
        std::size_t furthestAt = 0;
        for (std::size_t i = stackAt + 1; i < m_open.size(); ++i) {
            if (isSpecial(m_open[i])) {
                furthest = m_open[i];
                furthestAt = i;
                break;
            }
        }
        if (furthest == nullptr) {
            popUntilNode(formatting);
            removeFormatting(formattingIndex(formatting));
            return true;
        }
        Node* commonAncestor = m_open[stackAt - 1];
        std::size_t bookmark = formattingAt;
        Node* node = furthest;
        Node* lastNode = furthest;
        std::size_t nodeAt = furthestAt;
        for (int inner = 1;; ++inner) {
            node = m_open[--nodeAt];
            if (node == formatting) {
                break;
            }
            std::size_t nodeFormatting = formattingIndex(node);
            if (inner > 3 && nodeFormatting < m_formatting.size()) {
                removeFormatting(nodeFormatting);
                if (nodeFormatting < bookmark) {
                    --bookmark;
                }
                nodeFormatting = m_formatting.size();
            }
            if (nodeFormatting >= m_formatting.size()) {
                node->built.open = false;
                m_open.erase(m_open.begin() + static_cast<std::ptrdiff_t>(nodeAt));
                continue;
            }
            Tag copy;
            copy.name = elementName(node);
            copy.tag = tagOfNode(node);
            copy.copiedAttributes = &node->v.element.attributes;
            Node* element = newElement(copy, node->v.element.tag_namespace);
            --node->built.formatting;
            node->built.open = false;
            ++element->built.formatting;
            element->built.open = true;
            m_formatting[nodeFormatting] = element;
            m_open[nodeAt] = element;
            noteDepth(nodeAt);
            node = element;
            if (lastNode == furthest) {
                bookmark = nodeFormatting + 1;
            }
            detach(lastNode);
            appendChild(node, lastNode);
            lastNode = node;
        }
        detach(lastNode);
        insertNodeAt(appropriatePlace(commonAncestor), lastNode);
        Tag copy;
        copy.name = elementName(formatting);
        copy.tag = tagOfNode(formatting);
        copy.copiedAttributes = &formatting->v.element.attributes;
        Node* element = newElement(copy, formatting->v.element.tag_namespace);
        PointerVector& moved = childrenOf(furthest);
        while (moved.length > 0) {
            Node* child = childAt(moved, 0);
            detach(child);
            appendChild(element, child);
        }
        appendChild(furthest, element);
        const std::size_t oldAt = formattingIndex(formatting);
        removeFormatting(oldAt);
        if (oldAt < bookmark) {
            --bookmark;
        }
        ++element->built.formatting;
        m_formatting.insert(m_formatting.begin() + static_cast<std::ptrdiff_t>(bookmark), element);
        removeFromStack(formatting);
        const auto furthestIt = std::find(m_open.begin(), m_open.end(), furthest);
        element->built.open = true;
        noteDepth(
            static_cast<std::size_t>(m_open.insert(furthestIt + 1, element) - m_open.begin()));
    }
    return true;
}

// ---- Insertion ----------------------------------------------------------------------

TreeBuilder::Place TreeBuilder::appropriatePlace(Node* target) {
    if (target == nullptr) {
        target = current();
    }
    if (m_fosterParenting && isHtml(target) &&
        (tagOfNode(target) == kTagTable || tagOfNode(target) == kTagTbody ||
         tagOfNode(target) == kTagTfoot || tagOfNode(target) == kTagThead ||
         tagOfNode(target) == kTagTr)) {
        std::size_t table = m_open.size();
        std::size_t templ = m_open.size();
        for (std::size_t i = m_open.size(); i-- > 0;) {
            if (table == m_open.size() && is(m_open[i], kTagTable)) {
                table = i;
            }
            if (templ == m_open.size() && is(m_open[i], kTagTemplate)) {
                templ = i;
            }
        }
        if (templ != m_open.size() && (table == m_open.size() || templ > table)) {
            return {m_open[templ], childrenOf(m_open[templ]).length};
        }
        if (table == m_open.size()) {
            return {m_open[0], childrenOf(m_open[0]).length};
        }
        Node* tableNode = m_open[table];
        if (tableNode->parent != nullptr) {
            return {tableNode->parent, tableNode->index_within_parent};
        }
        Node* above = m_open[table - 1];
        return {above, childrenOf(above).length};
    }
    return {target, childrenOf(target).length};
}

void TreeBuilder::insertNodeAt(const Place& place, Node* node) {
    insertAt(place.parent, place.index, node);
}

Node* TreeBuilder::insertElement(const Tag& tag) {
    Node* element = newElement(tag, kNamespaceHtml);
    insertNodeAt(appropriatePlace(), element);
    noteTableOrStyle(element);
    push(element);
    if (tag.tag == kTagUnknown && tag.name == "selectedcontent") {
        noteSelectedContent(element);
    }
    return element;
}

void TreeBuilder::noteTableOrStyle(const Node* element) {
    const unsigned tag = tagOfNode(element);
    if (tag != kTagTable && tag != kTagStyle) {
        return;
    }
    if (!m_templateModes.empty()) {
        // Maybe in a template's contents, which are no part of the document:
        // let the walk tell (looking up the ancestors here would be quadratic).
        m_tree.m_madeInOrder = false;
        return;
    }
    (tag == kTagTable ? m_tree.m_tables : m_tree.m_styleElements).push_back(element);
}

Node* TreeBuilder::insertForeign(const Tag& tag, Namespace ns) {
    Node* element = newElement(tag, ns);
    insertNodeAt(appropriatePlace(), element);
    push(element);
    return element;
}

Node* TreeBuilder::insertNamed(std::string_view name) {
    return insertElement(makeTag(TokenType::StartTag, name));
}

void TreeBuilder::insertText(std::string_view text) {
    if (text.empty()) {
        return;
    }
    const Place place = appropriatePlace();
    if (place.parent->type == kNodeDocument) {
        return;  // the document takes no text
    }
    PointerVector& children = childrenOf(place.parent);
    if (place.index > 0) {
        Node* before = childAt(children, place.index - 1);
        if (before->type == kNodeText || before->type == kNodeWhitespace) {
            // Text grown in a closed segment's node is text the walk may not lose.
            forEachSegment([&](RowMemory& segment) {
                if (&segment != m_segment.get() && before->built.memory == segment.arena->id()) {
                    segment.mustKeep = true;
                }
            });
            appendText(before, text, arenaOf(before));
            if (before->type == kNodeWhitespace && !allSpace(text)) {
                before->type = kNodeText;
            }
            return;
        }
    }
    insertNodeAt(place, newText(kNodeText, text, arenaForChildOf(place.parent)));
}

void TreeBuilder::insertComment(std::string_view text, Node* parent) {
    const Place place =
        parent != nullptr ? Place{parent, childrenOf(parent).length} : appropriatePlace();
    insertNodeAt(place, newText(kNodeComment, text, arenaForChildOf(place.parent)));
}

void TreeBuilder::genericText(const Tag& tag, HtmlTokenizer::State state) {
    insertElement(tag);
    m_tokenizer.setState(state);
    m_originalMode = m_mode;
    m_mode = Mode::Text;
}

// ---- Dispatch ---------------------------------------------------------------------------

void TreeBuilder::begin() {
    m_tree.m_document = newNode(kNodeDocument, m_tree.m_arena);
}

bool TreeBuilder::step() {
    if (!m_done) {
        const Token& token = m_tokenizer.next();
        process(token);
        if (token.type != TokenType::EndOfFile) {
            const Node* adjusted = adjustedCurrent();
            m_tokenizer.setForeignContent(adjusted != nullptr && !isHtml(adjusted));
            return true;
        }
        m_done = true;
    }
    while (!m_open.empty()) {
        pop();  // parsing stops with every element closed
    }
    return false;
}

// ---- Rows made apart ----------------------------------------------------------------

std::unique_ptr<TreeBuilder::RowMemory> TreeBuilder::newRowMemory() {
    std::unique_ptr<RowMemory> memory;
    if (m_spareMemories.empty()) {
        // Most rows need no more than the larger first block. Where rows are
        // kept (each holding a table read after it, say), each keeps its
        // blocks, and memory is made for every row: it starts small.
        constexpr std::size_t kFirstBlockBytes = 4096;
        constexpr std::size_t kFirstBlockBytesWhileKept = 1024;
        memory = std::make_unique<RowMemory>();
        memory->arena = std::make_unique<NodeArena>(m_rowKeptLast ? kFirstBlockBytesWhileKept
                                                                  : kFirstBlockBytes);
    } else {
        memory = std::move(m_spareMemories.back());
        m_spareMemories.pop_back();
    }
    // A fresh number for each use, never the tree's own 0: nodes of a row
    // freed long ago are unreachable, and those of a kept row take no more
    // children, so a number coming round again marks nothing still in use.
    // The numbers of segments still in the tree are not given out again:
    // their nodes may take children.
    do {
        m_rowMemoryId =
            static_cast<std::uint16_t>(m_rowMemoryId == UINT16_MAX ? 1 : m_rowMemoryId + 1);
    } while (segmentNumberInUse(m_rowMemoryId));
    memory->arena->setId(m_rowMemoryId);
    memory->keptArenas = m_tree.m_keptArenas.size();
    memory->tableClosed = false;
    memory->tables = m_tree.m_tables.size();
    memory->styleElements = m_tree.m_styleElements.size();
    memory->form = m_form;
    return memory;
}

void TreeBuilder::streamRowsOf(Node* table) {
    m_streamedTable = table;
    m_streamedTableClosed = false;
    table->built.streamed = BuildState::kStreamedTable;
    const PointerVector& children = table->v.element.children;
    for (unsigned i = 0; i < children.length; ++i) {
        Node* child = childAt(const_cast<PointerVector&>(children), i);
        if (is(child, kTagTbody) || is(child, kTagThead) || is(child, kTagTfoot)) {
            child->built.streamed = BuildState::kStreamedGroup;
        }
    }
    m_rowMemory = newRowMemory();
    m_alloc = m_rowMemory->arena.get();
}

void TreeBuilder::noteStreamedInsert(Node* parent, Node* child) {
    RowMemory& memory = *m_rowMemory;
    switch (parent->built.streamed) {
        case BuildState::kStreamedTable:
            if (is(child, kTagTbody) || is(child, kTagThead) || is(child, kTagTfoot)) {
                child->built.streamed = BuildState::kStreamedGroup;
            } else if (inRowMemory(child)) {
                memory.mustKeep = true;  // made in the row's memory, kept by the table
            }
            return;
        case BuildState::kStreamedGroup:
            noteRun(memory, parent, child);
            return;
        default:
            // A node of the row's memory put outside the row (into a caption,
            // before the table...) keeps the memory.
            if (!inRowMemory(parent) && inRowMemory(child)) {
                memory.mustKeep = true;
            }
            return;
    }
}

void TreeBuilder::closeStreamedRow(Node* element) {
    if (element == m_streamedTable) {
        // What came after the last row (white space, comments) goes like a row.
        m_alloc = m_segment != nullptr ? m_segment->arena.get() : &m_tree.m_arena;
        releaseRowMemory(std::move(m_rowMemory), true);
        m_streamedTable = nullptr;
        m_streamedTableClosed = true;
        if (m_segment != nullptr) {
            m_segment->tableClosed = true;
        }
        m_segmentsOn = !m_segmentsOff && m_open.size() >= 2 && is(m_open[1], kTagBody);
        return;
    }
    if (!is(element, kTagTr) || element->parent == nullptr ||
        element->parent->built.streamed != BuildState::kStreamedGroup) {
        return;
    }
    m_rowMemory->row = element;
    m_closedRows.push_back(std::move(m_rowMemory));
    m_rowMemory = newRowMemory();
    m_alloc = m_rowMemory->arena.get();
}

void TreeBuilder::releaseFirstClosedRow(bool free) {
    std::unique_ptr<RowMemory> memory = std::move(m_closedRows.front());
    m_closedRows.pop_front();
    releaseRowMemory(std::move(memory), free);
}

bool TreeBuilder::rowMemoryIsSound(const RowMemory& memory) const {
    // Whatever refers into the memory now must be the row, its descendants
    // and the nodes before it in its group that came with it.
    // A formatting element of the row may outlive its cell in the list (one
    // a template inside the cell left there), to be recreated later.
    const NodeArena& arena = *memory.arena;
    const bool listed =
        std::any_of(m_formatting.begin(), m_formatting.end(),
                    [&](const Node* entry) { return entry != nullptr && arena.owns(entry); });
    return !memory.mustKeep && m_tree.m_madeInOrder && m_tree.m_tables.size() == memory.tables &&
           m_tree.m_styleElements.size() == memory.styleElements && m_form == memory.form &&
           m_selectedContents.empty() && !listed && runsInPlace(memory);
}

void TreeBuilder::settleClosedRow(std::size_t index) {
    RowMemory& memory = *m_closedRows[index];
    memory.settled = true;
    memory.soundWhenSettled = rowMemoryIsSound(memory);
}

bool TreeBuilder::mayFree(const RowMemory& memory) const {
    // A row settled when the walk took it keeps that answer: the tables,
    // style sheets or form made by the rows parsed since are not in it, and
    // nothing made later comes to point into a closed row. What moved its
    // nodes since is still seen.
    return memory.settled ? memory.soundWhenSettled && m_tree.m_madeInOrder && runsInPlace(memory)
                          : rowMemoryIsSound(memory);
}

void TreeBuilder::keepMemory(std::unique_ptr<RowMemory> memory) {
    m_rowKeptLast = true;
    memory->arena->dropUnusedBlocks();  // blocks of earlier, larger rows
    m_tree.m_keptArenas.push_back(std::move(memory->arena));
}

void TreeBuilder::releaseRowMemory(std::unique_ptr<RowMemory> memory, bool free) {
    if (free && mayFree(*memory)) {
        freeMemory(std::move(memory));
    } else {
        keepMemory(std::move(memory));
    }
}

void TreeBuilder::releaseClosedRows(std::size_t count) {
    m_runsTakenOut.clear();
    for (std::size_t i = 0; i < count; ++i) {
        std::unique_ptr<RowMemory> memory = std::move(m_closedRows.front());
        m_closedRows.pop_front();
        if (mayFree(*memory)) {
            m_runsTakenOut.insert(m_runsTakenOut.end(), memory->inserted.begin(),
                                  memory->inserted.end());
            m_memoriesFreed.push_back(std::move(memory));
        } else {
            keepMemory(std::move(memory));
        }
    }
    takeOutRuns(m_runsTakenOut);
    for (std::unique_ptr<RowMemory>& memory : m_memoriesFreed) {
        recycleMemory(std::move(memory));
    }
    m_memoriesFreed.clear();
}

bool TreeBuilder::runsInPlace(const RowMemory& memory) const {
    bool inPlace = true;
    for (const RowMemory::Run& run : memory.inserted) {
        const PointerVector& children = run.group->v.element.children;
        const unsigned first = run.first->index_within_parent;
        inPlace = inPlace && run.first->parent == run.group &&
                  first + run.count <= children.length && children.data[first] == run.first &&
                  children.data[first + run.count - 1] == run.last;
    }
    return inPlace;
}

void TreeBuilder::freeMemory(std::unique_ptr<RowMemory> memory) {
    takeOutRuns(memory->inserted);
    recycleMemory(std::move(memory));
}

void TreeBuilder::takeOutRuns(std::vector<RowMemory::Run>& runs) {
    // In each group by place; a run taken out leaves the places of those
    // before it as they were.
    std::sort(runs.begin(), runs.end(), [](const RowMemory::Run& a, const RowMemory::Run& b) {
        return a.group != b.group ? std::less<>()(a.group, b.group)
                                  : a.first->index_within_parent < b.first->index_within_parent;
    });
    for (std::size_t begin = 0; begin < runs.size();) {
        Node* const group = runs[begin].group;
        PointerVector& children = group->v.element.children;
        unsigned write = runs[begin].first->index_within_parent;
        unsigned read = write;
        const auto keep = [&](unsigned end) {
            for (; read < end; ++read, ++write) {
                children.data[write] = children.data[read];
                childAt(children, write)->index_within_parent = write;
            }
        };
        std::size_t run = begin;
        for (; run < runs.size() && runs[run].group == group; ++run) {
            keep(runs[run].first->index_within_parent);
            read += runs[run].count;
        }
        keep(children.length);
        children.length = write;
        begin = run;
    }
}

void TreeBuilder::recycleMemory(std::unique_ptr<RowMemory> memory) {
    m_rowKeptLast = false;
    m_lastInserted = nullptr;
    memory->arena->reset();
    memory->row = nullptr;
    memory->inserted.clear();
    memory->mustKeep = false;
    memory->settled = false;
    m_spareMemories.push_back(std::move(memory));
}

void TreeBuilder::noteSegmentInsert(Node* parent, Node* child) {
    forEachSegment([&](RowMemory& segment) {
        const std::uint16_t id = segment.arena->id();
        const bool childInside = child->built.memory == id;
        if (childInside == (parent->built.memory == id)) {
            return;
        }
        if (childInside && &segment == m_segment.get() && parent == m_segmentParent) {
            noteRun(segment, parent, child);
        } else if (childInside || m_rowMemory == nullptr || !inRowMemory(child)) {
            // Something of the segment put elsewhere, or something from
            // elsewhere put into it (but for the streamed table's rows).
            segment.mustKeep = true;
        }
    });
}

void TreeBuilder::noteSharedSegmentMemory(const void* address, const NodeArena& user) {
    forEachSegment([&](RowMemory& segment) {
        if (segment.arena.get() != &user && segment.arena->owns(address)) {
            segment.mustKeep = true;  // what another memory's node points to
        }
    });
}

void TreeBuilder::closeSegment() {
    if (m_segment != nullptr) {
        m_segment->tablesAtClose = m_tree.m_tables.size();
        m_segment->styleElementsAtClose = m_tree.m_styleElements.size();
        m_segment->keptArenasAtClose = m_tree.m_keptArenas.size();
        m_closedSegments.push_back(std::move(m_segment));
    }
    m_segmentParent = m_open.back();
    m_segment = newRowMemory();
    m_alloc = m_segment->arena.get();
}

bool TreeBuilder::segmentIsSound(const RowMemory& segment) const {
    // By address, not by the node's mark: a list may still hold a node of
    // memory freed before (the formatting elements of rows the end of the
    // input closed).
    const NodeArena& arena = *segment.arena;
    const auto inside = [&arena](const Node* node) { return node != nullptr && arena.owns(node); };
    // Nothing that lives on (open elements, formatting elements, kept rows,
    // style sheets, the form) came to be in it.
    return !segment.mustKeep && m_tree.m_madeInOrder &&
           segment.styleElementsAtClose == segment.styleElements &&
           segment.keptArenasAtClose == segment.keptArenas && !inside(m_form) && !inside(m_head) &&
           m_selectedContents.empty() && std::none_of(m_open.begin(), m_open.end(), inside) &&
           std::none_of(m_formatting.begin(), m_formatting.end(), inside) && runsInPlace(segment);
}

void TreeBuilder::keepSegment(std::unique_ptr<RowMemory> segment) {
    m_keptSegmentIds.push_back(segment->arena->id());
    m_segmentsOff = true;
    m_segmentsOn = false;
    segment->arena->dropUnusedBlocks();
    m_tree.m_keptArenas.push_back(std::move(segment->arena));
}

bool TreeBuilder::releaseClosedSegments(std::size_t tablesDone) {
    bool freed = false;
    while (!m_closedSegments.empty() && m_closedSegments.front()->tablesAtClose <= tablesDone) {
        std::unique_ptr<RowMemory> segment = std::move(m_closedSegments.front());
        m_closedSegments.pop_front();
        if (segmentIsSound(*segment)) {
            freeMemory(std::move(segment));
            freed = true;
        } else {
            keepSegment(std::move(segment));
        }
    }
    return freed;
}

void TreeBuilder::run() {
    m_tree.m_document = newNode(kNodeDocument, m_tree.m_arena);
    while (!m_done) {
        const Token& token = m_tokenizer.next();
        process(token);
        if (token.type == TokenType::EndOfFile) {
            break;
        }
        const Node* adjusted = adjustedCurrent();
        m_tokenizer.setForeignContent(adjusted != nullptr && !isHtml(adjusted));
    }
    while (!m_open.empty()) {
        pop();  // parsing stops with every element closed
    }
}

void TreeBuilder::process(const Token& token) {
    switch (token.type) {
        case TokenType::Character: {
            std::string_view text = token.text;
            if (m_skipNewline) {
                // NULs before it are ignored as the text is inserted; the
                // browser skips the newline after them all the same.
                const std::size_t first = text.find_first_not_of('\0');
                if (first != std::string_view::npos) {
                    m_skipNewline = false;
                    if (text[first] == '\n') {
                        text.remove_prefix(first + 1);
                    }
                }
            }
            if (!text.empty()) {
                processText(text);
            }
            return;
        }
        case TokenType::StartTag:
        case TokenType::EndTag: {
            m_skipNewline = false;
            Tag tag;
            tag.type = token.type;
            tag.name = token.text;
            tag.tag = cachedTagOf(token.text);
            tag.attributes = token.attributes;
            tag.attributeCount = token.attributeCount;
            tag.selfClosing = token.selfClosing;
            tag.offset = token.offset;
            const bool leftOut =
                tag.type == TokenType::StartTag ? leavesOutStartTag(tag) : leavesOutEndTag(tag);
            if (!leftOut) {
                processTag(tag);
            }
            return;
        }
        case TokenType::Comment:
            m_skipNewline = false;
            processComment(token.text);
            return;
        case TokenType::Doctype:
            m_skipNewline = false;
            processDoctype(token);
            return;
        case TokenType::EndOfFile:
            processEof();
            return;
    }
}

bool TreeBuilder::useForeignRulesIn(const Tag* tag, bool isText) const {
    const Node* node = adjustedCurrent();
    const bool start = tag != nullptr && tag->type == TokenType::StartTag;
    if (isMathmlTextIntegrationPoint(node)) {
        if (isText || (start && tag->tag != kTagMglyph && tag->tag != kTagMalignmark)) {
            return false;
        }
    }
    if (node->v.element.tag_namespace == kNamespaceMathml && tagOfNode(node) == kTagAnnotationXml &&
        start && tag->tag == kTagSvg) {
        return false;
    }
    if (isHtmlIntegrationPoint(node) && (start || isText)) {
        return false;
    }
    return true;
}

void TreeBuilder::processTag(const Tag& tag) {
    if (useForeignRules(&tag, false)) {
        foreignTag(tag);
    } else {
        tagIn(m_mode, tag);
    }
}

void TreeBuilder::processText(std::string_view text) {
    if (useForeignRules(nullptr, true)) {
        foreignText(text);
    } else {
        textIn(m_mode, text);
    }
}

void TreeBuilder::processComment(std::string_view text) {
    switch (m_mode) {
        case Mode::Initial:
        case Mode::BeforeHtml:
        case Mode::AfterAfterBody:
        case Mode::AfterAfterFrameset:
            insertComment(text, m_tree.m_document);
            return;
        case Mode::AfterBody:
            insertComment(text, m_open.front());
            return;
        case Mode::InTableText:
            flushTableText();
            processComment(text);
            return;
        default:
            insertComment(text);
            return;
    }
}

void TreeBuilder::processDoctype(const Token& token) {
    if (m_mode == Mode::InTableText) {
        flushTableText();
        processDoctype(token);
        return;
    }
    if (m_mode != Mode::Initial || useForeignRules(nullptr, false)) {
        return;  // a DOCTYPE anywhere else is ignored
    }
    DocumentData& document = m_tree.m_document->v.document;
    document.has_doctype = true;
    document.name = m_tree.m_arena.copy(token.text);
    document.public_identifier = m_tree.m_arena.copy(token.hasPublicId ? token.publicId : "");
    document.system_identifier = m_tree.m_arena.copy(token.hasSystemId ? token.systemId : "");
    document.doc_type_quirks_mode = quirksOf(token);
    m_tree.m_doctypeIndex = document.children.length;
    m_tree.m_doctypeHasIds = token.hasPublicId || token.hasSystemId;
    m_mode = Mode::BeforeHtml;
}

void TreeBuilder::processEof() {
    eofIn(m_mode);
}

void TreeBuilder::foreignText(std::string_view text) {
    // A NUL becomes U+FFFD but, unlike other text, leaves a frameset possible.
    if (std::any_of(text.begin(), text.end(), [](char c) { return !isSpace(c) && c != '\0'; })) {
        m_framesetOk = false;
    }
    if (text.find('\0') != std::string_view::npos) {
        m_scratch.clear();
        for (const char c : text) {
            if (c == '\0') {
                m_scratch += "\xEF\xBF\xBD";
            } else {
                m_scratch += c;
            }
        }
        text = m_scratch;
    }
    insertText(text);
}

namespace {

// Whether a start tag in SVG or MathML content ends that content and is read
// by the HTML rules.
bool breaksOutOfForeignContent(const Tag& tag) {
    switch (tag.tag) {
        case kTagB:
        case kTagBig:
        case kTagBlockquote:
        case kTagBody:
        case kTagBr:
        case kTagCenter:
        case kTagCode:
        case kTagDd:
        case kTagDiv:
        case kTagDl:
        case kTagDt:
        case kTagEm:
        case kTagEmbed:
        case kTagH1:
        case kTagH2:
        case kTagH3:
        case kTagH4:
        case kTagH5:
        case kTagH6:
        case kTagHead:
        case kTagHr:
        case kTagI:
        case kTagImg:
        case kTagLi:
        case kTagListing:
        case kTagMenu:
        case kTagMeta:
        case kTagNobr:
        case kTagOl:
        case kTagP:
        case kTagPre:
        case kTagRuby:
        case kTagS:
        case kTagSmall:
        case kTagSpan:
        case kTagStrong:
        case kTagStrike:
        case kTagSub:
        case kTagSup:
        case kTagTable:
        case kTagTt:
        case kTagU:
        case kTagUl:
        case kTagVar:
            return true;
        case kTagFont:
            return tag.find("color") != nullptr || tag.find("face") != nullptr ||
                   tag.find("size") != nullptr;
        default:
            return false;
    }
}

// The elements the list of active formatting elements keeps.
bool isFormattingTag(unsigned tag) {
    switch (tag) {
        case kTagA:
        case kTagB:
        case kTagBig:
        case kTagCode:
        case kTagEm:
        case kTagFont:
        case kTagI:
        case kTagNobr:
        case kTagS:
        case kTagSmall:
        case kTagStrike:
        case kTagStrong:
        case kTagTt:
        case kTagU:
            return true;
        default:
            return false;
    }
}

}  // namespace

void TreeBuilder::foreignTag(const Tag& tag) {
    if ((tag.type == TokenType::StartTag && breaksOutOfForeignContent(tag)) ||
        (tag.type == TokenType::EndTag && (tag.tag == kTagBr || tag.tag == kTagP))) {
        while (!isHtml(current()) && !isMathmlTextIntegrationPoint(current()) &&
               !isHtmlIntegrationPoint(current())) {
            pop();
        }
        tagIn(m_mode, tag);
        return;
    }
    if (tag.type == TokenType::StartTag) {
        const Namespace ns = adjustedCurrent()->v.element.tag_namespace;
        insertForeign(tag, ns);
        if (tag.selfClosing) {
            pop();
        }
        return;
    }
    Node* node = current();
    for (std::size_t i = m_open.size() - 1;; --i) {
        node = m_open[i];
        if (i == 0) {
            return;
        }
        if (equalsNoCase(elementName(node), tag.name)) {
            popUntilNode(node);
            return;
        }
        if (isHtml(m_open[i - 1])) {
            tagIn(m_mode, tag);
            return;
        }
    }
}

// ---- Nesting limits -----------------------------------------------------------------------

namespace {

// Start tags that open no element inside the current one: void elements,
// those merged into the document's own, table parts (they close open cells
// and rows first) and scope boundaries, above which the depth counts anew.
bool opensNestedElement(unsigned tag) {
    switch (tag) {
        case kTagArea:
        case kTagBase:
        case kTagBasefont:
        case kTagBgsound:
        case kTagBr:
        case kTagCol:
        case kTagEmbed:
        case kTagFrame:
        case kTagHr:
        case kTagImage:
        case kTagImg:
        case kTagInput:
        case kTagKeygen:
        case kTagLink:
        case kTagMeta:
        case kTagParam:
        case kTagSource:
        case kTagTrack:
        case kTagWbr:
        case kTagHtml:
        case kTagHead:
        case kTagBody:
        case kTagFrameset:
        case kTagTable:
        case kTagCaption:
        case kTagColgroup:
        case kTagTbody:
        case kTagThead:
        case kTagTfoot:
        case kTagTr:
        case kTagTd:
        case kTagTh:
        case kTagApplet:
        case kTagMarquee:
        case kTagObject:
        case kTagTemplate:
            return false;
        default:
            return true;
    }
}

// Whether a start tag's attributes are those of an element, in any order.
bool sameAttributes(const Tag& tag, const PointerVector& attributes) {
    if (tag.attributeCount != attributes.length) {
        return false;
    }
    for (unsigned i = 0; i < attributes.length; ++i) {
        const auto* attribute = static_cast<const Attribute*>(attributes.data[i]);
        const TokenAttribute* own = tag.find(attribute->name);
        if (own == nullptr || own->value != attribute->value) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool TreeBuilder::tooDeep() const {
    return m_open.size() > kMaxOpenElements && m_open.back()->built.depth >= kMaxOpenElements;
}

bool TreeBuilder::tooManyFormatting(const Tag& tag) const {
    if (m_formatting.size() < kMaxFormattingElements) {
        return false;
    }
    std::size_t sinceMarker = 0;
    int alike = 0;
    for (auto it = m_formatting.rbegin(); it != m_formatting.rend() && *it != nullptr; ++it) {
        ++sinceMarker;
        if (!isHtml(*it) || tagOfNode(*it) != tag.tag) {
            continue;
        }
        if (tag.tag == kTagA || tag.tag == kTagNobr) {
            return false;  // the earlier one is closed first
        }
        if (sameAttributes(tag, (*it)->v.element.attributes) && ++alike >= 3) {
            return false;  // the earliest of the alike ones leaves the list
        }
    }
    return sinceMarker >= kMaxFormattingElements;
}

bool TreeBuilder::leavesOutStartTag(const Tag& tag) {
    if (m_open.size() <= kMaxOpenElements && m_formatting.size() < kMaxFormattingElements) {
        return false;
    }
    bool leaveOut = false;
    if (useForeignRules(&tag, false)) {
        leaveOut = !tag.selfClosing && !breaksOutOfForeignContent(tag) && tooDeep();
    } else if (opensNestedElement(tag.tag)) {
        leaveOut = tooDeep() || (isFormattingTag(tag.tag) && tooManyFormatting(tag));
    }
    if (leaveOut) {
        ++m_leftOutEndTags[std::string(tag.name)];
    }
    return leaveOut;
}

bool TreeBuilder::leavesOutEndTag(const Tag& tag) {
    if (m_leftOutEndTags.empty()) {
        return false;
    }
    const auto it = m_leftOutEndTags.find(std::string(tag.name));
    if (it == m_leftOutEndTags.end()) {
        return false;
    }
    if (--it->second == 0) {
        m_leftOutEndTags.erase(it);
    }
    return true;
}

// ---- Insertion modes ----------------------------------------------------------------------

void TreeBuilder::tagIn(Mode mode, const Tag& tag) {
    switch (mode) {
        case Mode::Initial:
            initialTag(tag);
            return;
        case Mode::BeforeHtml:
            beforeHtmlTag(tag);
            return;
        case Mode::BeforeHead:
            beforeHeadTag(tag);
            return;
        case Mode::InHead:
            inHeadTag(tag);
            return;
        case Mode::InHeadNoscript:
            inHeadNoscriptTag(tag);
            return;
        case Mode::AfterHead:
            afterHeadTag(tag);
            return;
        case Mode::InBody:
            inBodyTag(tag);
            return;
        case Mode::Text:
            textTag(tag);
            return;
        case Mode::InTable:
            inTableTag(tag);
            return;
        case Mode::InTableText:
            flushTableText();
            tagIn(m_mode, tag);
            return;
        case Mode::InCaption:
            inCaptionTag(tag);
            return;
        case Mode::InColumnGroup:
            inColumnGroupTag(tag);
            return;
        case Mode::InTableBody:
            inTableBodyTag(tag);
            return;
        case Mode::InRow:
            inRowTag(tag);
            return;
        case Mode::InCell:
            inCellTag(tag);
            return;
        case Mode::InTemplate:
            inTemplateTag(tag);
            return;
        case Mode::AfterBody:
            afterBodyTag(tag);
            return;
        case Mode::InFrameset:
            inFramesetTag(tag);
            return;
        case Mode::AfterFrameset:
            afterFramesetTag(tag);
            return;
        case Mode::AfterAfterBody:
            afterAfterBodyTag(tag);
            return;
        case Mode::AfterAfterFrameset:
            afterAfterFramesetTag(tag);
            return;
    }
}

void TreeBuilder::textIn(Mode mode, std::string_view text) {
    auto leadingSpaceThen = [&](auto&& rest) {
        const std::size_t n = spacePrefix(text);
        if (n == text.size()) {
            return;
        }
        rest(text.substr(n));
    };
    switch (mode) {
        case Mode::Initial:
            leadingSpaceThen([&](std::string_view rest) {
                m_tree.m_document->v.document.doc_type_quirks_mode = kQuirks;
                m_mode = Mode::BeforeHtml;
                textIn(m_mode, rest);
            });
            return;
        case Mode::BeforeHtml:
            leadingSpaceThen([&](std::string_view rest) {
                appendChild(m_tree.m_document,
                            newElement(makeTag(TokenType::StartTag, "html"), kNamespaceHtml));
                push(lastChild(m_tree.m_document));
                m_mode = Mode::BeforeHead;
                textIn(m_mode, rest);
            });
            return;
        case Mode::BeforeHead:
            leadingSpaceThen([&](std::string_view rest) {
                m_head = insertNamed("head");
                m_mode = Mode::InHead;
                textIn(m_mode, rest);
            });
            return;
        case Mode::InHead:
        case Mode::InHeadNoscript:
        case Mode::AfterHead: {
            const std::size_t n = spacePrefix(text);
            insertText(text.substr(0, n));
            if (n == text.size()) {
                return;
            }
            if (mode == Mode::InHead) {
                pop();
                m_mode = Mode::AfterHead;
            } else if (mode == Mode::InHeadNoscript) {
                pop();
                m_mode = Mode::InHead;
            } else {
                insertNamed("body");
                m_mode = Mode::InBody;
            }
            textIn(m_mode, text.substr(n));
            return;
        }
        case Mode::InBody:
        case Mode::InCaption:
        case Mode::InCell:
        case Mode::InTemplate:
            inBodyText(text);
            return;
        case Mode::Text:
            insertText(text);
            return;
        case Mode::InTable:
        case Mode::InTableBody:
        case Mode::InRow: {
            const Node* node = current();
            if (isHtml(node) && (tagOfNode(node) == kTagTable || tagOfNode(node) == kTagTbody ||
                                 tagOfNode(node) == kTagTemplate || tagOfNode(node) == kTagTfoot ||
                                 tagOfNode(node) == kTagThead || tagOfNode(node) == kTagTr)) {
                m_tableText.clear();
                m_tableTextRun = {};
                m_originalMode = m_mode;
                m_mode = Mode::InTableText;
                textIn(m_mode, text);
                return;
            }
            m_fosterParenting = true;
            inBodyText(text);
            m_fosterParenting = false;
            return;
        }
        case Mode::InTableText:
            if (m_tableText.empty() && m_tableTextRun.empty() && inSource(text) &&
                text.find('\0') == std::string_view::npos) {
                m_tableTextRun = text;
                return;
            }
            m_tableText.append(m_tableTextRun);
            m_tableTextRun = {};
            for (const char c : text) {
                if (c != '\0') {
                    m_tableText += c;
                }
            }
            return;
        case Mode::InColumnGroup: {
            const std::size_t n = spacePrefix(text);
            insertText(text.substr(0, n));
            if (n == text.size()) {
                return;
            }
            if (!is(current(), kTagColgroup)) {
                return;
            }
            pop();
            m_mode = Mode::InTable;
            textIn(m_mode, text.substr(n));
            return;
        }
        case Mode::AfterBody:
        case Mode::AfterAfterBody: {
            const std::size_t n = spacePrefix(text);
            if (n > 0) {
                inBodyText(text.substr(0, n));
            }
            if (n == text.size()) {
                return;
            }
            m_mode = Mode::InBody;
            textIn(m_mode, text.substr(n));
            return;
        }
        case Mode::InFrameset:
        case Mode::AfterFrameset:
        case Mode::AfterAfterFrameset: {
            // Only white space is kept; other characters are dropped.
            m_scratch.clear();
            for (const char c : text) {
                if (isSpace(c)) {
                    m_scratch += c;
                }
            }
            const std::string kept = m_scratch;
            if (mode == Mode::AfterAfterFrameset) {
                inBodyText(kept);
            } else {
                insertText(kept);
            }
            return;
        }
    }
}

void TreeBuilder::inBodyText(std::string_view text) {
    if (text.find('\0') != std::string_view::npos) {
        std::string kept;
        for (const char c : text) {
            if (c != '\0') {
                kept += c;
            }
        }
        if (!kept.empty()) {
            inBodyText(kept);
        }
        return;
    }
    reconstructFormatting();
    insertText(text);
    if (!allSpace(text)) {
        m_framesetOk = false;
    }
}

void TreeBuilder::flushTableText() {
    m_tableTextFlushed.swap(m_tableText);
    m_tableText.clear();
    const std::string_view text =
        m_tableTextRun.empty() ? std::string_view(m_tableTextFlushed) : m_tableTextRun;
    m_tableTextRun = {};
    m_mode = m_originalMode;
    if (!allSpace(text)) {
        m_fosterParenting = true;
        inBodyText(text);
        m_fosterParenting = false;
    } else {
        insertText(text);
    }
}

void TreeBuilder::eofIn(Mode mode) {
    switch (mode) {
        case Mode::InTableText:
            flushTableText();
            eofIn(m_mode);
            return;
        case Mode::Text:
            pop();
            m_mode = m_originalMode;
            eofIn(m_mode);
            return;
        case Mode::InTemplate:
            if (!onStack(kTagTemplate)) {
                return;
            }
            popUntil(kTagTemplate);
            clearFormattingToMarker();
            m_templateModes.pop_back();
            resetInsertionMode();
            eofIn(m_mode);
            return;
        case Mode::InBody:
        case Mode::InTable:
        case Mode::InCaption:
        case Mode::InColumnGroup:
        case Mode::InTableBody:
        case Mode::InRow:
        case Mode::InCell:
            if (!m_templateModes.empty()) {
                eofIn(Mode::InTemplate);
            }
            return;
        case Mode::AfterBody:
        case Mode::InFrameset:
        case Mode::AfterFrameset:
        case Mode::AfterAfterBody:
        case Mode::AfterAfterFrameset:
            return;
        case Mode::Initial:
        case Mode::BeforeHtml:
        case Mode::BeforeHead:
        case Mode::InHead:
        case Mode::InHeadNoscript:
        case Mode::AfterHead: {
            // As if the document went on: the implied elements come.
            if (mode == Mode::Initial) {
                m_tree.m_document->v.document.doc_type_quirks_mode = kQuirks;
                m_mode = Mode::BeforeHtml;
            }
            if (m_mode == Mode::BeforeHtml) {
                appendChild(m_tree.m_document,
                            newElement(makeTag(TokenType::StartTag, "html"), kNamespaceHtml));
                push(lastChild(m_tree.m_document));
                m_mode = Mode::BeforeHead;
            }
            if (m_mode == Mode::BeforeHead) {
                m_head = insertNamed("head");
                m_mode = Mode::InHead;
            }
            if (m_mode == Mode::InHeadNoscript) {
                pop();
                m_mode = Mode::InHead;
            }
            if (m_mode == Mode::InHead) {
                pop();
                m_mode = Mode::AfterHead;
            }
            insertNamed("body");
            m_mode = Mode::InBody;
            eofIn(m_mode);
            return;
        }
    }
}

void TreeBuilder::initialTag(const Tag& tag) {
    m_tree.m_document->v.document.doc_type_quirks_mode = kQuirks;
    m_mode = Mode::BeforeHtml;
    beforeHtmlTag(tag);
}

void TreeBuilder::beforeHtmlTag(const Tag& tag) {
    if (tag.type == TokenType::StartTag && tag.tag == kTagHtml) {
        appendChild(m_tree.m_document, newElement(tag, kNamespaceHtml));
        push(lastChild(m_tree.m_document));
        m_mode = Mode::BeforeHead;
        return;
    }
    if (tag.type == TokenType::EndTag && tag.tag != kTagHead && tag.tag != kTagBody &&
        tag.tag != kTagHtml && tag.tag != kTagBr) {
        return;
    }
    appendChild(m_tree.m_document,
                newElement(makeTag(TokenType::StartTag, "html"), kNamespaceHtml));
    push(lastChild(m_tree.m_document));
    m_mode = Mode::BeforeHead;
    beforeHeadTag(tag);
}

void TreeBuilder::beforeHeadTag(const Tag& tag) {
    if (tag.type == TokenType::StartTag && tag.tag == kTagHtml) {
        inBodyTag(tag);
        return;
    }
    if (tag.type == TokenType::StartTag && tag.tag == kTagHead) {
        m_head = insertElement(tag);
        m_mode = Mode::InHead;
        return;
    }
    if (tag.type == TokenType::EndTag && tag.tag != kTagHead && tag.tag != kTagBody &&
        tag.tag != kTagHtml && tag.tag != kTagBr) {
        return;
    }
    m_head = insertNamed("head");
    m_mode = Mode::InHead;
    inHeadTag(tag);
}

void TreeBuilder::inHeadTag(const Tag& tag) {
    if (tag.type == TokenType::StartTag) {
        switch (tag.tag) {
            case kTagHtml:
                inBodyTag(tag);
                return;
            case kTagBase:
            case kTagBasefont:
            case kTagBgsound:
            case kTagLink:
            case kTagMeta:
                insertElement(tag);
                pop();
                return;
            case kTagTitle:
                genericText(tag, HtmlTokenizer::State::Rcdata);
                return;
            case kTagNoscript:
                insertElement(tag);
                m_mode = Mode::InHeadNoscript;
                return;
            case kTagNoframes:
            case kTagStyle:
                genericText(tag, HtmlTokenizer::State::Rawtext);
                return;
            case kTagScript:
                genericText(tag, HtmlTokenizer::State::ScriptData);
                return;
            case kTagTemplate:
                insertElement(tag);
                insertMarker();
                m_framesetOk = false;
                m_mode = Mode::InTemplate;
                m_templateModes.push_back(Mode::InTemplate);
                return;
            case kTagHead:
                return;
            default:
                break;
        }
    } else {
        switch (tag.tag) {
            case kTagHead:
                pop();
                m_mode = Mode::AfterHead;
                return;
            case kTagBody:
            case kTagHtml:
            case kTagBr:
                break;
            case kTagTemplate:
                if (!onStack(kTagTemplate)) {
                    return;
                }
                generateAllImpliedEndTags();
                popUntil(kTagTemplate);
                clearFormattingToMarker();
                m_templateModes.pop_back();
                resetInsertionMode();
                return;
            default:
                return;
        }
    }
    pop();
    m_mode = Mode::AfterHead;
    afterHeadTag(tag);
}

void TreeBuilder::inHeadNoscriptTag(const Tag& tag) {
    if (tag.type == TokenType::StartTag) {
        switch (tag.tag) {
            case kTagHtml:
                inBodyTag(tag);
                return;
            case kTagBasefont:
            case kTagBgsound:
            case kTagLink:
            case kTagMeta:
            case kTagNoframes:
            case kTagStyle:
                inHeadTag(tag);
                return;
            case kTagHead:
            case kTagNoscript:
                return;
            default:
                break;
        }
    } else {
        if (tag.tag == kTagNoscript) {
            pop();
            m_mode = Mode::InHead;
            return;
        }
        if (tag.tag != kTagBr) {
            return;
        }
    }
    pop();
    m_mode = Mode::InHead;
    inHeadTag(tag);
}

void TreeBuilder::afterHeadTag(const Tag& tag) {
    if (tag.type == TokenType::StartTag) {
        switch (tag.tag) {
            case kTagHtml:
                inBodyTag(tag);
                return;
            case kTagBody:
                insertElement(tag);
                m_framesetOk = false;
                m_mode = Mode::InBody;
                return;
            case kTagFrameset:
                insertElement(tag);
                m_mode = Mode::InFrameset;
                return;
            case kTagBase:
            case kTagBasefont:
            case kTagBgsound:
            case kTagLink:
            case kTagMeta:
            case kTagNoframes:
            case kTagScript:
            case kTagStyle:
            case kTagTemplate:
            case kTagTitle: {
                push(m_head);
                inHeadTag(tag);
                removeFromStack(m_head);
                return;
            }
            case kTagHead:
                return;
            default:
                break;
        }
    } else {
        switch (tag.tag) {
            case kTagTemplate:
                inHeadTag(tag);
                return;
            case kTagBody:
            case kTagHtml:
            case kTagBr:
                break;
            default:
                return;
        }
    }
    insertNamed("body");
    m_mode = Mode::InBody;
    inBodyTag(tag);
}

void TreeBuilder::inBodyTag(const Tag& tag) {
    if (tag.type == TokenType::StartTag) {
        inBodyStartTag(tag);
    } else {
        inBodyEndTag(tag);
    }
}

namespace {

// Returns whether the element got an attribute it did not have.
bool mergeAttributes(NodeArena& arena, Node* element, const Tag& tag) {
    PointerVector& attributes = element->v.element.attributes;
    std::vector<void*> merged(attributes.data, attributes.data + attributes.length);
    for (std::size_t i = 0; i < tag.attributeCount; ++i) {
        const TokenAttribute& source = tag.attributes[i];
        if (findAttribute(attributes, source.name) != nullptr) {
            continue;
        }
        bool seen = false;
        for (void* added : merged) {
            seen = seen || source.name == static_cast<Attribute*>(added)->name;
        }
        if (seen) {
            continue;
        }
        auto* attribute = arena.make<Attribute>();
        attribute->attr_namespace = kAttributeNamespaceNone;
        attribute->name = arena.copy(source.name);
        attribute->name_length = static_cast<unsigned>(source.name.size());
        attribute->value = arena.copy(source.value);
        merged.push_back(attribute);
    }
    if (merged.size() == attributes.length) {
        return false;
    }
    auto** data = static_cast<void**>(arena.allocate(sizeof(void*) * merged.size()));
    std::copy(merged.begin(), merged.end(), data);
    attributes.data = data;
    attributes.length = static_cast<unsigned>(merged.size());
    attributes.capacity = attributes.length;
    return true;
}

}  // namespace

void TreeBuilder::inBodyStartTag(const Tag& tag) {
    switch (tag.tag) {
        case kTagHtml:
            if (!onStack(kTagTemplate)) {
                beforeSharedChange(tag);
                m_attributeMerges += mergeAttributes(m_tree.m_arena, m_open.front(), tag) ? 1 : 0;
            }
            return;
        case kTagBase:
        case kTagBasefont:
        case kTagBgsound:
        case kTagLink:
        case kTagMeta:
        case kTagNoframes:
        case kTagScript:
        case kTagStyle:
        case kTagTemplate:
        case kTagTitle:
            inHeadTag(tag);
            return;
        case kTagBody:
            if (m_open.size() < 2 || !is(m_open[1], kTagBody) || onStack(kTagTemplate)) {
                return;
            }
            m_framesetOk = false;
            beforeSharedChange(tag);
            m_attributeMerges += mergeAttributes(m_tree.m_arena, m_open[1], tag) ? 1 : 0;
            return;
        case kTagFrameset:
            if (m_open.size() < 2 || !is(m_open[1], kTagBody) || !m_framesetOk) {
                return;
            }
            detach(m_open[1]);
            while (m_open.size() > 1) {
                pop();
            }
            insertElement(tag);
            m_mode = Mode::InFrameset;
            return;
        case kTagAddress:
        case kTagArticle:
        case kTagAside:
        case kTagBlockquote:
        case kTagCenter:
        case kTagDetails:
        case kTagDialog:
        case kTagDir:
        case kTagDiv:
        case kTagDl:
        case kTagFieldset:
        case kTagFigcaption:
        case kTagFigure:
        case kTagFooter:
        case kTagHeader:
        case kTagHgroup:
        case kTagMain:
        case kTagMenu:
        case kTagNav:
        case kTagOl:
        case kTagP:
        case kTagSearch:
        case kTagSection:
        case kTagSummary:
        case kTagUl:
            closeParagraphIfInButtonScope();
            insertElement(tag);
            return;
        case kTagH1:
        case kTagH2:
        case kTagH3:
        case kTagH4:
        case kTagH5:
        case kTagH6: {
            closeParagraphIfInButtonScope();
            const unsigned now = isHtml(current()) ? tagOfNode(current()) : unsigned{kTagUnknown};
            if (now >= kTagH1 && now <= kTagH6) {
                pop();
            }
            insertElement(tag);
            return;
        }
        case kTagPre:
        case kTagListing:
            closeParagraphIfInButtonScope();
            insertElement(tag);
            m_skipNewline = true;
            m_framesetOk = false;
            return;
        case kTagForm: {
            const bool inTemplate = onStack(kTagTemplate);
            if (m_form != nullptr && !inTemplate) {
                return;
            }
            closeParagraphIfInButtonScope();
            Node* form = insertElement(tag);
            if (!inTemplate) {
                m_form = form;
            }
            return;
        }
        case kTagLi:
        case kTagDd:
        case kTagDt: {
            m_framesetOk = false;
            for (std::size_t i = m_open.size(); i-- > 0;) {
                const Node* node = m_open[i];
                const bool match =
                    tag.tag == kTagLi ? is(node, kTagLi) : (is(node, kTagDd) || is(node, kTagDt));
                if (match) {
                    const unsigned closing = tagOfNode(node);
                    generateImpliedEndTags(closing);
                    popUntil(closing);
                    break;
                }
                if (isSpecial(node) && !is(node, kTagAddress) && !is(node, kTagDiv) &&
                    !is(node, kTagP)) {
                    break;
                }
            }
            closeParagraphIfInButtonScope();
            insertElement(tag);
            return;
        }
        case kTagPlaintext:
            closeParagraphIfInButtonScope();
            insertElement(tag);
            m_tokenizer.setState(HtmlTokenizer::State::Plaintext);
            return;
        case kTagButton:
            if (inScope(kTagButton)) {
                generateImpliedEndTags();
                popUntil(kTagButton);
            }
            reconstructFormatting();
            insertElement(tag);
            m_framesetOk = false;
            return;
        case kTagA: {
            for (std::size_t i = m_formatting.size(); i-- > 0;) {
                Node* entry = m_formatting[i];
                if (entry == nullptr) {
                    break;
                }
                if (is(entry, kTagA)) {
                    const Tag end = makeTag(TokenType::EndTag, "a");
                    if (!adoptionAgency(end)) {
                        inBodyOtherEndTag(end);
                    }
                    const std::size_t at = formattingIndex(entry);
                    if (at < m_formatting.size()) {
                        removeFormatting(at);
                    }
                    removeFromStack(entry);
                    break;
                }
            }
            reconstructFormatting();
            pushFormatting(insertElement(tag));
            return;
        }
        case kTagB:
        case kTagBig:
        case kTagCode:
        case kTagEm:
        case kTagFont:
        case kTagI:
        case kTagS:
        case kTagSmall:
        case kTagStrike:
        case kTagStrong:
        case kTagTt:
        case kTagU:
            reconstructFormatting();
            pushFormatting(insertElement(tag));
            return;
        case kTagNobr:
            reconstructFormatting();
            if (inScope(kTagNobr)) {
                if (!adoptionAgency(tag)) {
                    inBodyOtherEndTag(tag);
                }
                reconstructFormatting();
            }
            pushFormatting(insertElement(tag));
            return;
        case kTagApplet:
        case kTagMarquee:
        case kTagObject:
            reconstructFormatting();
            insertElement(tag);
            insertMarker();
            m_framesetOk = false;
            return;
        case kTagTable:
            if (m_tree.m_document->v.document.doc_type_quirks_mode != kQuirks) {
                closeParagraphIfInButtonScope();
            }
            insertElement(tag);
            m_framesetOk = false;
            m_mode = Mode::InTable;
            return;
        case kTagArea:
        case kTagBr:
        case kTagEmbed:
        case kTagImg:
        case kTagKeygen:
        case kTagWbr:
            reconstructFormatting();
            insertElement(tag);
            pop();
            m_framesetOk = false;
            return;
        case kTagInput: {
            if (inScope(kTagSelect)) {
                popUntil(kTagSelect);  // an input ends the select it is in
            }
            reconstructFormatting();
            insertElement(tag);
            pop();
            const TokenAttribute* type = tag.find("type");
            if (type == nullptr || !equalsNoCase(type->value, "hidden")) {
                m_framesetOk = false;
            }
            return;
        }
        case kTagParam:
        case kTagSource:
        case kTagTrack:
            insertElement(tag);
            pop();
            return;
        case kTagHr:
            closeParagraphIfInButtonScope();
            if (inScope(kTagSelect)) {
                generateImpliedEndTags();
            }
            insertElement(tag);
            pop();
            m_framesetOk = false;
            return;
        case kTagImage: {
            Tag img = tag;
            img.name = "img";
            img.tag = kTagImg;
            processTag(img);
            return;
        }
        case kTagTextarea:
            insertElement(tag);
            m_skipNewline = true;
            m_tokenizer.setState(HtmlTokenizer::State::Rcdata);
            m_originalMode = m_mode;
            m_framesetOk = false;
            m_mode = Mode::Text;
            return;
        case kTagXmp:
            closeParagraphIfInButtonScope();
            reconstructFormatting();
            m_framesetOk = false;
            genericText(tag, HtmlTokenizer::State::Rawtext);
            return;
        case kTagIframe:
            m_framesetOk = false;
            genericText(tag, HtmlTokenizer::State::Rawtext);
            return;
        case kTagNoembed:
            genericText(tag, HtmlTokenizer::State::Rawtext);
            return;
        case kTagSelect:
            // A select does not nest: the second one closes the first.
            if (inScope(kTagSelect)) {
                popUntil(kTagSelect);
                return;
            }
            reconstructFormatting();
            insertElement(tag);
            m_framesetOk = false;
            return;
        case kTagOptgroup:
        case kTagOption:
            if (inScope(kTagSelect)) {
                generateImpliedEndTags(tag.tag == kTagOption ? kTagOptgroup : kTagLast);
            } else if (is(current(), kTagOption)) {
                pop();
            }
            reconstructFormatting();
            insertElement(tag);
            return;
        case kTagRb:
        case kTagRtc:
            if (inScope(kTagRuby)) {
                generateImpliedEndTags();
            }
            insertElement(tag);
            return;
        case kTagRp:
        case kTagRt:
            if (inScope(kTagRuby)) {
                generateImpliedEndTags(kTagRtc);
            }
            insertElement(tag);
            return;
        case kTagMath:
        case kTagSvg:
            reconstructFormatting();
            insertForeign(tag, tag.tag == kTagMath ? kNamespaceMathml : kNamespaceSvg);
            if (tag.selfClosing) {
                pop();
            }
            return;
        case kTagCaption:
        case kTagCol:
        case kTagColgroup:
        case kTagFrame:
        case kTagHead:
        case kTagTbody:
        case kTagTd:
        case kTagTfoot:
        case kTagTh:
        case kTagThead:
        case kTagTr:
            return;
        default:
            reconstructFormatting();
            insertElement(tag);
            return;
    }
}

void TreeBuilder::inBodyEndTag(const Tag& tag) {
    if (isFormattingTag(tag.tag)) {
        if (!adoptionAgency(tag)) {
            inBodyOtherEndTag(tag);
        }
        return;
    }
    switch (tag.tag) {
        case kTagTemplate:
            inHeadTag(tag);
            return;
        case kTagBody:
        case kTagHtml:
            if (!inScope(kTagBody)) {
                return;
            }
            m_mode = Mode::AfterBody;
            if (tag.tag == kTagHtml) {
                afterBodyTag(tag);
            }
            return;
        case kTagAddress:
        case kTagArticle:
        case kTagAside:
        case kTagBlockquote:
        case kTagButton:
        case kTagCenter:
        case kTagDetails:
        case kTagDialog:
        case kTagDir:
        case kTagDiv:
        case kTagDl:
        case kTagFieldset:
        case kTagFigcaption:
        case kTagFigure:
        case kTagFooter:
        case kTagHeader:
        case kTagHgroup:
        case kTagListing:
        case kTagMain:
        case kTagMenu:
        case kTagNav:
        case kTagOl:
        case kTagPre:
        case kTagSearch:
        case kTagSection:
        case kTagSelect:
        case kTagSummary:
        case kTagUl:
            if (!inScope(tag.tag)) {
                return;
            }
            generateImpliedEndTags();
            popUntil(tag.tag);
            return;
        case kTagForm:
            if (!onStack(kTagTemplate)) {
                Node* form = m_form;
                m_form = nullptr;
                if (form == nullptr || !nodeInScope(form)) {
                    return;
                }
                generateImpliedEndTags();
                removeFromStack(form);
            } else {
                if (!inScope(kTagForm)) {
                    return;
                }
                generateImpliedEndTags();
                popUntil(kTagForm);
            }
            return;
        case kTagP:
            if (!inScope(kTagP, Scope::Button)) {
                insertNamed("p");
            }
            closeParagraph();
            return;
        case kTagLi:
            if (!inScope(kTagLi, Scope::ListItem)) {
                return;
            }
            generateImpliedEndTags(kTagLi);
            popUntil(kTagLi);
            return;
        case kTagDd:
        case kTagDt:
            if (!inScope(tag.tag)) {
                return;
            }
            generateImpliedEndTags(tag.tag);
            popUntil(tag.tag);
            return;
        case kTagH1:
        case kTagH2:
        case kTagH3:
        case kTagH4:
        case kTagH5:
        case kTagH6: {
            bool any = false;
            for (unsigned h = kTagH1; h <= kTagH6 && !any; ++h) {
                any = inScope(h);
            }
            if (!any) {
                return;
            }
            generateImpliedEndTags();
            while (!m_open.empty()) {
                const unsigned now =
                    isHtml(current()) ? tagOfNode(current()) : unsigned{kTagUnknown};
                pop();
                if (now >= kTagH1 && now <= kTagH6) {
                    break;
                }
            }
            return;
        }
        case kTagApplet:
        case kTagMarquee:
        case kTagObject:
            if (!inScope(tag.tag)) {
                return;
            }
            generateImpliedEndTags();
            popUntil(tag.tag);
            clearFormattingToMarker();
            return;
        case kTagBr: {
            Tag br = makeTag(TokenType::StartTag, "br");
            inBodyStartTag(br);
            return;
        }
        default:
            inBodyOtherEndTag(tag);
            return;
    }
}

void TreeBuilder::inBodyOtherEndTag(const Tag& tag) {
    for (std::size_t i = m_open.size(); i-- > 0;) {
        Node* node = m_open[i];
        if (sameName(node, tag)) {
            generateImpliedEndTags(tag.tag == kTagUnknown ? unsigned{kTagLast} : tag.tag);
            popUntilNode(node);
            return;
        }
        if (isSpecial(node)) {
            return;
        }
    }
}

void TreeBuilder::textTag(const Tag& tag) {
    if (tag.type == TokenType::EndTag) {
        pop();
        m_mode = m_originalMode;
    }
}

void TreeBuilder::inTableAnythingElse(const Tag& tag) {
    m_fosterParenting = true;
    inBodyTag(tag);
    m_fosterParenting = false;
}

void TreeBuilder::inTableTag(const Tag& tag) {
    const unsigned t = tag.tag;
    if (tag.type == TokenType::StartTag) {
        switch (t) {
            case kTagCaption:
                clearStackBackTo({kTagTable, kTagTemplate, kTagHtml});
                insertMarker();
                insertElement(tag);
                m_mode = Mode::InCaption;
                return;
            case kTagColgroup:
                clearStackBackTo({kTagTable, kTagTemplate, kTagHtml});
                insertElement(tag);
                m_mode = Mode::InColumnGroup;
                return;
            case kTagCol:
                clearStackBackTo({kTagTable, kTagTemplate, kTagHtml});
                insertNamed("colgroup");
                m_mode = Mode::InColumnGroup;
                inColumnGroupTag(tag);
                return;
            case kTagTbody:
            case kTagTfoot:
            case kTagThead:
                clearStackBackTo({kTagTable, kTagTemplate, kTagHtml});
                insertElement(tag);
                m_mode = Mode::InTableBody;
                return;
            case kTagTd:
            case kTagTh:
            case kTagTr:
                clearStackBackTo({kTagTable, kTagTemplate, kTagHtml});
                insertNamed("tbody");
                m_mode = Mode::InTableBody;
                inTableBodyTag(tag);
                return;
            case kTagTable:
                if (!inScope(kTagTable, Scope::Table)) {
                    return;
                }
                popUntil(kTagTable);
                resetInsertionMode();
                processTag(tag);
                return;
            case kTagStyle:
            case kTagScript:
            case kTagTemplate:
                inHeadTag(tag);
                return;
            case kTagInput: {
                const TokenAttribute* type = tag.find("type");
                if (type == nullptr || !equalsNoCase(type->value, "hidden")) {
                    break;
                }
                insertElement(tag);
                pop();
                return;
            }
            case kTagForm:
                if (onStack(kTagTemplate) || m_form != nullptr) {
                    return;
                }
                m_form = insertElement(tag);
                pop();
                return;
            default:
                break;
        }
    } else {
        switch (t) {
            case kTagTable:
                if (!inScope(kTagTable, Scope::Table)) {
                    return;
                }
                popUntil(kTagTable);
                resetInsertionMode();
                return;
            case kTagBody:
            case kTagCaption:
            case kTagCol:
            case kTagColgroup:
            case kTagHtml:
            case kTagTbody:
            case kTagTd:
            case kTagTfoot:
            case kTagTh:
            case kTagThead:
            case kTagTr:
                return;
            case kTagTemplate:
                inHeadTag(tag);
                return;
            default:
                break;
        }
    }
    inTableAnythingElse(tag);
}

void TreeBuilder::closeCaption() {
    generateImpliedEndTags();
    popUntil(kTagCaption);
    clearFormattingToMarker();
    m_mode = Mode::InTable;
}

void TreeBuilder::inCaptionTag(const Tag& tag) {
    const unsigned t = tag.tag;
    const bool start = tag.type == TokenType::StartTag;
    if (!start && t == kTagCaption) {
        if (inScope(kTagCaption, Scope::Table)) {
            closeCaption();
        }
        return;
    }
    const bool tableStart =
        start && (t == kTagCaption || t == kTagCol || t == kTagColgroup || t == kTagTbody ||
                  t == kTagTd || t == kTagTfoot || t == kTagTh || t == kTagThead || t == kTagTr);
    if (tableStart || (!start && t == kTagTable)) {
        if (!inScope(kTagCaption, Scope::Table)) {
            return;
        }
        closeCaption();
        inTableTag(tag);
        return;
    }
    if (!start &&
        (t == kTagBody || t == kTagCol || t == kTagColgroup || t == kTagHtml || t == kTagTbody ||
         t == kTagTd || t == kTagTfoot || t == kTagTh || t == kTagThead || t == kTagTr)) {
        return;
    }
    inBodyTag(tag);
}

void TreeBuilder::inColumnGroupTag(const Tag& tag) {
    const unsigned t = tag.tag;
    const bool start = tag.type == TokenType::StartTag;
    if (start && t == kTagHtml) {
        inBodyTag(tag);
        return;
    }
    if (start && t == kTagCol) {
        insertElement(tag);
        pop();
        return;
    }
    if (!start && t == kTagColgroup) {
        if (is(current(), kTagColgroup)) {
            pop();
            m_mode = Mode::InTable;
        }
        return;
    }
    if (!start && t == kTagCol) {
        return;
    }
    if (t == kTagTemplate) {
        inHeadTag(tag);
        return;
    }
    if (!is(current(), kTagColgroup)) {
        return;
    }
    pop();
    m_mode = Mode::InTable;
    inTableTag(tag);
}

void TreeBuilder::inTableBodyTag(const Tag& tag) {
    const unsigned t = tag.tag;
    const bool start = tag.type == TokenType::StartTag;
    auto clear = [&] {
        clearStackBackTo({kTagTbody, kTagTfoot, kTagThead, kTagTemplate, kTagHtml});
    };
    if (start && t == kTagTr) {
        clear();
        insertElement(tag);
        m_mode = Mode::InRow;
        return;
    }
    if (start && (t == kTagTh || t == kTagTd)) {
        clear();
        insertNamed("tr");
        m_mode = Mode::InRow;
        inRowTag(tag);
        return;
    }
    if (!start && (t == kTagTbody || t == kTagTfoot || t == kTagThead)) {
        if (!inScope(t, Scope::Table)) {
            return;
        }
        clear();
        pop();
        m_mode = Mode::InTable;
        return;
    }
    if ((start && (t == kTagCaption || t == kTagCol || t == kTagColgroup || t == kTagTbody ||
                   t == kTagTfoot || t == kTagThead)) ||
        (!start && t == kTagTable)) {
        if (!inScope(kTagTbody, Scope::Table) && !inScope(kTagThead, Scope::Table) &&
            !inScope(kTagTfoot, Scope::Table)) {
            return;
        }
        clear();
        pop();
        m_mode = Mode::InTable;
        inTableTag(tag);
        return;
    }
    if (!start && (t == kTagBody || t == kTagCaption || t == kTagCol || t == kTagColgroup ||
                   t == kTagHtml || t == kTagTd || t == kTagTh || t == kTagTr)) {
        return;
    }
    inTableTag(tag);
}

void TreeBuilder::inRowTag(const Tag& tag) {
    const unsigned t = tag.tag;
    const bool start = tag.type == TokenType::StartTag;
    auto clear = [&] { clearStackBackTo({kTagTr, kTagTemplate, kTagHtml}); };
    if (start && (t == kTagTh || t == kTagTd)) {
        clear();
        insertElement(tag);
        m_mode = Mode::InCell;
        insertMarker();
        return;
    }
    if (!start && t == kTagTr) {
        if (!inScope(kTagTr, Scope::Table)) {
            return;
        }
        clear();
        pop();
        m_mode = Mode::InTableBody;
        return;
    }
    if ((start && (t == kTagCaption || t == kTagCol || t == kTagColgroup || t == kTagTbody ||
                   t == kTagTfoot || t == kTagThead || t == kTagTr)) ||
        (!start && t == kTagTable)) {
        if (!inScope(kTagTr, Scope::Table)) {
            return;
        }
        clear();
        pop();
        m_mode = Mode::InTableBody;
        inTableBodyTag(tag);
        return;
    }
    if (!start && (t == kTagTbody || t == kTagTfoot || t == kTagThead)) {
        if (!inScope(t, Scope::Table) || !inScope(kTagTr, Scope::Table)) {
            return;
        }
        clear();
        pop();
        m_mode = Mode::InTableBody;
        inTableBodyTag(tag);
        return;
    }
    if (!start && (t == kTagBody || t == kTagCaption || t == kTagCol || t == kTagColgroup ||
                   t == kTagHtml || t == kTagTd || t == kTagTh)) {
        return;
    }
    inTableTag(tag);
}

bool TreeBuilder::closeCell() {
    generateImpliedEndTags();
    while (!m_open.empty()) {
        const bool cell = is(current(), kTagTd) || is(current(), kTagTh);
        pop();
        if (cell) {
            break;
        }
    }
    clearFormattingToMarker();
    m_mode = Mode::InRow;
    return true;
}

void TreeBuilder::inCellTag(const Tag& tag) {
    const unsigned t = tag.tag;
    const bool start = tag.type == TokenType::StartTag;
    if (!start && (t == kTagTd || t == kTagTh)) {
        if (!inScope(t, Scope::Table)) {
            return;
        }
        generateImpliedEndTags();
        popUntil(t);
        clearFormattingToMarker();
        m_mode = Mode::InRow;
        return;
    }
    if (start && (t == kTagCaption || t == kTagCol || t == kTagColgroup || t == kTagTbody ||
                  t == kTagTd || t == kTagTfoot || t == kTagTh || t == kTagThead || t == kTagTr)) {
        if (!inScope(kTagTd, Scope::Table) && !inScope(kTagTh, Scope::Table)) {
            return;
        }
        closeCell();
        inRowTag(tag);
        return;
    }
    if (!start &&
        (t == kTagBody || t == kTagCaption || t == kTagCol || t == kTagColgroup || t == kTagHtml)) {
        return;
    }
    if (!start &&
        (t == kTagTable || t == kTagTbody || t == kTagTfoot || t == kTagThead || t == kTagTr)) {
        if (!inScope(t, Scope::Table)) {
            return;
        }
        closeCell();
        inRowTag(tag);
        return;
    }
    inBodyTag(tag);
}

void TreeBuilder::inTemplateTag(const Tag& tag) {
    const unsigned t = tag.tag;
    if (tag.type == TokenType::EndTag) {
        if (t == kTagTemplate) {
            inHeadTag(tag);
        }
        return;
    }
    Mode next = Mode::InBody;
    switch (t) {
        case kTagBase:
        case kTagBasefont:
        case kTagBgsound:
        case kTagLink:
        case kTagMeta:
        case kTagNoframes:
        case kTagScript:
        case kTagStyle:
        case kTagTemplate:
        case kTagTitle:
            inHeadTag(tag);
            return;
        case kTagCaption:
        case kTagColgroup:
        case kTagTbody:
        case kTagTfoot:
        case kTagThead:
            next = Mode::InTable;
            break;
        case kTagCol:
            next = Mode::InColumnGroup;
            break;
        case kTagTr:
            next = Mode::InTableBody;
            break;
        case kTagTd:
        case kTagTh:
            next = Mode::InRow;
            break;
        default:
            break;
    }
    m_templateModes.back() = next;
    m_mode = next;
    processTag(tag);
}

void TreeBuilder::afterBodyTag(const Tag& tag) {
    if (tag.type == TokenType::StartTag && tag.tag == kTagHtml) {
        inBodyTag(tag);
        return;
    }
    if (tag.type == TokenType::EndTag && tag.tag == kTagHtml) {
        m_mode = Mode::AfterAfterBody;
        return;
    }
    m_mode = Mode::InBody;
    inBodyTag(tag);
}

void TreeBuilder::inFramesetTag(const Tag& tag) {
    const unsigned t = tag.tag;
    if (tag.type == TokenType::StartTag) {
        switch (t) {
            case kTagHtml:
                inBodyTag(tag);
                return;
            case kTagFrameset:
                insertElement(tag);
                return;
            case kTagFrame:
                insertElement(tag);
                pop();
                return;
            case kTagNoframes:
                inHeadTag(tag);
                return;
            default:
                return;
        }
    }
    if (t == kTagFrameset) {
        if (m_open.size() == 1) {
            return;
        }
        pop();
        if (!is(current(), kTagFrameset)) {
            m_mode = Mode::AfterFrameset;
        }
    }
}

void TreeBuilder::afterFramesetTag(const Tag& tag) {
    if (tag.type == TokenType::StartTag && tag.tag == kTagHtml) {
        inBodyTag(tag);
    } else if (tag.type == TokenType::EndTag && tag.tag == kTagHtml) {
        m_mode = Mode::AfterAfterFrameset;
    } else if (tag.type == TokenType::StartTag && tag.tag == kTagNoframes) {
        inHeadTag(tag);
    }
}

void TreeBuilder::afterAfterBodyTag(const Tag& tag) {
    if (tag.type == TokenType::StartTag && tag.tag == kTagHtml) {
        inBodyTag(tag);
        return;
    }
    m_mode = Mode::InBody;
    inBodyTag(tag);
}

void TreeBuilder::afterAfterFramesetTag(const Tag& tag) {
    if (tag.type == TokenType::StartTag && tag.tag == kTagHtml) {
        inBodyTag(tag);
    } else if (tag.type == TokenType::StartTag && tag.tag == kTagNoframes) {
        inHeadTag(tag);
    }
}

IncrementalParse::IncrementalParse(SourceText text) : m_tree(std::make_unique<HtmlTree>()) {
    text.shrinkTo(normalizeNewlines(text.data(), text.size()));
    m_tree->m_source = std::move(text);
    m_builder = std::make_unique<TreeBuilder>(*m_tree, m_tree->m_source.view());
    m_builder->begin();
}

IncrementalParse::~IncrementalParse() = default;

bool IncrementalParse::advance(std::size_t tables, std::size_t rowsKnown, unsigned tokens) {
    if (!m_done && !m_builder->stepUntil(tables, rowsKnown, tokens)) {
        m_done = true;
    }
    return !m_done;
}

void IncrementalParse::setBeforeSharedChange(std::function<void()> call) {
    m_builder->setBeforeSharedChange(std::move(call));
}

std::size_t IncrementalParse::parsedBytes() const {
    return m_builder->parsedBytes();
}

std::size_t IncrementalParse::attributeMerges() const {
    return m_builder->attributeMerges();
}

void IncrementalParse::streamRowsOf(const Node* table) {
    m_builder->streamRowsOf(const_cast<Node*>(table));
}

std::size_t IncrementalParse::closedRowCount() const {
    return m_builder->closedRowCount();
}

const Node* IncrementalParse::closedRow(std::size_t index) const {
    return m_builder->closedRow(index);
}

void IncrementalParse::settleClosedRow(std::size_t index) {
    m_builder->settleClosedRow(index);
}

bool IncrementalParse::streaming() const {
    return m_builder->streaming();
}

bool IncrementalParse::streamedTableClosed() const {
    return m_builder->streamedTableClosed();
}

void IncrementalParse::release() {
    m_builder->releaseFirstClosedRow(true);
}

void IncrementalParse::releaseFirst(std::size_t count) {
    m_builder->releaseClosedRows(count);
}

void IncrementalParse::keep() {
    m_builder->releaseFirstClosedRow(false);
}

bool IncrementalParse::releaseSegments(std::size_t tablesDone) {
    return m_builder->releaseClosedSegments(tablesDone);
}

SourceText IncrementalParse::takeSource() {
    m_builder.reset();
    SourceText source = std::move(m_tree->m_source);
    m_tree.reset();
    m_done = true;
    return source;
}

std::unique_ptr<HtmlTree> buildHtmlTree(SourceText text) {
    text.shrinkTo(normalizeNewlines(text.data(), text.size()));
    auto tree = std::make_unique<HtmlTree>();
    tree->m_source = std::move(text);
    TreeBuilder builder(*tree, tree->m_source.view());
    builder.run();
    return tree;
}

}  // namespace tabrivo::detail
