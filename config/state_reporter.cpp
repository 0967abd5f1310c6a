#include "config/state_reporter.h"

// The register itself arrives with the settings queries; links only need it initialised.
void state_reporter_init() {}
