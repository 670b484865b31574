#include <malloc.h>
#include <pthread.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <thread>

#include "app/cli_platform.h"

namespace slotscope::cli {

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    return {argv + 1, argv + argc};
}

std::FILE* BinaryStandardInput() {
    return stdin;
}

std::FILE* BinaryStandardOutput() {
    return stdout;
}

bool ErrorIsTerminal() {
    return isatty(STDERR_FILENO) == 1;
}

bool InputIsTerminal() {
    return isatty(STDIN_FILENO) == 1;
}

const char* EndOfInputKeys() {
    return "Ctrl-D at the start of a line";
}

void WriteError(std::string_view utf8) {
    std::fwrite(utf8.data(), 1, utf8.size(), stderr);
    std::fflush(stderr);
}

void StopOnInterrupt(const std::stop_source& stop, int exitCode) {
    // A reader that goes away early (`--output /dev/stdout | head`) makes writes fail, which the
    // run reports, instead of ending the program without a word.
    std::signal(SIGPIPE, SIG_IGN);
    // The signals are taken by a thread of their own, so the stop request is never made from
    // inside a signal handler. Blocked here, before any other thread starts.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::thread([signals, stop, exitCode]() mutable {
        int signal = 0;
        while (sigwait(&signals, &signal) == 0) {
            if (stop.stop_requested()) {
                _exit(exitCode);
            }
            stop.request_stop();
        }
    }).detach();
}

void KeepMemoryFlat() {
    // Buffers of a few hundred KB are mapped and unmapped instead of staying in per-thread
    // arenas.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    // The threads of every region's fetches share two arenas rather than holding one each: they
    // wait on the network, not on each other's allocations.
    mallopt(M_ARENA_MAX, 2);
}

}  // namespace slotscope::cli
