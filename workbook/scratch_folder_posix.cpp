#include <stdlib.h>  // NOLINT(modernize-deprecated-headers): mkdtemp is POSIX's, not C++'s

#include <filesystem>
#include <system_error>
#include <vector>

#include "workbook/scratch_folder.h"

namespace slotscope {

ScratchFolder::ScratchFolder() {
    std::error_code error;
    const std::string pattern =
        (std::filesystem::temp_directory_path(error) / "slotscope-XXXXXX").string();
    if (error) {
        return;
    }
    // mkdtemp makes the folder with mode 0700 in one step, whatever the umask.
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (mkdtemp(name.data()) != nullptr) {
        path_ = name.data();
    }
}

ScratchFolder::~ScratchFolder() {
    if (!path_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
}

std::string ScratchFolder::file(const std::string& name) const {
    return path_ + "/" + name;
}

}  // namespace slotscope
