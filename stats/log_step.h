// What a log step tells the worker.
#pragma once

enum class LogStep {
    done,  // the step ran (its line written, or kept pending when the log could not be opened)
    program_ends,  // a new log could not be created: the box was shown and the program must end
};
