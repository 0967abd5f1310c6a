// The candidate index against a plain walk of the whole command set: a node missing from its
// list's index would make a command silently unreachable for every header that starts with
// that character.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "scpi/scpi_commands.h"
#include "scpi/scpi_tree.h"
#include "scpi/scpi_tree_index.h"

namespace {

char upper(char c) {
    return c >= 'a' && c <= 'z' ? (char)(c - 'a' + 'A') : c;
}

bool optionalKind(const ScpiNode *node) {
    return node->kind == SCPI_KW_OPTIONAL || node->kind == SCPI_KW_BRANCH;
}

// First characters (upper case) of the keywords a header can name at this node: its own, and
// for an optional node, through its absent keyword, those of its children.
void reachable(const ScpiNode *node, std::set<char> *out, int depth = 0) {
    ASSERT_LT(depth, 40) << "tree refers back to itself at " << node->keyword;
    out->insert(upper(node->keyword[0]));
    if (!optionalKind(node) || !node->children) return;
    for (const ScpiNode *child = node->children; child->keyword; child++)
        reachable(child, out, depth + 1);
}

bool listed(const ScpiListIndex *index, int cls, int position) {
    for (int k = index->begin[cls]; k < index->begin[cls + 1]; k++)
        if (index->order[k] == position) return true;
    return false;
}

void checkList(const ScpiNode *list, const std::string &path, std::set<const ScpiNode *> *seen,
               int *lists) {
    if (!seen->insert(list).second) return;
    ++*lists;
    const ScpiListIndex *index = scpi_tree_listIndex(list);
    ASSERT_NE(index, nullptr) << path;
    for (int i = 0; list[i].keyword; i++) {
        const ScpiNode *node = &list[i];
        std::string name = path + ":" + node->keyword;
        std::set<char> starts;
        reachable(node, &starts);
        for (char c : starts) {
            int cls = scpi_tree_charClass(c);
            EXPECT_TRUE(listed(index, cls, i)) << name << " not indexed under '" << c << "'";
            EXPECT_NE(index->reach & (1u << cls), 0u) << name << " '" << c << "'";
        }
        if (node->kind == SCPI_KW_BRANCH) {
            for (int cls = 0; cls < SCPI_CHAR_CLASSES; cls++) {
                EXPECT_TRUE(listed(index, cls, i)) << name << " must be tried for every word";
            }
        }
        // Candidates keep the list's order, which decides between equal headers.
        for (int cls = 0; cls < SCPI_CHAR_CLASSES; cls++) {
            for (int k = index->begin[cls] + 1; k < index->begin[cls + 1]; k++) {
                EXPECT_LT(index->order[k - 1], index->order[k]) << path;
            }
        }
        if (node->children) checkList(node->children, name, seen, lists);
    }
}

TEST(ScpiTreeIndexTest, EveryNodeOfTheCommandSetIsACandidateForTheWordsItCanMatch) {
    std::set<const ScpiNode *> seen;
    int lists = 0;
    checkList(scpi_rootNodes, "", &seen, &lists);
    EXPECT_GT(lists, 100);
}

TEST(ScpiTreeIndexTest, ALaterCallFindsTheSameIndex) {
    const ScpiListIndex *first = scpi_tree_listIndex(scpi_rootNodes);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(scpi_tree_listIndex(scpi_rootNodes), first);
    // A node that can be named by nothing else than its own keyword is no candidate for
    // another first character.
    int star = scpi_tree_charClass('*');
    for (int k = first->begin[star]; k < first->begin[star + 1]; k++) {
        const ScpiNode &n = scpi_rootNodes[first->order[k]];
        EXPECT_TRUE(n.keyword[0] == '*' || n.kind == SCPI_KW_BRANCH) << n.keyword;
    }
}

}  // namespace
