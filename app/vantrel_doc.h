#pragma once
// A detailed-analysis document. It holds no data: its title, "Default" when
// new and the analysed file's path afterwards, ties the window to the file.
#include <QPointer>
#include <string>

class CChildFrame;

class CVantrelDoc {
public:
    static constexpr const char* kDefaultTitle = "Default";

    CVantrelDoc() = default;
    CVantrelDoc(const CVantrelDoc&) = delete;
    CVantrelDoc& operator=(const CVantrelDoc&) = delete;

    const std::string& GetTitle() const { return title_; }
    // Also shown as the frame's caption.
    void SetTitle(const std::string& title);

    CChildFrame* Frame() const { return frame_; }
    void SetFrame(CChildFrame* frame) { frame_ = frame; }

private:
    std::string title_ = kDefaultTitle;
    QPointer<CChildFrame> frame_;
};
