#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace slotscope {

// How a cell stands out: plain, green (a slot gained or risen) or red (lost or fallen).
enum class Look { Plain, Better, Worse };

// A time of day on a date, as the machine's clock shows it.
struct WallTime {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// The columns text takes on a screen: a wide (CJK, full-width) character two, any other one.
int DisplayWidth(std::string_view utf8);

// The rows a sheet holds at most, its header's among them.
inline constexpr int kSheetRows = 1048576;

// One sheet of a workbook being written, a row at a time from the top: its header row stays in
// view and carries a filter over every row; each column is as wide as its widest cell.
class XlsxSheet final {
  public:
    XlsxSheet(const XlsxSheet&) = delete;
    XlsxSheet& operator=(const XlsxSheet&) = delete;

    // Cells of the row under way. Text is always a text cell, never a formula, whatever it
    // starts with; bytes that are no UTF-8 are replaced.
    void Text(int column, std::string_view text, Look look = Look::Plain);
    void Number(int column, double number);
    // A date cell, shown as yyyy-mm-dd hh:mm:ss.
    void Time(int column, const WallTime& time);
    // Ends the row under way; false when the sheet holds no more rows.
    bool EndRow();
    // Whether another row fits.
    bool full() const { return row_ + 1 >= kSheetRows; }

  private:
    friend class XlsxBook;
    struct Handles;
    XlsxSheet(Handles& book, void* sheet, const std::vector<std::string>& headers);
    void Widen(int column, int width);
    void Finish();

    Handles& book_;
    void* sheet_;
    int row_ = 1;  // the row under way; 0 is the header's
    std::vector<int> widths_;
};

// An .xlsx workbook written with libxlsxwriter: rows go to temporary files in `scratchFolder` as
// they are written, so a sheet of any length takes little memory, and the workbook is put
// together in `utf8Path` on Close.
class XlsxBook final {
  public:
    XlsxBook(const std::string& utf8Path, const std::string& scratchFolder);
    ~XlsxBook();
    XlsxBook(const XlsxBook&) = delete;
    XlsxBook& operator=(const XlsxBook&) = delete;

    // Whether the workbook could be begun.
    bool opened() const;
    // A new sheet after the others, with its header row.
    XlsxSheet& AddSheet(const std::string& name, const std::vector<std::string>& headers);
    // Writes the workbook's file; false when anything failed.
    bool Close();

  private:
    std::unique_ptr<XlsxSheet::Handles> book_;
    std::vector<std::unique_ptr<XlsxSheet>> sheets_;
};

}  // namespace slotscope
