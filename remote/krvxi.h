// The VXI-11 core channel serving two links.
#pragma once

struct ScpiLink;

void kr_vxi_link_init(ScpiLink *channelA, ScpiLink *channelB);
// Does not return.
void kr_vxi_link_run();
