#include <windows.h>
// After windows.h, which it needs.
#include <psapi.h>

#include <cstdlib>

#include "base/text_codec.h"
#include "tests/support/child_process.h"

namespace slotscope::testing {
namespace {

std::wstring Wide(const std::string& utf8) {
    const std::u16string text = DecodeUtf8(utf8);
    return {text.begin(), text.end()};
}

// One argument as CommandLineToArgvW reads it back: quoted when it has to be, backslashes before
// a quote doubled.
std::wstring Quoted(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        return argument;
    }
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"') {
            quoted.append(backslashes * 2 + 1, L'\\');
        } else {
            quoted.append(backslashes, L'\\');
        }
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');
    quoted += L'"';
    return quoted;
}

HANDLE OpenInherited(const std::string& path, bool write) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    return CreateFileW(Wide(path).c_str(), write ? GENERIC_WRITE : GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                       write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

ProcessId StartProgram(const std::string& program, const std::vector<std::string>& arguments,
                       const ChildFiles& files) {
    std::wstring commandLine = Quoted(Wide(program));
    for (const std::string& argument : arguments) {
        commandLine += L' ';
        commandLine += Quoted(Wide(argument));
    }
    const HANDLE input = OpenInherited(files.input, false);
    const HANDLE output = OpenInherited(files.output, true);
    const HANDLE errors = OpenInherited(files.errors, true);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = output;
    startup.hStdError = errors;
    PROCESS_INFORMATION process{};
    const std::wstring directory = Wide(files.workingDirectory);
    const BOOL started =
        CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE,
                       files.ownConsole ? CREATE_NEW_CONSOLE : 0, nullptr,
                       directory.empty() ? nullptr : directory.c_str(), &startup, &process);
    for (const HANDLE handle : {input, output, errors}) {
        if (handle != INVALID_HANDLE_VALUE) {
            CloseHandle(handle);
        }
    }
    if (started == 0) {
        return -1;
    }
    CloseHandle(process.hThread);
    return reinterpret_cast<ProcessId>(process.hProcess);
}

ChildEnd WaitForProgram(ProcessId process) {
    ChildEnd end;
    auto* const handle = reinterpret_cast<HANDLE>(process);
    if (process == -1 || WaitForSingleObject(handle, INFINITE) != WAIT_OBJECT_0) {
        return end;
    }
    DWORD code = 0;
    if (GetExitCodeProcess(handle, &code) != 0) {
        end.exitStatus = static_cast<int>(code);
    }
    PROCESS_MEMORY_COUNTERS counters{};
    if (GetProcessMemoryInfo(handle, &counters, sizeof counters) != 0) {
        end.peakResidentKiB = static_cast<long>(counters.PeakWorkingSetSize / 1024);
    }
    CloseHandle(handle);
    return end;
}

void InterruptProgram(ProcessId process) {
    // Ctrl-C as a user types it: into the program's console, which this process joins for the
    // moment, ignoring the event itself.
    FreeConsole();
    if (AttachConsole(GetProcessId(reinterpret_cast<HANDLE>(process))) != 0) {
        SetConsoleCtrlHandler(nullptr, TRUE);
        GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
        Sleep(100);
        FreeConsole();
        SetConsoleCtrlHandler(nullptr, FALSE);
    }
}

void KillProgram(ProcessId process) {
    TerminateProcess(reinterpret_cast<HANDLE>(process), 1);
}

void SetEnv(const std::string& name, const std::string& value) {
    _putenv_s(name.c_str(), value.c_str());
}

void UnsetEnv(const std::string& name) {
    _putenv_s(name.c_str(), "");
}

}  // namespace slotscope::testing
