#include "core/file_open.h"

namespace slotscope {

std::FILE* OpenFile(const std::string& utf8Path, const char* mode) {
    return std::fopen(utf8Path.c_str(), mode);
}

}  // namespace slotscope
