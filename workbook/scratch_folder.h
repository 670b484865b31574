#pragma once

#include <string>

namespace slotscope {

// A folder of this user's own under the system's temporary folder, made afresh under a name no
// one can guess and readable by its owner alone, so that nothing another user planted can be
// among the files written there; removed with everything in it when it goes. One implementation
// per system: scratch_folder_posix.cpp, scratch_folder_win.cpp.
class ScratchFolder final {
  public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // Empty when it could not be made.
    const std::string& path() const { return path_; }
    // A file in it, named `name` (UTF-8).
    std::string file(const std::string& name) const;

  private:
    std::string path_;  // UTF-8
};

}  // namespace slotscope
