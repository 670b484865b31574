#pragma once

#include <cstdio>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

// What the command line needs from the system, one implementation per system
// (cli_platform_posix.cpp, cli_platform_win.cpp).
namespace slotscope::cli {

// The program's arguments as UTF-8, without the program's name. Windows hands them over as wide
// characters, so a keyword file named in Chinese arrives whole.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// Standard input, reading bytes as they are. Windows would otherwise end text-mode input at byte
// 0x1A, which UTF-16 holds inside common characters (业 is U+4E1A).
std::FILE* BinaryStandardInput();

// Standard output, writing bytes as they are: Windows would otherwise turn each LF into CR LF.
std::FILE* BinaryStandardOutput();

// Whether standard error is a terminal or console, where progress is redrawn in place.
bool ErrorIsTerminal();

// Whether standard input is a terminal or console: keywords typed by hand, not a file or a pipe.
bool InputIsTerminal();

// How a list typed at the terminal is ended, for a line that says so.
const char* EndOfInputKeys();

// Writes UTF-8 text to standard error: as Unicode to a Windows console, as bytes elsewhere.
void WriteError(std::string_view utf8);

// The first interrupt (Ctrl-C, SIGTERM; on Windows also Ctrl-Break and closing the console)
// requests `stop`, so the run ends after the keyword under way; a second one ends the program at
// once with `exitCode`. A closed pipe makes writes fail instead of ending the program.
void StopOnInterrupt(const std::stop_source& stop, int exitCode);

// Lets page buffers go back to the system when freed, so a long run's memory stays flat.
void KeepMemoryFlat();

}  // namespace slotscope::cli
