// The Broadcom family: gateways and modems on Broadcom's DSL chips (most ISP routers of ZyXEL,
// TP-Link, Netgear, D-Link, Technicolor, DrayTek's newer models), whose shell has xdslctl (older
// firmware: adslctl, xdslcmd). A cycle asks "xdslctl info --stats" and "xdslctl info --Bits", and
// once an hour "xdslctl info --SNR".
#pragma once

#include <string_view>

#include "routers/router_family.h"

extern const RouterFamily broadcom_family;

// The readers of the three replies, each filling only what its reply holds and leaving every
// other field of the record as it was. Exposed for testing.
void read_broadcom_stats(std::string_view reply, LineRecord& record);
void read_broadcom_bits(std::string_view reply, LineRecord& record);
void read_broadcom_snr(std::string_view reply, LineRecord& record);
