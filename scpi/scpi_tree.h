// The command tree as data: const node tables, one per subtree, whose nodes are tried in table
// order (first match wins). Each node names its keyword, how it matches (plain, with a numeric
// suffix, optional, implied branch, legacy word), the device operation that selects the
// instance its suffix names, its children and, when it is a command itself, its leaf: the
// forms it accepts, its typed handler and the device slots that handler calls. One matcher
// walks the tables for every message unit; the command listing walks the same tables.
//
// Leaves hold the addresses of the device slots, not their contents, so that a table can be
// constant while modules fill the slots at start-up. The builders below check the slot types
// at the declaration.
//
// Context: main loop (deviceAccessMutex held).
#pragma once

#include <cstdint>

#include "device/device.h"
#include "scpi/scpi_match.h"
#include "scpi/scpi_unit.h"

struct ScpiLink;
struct ScpiNode;

enum ScpiNodeKind : uint8_t {
    SCPI_KW,           // KEYword
    SCPI_KW_INDEX,     // KEYword<n>
    SCPI_KW_OPTIONAL,  // [KEYword]
    SCPI_KW_BRANCH,    // [KEYword<n>] implied branch: the siblings before it are the first set,
                       // those after it the second set, tried when nothing inside it matched
    SCPI_KW_LEGACY,    // a whole legacy word ("alcadc/" reads, "alcadc=" writes)
};

enum ScpiLeafType : uint8_t {
    SCPI_LEAF_NONE,
    SCPI_LEAF_CUSTOM,
    SCPI_LEAF_FREQ,
    SCPI_LEAF_POW,
    SCPI_LEAF_ANGLE,
    SCPI_LEAF_TIME,
    SCPI_LEAF_DOUBLE,
    SCPI_LEAF_DBLUNIT,
    SCPI_LEAF_FLOAT,
    SCPI_LEAF_INT32,
    SCPI_LEAF_UINT32,
    SCPI_LEAF_UINT64,
    SCPI_LEAF_BOOL,
    SCPI_LEAF_INDEX_BOOL,
    SCPI_LEAF_INDEX_DOUBLE,
    SCPI_LEAF_INDEX_FLOAT,
    SCPI_LEAF_INDEX_UINT32,
    SCPI_LEAF_STRING,
    SCPI_LEAF_STATUS,
    SCPI_LEAF_ENUM,
    SCPI_LEAF_ACTION,
};

// Forms of a custom leaf, and whether a successful set is a setting the state reporter
// records (typed leaves with both forms are recorded).
enum : uint8_t {
    SCPI_FORM_SET = 1,
    SCPI_FORM_QUERY = 2,
    SCPI_FORM_BOTH = 3,
    SCPI_FORM_RECORD = 4,
};

// Everything a leaf handler gets for one message unit.
constexpr int SCPI_MAX_SUFFIXES = 8;
struct ScpiCall {
    ScpiLink *link;
    Device *device;
    const ScpiNode *node;  // the leaf
    int state;             // SCPI_STATE_QUERY or SCPI_STATE_SET
    char *params;          // the text behind the header (may be modified in place)
    char *out;
    int outSize;
    int outLen;
    int partial;                          // the unit was cut at the end of a full command buffer
    int flags;                            // scpi_parser flags
    int32_t index;                        // the suffix of the nearest numbered keyword on the path
    int32_t suffixes[SCPI_MAX_SUFFIXES];  // the suffixes of all numbered keywords, in path order
    int suffixCount;
    int emptyAnswer;  // a query whose answer is legitimately empty (scpi_cmd_answerEmpty)
};

typedef int (*ScpiLeafHandler)(ScpiCall *call);

// One value keyword of an enumerated setting: the setter it selects and the predicate that
// tells whether it is the current one.
struct ScpiEnumValue {
    const char *keyword;  // null ends the table
    int (**set)(Device *);
    int (**is)(Device *);
};

struct ScpiLeaf {
    uint8_t type;   // ScpiLeafType
    uint8_t forms;  // custom leaves: SCPI_FORM_*
    int16_t aux;    // status register, number format, string size
    ScpiLeafHandler handler;
    const void *data;    // unit table, enumeration, handler context
    const void *ops[4];  // slot addresses: get, getMin, getMax, set (bool: get, setOn, setOff)
};

