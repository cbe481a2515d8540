// The classic family: the old ADSL command set ("show adsl", "adsl showbins") of the routers the
// window program was made for. Its dialog answers each chunk by count and its replies go to the
// statistics and bins logs, as the window program does (collect/router_dialog.h, stats/).
#pragma once

#include "routers/router_family.h"

extern const RouterFamily classic_family;
