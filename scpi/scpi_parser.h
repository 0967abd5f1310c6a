// The command tree's entry for one message unit (scpi_parser, declared with the executor) and
// the alias that runs another command text in place of the current one.
//
// Context: main loop (deviceAccessMutex held).
#pragma once

struct ScpiLink;

// Longest command text an alias may run.
constexpr int SCPI_ALIAS_MAX = 256;

// Runs command through scpi_parser with an empty remembered path, which is restored
// afterwards. Returns the response length.
int scpi_alias(ScpiLink *link, const char *command, char *out, int outSize, int partial, int flags);