struct ScpiNode {
    const char *keyword;                // null ends a table
    uint8_t kind;                       // ScpiNodeKind
    int (**select)(Device *, int32_t);  // numbered keywords: instance selection, may be null
    const ScpiNode *children;
    ScpiLeaf leaf;
    // Filled by the builders from the keyword, so that the matcher can pass over a node whose
    // keyword cannot equal the header word without comparing it: the first character in
    // upper case, and the lengths of the short and the long form.
    char first;
    uint8_t shortLength;
    uint8_t longLength;
};

// The tree scpi_parser walks (scpi_rootNodes unless replaced, e.g. by a test).
const ScpiNode *scpi_tree_setRoot(const ScpiNode *root);
const ScpiNode *scpi_tree_getRoot();

// Matches the header at text against the tree and runs the leaf it names. Returns 1 when a
// leaf was reached (its result in *result, its answer length in call->outLen), 0 when nothing
// matched. *keywordMatched tells whether any keyword matched on the way.
int scpi_tree_match(ScpiCall *call, const ScpiNode *root, const char *text, int *result,
                    bool *keywordMatched);

// Whether a leaf offers a form, and whether a successful set of it is a recorded setting.
bool scpi_tree_leafHasForm(const ScpiLeaf *leaf, int state);
bool scpi_tree_leafRecords(const ScpiLeaf *leaf);
// Listing mode: a leaf is supported when it declares no device operation or when at least
// one of them is registered.
bool scpi_tree_leafSupported(const ScpiLeaf *leaf);

// ---- Leaf builders -----------------------------------------------------------------------

namespace scpi_tree_detail {
constexpr uint8_t forms(const void *get, const void *set) {
    return (uint8_t)((get ? SCPI_FORM_QUERY : 0) | (set ? SCPI_FORM_SET : 0));
}
constexpr ScpiLeaf typed(uint8_t type, const void *get, const void *min, const void *max,
                         const void *set, int16_t aux = 0, const void *data = nullptr) {
    return ScpiLeaf{type, forms(get, set), aux, nullptr, data, {get, min, max, set}};
}
}  // namespace scpi_tree_detail

// A node that is no command itself.
constexpr ScpiLeaf scpi_noLeaf() {
    return ScpiLeaf{SCPI_LEAF_NONE, 0, 0, nullptr, nullptr, {}};
}

// Handler code of its own; ops lists the device slots it calls (for the listing), forms its
// SCPI_FORM_* set.
constexpr ScpiLeaf scpi_leafCustom(ScpiLeafHandler handler, uint8_t forms,
                                   const void *data = nullptr, const void *op0 = nullptr,
                                   const void *op1 = nullptr, const void *op2 = nullptr,
                                   const void *op3 = nullptr) {
    return ScpiLeaf{SCPI_LEAF_CUSTOM, forms, 0, handler, data, {op0, op1, op2, op3}};
}

