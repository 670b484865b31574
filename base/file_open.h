#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

// The system's file calls for paths given in UTF-8, whatever the system's own encoding of file
// names (on Windows a folder named 桌面 needs the wide-character calls). One implementation per
// system: file_open_posix.cpp, file_open_win.cpp.
namespace slotscope {

// std::fopen for a path in UTF-8.
std::FILE* OpenFile(const std::string& utf8Path, const char* mode);

// A regular file opened for reading ("rb"), links followed; null for anything else (a folder, a
// pipe, a device), which is never waited for.
std::FILE* OpenRegularFile(const std::string& utf8Path);

// Whether `utf8Path` names a regular file (not a folder, a device or a pipe), following links.
bool IsRegularFile(const std::string& utf8Path);

// Whether `utf8Path` names something in whose place no file may be put: a folder, a device, a
// pipe or a socket (a link itself is not one, wherever it points).
bool IsSpecialFile(const std::string& utf8Path);

// Whether two paths name one file, whether it exists yet or not: the same file by any spelling,
// through links (a dangling one to where it would create its file), hard links and, on Windows,
// in any letter case.
bool SameFile(const std::string& a, const std::string& b);

// The path with every link followed, in UTF-8; the path itself where it cannot be resolved.
std::string ResolvedPath(const std::string& utf8Path);

// Puts the file `from` in the place of `to` in one step, replacing it; false when it could not.
bool PutFileInPlace(const std::string& from, const std::string& to);

// Removes a file; false when it could not.
bool RemoveFile(const std::string& utf8Path);

// A file written in records: each Write hands its bytes to the system in one call, so a process
// killed between two writes leaves only whole records, and a failed write is seen at once.
class OutputFile final {
  public:
    enum class OpenResult {
        Opened,
        InUse,   // another program holds it open and refuses writers (Excel does, on Windows)
        Failed,  // any other reason: no such folder, no permission
    };

    OutputFile() = default;
    ~OutputFile() { Close(); }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates the file, or opens it keeping what it holds until Truncate: a run that writes
    // several files opens them all before it empties any.
    OpenResult OpenForWriting(const std::string& utf8Path);
    // Creates a file that is not there yet, never through a link or onto anything else standing
    // at the name (O_EXCL | O_NOFOLLOW; CREATE_NEW): readable by its owner alone where `ownerOnly`
    // (whatever the umask), else as the umask has new files. Exists when the name is taken.
    enum class CreateResult { Created, Exists, Failed };
    CreateResult CreateNew(const std::string& utf8Path, bool ownerOnly);
    // Gives the open file the access permissions of the file at `utf8Path`, where the system has
    // them to give; false when they could not be given.
    bool TakePermissionsOf(const std::string& utf8Path);
    // Empties a regular file and writes from its start; a device or a pipe is left as it is.
    // False when the file could not be emptied.
    bool Truncate();
    // False when not all of `bytes` reached the file (disk full, not open).
    bool Write(std::string_view bytes);
    // False when the file could not be closed cleanly; nothing happens when it is not open.
    bool Close();

  private:
    std::intptr_t handle_ = -1;  // a descriptor, or a Windows HANDLE; -1 when closed
};

}  // namespace slotscope
