#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>

#include "tests/support/child_process.h"

namespace slotscope::testing {

ProcessId StartProgram(const std::string& program, const std::vector<std::string>& arguments,
                       const ChildFiles& files) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, files.input.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, files.output.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, files.errors.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (!files.workingDirectory.empty()) {
        posix_spawn_file_actions_addchdir_np(&actions, files.workingDirectory.c_str());
    }
    std::vector<std::string> all = {program};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    argv.reserve(all.size() + 1);
    for (std::string& argument : all) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int error = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return error == 0 ? pid : -1;
}

ChildEnd WaitForProgram(ProcessId process) {
    const auto pid = static_cast<pid_t>(process);
    ChildEnd end;
    int status = 0;
    rusage usage{};
    if (pid > 0 && wait4(pid, &status, 0, &usage) == pid) {
        if (WIFEXITED(status)) {
            end.exitStatus = WEXITSTATUS(status);
        } else if (WIFSIGNALED(status)) {
            end.signal = WTERMSIG(status);
        }
        end.peakResidentKiB = usage.ru_maxrss;
    }
    return end;
}

void InterruptProgram(ProcessId process) {
    ::kill(static_cast<pid_t>(process), SIGINT);
}

void KillProgram(ProcessId process) {
    ::kill(static_cast<pid_t>(process), SIGKILL);
}

void SetEnv(const std::string& name, const std::string& value) {
    ::setenv(name.c_str(), value.c_str(), 1);
}

void UnsetEnv(const std::string& name) {
    ::unsetenv(name.c_str());
}

}  // namespace slotscope::testing