constexpr ScpiLeaf scpi_leafFreq(const KrFreq *(**get)(Device *), const KrFreq *(**min)(Device *),
                                 const KrFreq *(**max)(Device *),
                                 int (**set)(Device *, const KrFreq *)) {
    return scpi_tree_detail::typed(SCPI_LEAF_FREQ, get, min, max, set);
}
constexpr ScpiLeaf scpi_leafPow(const KrPow *(**get)(Device *), const KrPow *(**min)(Device *),
                                const KrPow *(**max)(Device *),
                                int (**set)(Device *, const KrPow *)) {
    return scpi_tree_detail::typed(SCPI_LEAF_POW, get, min, max, set);
}
constexpr ScpiLeaf scpi_leafAngle(const KrAngle *(**get)(Device *),
                                  const KrAngle *(**min)(Device *),
                                  const KrAngle *(**max)(Device *),
                                  int (**set)(Device *, const KrAngle *)) {
    return scpi_tree_detail::typed(SCPI_LEAF_ANGLE, get, min, max, set);
}
constexpr ScpiLeaf scpi_leafTime(const KrTime *(**get)(Device *), const KrTime *(**min)(Device *),
                                 const KrTime *(**max)(Device *),
                                 int (**set)(Device *, const KrTime *)) {
    return scpi_tree_detail::typed(SCPI_LEAF_TIME, get, min, max, set);
}
constexpr ScpiLeaf scpi_leafDouble(double (**get)(Device *), double (**min)(Device *),
                                   double (**max)(Device *), int (**set)(Device *, double)) {
    return scpi_tree_detail::typed(SCPI_LEAF_DOUBLE, get, min, max, set);
}
// format: SCPI_FORMAT_* flags of the answer.
constexpr ScpiLeaf scpi_leafDblUnit(const ScpiUnitTable *unit, int16_t format,
                                    double (**get)(Device *), double (**min)(Device *),
                                    double (**max)(Device *), int (**set)(Device *, double)) {
    return scpi_tree_detail::typed(SCPI_LEAF_DBLUNIT, get, min, max, set, format, unit);
}
constexpr ScpiLeaf scpi_leafFloat(float (**get)(Device *), float (**min)(Device *),
                                  float (**max)(Device *), int (**set)(Device *, float)) {
    return scpi_tree_detail::typed(SCPI_LEAF_FLOAT, get, min, max, set);
}
constexpr ScpiLeaf scpi_leafInt32(int32_t (**get)(Device *), int32_t (**min)(Device *),
                                  int32_t (**max)(Device *), int (**set)(Device *, int32_t)) {
    return scpi_tree_detail::typed(SCPI_LEAF_INT32, get, min, max, set);
}
constexpr ScpiLeaf scpi_leafUint32(uint32_t (**get)(Device *), uint32_t (**min)(Device *),
                                   uint32_t (**max)(Device *), int (**set)(Device *, uint32_t)) {
    return scpi_tree_detail::typed(SCPI_LEAF_UINT32, get, min, max, set);
}
constexpr ScpiLeaf scpi_leafUint64(uint64_t (**get)(Device *), uint64_t (**min)(Device *),
                                   uint64_t (**max)(Device *), int (**set)(Device *, uint64_t)) {
    return scpi_tree_detail::typed(SCPI_LEAF_UINT64, get, min, max, set);
}
constexpr ScpiLeaf scpi_leafBool(int (**get)(Device *), int (**setOn)(Device *),
                                 int (**setOff)(Device *)) {
    return ScpiLeaf{SCPI_LEAF_BOOL,
                    (uint8_t)((get ? SCPI_FORM_QUERY : 0) | (setOn && setOff ? SCPI_FORM_SET : 0)),
                    0,
                    nullptr,
                    nullptr,
                    {get, setOn, setOff, nullptr}};
}
constexpr ScpiLeaf scpi_leafIndexBool(int (**get)(Device *, int32_t),
                                      int (**setOn)(Device *, int32_t),
                                      int (**setOff)(Device *, int32_t)) {
    return ScpiLeaf{SCPI_LEAF_INDEX_BOOL,
                    (uint8_t)((get ? SCPI_FORM_QUERY : 0) | (setOn && setOff ? SCPI_FORM_SET : 0)),
                    0,
                    nullptr,
                    nullptr,
                    {get, setOn, setOff, nullptr}};
}
constexpr ScpiLeaf scpi_leafIndexDouble(double (**get)(Device *, int32_t),
                                        double (**min)(Device *, int32_t),
                                        double (**max)(Device *, int32_t),
                                        int (**set)(Device *, int32_t, double)) {
    return scpi_tree_detail::typed(SCPI_LEAF_INDEX_DOUBLE, get, min, max, set);
}
constexpr ScpiLeaf scpi_leafIndexFloat(float (**get)(Device *, int32_t),
                                       float (**min)(Device *, int32_t),
                                       float (**max)(Device *, int32_t),
                                       int (**set)(Device *, int32_t, float)) {
    return scpi_tree_detail::typed(SCPI_LEAF_INDEX_FLOAT, get, min, max, set);
}
constexpr ScpiLeaf scpi_leafIndexUint32(uint32_t (**get)(Device *, int32_t),
                                        uint32_t (**min)(Device *, int32_t),
                                        uint32_t (**max)(Device *, int32_t),
                                        int (**set)(Device *, int32_t, uint32_t)) {
    return scpi_tree_detail::typed(SCPI_LEAF_INDEX_UINT32, get, min, max, set);
}
// size: the capacity of the text the device keeps.
constexpr ScpiLeaf scpi_leafString(int16_t size, const char *(**get)(Device *),
                                   int (**set)(Device *, const char *)) {
    return scpi_tree_detail::typed(SCPI_LEAF_STRING, get, nullptr, nullptr, set, size);
}
// A status register node (ScpiStatusLeaf in scpi_node.h packs register and node).
constexpr ScpiLeaf scpi_leafStatus(int16_t registerAndNode, uint8_t forms) {
    return ScpiLeaf{SCPI_LEAF_STATUS, forms, registerAndNode, nullptr, nullptr, {}};
}
// Value keywords, each selecting its setter; the query answers the short form of the first
// value whose predicate is true.
constexpr ScpiLeaf scpi_leafEnum(const ScpiEnumValue *values, uint8_t forms = SCPI_FORM_BOTH) {
    return ScpiLeaf{SCPI_LEAF_ENUM, forms, 0, nullptr, values, {}};
}
// A set without parameters that calls one device operation; with state, the query answers
// that predicate (a test that is run, then its result read).
constexpr ScpiLeaf scpi_leafAction(int (**action)(Device *), int (**state)(Device *) = nullptr) {
    return ScpiLeaf{SCPI_LEAF_ACTION,
                    (uint8_t)(SCPI_FORM_SET | (state ? SCPI_FORM_QUERY : 0)),
                    0,
                    nullptr,
                    nullptr,
                    {state, nullptr, nullptr, action}};
}

