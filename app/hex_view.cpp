#include "app/hex_view.h"

#include <QClipboard>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <climits>

#include "core/tree_ranges.h"

namespace {

// Character columns of a row: the offset, two spaces, 16 bytes in hex (three
// columns each, one more space after the eighth), a space, the 16 bytes as
// text.
constexpr int kHexGap = 2;
constexpr int kTextGap = 2;

QChar TextChar(uint8_t byte)
{
    return byte >= 0x20 && byte < 0x7F ? QChar(byte) : QChar('.');
}

// The tint of the bytes no line describes: a greyish pink, mixed into the
// pane's background so that the text stays readable on light and dark
// palettes, and unlike the selection's colour.
constexpr int kTintRed = 190;
constexpr int kTintGreen = 140;
constexpr int kTintBlue = 160;
constexpr int kTintPercent = 30;

int Mix(int base, int tint)
{
    return (base * (100 - kTintPercent) + tint * kTintPercent) / 100;
}

}  // namespace

CHexView::CHexView(QWidget* parent) : QAbstractScrollArea(parent)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setStyleHint(QFont::Monospace);
    setFont(font);
    viewport()->setCursor(Qt::IBeamCursor);
    setFocusPolicy(Qt::StrongFocus);
    legend_ = new QLabel(this);
    legend_->setTextFormat(Qt::RichText);
    legend_->setContentsMargins(4, 1, 4, 1);
    legend_->hide();
}

void CHexView::MarkUnexplained(const QString& path, const CLineTree& lines)
{
    markedPath_ = path;
    gaps_.clear();
    unexplainedBytes_ = 0;
    if (!path.isEmpty()) {
        const QFileInfo info(path);
        gaps_ = UncoveredRanges(lines, info.exists() ? static_cast<uint64_t>(info.size()) : 0);
    }
    for (const ByteRange& gap : gaps_)
        unexplainedBytes_ += gap.end - gap.start;
    UpdateLegend();
    viewport()->update();
}

size_t CHexView::GapAfter(uint64_t offset) const
{
    const auto gap = std::partition_point(gaps_.begin(), gaps_.end(),
                                          [offset](const ByteRange& range) { return range.end <= offset; });
    return static_cast<size_t>(gap - gaps_.begin());
}

bool CHexView::Unexplained(uint64_t offset) const
{
    if (!MarksShown() || offset >= size_)
        return false;
    const size_t gap = GapAfter(offset);
    return gap < gaps_.size() && gaps_[gap].start <= offset;
}

CHexView::ByteRole CHexView::RoleAt(uint64_t offset) const
{
    if (offset >= selStart_ && offset < selEnd_)
        return ByteRole::Selected;
    return Unexplained(offset) ? ByteRole::Unexplained : ByteRole::Plain;
}

QColor CHexView::UnexplainedColour() const
{
    const QColor base = palette().color(QPalette::Base);
    return QColor(Mix(base.red(), kTintRed), Mix(base.green(), kTintGreen), Mix(base.blue(), kTintBlue));
}

void CHexView::UpdateLegend()
{
    const bool shown = MarksShown() && file_.isOpen();
    if (shown) {
        const QString count =
            unexplainedBytes_ ? QStringLiteral("計 %L1").arg(unexplainedBytes_) : QStringLiteral("なし");
        legend_->setText(QStringLiteral("<span style=\"background-color:%1; color:%2\">&nbsp;00&nbsp;</span>"
                                        "&nbsp;どの行も説明しないﾊﾞｲﾄ：%3")
                             .arg(UnexplainedColour().name(), palette().color(QPalette::Text).name(), count));
    }
    legend_->setVisible(shown);
    setViewportMargins(0, 0, 0, shown ? legend_->sizeHint().height() : 0);
    PlaceLegend();
    UpdateScrollBar();
}

void CHexView::PlaceLegend()
{
    // The margin under the viewport is the legend's; the viewport moves and
    // shrinks as the scroll bars come and go.
    const QRect area = viewport()->geometry();
    legend_->setGeometry(area.left(), area.bottom() + 1, area.width(), viewportMargins().bottom());
}

void CHexView::changeEvent(QEvent* event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        UpdateLegend();
}

