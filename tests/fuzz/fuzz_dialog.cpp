// Plays a router that answers the worker with arbitrary chunks over real loopback TCP, one chunk
// per line the worker sends, then hangs up: whatever the chunks hold, one cycle must end, write
// only the two logs, and never crash, leak or reach undefined behaviour.
//
// Input: chunks, each a 2-byte little-endian length followed by that many bytes.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "collect/collection_worker.h"
#include "runtime/tone.h"
#include "runtime/ui_calls.h"
#include "settings/settings.h"

namespace {

void no_tone(std::int32_t, std::int32_t) {}
void no_status(int, int, std::string_view) {}
int no_box(std::string_view, std::string_view, int) {
    return 1;
}

int listener = -1;
std::uint16_t listener_port = 0;

bool prepare() {
    char dir[] = "/tmp/kelva-fuzz-dialog-XXXXXX";
    if (!mkdtemp(dir) || chdir(dir) != 0) std::abort();
    set_tone_output(&no_tone);
    install_ui_calls({&no_status, &no_box});
    listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        listen(listener, 4) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        std::abort();
    }
    listener_port = ntohs(address.sin_port);
    cycle_timing.pass_pause_ms = 0;
    cycle_timing.dialog_silence_limit_ms = 200;
    return true;
}

std::vector<std::string> split_chunks(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> chunks;
    std::size_t at = 0;
    while (at + 2 <= size && chunks.size() < 16) {
        const std::size_t length =
            std::min<std::size_t>(data[at] | (data[at + 1] << 8), size - at - 2);
        // An empty chunk would never be answered: the router would only wait.
        if (length > 0) chunks.emplace_back(reinterpret_cast<const char*>(data + at + 2), length);
        at += 2 + length;
    }
    return chunks;
}

// Sends a chunk, then waits for the worker's answer (a line ending in CR) before the next one, so
// each chunk arrives in a read of its own. Gives up on a worker that has hung up or fallen silent.
void play_router(std::vector<std::string> chunks) {
    const int session = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (session < 0) return;
    for (const std::string& chunk : chunks) {
        if (send(session, chunk.data(), chunk.size(), MSG_NOSIGNAL) < 0) break;
        bool answered = false;
        char byte = 0;
        while (!answered) {
            pollfd readable{session, POLLIN, 0};
            if (poll(&readable, 1, 1000) <= 0 || recv(session, &byte, 1, 0) <= 0) break;
            answered = byte == '\r';
        }
        if (!answered) break;
    }
    close(session);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool ready = prepare();
    (void)ready;
    reset_settings_to_defaults();
    settings.router_address = "127.0.0.1";
    settings.port = listener_port;
    settings.password = "secret";
    settings.interval_ms = 0;
    settings.loop_flag = "once";  // anything but "true": the worker returns after one cycle
    std::thread router(play_router, split_chunks(data, size));
    collection_worker(0);
    router.join();
    unlink(settings.stats_log_name.c_str());
    unlink(settings.bins_log_name.c_str());
    return 0;
}
