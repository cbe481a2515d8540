// The end of collecting: threads, then the waiting log lines, then the files.
#include "collect/collection_end.h"

#include "collect/threads.h"
#include "runtime/file_layer.h"
#include "stats/pending_lines.h"

void end_collection() {
    release_thread_table();  // the worker's connection and socket go with it
    retry_pending_log_lines();
    close_all_files();
}
