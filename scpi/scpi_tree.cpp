#include "scpi/scpi_tree.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "config/state_reporter.h"
#include "device/device.h"
#include "scpi/scpi_commands.h"
#include "scpi/scpi_errorcodes.h"
#include "scpi/scpi_link.h"
#include "scpi/scpi_node.h"

namespace {

const ScpiNode *treeRoot = scpi_rootNodes;

struct Walk {
    ScpiCall *call;
    const char *pos;
    int state;
    int result;
    bool keywordMatched;
    int depth;
};

// Everything a failed attempt may have changed, so that the next sibling starts afresh.
struct Snapshot {
    const char *pos;
    int state;
    size_t pathLen;
    ptrdiff_t cursor;
    int collector;
    int suffixCount;
    int32_t index;
};

Snapshot save(const Walk *w) {
    ScpiLink *link = w->call->link;
    return Snapshot{w->pos,
                    w->state,
                    strnlen(link->storedPath, SCPI_LINK_PATH_SIZE),
                    link->pathCursor ? link->pathCursor - link->storedPath : 0,
                    state_reporter_collectorMark(),
                    w->call->suffixCount,
                    w->call->index};
}

void restore(Walk *w, const Snapshot &s) {
    ScpiLink *link = w->call->link;
    w->pos = s.pos;
    w->state = s.state;
    if (s.pathLen < (size_t)SCPI_LINK_PATH_SIZE) link->storedPath[s.pathLen] = 0;
    link->pathCursor = link->storedPath + s.cursor;
    state_reporter_collectorRestore(s.collector);
    w->call->suffixCount = s.suffixCount;
    w->call->index = s.index;
}

bool pathContinues(int state) {
    return state == SCPI_STATE_PATH || state == SCPI_STATE_OPTIONAL_PATH;
}

void pushSuffix(ScpiCall *call, int32_t index) {
    call->index = index;
    if (call->suffixCount < SCPI_MAX_SUFFIXES) call->suffixes[call->suffixCount++] = index;
}

// ---- Reach masks ------------------------------------------------------------------------
// An optional node or an implied branch is entered even when its keyword is absent, and the
// header word must then match somewhere below it. What every keyword reachable that way (through
// further optional nodes) begins with forms the node's reach mask: its first character (low
// bits) and a hash of its first two characters (high bits). A word that misses either cannot
// match anything there, and the whole subtree is passed over. Without it, every header of the
// second root set walks the implied [SOURce] branch's subtree before it is found; with the
// first character alone, STATus and SYSTem still walked it for SWEep and SUPPly.

uint64_t charBit(char c) {
    if (c >= 'A' && c <= 'Z') return 1ull << (c - 'A');
    if (c == '*') return 1ull << 26;
    if (c == 0) return 1ull << 27;
    return 1ull << 28;  // anything else: one class, so the test stays conservative
}

constexpr uint64_t pairBits = 0xffffffffull << 32;

uint64_t pairBit(char first, char second) {
    unsigned h = (unsigned char)first * 7u + (unsigned char)second;
    return 1ull << (32 + h % 32);
}

constexpr uint64_t maskKnown = 1ull << 31;
constexpr uint64_t maskAll = ((1ull << 29) - 1) | pairBits;
// Lists with optional entries below them, with room to spare; a full table only costs speed.
constexpr int maskSlots = 2048;
constexpr int maskDepthLimit = 32;

// Computed once per list and kept; a list is found by its address, so a test's own tree is
// covered as well. Entries are written once and read without a lock.
struct MaskEntry {
    std::atomic<const ScpiNode *> list{nullptr};
    std::atomic<uint64_t> mask{0};
};
MaskEntry maskTable[maskSlots];

uint64_t listMask(const ScpiNode *list, int depth);

uint64_t nodeMask(const ScpiNode *node, int depth) {
    uint64_t m = charBit(node->first);
    // A header word equals the short or the long form, which share their first two characters
    // when the short form has two. Legacy words match by their own rules: any pair.
    if (node->kind != SCPI_KW_LEGACY && node->shortLength >= 2)
        m |= pairBit(node->first, scpi_tree_detail::upper(node->keyword[1]));
    else
        m |= pairBits;
    if ((node->kind == SCPI_KW_OPTIONAL || node->kind == SCPI_KW_BRANCH) && node->children)
        m |= listMask(node->children, depth + 1);
    return m;
}

uint64_t listMask(const ScpiNode *list, int depth) {
    // A tree that refers back to itself ends here, answering "anything may match".
    if (depth > maskDepthLimit) return maskAll;
    size_t start = (size_t)((reinterpret_cast<uintptr_t>(list) >> 4) * 2654435761u) % maskSlots;
    MaskEntry *slot = nullptr;
    for (int probe = 0; probe < 16; probe++) {
        MaskEntry &e = maskTable[(start + (size_t)probe) % maskSlots];
        const ScpiNode *owner = e.list.load(std::memory_order_acquire);
        if (owner == list) {
            uint64_t m = e.mask.load(std::memory_order_acquire);
            if (m & maskKnown) return m & ~maskKnown;
            slot = &e;  // being filled by another thread: compute it as well
            break;
        }
        if (owner == nullptr) {
            slot = &e;
            break;
        }
    }
    uint64_t m = 0;
    for (const ScpiNode *node = list; node->keyword; node++)
        m |= nodeMask(node, depth);
    if (slot) {
        const ScpiNode *expected = nullptr;
        if (slot->list.compare_exchange_strong(expected, list, std::memory_order_acq_rel) ||
            expected == list)
            slot->mask.store(m | maskKnown, std::memory_order_release);
    }
    return m;
}

// Whether the header word may match below an optional node or implied branch whose keyword
// is absent. Only while the header goes on: a complete unit may still run an optional
// node's own command ("OUTPut ON" is "OUTPut:STATe ON") whatever the parameters are.
bool reachable(const ScpiNode *node, const ScpiHeaderWord &word, bool pathContinues) {
    if (!pathContinues) return true;
    uint64_t m = nodeMask(node, 0);
    uint64_t pair = word.stemLength >= 2 ? pairBit(word.first, word.second) : pairBits;
    return (m & charBit(word.first)) != 0 && (m & pair) != 0;
}

int matchList(Walk *w, const ScpiNode *nodes);

void runLeaf(Walk *w, const ScpiNode *node) {
    ScpiCall *call = w->call;
    call->node = node;
    call->state = w->state;
    const char *params = w->pos;
    while (*params == ' ')
        params++;
    call->params = const_cast<char *>(params);
    call->outLen = 0;
    if (!scpi_tree_leafHasForm(&node->leaf, w->state)) {
        w->result = KR_E_UNDEFINED_HEADER;  // a form this leaf does not have
        return;
    }
    w->result = scpi_node_runLeaf(call);
}

// The node's keyword matched (or an optional node was passed over): run its command when the
// header ends here, else try its children.
int enter(Walk *w, const ScpiNode *node) {
    if (scpi_checkMessageUnitComplete(&w->state) && node->leaf.type != SCPI_LEAF_NONE) {
        runLeaf(w, node);
        return 1;
    }
    // A header that ends at a node without a command of its own may still name the command of
    // an optional child (OUTPut ON is OUTPut:STATe ON).
    if (!node->children) return 0;
    w->depth++;
    int r = matchList(w, node->children);
    w->depth--;
    return r;
}

// Numbered keywords select their instance before the children are matched.
int select(Walk *w, const ScpiNode *node, int32_t index) {
    pushSuffix(w->call, index);
    if (node->select) {
        int r = (*node->select)(w->call->device, index);
        if (r != 0) {
            w->result = r;
            return 1;
        }
    }
    return 0;
}

int matchNode(Walk *w, const ScpiNode *node, const ScpiHeaderWord *word) {
    ScpiLink *link = w->call->link;
    switch (node->kind) {
        case SCPI_KW:
        case SCPI_KW_INDEX: {
            if (!pathContinues(w->state)) return 0;
            int32_t index = SCPI_NO_INDEX;
            int n = node->kind == SCPI_KW
                        ? scpi_checkNode(node->keyword, &w->pos, &w->state, link)
                        : scpi_checkNodeWithIndex(node->keyword, &w->pos, &w->state, &index, link);
            if (n == 0) return 0;
            w->keywordMatched = true;
            if (node->kind == SCPI_KW_INDEX && select(w, node, index)) return 1;
            return enter(w, node);
        }
        case SCPI_KW_OPTIONAL: {
            // Optional keywords stay out of the state reporter's path.
            if (scpi_checkOptionalNode(node->keyword, &w->pos, &w->state, link))
                w->keywordMatched = true;
            return enter(w, node);
        }
        case SCPI_KW_BRANCH: {
            int flags = SCPI_BRANCH_FLAGS_SOURCE;
            int32_t index = SCPI_NO_INDEX;
            if (scpi_checkOptionalBranchNode(node->keyword, &w->pos, &w->state, link, &flags,
                                             &index))
                w->keywordMatched = true;
            if (select(w, node, index)) return 1;
            if (!(flags & 1) && !reachable(node, *word, pathContinues(w->state))) return 0;
            int r = enter(w, node);
            if (!r) scpi_setOptionalBranchNoSubUsed(&flags);
            return r;
        }
        case SCPI_KW_LEGACY: {
            // Whole words at the start of the unit only.
            if (w->depth != 0 || w->state != SCPI_STATE_PATH) return 0;
            if (link->pathCursor && *link->pathCursor) return 0;
            const char *end = nullptr;
            if (!scpi_isOldStyleCommand(node->keyword, w->pos, &end)) return 0;
            w->keywordMatched = true;
            size_t n = strlen(node->keyword);
            w->state = node->keyword[n - 1] == '/' ? SCPI_STATE_QUERY : SCPI_STATE_SET;
            while (*end == ' ')
                end++;
            w->pos = end;
            runLeaf(w, node);
            return 1;
        }
    }
    return 0;
}

// False when the node's own keyword cannot match the header word, so that trying it would
// change nothing and fail. Implied branches are always tried: they select their default
// instance even when nothing below them matches.
bool mayMatch(const ScpiNode *node, const ScpiHeaderWord &word, bool pathContinues,
              bool remembered) {
    switch (node->kind) {
        case SCPI_KW:
        case SCPI_KW_INDEX: {
            if (!pathContinues || node->shortLength == 0 || word.first != node->first) return false;
            int length = node->kind == SCPI_KW ? word.length : word.stemLength;
            if (length != node->shortLength && length != node->longLength) return false;
            // Both forms then have at least the word's first two characters.
            return node->shortLength < 2 ||
                   word.second == scpi_tree_detail::upper(node->keyword[1]);
        }
        case SCPI_KW_LEGACY:
            // Legacy words are matched in the unit text only, never behind a remembered path.
            return !remembered && word.first == node->first;
        case SCPI_KW_OPTIONAL:
            return reachable(node, word, pathContinues);
        default:
            return true;
    }
}

int matchList(Walk *w, const ScpiNode *nodes) {
    // A failed attempt is undone completely, so every sibling sees the same header word: it is
    // taken apart once for the whole level.
    ScpiLink *link = w->call->link;
    bool remembered = link->pathCursor && *link->pathCursor;
    ScpiHeaderWord word;
    scpi_headerWord(remembered ? link->pathCursor : w->pos, &word);
    bool continues = pathContinues(w->state);
    // Taken at the first candidate: every later sibling starts from the same state.
    Snapshot s;
    bool saved = false;
    for (const ScpiNode *node = nodes; node->keyword; node++) {
        if (!mayMatch(node, word, continues, remembered)) continue;
        if (!saved) {
            s = save(w);
            saved = true;
        }
        if (matchNode(w, node, &word)) return 1;
        // A keyword that did not match changed nothing; whatever a matched one appended moved
        // the position or the path cursor, or pushed a suffix.
        if (w->pos != s.pos || w->state != s.state ||
            link->pathCursor != link->storedPath + s.cursor ||
            w->call->suffixCount != s.suffixCount || w->call->index != s.index)
            restore(w, s);
    }
    return 0;
}

}  // namespace

