#pragma once
// The bytes of the analysed file beside its result tree: one row of 16 bytes
// per line, as offset, hexadecimal and text. Only the rows on screen are
// read, so a file of any size opens at once. One range of bytes can be
// selected (the bytes of the selected result line). A click puts the cursor
// on a byte and reports it; the arrow keys, Page Up and Down, Home and End
// (with Ctrl: the file's start and end) move it, with Shift selecting the
// bytes passed over; Ctrl+C copies the selected bytes as hex text. Bytes of
// the analysed file that no result line describes are drawn on a background
// of their own, which a legend under the bytes names.
#include <optional>
#include <QAbstractScrollArea>
#include <functional>
#include <QFile>
#include <cstdint>
#include <vector>

#include "core/line_tree.h"

class QLabel;

class CHexView : public QAbstractScrollArea {
    Q_OBJECT
public:
    static constexpr int kBytesPerRow = 16;

    explicit CHexView(QWidget* parent = nullptr);

    // Shows the file at path (the analysed file or its side file); false when
    // it cannot be opened, which leaves the pane empty.
    bool SetFile(const QString& path);
    const QString& FilePath() const { return path_; }
    uint64_t FileSize() const { return size_; }

    // Multi-byte values under the cursor are read in the order of the
    // structure they lie in: bigEndianAt(offset) says which, or else the
    // order given here for the whole file.
    void SetBigEndian(bool bigEndian)
    {
        bigEndian_ = bigEndian;
        bigEndianAt_ = nullptr;
    }
    void SetByteOrder(std::function<bool(uint64_t offset)> bigEndianAt) { bigEndianAt_ = std::move(bigEndianAt); }
    bool BigEndianAt(uint64_t offset) const { return bigEndianAt_ ? bigEndianAt_(offset) : bigEndian_; }

    // Selects [start, end) and scrolls it into view; an empty range clears
    // the selection.
    void SelectRange(uint64_t start, uint64_t end);
    uint64_t SelectionStart() const { return selStart_; }
    uint64_t SelectionEnd() const { return selEnd_; }

    // The bytes of the file at path (the analysed file) that no line of
    // lines describes, found once here and marked whenever the pane shows
    // that file; ranges of the side file or of inflated data describe none
    // of its bytes. An empty path marks nothing.
    void MarkUnexplained(const QString& path, const CLineTree& lines);
    // How a byte of the shown file is drawn: selection outranks the mark.
    enum class ByteRole { Plain, Selected, Unexplained };
    ByteRole RoleAt(uint64_t offset) const;
    bool Unexplained(uint64_t offset) const;
    // The background of the bytes no line describes, in this palette.
    QColor UnexplainedColour() const;
    // How many bytes of the analysed file no line describes.
    uint64_t UnexplainedBytes() const { return unexplainedBytes_; }
    // Under the bytes while they are marked: a swatch and what it means.
    QLabel* Legend() const { return legend_; }

    // Puts the cursor on offset as a click does, reporting it.
    void SetCursorOffset(uint64_t offset);
    uint64_t CursorOffset() const { return cursor_; }
    // Puts the cursor on offset and scrolls it into view; false for an
    // offset outside the file.
    bool GoTo(uint64_t offset);
    // An offset as a person types it: decimal, or hexadecimal after "0x".
    static std::optional<uint64_t> ParseOffset(const QString& text);
    // The position, the byte and the 16- and 32-bit values under the cursor
    // in the file's byte order, as far as the file holds the bytes.
    QString CursorText();
    // The selected bytes (the byte under the cursor when none are) as hex
    // text, 16 bytes a line; at most kMaxCopyBytes of them.
    static constexpr uint64_t kMaxCopyBytes = uint64_t{4} << 20;
    QString SelectionHex();
    void CopySelection();
    // The width that shows every column, the text column included.
    int FullWidth() const;
    // The topmost row on screen.
    uint64_t FirstVisibleRow() const;
    // The offset of the byte drawn at a point of the viewport, -1 for none.
    int64_t OffsetAt(QPoint point) const;
    // Where the byte at offset is drawn in the hex columns (its row must be
    // on screen).
    QRect ByteRect(uint64_t offset) const;

signals:
    void byteClicked(uint64_t offset);
    void cursorMoved(const QString& text);
    // Another file is shown (the analysed file or its side file).
    void fileChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // Moves the cursor (clamped to the file); with extend, the bytes from
    // the anchor to the cursor become the selection.
    void MoveCursor(int64_t offset, bool extend);
    void EnsureVisible(uint64_t offset);
    int PageRows() const;
    QByteArray Read(uint64_t offset, qint64 length);
    void UpdateScrollBar();
    int RowHeight() const;
    int CharWidth() const;
    int OffsetDigits() const;
    int HexX(int column) const;
    int TextX(int column) const;
    bool MarksShown() const { return !markedPath_.isEmpty() && path_ == markedPath_; }
    // The first of gaps_ that ends after offset: with the gaps in file order
    // and apart, the only one that can hold offset or follow it closest.
    size_t GapAfter(uint64_t offset) const;
    // Shows the legend while the marks are shown, and keeps it under the
    // bytes, clear of the scroll bars.
    void UpdateLegend();
    void PlaceLegend();

    QFile file_;
    QString path_;
    uint64_t size_ = 0;
    bool bigEndian_ = false;
    std::function<bool(uint64_t)> bigEndianAt_;
    uint64_t selStart_ = 0;
    uint64_t selEnd_ = 0;
    uint64_t cursor_ = 0;
    uint64_t anchor_ = 0;   // where a selection made with Shift starts
    QString markedPath_;
    std::vector<ByteRange> gaps_;   // of markedPath_, in file order
    uint64_t unexplainedBytes_ = 0;
    QLabel* legend_ = nullptr;
};
