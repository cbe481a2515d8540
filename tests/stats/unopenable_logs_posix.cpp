// UnopenableLogs on Linux: no free descriptor for the process.
#include "tests/support/no_free_descriptors.h"
#include "unopenable_logs.h"

struct UnopenableLogs::Hold {
    NoFreeDescriptors no_descriptors;
};

UnopenableLogs::UnopenableLogs() : hold_(std::make_unique<Hold>()) {}

UnopenableLogs::~UnopenableLogs() = default;

bool UnopenableLogs::active() const {
    return hold_->no_descriptors.active();
}
