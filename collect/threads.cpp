// The thread table: every thread the program starts, each with its own stop state, so that program
// end can stop and wait for all of them and none is left running behind its back.
#include "collect/threads.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "runtime/stop.h"

struct ThreadRecord {
    std::shared_ptr<StopState> stop;
    // Shared with the thread itself, which may outlive its record when it detached at program end.
    std::shared_ptr<std::atomic<bool>> running = std::make_shared<std::atomic<bool>>(true);
    std::thread thread;

    ThreadRecord() = default;
    ThreadRecord(const ThreadRecord&) = delete;
    ThreadRecord& operator=(const ThreadRecord&) = delete;
};

namespace {

struct ThreadTable {
    std::mutex mutex;
    std::vector<std::unique_ptr<ThreadRecord>> records;
};

// Never destroyed: the program may end from one of the threads in the table, whose own record
// must then outlive every static destructor.
ThreadTable& table() {
    static ThreadTable* const instance = new ThreadTable;
    return *instance;
}

// Takes the record out of the table; null when it is not (or no longer) in it. Caller holds the
// lock.
std::unique_ptr<ThreadRecord> take_record(const ThreadRecord* thread) {
    auto& records = table().records;
    auto found = std::find_if(
        records.begin(), records.end(),
        [thread](const std::unique_ptr<ThreadRecord>& r) { return r.get() == thread; });
    if (found == records.end()) return nullptr;
    std::unique_ptr<ThreadRecord> record = std::move(*found);
    records.erase(found);
    return record;
}

void stop_and_join(ThreadRecord& record) {
    request_stop(*record.stop);
    if (record.thread.joinable()) record.thread.join();
}

}  // namespace

ThreadRecord* start_thread(ThreadEntry entry, std::int32_t parameter) {
    if (entry == nullptr) return nullptr;
    std::unique_ptr<ThreadRecord> record;
    std::lock_guard lock(table().mutex);
    auto& records = table().records;
    // Everything that can fail comes before the table changes: a failed start leaves the table as
    // it was, and no record of a thread that can still be joined is ever destroyed.
    try {
        record = std::make_unique<ThreadRecord>();
        record->stop = make_stop_state();
        records.reserve(records.size() + 1);
        record->thread =
            std::thread([stop = record->stop, running = record->running, entry, parameter] {
                bind_stop_state(stop);
                entry(parameter);
                running->store(false);
            });
    } catch (...) {
        return nullptr;
    }
    // Finished threads leave the table. Their entries have returned, so these joins end at once.
    std::erase_if(records, [](const std::unique_ptr<ThreadRecord>& r) {
        if (r->running->load()) return false;
        if (r->thread.joinable()) r->thread.join();
        return true;
    });
    ThreadRecord* handle = record.get();
    records.push_back(std::move(record));
    return handle;
}

void kill_thread(ThreadRecord* thread) {
    std::unique_ptr<ThreadRecord> record;
    {
        std::lock_guard lock(table().mutex);
        auto& records = table().records;
        auto found = std::find_if(
            records.begin(), records.end(),
            [thread](const std::unique_ptr<ThreadRecord>& r) { return r.get() == thread; });
        if (found == records.end()) return;
        if ((*found)->thread.get_id() == std::this_thread::get_id()) {
            request_stop(*(*found)->stop);
            return;
        }
        record = take_record(thread);
    }
    stop_and_join(*record);
}

bool thread_running(const ThreadRecord* thread) {
    std::lock_guard lock(table().mutex);
    for (const auto& record : table().records) {
        if (record.get() == thread) return record->running->load();
    }
    return false;
}

void release_thread_table() {
    std::vector<std::unique_ptr<ThreadRecord>> others;
    {
        std::lock_guard lock(table().mutex);
        auto& records = table().records;
        for (auto& record : records) {
            if (record->thread.get_id() == std::this_thread::get_id()) {
                // The calling thread is the one ending the program; it cannot wait for itself.
                request_stop(*record->stop);
                record->thread.detach();
            } else {
                others.push_back(std::move(record));
            }
        }
        records.clear();
    }
    for (auto& record : others) request_stop(*record->stop);
    for (auto& record : others) {
        if (record->thread.joinable()) record->thread.join();
    }
}
