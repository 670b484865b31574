#pragma once

// A workbook read back as a spreadsheet program reads it: through openpyxl, in a Python of the
// system's, its sheets and cells as JSON.

#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"

namespace slotscope::testing {

// Each sheet by name, in the workbook's order under "sheets": "freeze" (the pane's top-left
// cell), "filter" (the filter's range), "widths" (by column letter), "rows" (each cell's value;
// a date cell as {"date": "2026-12-08 10:11:19", "format": its number format}, a formula as
// {"formula": ...}), and "fills" (by cell, the fill colour of every cell that has one).
inline constexpr const char* kDumpWorkbook = R"(import json, sys
try:
    import openpyxl
except ImportError:
    sys.exit(3)
book = openpyxl.load_workbook(sys.argv[1])
def cell(c):
    if c.data_type == 'f':
        return {'formula': c.value}
    if c.is_date:
        return {'date': c.value.strftime('%Y-%m-%d %H:%M:%S'), 'format': c.number_format}
    return c.value
out = {'sheets': book.sheetnames}
for sheet in book.worksheets:
    out[sheet.title] = {
        'freeze': sheet.freeze_panes,
        'filter': sheet.auto_filter.ref,
        'widths': {k: v.width for k, v in sheet.column_dimensions.items()},
        'rows': [[cell(c) for c in row] for row in sheet.iter_rows()],
        'fills': {c.coordinate: c.fill.fgColor.rgb for row in sheet.iter_rows() for c in row
                  if c.fill.fill_type == 'solid' and c.row > 1},
    }
json.dump(out, sys.stdout, ensure_ascii=False)
)";

// The workbook at `path` as kDumpWorkbook gives it; none where python3 with openpyxl cannot be
// run (Debian's python3-openpyxl, which scripts/install-deps installs; never under Wine).
inline std::optional<nlohmann::json> ReadWorkbook(const std::string& path) {
#if defined(_WIN32)
    return std::nullopt;
#endif
    if (!std::filesystem::exists("/usr/bin/python3")) {
        return std::nullopt;
    }
    const TempDir dir;
    WriteFileBytes(dir.file("dump.py"), kDumpWorkbook);
    const ChildEnd end = WaitForProgram(
        StartProgram("/usr/bin/python3", {dir.file("dump.py"), path},
                     {dir.path().string(), "/dev/null", dir.file("out"), dir.file("err"), false}));
    if (end.exitStatus == 3) {
        return std::nullopt;
    }
    const std::string out = ReadFileBytes(dir.file("out"));
    return nlohmann::json::parse(out, nullptr, /*allow_exceptions=*/false);
}

inline constexpr const char* kNoOpenpyxl =
    "python3 with openpyxl is needed to read the workbook back (scripts/install-deps installs "
    "python3-openpyxl)";

}  // namespace slotscope::testing
