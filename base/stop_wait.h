#pragma once

#include <chrono>
#include <stop_token>

namespace slotscope {

// Waits `pause`; false when a stop was requested before or during the wait, which ends it at once.
bool WaitUnlessStopped(std::chrono::milliseconds pause, const std::stop_token& stop);

}  // namespace slotscope
