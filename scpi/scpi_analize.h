// The command listing: every complete header of the tree, written to "SCPI_Commands.txt", or to
// "SCPI_Not_Supp_Commands.txt" when none of the device operations its leaf calls is
// registered on this build. The listing walks the same tables the matcher walks. Headers are
// written as the command set documents them: "[X]" optional, "X<n>" numbered, "?" query only,
// "(?)" set and query.
//
// Context: main loop or start-up (a service function).
#pragma once

struct ScpiNode;

// Set while a listing runs.
extern int scpiListMode;

// A node holds at most this many children; more are listed with a warning.
constexpr int SCPI_LIST_MAX_CHILDREN = 90;

// Lists root (the instrument's tree when null) into the two files in directory dir (a
// firmware path ending in "/"; the flash is made writable around the listing when it lies
// there). Returns 0 or -200.
int scpi_analize_listAllCommands(const ScpiNode *root = nullptr, const char *dir = "/korvane/");
