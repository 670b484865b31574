#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace slotscope::testing {

struct ChildFiles {
    std::string workingDirectory;
    std::string input;   // file for standard input
    std::string output;  // file for standard output, created or truncated
    std::string errors;  // file for standard error, created or truncated
};

// Starts `program` with `arguments` (without the program name); -1 when it cannot start.
pid_t StartProgram(const std::string& program, const std::vector<std::string>& arguments,
                   const ChildFiles& files);

struct ChildEnd {
    int exitStatus = -1;  // -1 when it did not exit normally (killed by a signal)
    int signal = 0;       // the signal that ended it, if one did
    long peakResidentKiB = 0;
};

ChildEnd WaitForProgram(pid_t pid);

}  // namespace slotscope::testing
