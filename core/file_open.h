#pragma once

#include <cstdio>
#include <string>

namespace slotscope {

// std::fopen for a path given in UTF-8, whatever the system's own encoding of file names (on
// Windows a folder named 桌面 needs the wide-character call).
std::FILE* OpenFile(const std::string& utf8Path, const char* mode);

}  // namespace slotscope
