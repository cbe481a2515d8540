// The collector's run: the settings from its options, the worker on a thread of its own as in the
// window program, and the end, on a stop request or (with --once) after one cycle.
#pragma once

#include <string>

#include "collector/collector_options.h"

// Runs until a stop request (exit_done), a log that cannot be created (exit_failed), or, with
// options.once, the end of the first cycle (exit_done or exit_not_collected). Enters
// options.directory first; a relative password or metrics path is taken from where it started.
// mqtt_password: the broker's, "" for none.
int run_collector(const CollectorOptions& options, const std::string& password,
                  const std::string& mqtt_password);
