#include <windows.h>
// After windows.h, which it needs.
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "app/cli_platform.h"
#include "base/text_codec.h"

namespace slotscope::cli {
namespace {

std::stop_source& InterruptStop() {
    static std::stop_source stop = std::stop_source(std::nostopstate);
    return stop;
}
int interruptExitCode = 130;

BOOL WINAPI OnConsoleEvent(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT: {
            std::stop_source& stop = InterruptStop();
            if (stop.stop_requested()) {
                ExitProcess(static_cast<UINT>(interruptExitCode));
            }
            stop.request_stop();
            if (event == CTRL_CLOSE_EVENT) {
                // Windows ends the process when this returns from a close: give the run the time
                // it needs to finish its line and close the file (Windows allows a few seconds).
                Sleep(4000);
            }
            return TRUE;
        }
        default:
            return FALSE;
    }
}

}  // namespace

std::vector<std::string> Utf8Arguments(int /*argc*/, char** /*argv*/) {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    for (int i = 1; wide != nullptr && i < count; ++i) {
        arguments.push_back(EncodeUtf8(reinterpret_cast<const char16_t*>(wide[i])));
    }
    LocalFree(wide);
    return arguments;
}

std::FILE* BinaryStandardInput() {
    _setmode(_fileno(stdin), _O_BINARY);
    return stdin;
}

std::FILE* BinaryStandardOutput() {
    _setmode(_fileno(stdout), _O_BINARY);
    return stdout;
}

bool InputIsTerminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

const char* EndOfInputKeys() {
    return "Ctrl-Z, then Enter, at the start of a line";
}

bool ErrorIsTerminal() {
    // Progress is redrawn with "\r" and the erase-line sequence, which a console understands
    // once asked to; one that cannot (before Windows 10) gets a line per step instead.
    const HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    return GetConsoleMode(handle, &mode) != 0 &&
           SetConsoleMode(handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

void WriteError(std::string_view utf8) {
    const HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (GetConsoleMode(handle, &mode) != 0) {
        // A console shows Unicode whatever its code page.
        const std::u16string text = DecodeUtf8(utf8);
        DWORD written = 0;
        WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    std::fwrite(utf8.data(), 1, utf8.size(), stderr);
    std::fflush(stderr);
}

void StopOnInterrupt(const std::stop_source& stop, int exitCode) {
    InterruptStop() = stop;
    interruptExitCode = exitCode;
    SetConsoleCtrlHandler(&OnConsoleEvent, TRUE);
}

void KeepMemoryFlat() {
    // The Windows heap returns large blocks to the system by itself.
}

}  // namespace slotscope::cli
