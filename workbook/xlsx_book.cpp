#include "workbook/xlsx_book.h"

#include <xlsxwriter.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <stdexcept>

#include "base/text_codec.h"

namespace slotscope {
namespace {

// Excel's own limit on a cell's text, in UTF-16 units.
constexpr std::size_t kCellCharacters = 32767;
// Columns wider than this are left for the reader to widen: a long list of sites should not
// push every other column off the screen.
constexpr int kWidestColumn = 60;

// Excel's "good" and "bad" cell styles.
constexpr lxw_color_t kBetterFont = 0x006100;
constexpr lxw_color_t kBetterFill = 0xC6EFCE;
constexpr lxw_color_t kWorseFont = 0x9C0006;
constexpr lxw_color_t kWorseFill = 0xFFC7CE;
constexpr lxw_color_t kHeaderFill = 0xDDEBF7;

bool Wide(char16_t c) {
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) ||
           (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
           (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
           (c >= 0xFFE0 && c <= 0xFFE6);
}

// What a cell can hold of a text: UTF-8 (bytes that are none replaced), no control character
// that XML cannot carry, no more than Excel takes.
std::string CellText(std::string_view utf8) {
    std::u16string text = DecodeUtf8(utf8);
    std::erase_if(text, [](char16_t c) {
        return (c < 0x20 && c != u'\t' && c != u'\n') || c == 0xFFFE || c == 0xFFFF;
    });
    if (text.size() > kCellCharacters) {
        // Never half of a pair of surrogates.
        const bool splitsPair =
            text[kCellCharacters - 1] >= 0xD800 && text[kCellCharacters - 1] < 0xDC00;
        text.resize(splitsPair ? kCellCharacters - 1 : kCellCharacters);
    }
    return EncodeUtf8(text);
}

}  // namespace

int DisplayWidth(std::string_view utf8) {
    int width = 0;
    for (const char16_t c : DecodeUtf8(utf8)) {
        if (c >= 0xDC00 && c < 0xE000) {
            continue;  // the second half of a character outside the BMP, counted with the first
        }
        width += Wide(c) || (c >= 0xD800 && c < 0xDC00) ? 2 : 1;
    }
    return width;
}

struct XlsxSheet::Handles {
    lxw_workbook* workbook = nullptr;
    lxw_format* header = nullptr;
    lxw_format* better = nullptr;
    lxw_format* worse = nullptr;
    lxw_format* time = nullptr;
    bool failed = false;

