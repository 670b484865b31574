#include "base/local_clock.h"

namespace slotscope {

bool ToLocalTime(std::time_t time, std::tm& local) {
    return localtime_s(&local, &time) == 0;
}

}  // namespace slotscope