bool CHexView::SetFile(const QString& path)
{
    if (file_.isOpen() && path == path_)
        return true;
    file_.close();
    path_ = path;
    file_.setFileName(path);
    size_ = file_.open(QIODevice::ReadOnly) ? static_cast<uint64_t>(file_.size()) : 0;
    selStart_ = selEnd_ = cursor_ = anchor_ = 0;
    verticalScrollBar()->setValue(0);
    UpdateLegend();
    viewport()->update();
    emit fileChanged();
    return file_.isOpen();
}

QByteArray CHexView::Read(uint64_t offset, qint64 length)
{
    if (!file_.isOpen() || offset >= size_ || !file_.seek(static_cast<qint64>(offset)))
        return QByteArray();
    return file_.read(length);
}

int CHexView::RowHeight() const
{
    return fontMetrics().height();
}

int CHexView::CharWidth() const
{
    return std::max(1, fontMetrics().horizontalAdvance(QLatin1Char('0')));
}

int CHexView::OffsetDigits() const
{
    int digits = 8;
    while (digits < 16 && (size_ >> (4 * digits)) != 0)
        ++digits;
    return digits;
}

int CHexView::HexX(int column) const
{
    return (OffsetDigits() + kHexGap + column * 3 + (column >= 8 ? 1 : 0)) * CharWidth() + 4;
}

int CHexView::TextX(int column) const
{
    return HexX(kBytesPerRow) + (kTextGap - 1 + column) * CharWidth();
}

int CHexView::PageRows() const
{
    return std::max(1, viewport()->height() / RowHeight());
}

int CHexView::FullWidth() const
{
    return TextX(kBytesPerRow) + 4 + verticalScrollBar()->sizeHint().width() + 2 * frameWidth();
}

void CHexView::UpdateScrollBar()
{
    // One step per row; a file of more rows than the bar can count (over
    // 32 GiB) shows its first 32 GiB.
    const uint64_t rows = (size_ + kBytesPerRow - 1) / kBytesPerRow;
    const int page = PageRows();
    const uint64_t last = rows > static_cast<uint64_t>(page) ? rows - page : 0;
    verticalScrollBar()->setRange(0, static_cast<int>(std::min<uint64_t>(last, INT_MAX)));
    verticalScrollBar()->setPageStep(page);
    verticalScrollBar()->setSingleStep(1);
    horizontalScrollBar()->setRange(0, std::max(0, TextX(kBytesPerRow) + 4 - viewport()->width()));
    horizontalScrollBar()->setPageStep(viewport()->width());
}

void CHexView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    PlaceLegend();
    UpdateScrollBar();
}

uint64_t CHexView::FirstVisibleRow() const
{
    return static_cast<uint64_t>(verticalScrollBar()->value());
}

void CHexView::paintEvent(QPaintEvent*)
{
    QPainter painter(viewport());
    painter.fillRect(viewport()->rect(), palette().base());
    const int rowHeight = RowHeight();
    const int rows = viewport()->height() / rowHeight + 1;
    const uint64_t first = FirstVisibleRow();
    const QByteArray bytes = Read(first * kBytesPerRow, qint64{rows} * kBytesPerRow);
    const int ascent = fontMetrics().ascent();
    const int cw = CharWidth();
    painter.translate(-horizontalScrollBar()->value(), 0);
    const QColor selection = palette().color(QPalette::Highlight);
    const QColor selectedText = palette().color(QPalette::HighlightedText);
    const QColor unexplained = UnexplainedColour();
    // The gaps are walked along with the bytes on screen, from the one that
    // the first of them may lie in.
    size_t gap = MarksShown() ? GapAfter(first * kBytesPerRow) : gaps_.size();
    for (int r = 0; r < rows && qsizetype{r} * kBytesPerRow < bytes.size(); ++r) {
        const int y = r * rowHeight;
        const uint64_t rowStart = (first + r) * kBytesPerRow;
        painter.setPen(palette().color(QPalette::PlaceholderText));
        painter.drawText(4, y + ascent, QStringLiteral("%1").arg(rowStart, OffsetDigits(), 16, QLatin1Char('0')));
        for (int c = 0; c < kBytesPerRow && qsizetype{r} * kBytesPerRow + c < bytes.size(); ++c) {
            const uint64_t offset = rowStart + c;
            const auto byte = static_cast<uint8_t>(bytes[r * kBytesPerRow + c]);
            const bool selected = offset >= selStart_ && offset < selEnd_;
            while (gap < gaps_.size() && gaps_[gap].end <= offset)
                ++gap;
            const bool marked = !selected && gap < gaps_.size() && gaps_[gap].start <= offset;
            if (selected || marked) {
                painter.fillRect(QRect(HexX(c), y, cw * 2, rowHeight), selected ? selection : unexplained);
                painter.fillRect(QRect(TextX(c), y, cw, rowHeight), selected ? selection : unexplained);
            }
            if (offset == cursor_ && hasFocus())
                painter.drawRect(QRect(HexX(c) - 1, y, cw * 2 + 1, rowHeight - 1));
            painter.setPen(selected ? selectedText : palette().color(QPalette::Text));
            painter.drawText(HexX(c), y + ascent, QStringLiteral("%1").arg(byte, 2, 16, QLatin1Char('0')));
            painter.drawText(TextX(c), y + ascent, QString(TextChar(byte)));
        }
    }
}

