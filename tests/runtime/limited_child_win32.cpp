// run_in_limited_child on Windows: there is neither fork nor a limit on the size of files.
#include "limited_child.h"

int run_in_limited_child(std::int64_t, const std::function<int()>&) {
    return no_limited_child;
}
