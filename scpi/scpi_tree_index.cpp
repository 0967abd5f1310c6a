#include "scpi/scpi_tree_index.h"

#include <atomic>
#include <cstddef>
#include <new>

#include "scpi/scpi_tree.h"

namespace {

constexpr uint32_t reachAll = (1u << SCPI_CHAR_CLASSES) - 1;
constexpr int tableSlots = 2048;  // lists of the whole command set, with room to spare
constexpr int probeLimit = 16;
constexpr int depthLimit = 32;  // deeper than any command header
constexpr int longestList = 65535;

// Written once per list and read without a lock.
struct Slot {
    std::atomic<const ScpiNode *> list{nullptr};
    std::atomic<const ScpiListIndex *> index{nullptr};
};
Slot table[tableSlots];

// Depth of the build in progress on this thread: a tree that refers back to itself stops
// here, and its lists stay unindexed.
thread_local int buildDepth = 0;

uint32_t bit(char first) {
    return 1u << scpi_tree_charClass(first);
}

bool optionalKind(const ScpiNode *node) {
    return node->kind == SCPI_KW_OPTIONAL || node->kind == SCPI_KW_BRANCH;
}

// The node's own first character, and for an optional node or implied branch whatever its
// children can reach. All classes when that is unknown.
uint32_t nodeReach(const ScpiNode *node) {
    uint32_t r = bit(node->first);
    if (optionalKind(node) && node->children) {
        const ScpiListIndex *below = scpi_tree_listIndex(node->children);
        r |= below ? below->reach : reachAll;
    }
    return r;
}

bool candidate(const ScpiNode *node, int cls, uint32_t reach) {
    switch (node->kind) {
        case SCPI_KW:
        case SCPI_KW_INDEX:
            return node->shortLength != 0 && scpi_tree_charClass(node->first) == cls;
        case SCPI_KW_LEGACY:
            return scpi_tree_charClass(node->first) == cls;
        case SCPI_KW_OPTIONAL:
            return (reach & (1u << cls)) != 0;
        default:
            return true;  // implied branches, and any kind added later
    }
}

const ScpiListIndex *build(const ScpiNode *list) {
    int count = 0;
    while (list[count].keyword)
        if (++count > longestList) return nullptr;
    uint32_t *reach = new (std::nothrow) uint32_t[(size_t)count + 1];
    if (!reach) return nullptr;
    uint32_t all = 0;
    for (int i = 0; i < count; i++)
        all |= reach[i] = nodeReach(&list[i]);
    int entries = 0;
    for (int cls = 0; cls < SCPI_CHAR_CLASSES; cls++)
        for (int i = 0; i < count; i++)
            entries += candidate(&list[i], cls, reach[i]);
    ScpiListIndex *index = new (std::nothrow) ScpiListIndex{};
    uint16_t *order = new (std::nothrow) uint16_t[(size_t)entries + 1];
    if (!index || !order) {
        delete index;
        delete[] order;
        delete[] reach;
        return nullptr;
    }
    int n = 0;
    for (int cls = 0; cls < SCPI_CHAR_CLASSES; cls++) {
        index->begin[cls] = (uint16_t)n;
        for (int i = 0; i < count; i++)
            if (candidate(&list[i], cls, reach[i])) order[n++] = (uint16_t)i;
    }
    index->begin[SCPI_CHAR_CLASSES] = (uint16_t)n;
    index->reach = all;
    index->order = order;
    delete[] reach;
    return index;
}

void discard(const ScpiListIndex *index) {
    delete[] index->order;
    delete index;
}

}  // namespace

int scpi_tree_charClass(char first) {
    if (first >= 'A' && first <= 'Z') return first - 'A';
    if (first == '*') return 26;
    if (first == 0) return 27;
    return 28;
}

const ScpiListIndex *scpi_tree_listIndex(const ScpiNode *list) {
    size_t start = (size_t)((reinterpret_cast<uintptr_t>(list) >> 4) * 2654435761u) % tableSlots;
    Slot *slot = nullptr;
    for (int probe = 0; probe < probeLimit && !slot; probe++) {
        Slot &s = table[(start + (size_t)probe) % tableSlots];
        const ScpiNode *owner = s.list.load(std::memory_order_acquire);
        if (owner == list) {
            const ScpiListIndex *index = s.index.load(std::memory_order_acquire);
            if (index) return index;
            slot = &s;  // another thread is building it: build it as well
        } else if (owner == nullptr) {
            const ScpiNode *expected = nullptr;
            if (s.list.compare_exchange_strong(expected, list, std::memory_order_acq_rel) ||
                expected == list)
                slot = &s;
        }
    }
    if (!slot || buildDepth >= depthLimit) return nullptr;
    buildDepth++;
    const ScpiListIndex *built = build(list);
    buildDepth--;
    if (!built) return nullptr;
    const ScpiListIndex *expected = nullptr;
    if (!slot->index.compare_exchange_strong(expected, built, std::memory_order_acq_rel)) {
        discard(built);  // the other thread's is the same
        return expected;
    }
    return built;
}

bool scpi_tree_mayReach(const ScpiNode *node, char first) {
    return (nodeReach(node) & bit(first)) != 0;
}