int64_t CHexView::OffsetAt(QPoint point) const
{
    const int x = point.x() + horizontalScrollBar()->value();
    const uint64_t row = FirstVisibleRow() + static_cast<uint64_t>(std::max(0, point.y()) / RowHeight());
    int column = -1;
    for (int c = 0; c < kBytesPerRow; ++c) {
        if ((x >= HexX(c) && x < HexX(c) + 3 * CharWidth()) || (x >= TextX(c) && x < TextX(c) + CharWidth()))
            column = c;
    }
    const uint64_t offset = row * kBytesPerRow + static_cast<uint64_t>(column);
    return column < 0 || offset >= size_ ? -1 : static_cast<int64_t>(offset);
}

QRect CHexView::ByteRect(uint64_t offset) const
{
    const int r = static_cast<int>(offset / kBytesPerRow - FirstVisibleRow());
    const int c = static_cast<int>(offset % kBytesPerRow);
    return QRect(HexX(c) - horizontalScrollBar()->value(), r * RowHeight(), CharWidth() * 2, RowHeight());
}

void CHexView::mousePressEvent(QMouseEvent* event)
{
    const int64_t offset = OffsetAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton && offset >= 0) {
        SetCursorOffset(static_cast<uint64_t>(offset));
        emit byteClicked(static_cast<uint64_t>(offset));
    }
    QAbstractScrollArea::mousePressEvent(event);
}

void CHexView::SetCursorOffset(uint64_t offset)
{
    cursor_ = anchor_ = offset;
    viewport()->update();
    emit cursorMoved(CursorText());
}

bool CHexView::GoTo(uint64_t offset)
{
    if (offset >= size_)
        return false;
    SetCursorOffset(offset);
    EnsureVisible(offset);
    return true;
}

std::optional<uint64_t> CHexView::ParseOffset(const QString& text)
{
    const QString t = text.trimmed();
    const bool hex = t.startsWith(QStringLiteral("0x"), Qt::CaseInsensitive);
    bool ok = false;
    const qulonglong value = hex ? t.mid(2).toULongLong(&ok, 16) : t.toULongLong(&ok, 10);
    return ok ? std::optional<uint64_t>(value) : std::nullopt;
}

void CHexView::EnsureVisible(uint64_t offset)
{
    const uint64_t row = offset / kBytesPerRow;
    const uint64_t page = static_cast<uint64_t>(PageRows());
    if (row < FirstVisibleRow())
        verticalScrollBar()->setValue(static_cast<int>(std::min<uint64_t>(row, INT_MAX)));
    else if (row >= FirstVisibleRow() + page)
        verticalScrollBar()->setValue(static_cast<int>(std::min<uint64_t>(row - page + 1, INT_MAX)));
}

void CHexView::MoveCursor(int64_t offset, bool extend)
{
    if (size_ == 0)
        return;
    cursor_ = static_cast<uint64_t>(std::clamp<int64_t>(offset, 0, static_cast<int64_t>(size_ - 1)));
    if (extend) {
        selStart_ = std::min(anchor_, cursor_);
        selEnd_ = std::max(anchor_, cursor_) + 1;
    } else {
        anchor_ = cursor_;
    }
    EnsureVisible(cursor_);
    viewport()->update();
    emit cursorMoved(CursorText());
}

