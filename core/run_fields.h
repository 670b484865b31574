#pragma once

#include <string>
#include <utility>

namespace slotscope {

// The six texts through which a run meets the user. Reads return the current text and writes
// take effect at once: in the window these are live controls (the keyword list and website the
// user typed, the two label fields, the progress text and the status caption).
class RunFields {
  public:
    virtual ~RunFields() = default;

    virtual std::u16string KeywordList() const = 0;  // line breaks as CR LF
    virtual std::u16string Website() const = 0;      // as typed, after the "www." caption

    virtual std::u16string LeftLabel() const = 0;
    virtual void SetLeftLabel(const std::u16string& text) = 0;
    virtual std::u16string RightLabel() const = 0;
    virtual void SetRightLabel(const std::u16string& text) = 0;

    virtual void SetProgress(const std::u16string& text) = 0;
    virtual void SetStatus(const std::u16string& text) = 0;

  protected:
    RunFields() = default;
    RunFields(const RunFields&) = default;
    RunFields& operator=(const RunFields&) = default;
};

// Fields held in memory, for front ends without controls (the command line) and for tests.
// Derive and override the setters to watch what a run writes.
class MemoryRunFields : public RunFields {
  public:
    MemoryRunFields(std::u16string keywordList, std::u16string website)
        : keywordList_(std::move(keywordList)), website_(std::move(website)) {}

    std::u16string KeywordList() const override { return keywordList_; }
    std::u16string Website() const override { return website_; }
    std::u16string LeftLabel() const override { return left_; }
    void SetLeftLabel(const std::u16string& text) override { left_ = text; }
    std::u16string RightLabel() const override { return right_; }
    void SetRightLabel(const std::u16string& text) override { right_ = text; }
    void SetProgress(const std::u16string& text) override { progress_ = text; }
    void SetStatus(const std::u16string& text) override { status_ = text; }

    const std::u16string& Progress() const { return progress_; }
    const std::u16string& Status() const { return status_; }

  private:
    std::u16string keywordList_;
    std::u16string website_;
    std::u16string left_;
    std::u16string right_;
    std::u16string progress_;
    std::u16string status_;
};

}  // namespace slotscope
