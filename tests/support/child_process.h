#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Other programs started by the tests, and the environment they inherit; one implementation per
// system (child_process_posix.cpp, child_process_win.cpp).
namespace slotscope::testing {

// A started program: its process id on Linux, its process handle on Windows; -1 for none.
using ProcessId = std::intptr_t;

struct ChildFiles {
    std::string workingDirectory;
    std::string input;   // file for standard input
    std::string output;  // file for standard output, created or truncated
    std::string errors;  // file for standard error, created or truncated
    // On Windows, a console of its own, which InterruptProgram needs (under a desktop it is a
    // console window of its own too).
    bool ownConsole = false;
};

// Starts `program` with `arguments` (without the program name, passed on exactly as given);
// -1 when it cannot start.
ProcessId StartProgram(const std::string& program, const std::vector<std::string>& arguments,
                       const ChildFiles& files);

struct ChildEnd {
    int exitStatus = -1;  // -1 when it did not exit normally (killed by a signal)
    int signal = 0;       // the signal that ended it, if one did (Linux)
    long peakResidentKiB = 0;
};

ChildEnd WaitForProgram(ProcessId process);

// What a user's Ctrl-C does: SIGINT on Linux, Ctrl-C into its own console on Windows.
void InterruptProgram(ProcessId process);

// Ends the program at once, as a crash or the task manager would.
void KillProgram(ProcessId process);

// The test process's environment, which started programs and libcurl read.
void SetEnv(const std::string& name, const std::string& value);
void UnsetEnv(const std::string& name);

}  // namespace slotscope::testing
