// Register of changed settings, consumed by the settings queries.
#pragma once

void state_reporter_init();
