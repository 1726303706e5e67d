#pragma once
// The bytes of the analysed file beside its result tree: one row of 16 bytes
// per line, as offset, hexadecimal and text. Only the rows on screen are
// read, so a file of any size opens at once. One range of bytes can be
// selected (the bytes of the selected result line); a click puts the cursor
// on a byte and reports it.
#include <QAbstractScrollArea>
#include <QFile>
#include <cstdint>

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
    bool IsOpen() const { return file_.isOpen(); }

    // Multi-byte values under the cursor are read in this order.
    void SetBigEndian(bool bigEndian) { bigEndian_ = bigEndian; }
    bool BigEndian() const { return bigEndian_; }
    // The byte order of a file from its first bytes: TIFF says it in its
    // header ("II" or "MM"), JPEG is big-endian, SWF little-endian.
    static bool IsBigEndianFile(const QByteArray& head);

    // Selects [start, end) and scrolls it into view; an empty range clears
    // the selection.
    void SelectRange(uint64_t start, uint64_t end);
    uint64_t SelectionStart() const { return selStart_; }
    uint64_t SelectionEnd() const { return selEnd_; }

    // Puts the cursor on offset as a click does, reporting it.
    void SetCursorOffset(uint64_t offset);
    uint64_t CursorOffset() const { return cursor_; }
    // "Offset ... Byte ... 16-bit ... 32-bit ..." for the byte under the
    // cursor, as far as the file holds the bytes.
    QString CursorText();
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

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QByteArray Read(uint64_t offset, qint64 length);
    void UpdateScrollBar();
    int RowHeight() const;
    int CharWidth() const;
    int OffsetDigits() const;
    int HexX(int column) const;
    int TextX(int column) const;

    QFile file_;
    QString path_;
    uint64_t size_ = 0;
    bool bigEndian_ = false;
    uint64_t selStart_ = 0;
    uint64_t selEnd_ = 0;
    uint64_t cursor_ = 0;
};
