#include "base/stop_wait.h"

#include <condition_variable>
#include <mutex>

namespace slotscope {

bool WaitUnlessStopped(std::chrono::milliseconds pause, const std::stop_token& stop) {
    if (stop.stop_requested()) {
        return false;
    }
    // A wait that only the stop request cuts short: nothing else shares the mutex.
    std::mutex mutex;
    std::condition_variable_any wakeUp;
    // cppcheck-suppress localMutex
    std::unique_lock lock(mutex);
    return !wakeUp.wait_for(lock, stop, pause, [] { return false; }) && !stop.stop_requested();
}

}  // namespace slotscope