    void Check(lxw_error error) { failed = failed || error != LXW_NO_ERROR; }
    lxw_format* LookOf(Look look) const {
        return look == Look::Better ? better : look == Look::Worse ? worse : nullptr;
    }
};

XlsxSheet::XlsxSheet(Handles& book, void* sheet, const std::vector<std::string>& headers)
    : book_(book), sheet_(sheet), widths_(headers.size(), 0) {
    auto* worksheet = static_cast<lxw_worksheet*>(sheet_);
    for (std::size_t column = 0; column < headers.size(); ++column) {
        const auto at = static_cast<lxw_col_t>(column);
        book_.Check(worksheet_write_string(worksheet, 0, at, CellText(headers[column]).c_str(),
                                           book_.header));
        // Room for the filter's button beside the header.
        Widen(static_cast<int>(column), DisplayWidth(headers[column]) + 2);
    }
    worksheet_freeze_panes(worksheet, 1, 0);
}

void XlsxSheet::Widen(int column, int width) {
    auto& widest = widths_.at(static_cast<std::size_t>(column));
    widest = std::max(widest, std::min(width, kWidestColumn));
}

void XlsxSheet::Text(int column, std::string_view text, Look look) {
    if (text.empty() && look == Look::Plain) {
        return;
    }
    const std::string cell = CellText(text);
    book_.Check(worksheet_write_string(static_cast<lxw_worksheet*>(sheet_),
                                       static_cast<lxw_row_t>(row_), static_cast<lxw_col_t>(column),
                                       cell.c_str(), book_.LookOf(look)));
    Widen(column, DisplayWidth(cell));
}

void XlsxSheet::Number(int column, double number) {
    book_.Check(worksheet_write_number(static_cast<lxw_worksheet*>(sheet_),
                                       static_cast<lxw_row_t>(row_), static_cast<lxw_col_t>(column),
                                       number, nullptr));
    std::array<char, 32> shown{};
    Widen(column, std::snprintf(shown.data(), shown.size(), "%g", number));
}

void XlsxSheet::Time(int column, const WallTime& time) {
    lxw_datetime when = {time.year, time.month,  time.day,
                         time.hour, time.minute, static_cast<double>(time.second)};
    book_.Check(worksheet_write_datetime(static_cast<lxw_worksheet*>(sheet_),
                                         static_cast<lxw_row_t>(row_),
                                         static_cast<lxw_col_t>(column), &when, book_.time));
    Widen(column, static_cast<int>(std::string_view("yyyy-mm-dd hh:mm:ss").size()));
}

bool XlsxSheet::EndRow() {
    if (full()) {
        return false;
    }
    ++row_;
    return true;
}

void XlsxSheet::Finish() {
    auto* worksheet = static_cast<lxw_worksheet*>(sheet_);
    const auto last = static_cast<lxw_col_t>(widths_.size() - 1);
    book_.Check(worksheet_autofilter(worksheet, 0, 0, static_cast<lxw_row_t>(row_ - 1), last));
    for (std::size_t column = 0; column < widths_.size(); ++column) {
        const auto at = static_cast<lxw_col_t>(column);
        book_.Check(worksheet_set_column(worksheet, at, at, widths_[column] + 1, nullptr));
    }
}

XlsxBook::XlsxBook(const std::string& utf8Path, const std::string& scratchFolder)
    : book_(std::make_unique<XlsxSheet::Handles>()) {
    std::string tmpdir = scratchFolder;
    lxw_workbook_options options = {
        .constant_memory = LXW_TRUE, .tmpdir = tmpdir.data(), .use_zip64 = LXW_FALSE};
    book_->workbook = workbook_new_opt(utf8Path.c_str(), &options);
    if (book_->workbook == nullptr) {
        return;
    }
    book_->header = workbook_add_format(book_->workbook);
    format_set_bold(book_->header);
    format_set_bg_color(book_->header, kHeaderFill);
    book_->better = workbook_add_format(book_->workbook);
    format_set_font_color(book_->better, kBetterFont);
    format_set_bg_color(book_->better, kBetterFill);
    book_->worse = workbook_add_format(book_->workbook);
    format_set_font_color(book_->worse, kWorseFont);
    format_set_bg_color(book_->worse, kWorseFill);
    book_->time = workbook_add_format(book_->workbook);
    format_set_num_format(book_->time, "yyyy-mm-dd hh:mm:ss");
}

XlsxBook::~XlsxBook() {
    if (book_->workbook != nullptr) {
        lxw_workbook_free(book_->workbook);  // never put together
    }
}

bool XlsxBook::opened() const {
    return book_->workbook != nullptr;
}

XlsxSheet& XlsxBook::AddSheet(const std::string& name, const std::vector<std::string>& headers) {
    lxw_worksheet* sheet = workbook_add_worksheet(book_->workbook, name.c_str());
    if (sheet == nullptr) {
        throw std::logic_error("no sheet can be named " + name);
    }
    sheets_.push_back(std::unique_ptr<XlsxSheet>(new XlsxSheet(*book_, sheet, headers)));
    return *sheets_.back();
}

bool XlsxBook::Close() {
    if (book_->workbook == nullptr) {
        return false;
    }
    for (const auto& sheet : sheets_) {
        sheet->Finish();
    }
    const lxw_error error = workbook_close(book_->workbook);
    book_->workbook = nullptr;
    return error == LXW_NO_ERROR && !book_->failed;
}

}  // namespace slotscope