const ScpiNode *scpi_tree_setRoot(const ScpiNode *root) {
    const ScpiNode *old = treeRoot;
    treeRoot = root ? root : scpi_rootNodes;
    return old;
}

const ScpiNode *scpi_tree_getRoot() {
    return treeRoot;
}

int scpi_tree_match(ScpiCall *call, const ScpiNode *root, const char *text, int *result,
                    bool *keywordMatched) {
    Walk w{call, text, SCPI_STATE_PATH, KR_E_UNDEFINED_HEADER, false, 0};
    int r = matchList(&w, root);
    *result = r ? w.result : KR_E_UNDEFINED_HEADER;
    *keywordMatched = w.keywordMatched;
    return r;
}

bool scpi_tree_leafHasForm(const ScpiLeaf *leaf, int state) {
    if (leaf->type == SCPI_LEAF_NONE) return false;
    int form = state == SCPI_STATE_QUERY ? SCPI_FORM_QUERY : SCPI_FORM_SET;
    return (leaf->forms & form) != 0;
}

bool scpi_tree_leafRecords(const ScpiLeaf *leaf) {
    switch (leaf->type) {
        case SCPI_LEAF_NONE:
        case SCPI_LEAF_ACTION:
            return false;
        case SCPI_LEAF_CUSTOM:
            return (leaf->forms & SCPI_FORM_RECORD) != 0;
        default:
            return (leaf->forms & SCPI_FORM_BOTH) == SCPI_FORM_BOTH;
    }
}

bool scpi_tree_leafSupported(const ScpiLeaf *leaf) {
    switch (leaf->type) {
        case SCPI_LEAF_NONE:
            return false;
        case SCPI_LEAF_STATUS:
            return Device_isRegistered_getStatusRegisters();
        case SCPI_LEAF_ENUM: {
            const ScpiEnumValue *v = static_cast<const ScpiEnumValue *>(leaf->data);
            for (; v && v->keyword; v++)
                if ((v->set && scpi_node_slotRegistered(v->set)) ||
                    (v->is && scpi_node_slotRegistered(v->is)))
                    return true;
            return false;
        }
        default:
            break;
    }
    bool any = false;
    for (const void *op : leaf->ops) {
        if (op == nullptr) continue;
        any = true;
        if (scpi_node_opRegistered(op)) return true;
    }
    return !any;
}
