#include <cwchar>
#include <string>

#include "core/file_open.h"
#include "core/text_codec.h"

namespace slotscope {

std::FILE* OpenFile(const std::string& utf8Path, const char* mode) {
    const std::u16string path = DecodeUtf8(utf8Path);
    const std::u16string wideMode = DecodeUtf8(mode);
    return _wfopen(reinterpret_cast<const wchar_t*>(path.c_str()),
                   reinterpret_cast<const wchar_t*>(wideMode.c_str()));
}

}  // namespace slotscope
