#pragma once

#include <string>
#include <string_view>

#include "base/file_open.h"

namespace slotscope {

// A file that takes the place of another in one step (the results after the rounds, a report,
// the settings, the cookie), so that no moment leaves a partial or missing file. It is written
// beside its target under a name no one can guess in advance ("baidu.csv.3kq0x7rj2m1a.new"),
// created exclusively and never through a link planted there, then put in place; it is removed
// when a step fails or it is never put in place.
class SideFile final {
  public:
    enum class Access {
        AsTarget,   // the target's permissions, or a new file's where there is no target yet
        OwnerOnly,  // readable and writable by its owner alone, whatever the umask
    };

    // Creates the file beside `target`; `suffix` ends its name (".new", ".partial"). None is
    // created where the target is a folder, a device, a pipe or a socket.
    SideFile(std::string target, std::string_view suffix, Access access);
    ~SideFile();
    SideFile(const SideFile&) = delete;
    SideFile& operator=(const SideFile&) = delete;

    // Whether the file could be created.
    bool created() const { return !path_.empty(); }
    // False when not all of `bytes` reached the file; each call is one write to the system.
    bool Write(std::string_view bytes);
    // Closes the file and puts it in place of the target; false when anything failed since it
    // was created, and then the file is gone and the target as it was.
    bool Commit();

  private:
    void Discard();

    std::string target_;
    std::string path_;  // empty when not created, or once committed or discarded
    bool takePermissions_ = false;
    bool failed_ = false;
    OutputFile file_;
};

// Puts `bytes` in place of the file at `utf8Path` through a side file; false when they could
// not be, and then the file is as it was.
bool ReplaceFileContents(const std::string& utf8Path, std::string_view bytes,
                         SideFile::Access access, std::string_view suffix = ".new");

}  // namespace slotscope