void CHexView::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Copy)) {
        CopySelection();
        return;
    }
    const auto at = static_cast<int64_t>(cursor_);
    const int64_t row = kBytesPerRow;
    const int64_t page = int64_t{PageRows()} * row;
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    const bool extend = event->modifiers() & Qt::ShiftModifier;
    switch (event->key()) {
    case Qt::Key_Left: MoveCursor(at - 1, extend); break;
    case Qt::Key_Right: MoveCursor(at + 1, extend); break;
    case Qt::Key_Up: MoveCursor(at - row, extend); break;
    case Qt::Key_Down: MoveCursor(at + row, extend); break;
    case Qt::Key_PageUp: MoveCursor(at - page, extend); break;
    case Qt::Key_PageDown: MoveCursor(at + page, extend); break;
    case Qt::Key_Home: MoveCursor(ctrl ? 0 : at - at % row, extend); break;
    case Qt::Key_End: MoveCursor(ctrl ? INT64_MAX : at - at % row + row - 1, extend); break;
    default: QAbstractScrollArea::keyPressEvent(event); return;
    }
    event->accept();
}

QString CHexView::SelectionHex()
{
    const uint64_t start = selEnd_ > selStart_ ? selStart_ : cursor_;
    const uint64_t end = selEnd_ > selStart_ ? selEnd_ : std::min(cursor_ + 1, size_);
    const QByteArray bytes = Read(start, static_cast<qint64>(std::min(end - start, kMaxCopyBytes)));
    QString text;
    text.reserve(bytes.size() * 3);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (i > 0)
            text += i % kBytesPerRow == 0 ? QLatin1Char('\n') : QLatin1Char(' ');
        text += QStringLiteral("%1").arg(static_cast<uint8_t>(bytes[i]), 2, 16, QLatin1Char('0'));
    }
    return text;
}

void CHexView::CopySelection()
{
    const QString text = SelectionHex();
    if (!text.isEmpty())
        QGuiApplication::clipboard()->setText(text);
}

void CHexView::SelectRange(uint64_t start, uint64_t end)
{
    selStart_ = std::min(start, size_);
    selEnd_ = std::min(end, size_);
    if (selEnd_ > selStart_) {
        // Scroll only when the range's first row is off screen; then put it
        // a few rows below the top, so what precedes it shows too.
        const uint64_t row = selStart_ / kBytesPerRow;
        const uint64_t page = static_cast<uint64_t>(std::max(1, viewport()->height() / RowHeight()));
        if (row < FirstVisibleRow() || row >= FirstVisibleRow() + page)
            verticalScrollBar()->setValue(static_cast<int>(std::min<uint64_t>(row > 2 ? row - 2 : 0, INT_MAX)));
        cursor_ = anchor_ = selStart_;
        emit cursorMoved(CursorText());
    }
    viewport()->update();
}

QString CHexView::CursorText()
{
    const QByteArray b = Read(cursor_, 4);
    if (b.isEmpty())
        return QString();
    const auto at = [&b](int i) { return uint32_t{static_cast<uint8_t>(b[i])}; };
    QString text = QStringLiteral("位置 0x%1 (%2)  ﾊﾞｲﾄ 0x%3 (%4)")
                       .arg(cursor_, 8, 16, QLatin1Char('0'))
                       .arg(cursor_)
                       .arg(at(0), 2, 16, QLatin1Char('0'))
                       .arg(at(0));
    const bool big = BigEndianAt(cursor_);
    if (b.size() >= 2) {
        const uint32_t v = big ? (at(0) << 8 | at(1)) : (at(1) << 8 | at(0));
        text += QStringLiteral("  16ﾋﾞｯﾄ 0x%1 (%2)").arg(v, 4, 16, QLatin1Char('0')).arg(v);
    }
    if (b.size() >= 4) {
        const uint32_t v = big ? (at(0) << 24 | at(1) << 16 | at(2) << 8 | at(3))
                                      : (at(3) << 24 | at(2) << 16 | at(1) << 8 | at(0));
        text += QStringLiteral("  32ﾋﾞｯﾄ 0x%1 (%2)").arg(v, 8, 16, QLatin1Char('0')).arg(v);
    }
    return text + (big ? QStringLiteral("  ﾋﾞｯｸﾞｴﾝﾃﾞｨｱﾝ") : QStringLiteral("  ﾘﾄﾙｴﾝﾃﾞｨｱﾝ"));
}
