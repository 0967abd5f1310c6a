// The console link: program messages from standard input, answers to standard output.
#pragma once

struct ScpiLink;

// Console thread: one read from standard input, then the hand-shake and the answers.
// Returns -1 once standard input has ended (the thread then stops reading).
int Krconsole_handle(ScpiLink *link);
