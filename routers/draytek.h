// The DrayTek family: Vigor modems and routers (130, 165, 166, 2760, 2862 ...), whose console has
// "vdsl status", "vdsl status more" and "vdsl showbins".
#pragma once

#include <string_view>

#include "routers/router_family.h"

extern const RouterFamily draytek_family;

// The readers of the three replies, each filling only what its reply holds and leaving every
// other field of the record as it was. Exposed for testing.
void read_draytek_status(std::string_view reply, LineRecord& record);
void read_draytek_status_more(std::string_view reply, LineRecord& record);
void read_draytek_showbins(std::string_view reply, LineRecord& record);
