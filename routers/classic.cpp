// The classic family's entry: no prompt, no commands of its own; the worker plays its counted
// dialog and its two log steps.
#include "routers/classic.h"

const RouterFamily classic_family = {
    .name = "classic",
    .devices =
        "routers of the old ADSL command set (\"show adsl\", \"adsl showbins\"), as the "
        "window program",
    .user_prompt = {},
    .commands = {},
};
