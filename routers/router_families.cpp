// The list of router families. A new family is a file pair beside this one and a line here.
#include "routers/router_families.h"

#include <array>

#include "routers/broadcom.h"
#include "routers/classic.h"
#include "routers/draytek.h"

namespace {

constexpr std::array<const RouterFamily*, 3> families = {&classic_family, &broadcom_family,
                                                         &draytek_family};

}  // namespace

std::span<const RouterFamily* const> router_families() {
    return families;
}

const RouterFamily* find_router_family(std::string_view name) {
    for (const RouterFamily* family : families) {
        if (family->name == name) return family;
    }
    return nullptr;
}

std::string router_family_names() {
    std::string names;
    for (const RouterFamily* family : families) {
        if (!names.empty()) names += ", ";
        names += family->name;
    }
    return names;
}
