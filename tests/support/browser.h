#pragma once

// The reports read in a real browser: chromium, headless, holding the page as a reader's window
// of a given size would.

#include <filesystem>
#include <string>

#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"

namespace slotscope::testing {

// Where chromium lives; empty where it is not installed (the Windows build's tests leave the
// report to the Linux build's).
inline std::string Chromium() {
#if defined(_WIN32)
    return {};
#else
    for (const char* path : {"/usr/bin/chromium", "/usr/bin/chromium-browser"}) {
        if (std::filesystem::exists(path)) {
            return path;
        }
    }
    return {};
#endif
}

// The page at `path` as chromium holds it once loaded and its scripts have run, in a window
// `width` × `height`; its files in `work`. Empty where chromium failed, with its errors in `why`.
inline std::string LoadedPage(const std::string& path, const TempDir& work, int width, int height,
                              std::string& why) {
    WriteFileBytes(work.file("stdin"), "");
    const ProcessId browser =
        StartProgram(Chromium(),
                     {"--headless", "--no-sandbox", "--disable-gpu", "--hide-scrollbars",
                      "--user-data-dir=" + work.file("browser"),
                      "--window-size=" + std::to_string(width) + "," + std::to_string(height),
                      "--dump-dom", "file://" + path},
                     {work.path().string(), work.file("stdin"), work.file("dom"),
                      work.file("browser.err"), false});
    const bool ran = WaitForProgram(browser).exitStatus == 0;
    why = ReadFileBytes(work.file("browser.err"));
    return ran ? ReadFileBytes(work.file("dom")) : std::string();
}

}  // namespace slotscope::testing
