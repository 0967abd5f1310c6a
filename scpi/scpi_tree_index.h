// Which nodes of a list can match a header word, found by the word's first character.
//
// The matcher tries the nodes of a list in their fixed order. Most cannot match a given
// word: a keyword must start with the word's first character, and an optional node or
// implied branch whose keyword is absent needs a keyword below it that does. For each list,
// the positions of the nodes left over for each first character are worked out once, the
// first time the list is matched, and kept (the command tables are static; a list is known by
// its address, so a test's own tree is covered as well).
#pragma once

#include <cstdint>

struct ScpiNode;

// Classes of first characters: 'A'-'Z' (case folded by the caller), '*', the empty word, and
// one class for anything else.
constexpr int SCPI_CHAR_CLASSES = 29;
int scpi_tree_charClass(char first);

struct ScpiListIndex {
    // First characters that can start a match anywhere through this list (its keywords, and
    // through absent optional keywords those below them), one bit per class.
    uint32_t reach;
    // Candidates for a word of class c: positions order[begin[c]] .. order[begin[c + 1] - 1],
    // in list order. Implied branches are candidates for every class (they select their
    // default instance whatever follows); legacy words for their own first character.
    uint16_t begin[SCPI_CHAR_CLASSES + 1];
    const uint16_t *order;
};

// The index of a list, built at the first call. Null when the list cannot be indexed (the
// table of indexes is full, a list is too long, or the tree refers back to itself); the
// caller then tries every node.
const ScpiListIndex *scpi_tree_listIndex(const ScpiNode *list);

// Whether a word starting with first may match at or below node when the node is an optional
// node or an implied branch (its own keyword, or one reachable below it).
bool scpi_tree_mayReach(const ScpiNode *node, char first);
