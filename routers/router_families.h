// The router families the collector can speak to, by the name --router takes.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "routers/router_family.h"

// Every family, the default (classic) first.
std::span<const RouterFamily* const> router_families();

// The family called name, or null when there is none.
const RouterFamily* find_router_family(std::string_view name);

// The families' names joined by ", ", for messages: "classic, broadcom, draytek".
std::string router_family_names();