// ---- Node builders -------------------------------------------------------------------------

namespace scpi_tree_detail {
constexpr char upper(char c) {
    return c >= 'a' && c <= 'z' ? (char)(c - 'a' + 'A') : c;
}
constexpr uint8_t shortLength(const char *keyword) {
    int n = 0;
    while (keyword[n] && !(keyword[n] >= 'a' && keyword[n] <= 'z'))
        n++;
    return (uint8_t)(n < 255 ? n : 255);
}
constexpr uint8_t longLength(const char *keyword) {
    int n = 0;
    while (keyword[n])
        n++;
    return (uint8_t)(n < 255 ? n : 255);
}
constexpr ScpiNode node(const char *keyword, uint8_t kind, int (**select)(Device *, int32_t),
                        const ScpiNode *children, ScpiLeaf leaf) {
    return ScpiNode{keyword,
                    kind,
                    select,
                    children,
                    leaf,
                    keyword ? upper(keyword[0]) : (char)0,
                    keyword ? shortLength(keyword) : (uint8_t)0,
                    keyword ? longLength(keyword) : (uint8_t)0};
}
}  // namespace scpi_tree_detail

constexpr ScpiNode scpi_kw(const char *keyword, const ScpiNode *children,
                           ScpiLeaf leaf = scpi_noLeaf()) {
    return scpi_tree_detail::node(keyword, SCPI_KW, nullptr, children, leaf);
}
constexpr ScpiNode scpi_kwLeaf(const char *keyword, ScpiLeaf leaf) {
    return scpi_tree_detail::node(keyword, SCPI_KW, nullptr, nullptr, leaf);
}
constexpr ScpiNode scpi_kwIndex(const char *keyword, int (**select)(Device *, int32_t),
                                const ScpiNode *children, ScpiLeaf leaf = scpi_noLeaf()) {
    return scpi_tree_detail::node(keyword, SCPI_KW_INDEX, select, children, leaf);
}
constexpr ScpiNode scpi_kwOptional(const char *keyword, const ScpiNode *children,
                                   ScpiLeaf leaf = scpi_noLeaf()) {
    return scpi_tree_detail::node(keyword, SCPI_KW_OPTIONAL, nullptr, children, leaf);
}
constexpr ScpiNode scpi_kwBranch(const char *keyword, int (**select)(Device *, int32_t),
                                 const ScpiNode *children, ScpiLeaf leaf = scpi_noLeaf()) {
    return scpi_tree_detail::node(keyword, SCPI_KW_BRANCH, select, children, leaf);
}
constexpr ScpiNode scpi_kwLegacy(const char *word, ScpiLeaf leaf) {
    return scpi_tree_detail::node(word, SCPI_KW_LEGACY, nullptr, nullptr, leaf);
}
constexpr ScpiNode scpi_end() {
    return scpi_tree_detail::node(nullptr, SCPI_KW, nullptr, nullptr, scpi_noLeaf());
}
