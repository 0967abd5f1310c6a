// Keyword matching and parameter splitting: the building blocks the tree matcher is made of.
//
// A keyword is written in mixed case ("FREQuency"): the leading part up to the first
// lower-case letter is the short form, the whole text the long form. A header word matches
// when it equals either form, ignoring case; FREQU and FREQUENCYX match neither.
//
// Context: main loop (inside scpi_parser).
#pragma once

#include <cstdint>

struct ScpiLink;

constexpr int32_t SCPI_NO_INDEX = 0x7FFFFFFF;  // a keyword without numeric suffix

// Header states, set by every successful keyword match from the character that follows.
enum ScpiHeaderState : int {
    SCPI_STATE_NONE = 0,
    SCPI_STATE_QUERY = 1,          // "?"
    SCPI_STATE_SET = 2,            // blank or end of text: parameters may follow
    SCPI_STATE_PATH = 3,           // ":" the path continues
    SCPI_STATE_OPTIONAL_PATH = 4,  // ":" behind an optional node
};

// scpi_parser flag: errors of the unit are dropped instead of queued.
constexpr int SCPI_PARSER_IGNORE_ERRORS = 1;

// Length of the short form.
int scpi_keywordShortLength(const char *keyword);

// The header word at a position (leading blanks skipped): its first two characters in upper
// case (the second 0 for a one-character word), its length and its length without a numeric
// suffix (the whole length when it is all digits). A keyword can only match a word of its
// short or long form's length that starts with its first characters, so a lookup can pass
// over most keywords with these alone.
struct ScpiHeaderWord {
    char first;
    char second;
    int length;
    int stemLength;
};
void scpi_headerWord(const char *text, ScpiHeaderWord *word);

// Compares keyword with the header word at *position (leading blanks skipped). On a match
// *position moves behind the word and its terminator, *state becomes 3 (":"), 1 ("?") or 2
// (blank or end; blanks up to the parameters are skipped), and the short-form length is
// returned; otherwise 0 and nothing changes.
int scpi_compareNodes(const char *keyword, const char **position, int *state);

// The keyword matched first against the link's remembered path (at pathCursor), then, once
// that is used up, against the unit text. A match in the text that ends with ":" extends the
// remembered path. Every match is reported to the state reporter's path collection.
int scpi_checkNode(const char *keyword, const char **position, int *state, ScpiLink *link);
// The same for a keyword that may carry a numeric suffix: *index gets the suffix, or
// 0x7FFFFFFF when there is none. A suffix that does not parse makes the keyword fail.
int scpi_checkNodeWithIndex(const char *keyword, const char **position, int *state, int32_t *index,
                            ScpiLink *link);
// An optional keyword [X], tried only while the path continues (state 3 or 4); a ":" behind it
// gives state 4. Optional keywords are left out of the state reporter's path.
int scpi_checkOptionalNode(const char *keyword, const char **position, int *state, ScpiLink *link);

// Implied branch flags: bit 0 the branch was named explicitly, bit 1 nothing inside it has
// failed yet, bit 2 the branch selects a channel. [SOURce] starts with 7, the others with 3.
constexpr int SCPI_BRANCH_FLAGS_SOURCE = 7;
constexpr int SCPI_BRANCH_FLAGS_OTHER = 3;
// Enters the branch, explicitly when the header names it (with its optional suffix in *index),
// otherwise implicitly at the same position (bit 0 cleared, *index 0x7FFFFFFF). Returns 1 when
// named explicitly.
int scpi_checkOptionalBranchNode(const char *keyword, const char **position, int *state,
                                 ScpiLink *link, int *flags, int32_t *index);
// 1 while the branch is still in use (nothing inside an implicit entry has failed).
int scpi_checkIfOptionalBranchWasUsed(const int *flags);
// Nothing inside the implicitly entered branch matched: the second root set is tried next.
void scpi_setOptionalBranchNoSubUsed(int *flags);

// An exact, case-insensitive match of a whole legacy word at position ("alcadc/" does not
// match "alcadcx/"). A word ending in "=" is followed by its value; others by a blank or the
// end. *end gets the position behind the word.
int scpi_isOldStyleCommand(const char *word, const char *position, const char **end);

// True when the header ended at the node just matched (state 1 or 2).
int scpi_checkMessageUnitComplete(const int *state);
// True, and the ":" skipped, when the unit starts with ":" (after blanks).
int scpi_checkForAbsolutePath(const char **position);
int scpi_isEmptyCommand(const char *text);
int scpi_isQuery(const char *text);
// Appends the first length characters of keyword and ":" to the remembered path. Returns 0, or
// -1 when the path would not fit into its 32 bytes (nothing is appended then).
int scpi_expandStoredPath(const char *keyword, int length, ScpiLink *link);

// Splits exactly count comma-separated parameters, blanks removed and each terminated in
// place. params has room for count entries; *found gets the number split. Returns 0, -108 for
// more text than count parameters, -109 for fewer (-350 when the unit is a partial one).
int _scpi_getParameters(char *position, int count, char **params, int *found, int partial);
// Splits one parameter at text (quoted strings may contain commas): *start gets it, trimmed and
// terminated in place, *next the text behind its comma. Returns 2 when a "," follows, 1 for the
// last one, 0 when there is none.
int scpi_getNextParameter(char *text, char **start, char **next);
// A parameter keyword ("MINimum"): the parameter equals its short or long form.
int scpi_isParam(const char *keyword, const char *parameter);
