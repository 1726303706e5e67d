// The hex pane of a detailed window, linked to the result tree both ways,
// sized beside the tree, driven from the keyboard, marking the bytes no line
// describes; copying and saving the tree as text.
#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QInputDialog>
#include <QFile>
#include <QLabel>
#include <QMdiArea>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTest>

#include "app/app_resources.h"
#include "app/child_frame.h"
#include "app/hex_view.h"
#include "app/main_frame.h"
#include "app/vantrel_view.h"
#include "app_fixture.h"
#include "test_registry.h"

#if VANTREL_HAVE_LIBTIFF
#include <tiffio.h>
#endif

namespace {

QByteArray Sample(const char* name)
{
    QFile file(QStringLiteral(VANTREL_SOURCE_DIR "/samples/") + QString::fromUtf8(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Opens bytes as one file and lays it out in a detailed window.
CChildFrame* Detailed(AppFixture& f, const char* name, const QByteArray& bytes)
{
    const std::string path = f.Write(name, bytes);
    f.OpenThroughDialog({path});
    f.App().RunDetailedAnalysis(path.c_str());
    CChildFrame* frame = f.Frame().ActiveChildFrame();
    if (frame)
        frame->showMaximized();
    QTest::qWait(20);
    return frame;
}

// The index of the first line whose text is text; invalid when none is.
QModelIndex Line(const CTreeWidgetControl& tree, const QString& text)
{
    const std::string bytes = text.toStdString();
    for (LineId line = 1; line <= tree.Lines().Count(); ++line)
        if (tree.Lines().Text(line) == bytes)
            return tree.IndexOf(line);
    return QModelIndex();
}

QModelIndex TopIndex(const CTreeWidgetControl& tree, int i)
{
    return tree.IndexOf(AppFixture::TopLine(tree, i));
}

// How many pixels of the byte's cell in the hex columns have the colour; the
// byte's row must be on screen.
int PixelsOf(CHexView& hex, uint64_t offset, const QColor& colour)
{
    const QImage shot = hex.viewport()->grab().toImage();
    const QRect cell = hex.ByteRect(offset).intersected(shot.rect());
    int count = 0;
    for (int y = cell.top(); y <= cell.bottom(); ++y)
        for (int x = cell.left(); x <= cell.right(); ++x)
            count += shot.pixelColor(x, y) == colour ? 1 : 0;
    return count;
}

#if VANTREL_HAVE_LIBTIFF
// A grey picture written by libtiff without compression, with where libtiff
// put each strip or tile and how long that is.
struct LibtiffFile {
    QByteArray bytes;
    std::vector<uint64_t> offsets;
    std::vector<uint64_t> counts;
};

// width x height, in strips of rowsPerStrip rows, or in tile x tile tiles
// when tile is not 0.
LibtiffFile WriteGrey(const QString& path, uint32_t width, uint32_t height, uint32_t rowsPerStrip, uint32_t tile)
{
    LibtiffFile out;
    TIFFSetWarningHandler(nullptr);
    TIFF* tif = TIFFOpen(QFile::encodeName(path).constData(), "wl");
    if (!tif)
        return out;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    bool written = true;
    if (tile) {
        TIFFSetField(tif, TIFFTAG_TILEWIDTH, tile);
        TIFFSetField(tif, TIFFTAG_TILELENGTH, tile);
        for (uint32_t y = 0; y < height; y += tile)
            for (uint32_t x = 0; x < width; x += tile) {
                std::vector<uint8_t> block(size_t{tile} * tile, static_cast<uint8_t>(x * 3 + y));
                written = written && TIFFWriteTile(tif, block.data(), x, y, 0, 0) > 0;
            }
    } else {
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
        for (uint32_t y = 0; y < height; y += rowsPerStrip) {
            std::vector<uint8_t> strip(size_t{width} * std::min(rowsPerStrip, height - y), static_cast<uint8_t>(y));
            written = written && TIFFWriteEncodedStrip(tif, TIFFComputeStrip(tif, y, 0), strip.data(),
                                                       static_cast<tmsize_t>(strip.size())) > 0;
        }
    }
    written = written && TIFFWriteDirectory(tif) == 1;
    TIFFClose(tif);
    if (!written || !(tif = TIFFOpen(QFile::encodeName(path).constData(), "r")))
        return out;
    uint64_t* offsets = nullptr;
    uint64_t* counts = nullptr;
    const bool tiled = TIFFIsTiled(tif);
    if (TIFFGetField(tif, tiled ? TIFFTAG_TILEOFFSETS : TIFFTAG_STRIPOFFSETS, &offsets) &&
        TIFFGetField(tif, tiled ? TIFFTAG_TILEBYTECOUNTS : TIFFTAG_STRIPBYTECOUNTS, &counts)) {
        const uint32_t blocks = tiled ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
        out.offsets.assign(offsets, offsets + blocks);
        out.counts.assign(counts, counts + blocks);
    }
    TIFFClose(tif);
    QFile file(path);
    if (file.open(QIODevice::ReadOnly))
        out.bytes = file.readAll();
    return out;
}
#endif

}  // namespace

class HexPaneTest : public QObject {
    Q_OBJECT
private slots:
    void selectingALineSelectsItsBytes()
    {
        AppFixture f;
        CChildFrame* frame = Detailed(f, "stage.swf", Sample("stage.swf"));
        QVERIFY(frame);
        CHexView* hex = frame->HexView();
        QVERIFY(hex->isVisible());
        QCOMPARE(hex->FileSize(), uint64_t(39));
        const QModelIndex tag = Line(*frame->View(), QStringLiteral("[0000001c] TagID : 12 (DoAction), Size : 1[byte]"));
        QVERIFY(tag.isValid());
        frame->View()->setCurrentIndex(tag);
        QCOMPARE(hex->SelectionStart(), uint64_t(0x1c));
        QCOMPARE(hex->SelectionEnd(), uint64_t(0x23));
        // An interpretation line (the path) has no bytes.
        frame->View()->setCurrentIndex(TopIndex(*frame->View(), 0));
        QCOMPARE(hex->SelectionEnd(), hex->SelectionStart());

        // The inflated body of a compressed file is shown from the side file.
        CChildFrame* packed = Detailed(f, "packed.swf", Sample("stage-compressed.swf"));
        QVERIFY(packed && packed != frame);
        const QModelIndex inflated = Line(*packed->View(), QStringLiteral("  [0000000d] TagID : 9 (SetBackgroundColor), Size : 3[byte]").trimmed());
        QVERIFY(inflated.isValid());
        packed->View()->setCurrentIndex(inflated);
        QVERIFY(packed->HexView()->FilePath().endsWith(QStringLiteral("packed.swf.decompress")));
        QCOMPARE(packed->HexView()->SelectionStart(), uint64_t(0x0d));
        packed->View()->setCurrentIndex(TopIndex(*packed->View(), 1));
        QVERIFY(packed->HexView()->FilePath().endsWith(QStringLiteral("packed.swf")));
    }

    void clickingAByteSelectsTheInnermostLine()
    {
        AppFixture f;
        CChildFrame* frame = Detailed(f, "stage.swf", Sample("stage.swf"));
        QVERIFY(frame);
        CHexView* hex = frame->HexView();
        const struct {
            uint64_t offset;
            const char* line;
        } cases[] = {
            {0x1f, "[0000001c] TagID : 12 (DoAction), Size : 1[byte]"},
            {0x03, "[00000003] Version : 6"},
            {0x0a, "[0000000a] Xmax : 11000[twip]"},   // shared with Xmin: the later, deeper line
            {0x10, "[0000000e] Ymax : 8000[twip]"},
        };
        for (const auto& c : cases) {
            QTest::mouseClick(hex->viewport(), Qt::LeftButton, {}, hex->ByteRect(c.offset).center());
            QCOMPARE(hex->CursorOffset(), c.offset);
            QVERIFY(frame->View()->currentIndex().isValid());
            QCOMPARE(frame->View()->currentIndex().data().toString(), QString::fromUtf8(c.line));
            // The line's bytes are selected, the clicked byte keeps the cursor.
            QVERIFY(hex->SelectionStart() <= c.offset && c.offset < hex->SelectionEnd());
        }
        QVERIFY(f.Frame().StatusText().startsWith(QStringLiteral("位置 0x00000010 (16)  ﾊﾞｲﾄ 0x")));
    }

    void clickingAStripOrTileSelectsItsLine()
    {
#if VANTREL_HAVE_LIBTIFF
        AppFixture f;
        const QString dir = QString::fromStdString(f.Dir());
        // Eight strips of four rows (the last of two), and three by three
        // tiles of 16 x 16 pixels, the right and bottom ones partly outside
        // the picture.
        const LibtiffFile strips = WriteGrey(dir + QStringLiteral("/written-strips.tif"), 40, 30, 4, 0);
        const LibtiffFile tiles = WriteGrey(dir + QStringLiteral("/written-tiles.tif"), 40, 40, 0, 16);
        QCOMPARE(strips.offsets.size(), size_t{8});
        QCOMPARE(tiles.offsets.size(), size_t{9});
        const struct {
            const char* name;
            const LibtiffFile& file;
            const char* block;
            size_t index;
        } cases[] = {
            {"strips.tif", strips, "Strip", 7},
            {"tiles.tif", tiles, "Tile", 4},
            {"more-tiles.tif", tiles, "Tile", 8},
        };
        for (const auto& c : cases) {
            CChildFrame* frame = Detailed(f, c.name, c.file.bytes);
            QVERIFY(frame);
            CHexView* hex = frame->HexView();
            // A byte in the middle of the block, scrolled into view first.
            const uint64_t offset = c.file.offsets[c.index] + c.file.counts[c.index] / 2;
            QVERIFY(hex->GoTo(offset));
            QTest::mouseClick(hex->viewport(), Qt::LeftButton, {}, hex->ByteRect(offset).center());
            QCOMPARE(hex->CursorOffset(), offset);
            QCOMPARE(frame->View()->currentIndex().data().toString(),
                     QStringLiteral("[%1] %2 #%3 = %4 [byte]")
                         .arg(c.file.offsets[c.index], 8, 16, QLatin1Char('0'))
                         .arg(QString::fromUtf8(c.block))
                         .arg(c.index)
                         .arg(c.file.counts[c.index]));
            QCOMPARE(hex->SelectionStart(), c.file.offsets[c.index]);
            QCOMPARE(hex->SelectionEnd(), c.file.offsets[c.index] + c.file.counts[c.index]);
        }
#else
        QSKIP("libtiff missing: no pictures of strips and tiles to write");
#endif
    }

    void bytesNoLineDescribesAreMarked()
    {
        AppFixture f;
        // The LZW sample's last strip ends on an odd offset, and the pad
        // byte that puts its IFD on a word boundary is described by no line;
        // so is what is appended after its last structure.
        constexpr uint64_t kPadByte = 2281;
        const QByteArray sample = Sample("rgb-lzw.tif");
        const QByteArray appended(40, '\x5a');
        CChildFrame* frame = Detailed(f, "padded.tif", sample + appended);
        QVERIFY(frame);
        CHexView* hex = frame->HexView();
        const auto size = static_cast<uint64_t>(sample.size());
        QCOMPARE(hex->FileSize(), size + appended.size());
        QCOMPARE(hex->UnexplainedBytes(), uint64_t{1} + appended.size());
        for (uint64_t offset = 0; offset < hex->FileSize(); ++offset)
            QVERIFY2(hex->Unexplained(offset) == (offset == kPadByte || offset >= size),
                     qPrintable(QString::number(offset)));

        QLabel* legend = hex->Legend();
        QVERIFY(legend->isVisible());
        QVERIFY2(legend->text().contains(QStringLiteral("どの行も説明しないﾊﾞｲﾄ：計 41")), qPrintable(legend->text()));
        // The legend lies under the bytes, and its swatch has their colour.
        QCOMPARE(legend->geometry().top(), hex->viewport()->geometry().bottom() + 1);
        const QImage swatch = legend->grab().toImage();
        int tinted = 0;
        for (int y = 0; y < swatch.height(); ++y)
            for (int x = 0; x < swatch.width(); ++x)
                tinted += swatch.pixelColor(x, y) == hex->UnexplainedColour() ? 1 : 0;
        QVERIFY(tinted > 0);

        // Drawn: the marked bytes on their colour, the described ones on the
        // pane's background (the digits cover much of either); a selection
        // outranks the mark.
        const QColor base = hex->palette().color(QPalette::Base);
        QVERIFY(hex->UnexplainedColour() != base);
        QVERIFY(hex->UnexplainedColour() != hex->palette().color(QPalette::Highlight));
        const uint64_t cellArea = uint64_t(hex->ByteRect(0).width()) * hex->ByteRect(0).height();
        const struct {
            uint64_t offset;
            CHexView::ByteRole role;
        } cells[] = {
            {kPadByte - 1, CHexView::ByteRole::Plain},
            {kPadByte, CHexView::ByteRole::Unexplained},
            {kPadByte + 1, CHexView::ByteRole::Plain},
            {size - 1, CHexView::ByteRole::Plain},
            {size, CHexView::ByteRole::Unexplained},
            {hex->FileSize() - 1, CHexView::ByteRole::Unexplained},
        };
        hex->SelectRange(0, 0);
        for (const auto& c : cells) {
            hex->GoTo(c.offset);
            QCOMPARE(hex->RoleAt(c.offset), c.role);
            const int marked = PixelsOf(*hex, c.offset, hex->UnexplainedColour());
            if (c.role == CHexView::ByteRole::Unexplained)
                QVERIFY2(marked * 4 > int(cellArea), qPrintable(QString::number(c.offset)));
            else
                QVERIFY2(marked == 0 && PixelsOf(*hex, c.offset, base) * 4 > int(cellArea),
                         qPrintable(QString::number(c.offset)));
        }
        hex->SelectRange(size, size + 8);
        QCOMPARE(hex->RoleAt(size), CHexView::ByteRole::Selected);
        QCOMPARE(PixelsOf(*hex, size, hex->UnexplainedColour()), 0);
        QCOMPARE(hex->RoleAt(size + 8), CHexView::ByteRole::Unexplained);

        // The side file of a compressed SWF file is not the analysed file:
        // the file's ranges say nothing of its bytes, and the legend goes
        // while it is shown.
        CChildFrame* packed = Detailed(f, "packed.swf", Sample("stage-compressed.swf"));
        QVERIFY(packed);
        CHexView* packedHex = packed->HexView();
        QVERIFY(packedHex->Legend()->isVisible());
        QVERIFY(packedHex->Legend()->text().endsWith(QStringLiteral("どの行も説明しないﾊﾞｲﾄ：なし")));
        const QModelIndex inflated =
            Line(*packed->View(), QStringLiteral("[0000000d] TagID : 9 (SetBackgroundColor), Size : 3[byte]"));
        QVERIFY(inflated.isValid());
        const int rowsHeight = packedHex->viewport()->height();
        const int legendHeight = packedHex->Legend()->height();
        QVERIFY(legendHeight > 0);
        packed->View()->setCurrentIndex(inflated);
        QVERIFY(packedHex->FilePath().endsWith(QStringLiteral(".decompress")));
        QVERIFY(!packedHex->Legend()->isVisible());
        // The rows take the legend's room.
        QCOMPARE(packedHex->viewport()->height(), rowsHeight + legendHeight);
        for (uint64_t offset = 0; offset < packedHex->FileSize(); ++offset)
            QVERIFY(!packedHex->Unexplained(offset));
        packed->View()->setCurrentIndex(TopIndex(*packed->View(), 1));
        QVERIFY(packedHex->Legend()->isVisible());
    }

    void statusBarShowsValuesInTheFilesByteOrder()
    {
        AppFixture f;
        // The TIFF headers: "II" 2A 00 08 00 00 00 and "MM" 00 2A 00 00 00 08.
        const struct {
            const char* name;
            QByteArray bytes;
            const char* text;
        } cases[] = {
            {"le.tif", MakeTiff(),
             "位置 0x00000002 (2)  ﾊﾞｲﾄ 0x2a (42)  16ﾋﾞｯﾄ 0x002a (42)  32ﾋﾞｯﾄ 0x0008002a (524330)  ﾘﾄﾙｴﾝﾃﾞｨｱﾝ"},
            {"be.tif", Sample("rgb-packbits-be.tif"),
             "位置 0x00000002 (2)  ﾊﾞｲﾄ 0x00 (0)  16ﾋﾞｯﾄ 0x002a (42)  32ﾋﾞｯﾄ 0x002a0000 (2752512)  ﾋﾞｯｸﾞｴﾝﾃﾞｨｱﾝ"},
        };
        for (const auto& c : cases) {
            CChildFrame* frame = Detailed(f, c.name, c.bytes);
            QVERIFY(frame);
            CHexView* hex = frame->HexView();
            QTest::mouseClick(hex->viewport(), Qt::LeftButton, {}, hex->ByteRect(2).center());
            QCOMPARE(f.Frame().StatusText(), QString::fromUtf8(c.text));
        }
    }

    void paneVisibilityAndWidthAreRemembered()
    {
        QTemporaryDir settings;
        int full = 0;
        // A width the user gives the pane is kept; one too narrow for the
        // text column comes back wide enough for it.
        for (int chosen : {700, 300}) {
            {
                AppFixture f(settings.path());
                f.Frame().resize(1600, 900);
                CChildFrame* frame = Detailed(f, "stage.swf", Sample("stage.swf"));
                QVERIFY(frame && frame->HexPaneVisible());
                full = frame->HexView()->FullWidth();
                auto* splitter = qobject_cast<QSplitter*>(frame->widget());
                QVERIFY(splitter);
                const int total = splitter->sizes().at(0) + splitter->sizes().at(1);
                splitter->setSizes({total - chosen, chosen});
                emit splitter->splitterMoved(total - chosen, 1);
                frame->close();
                QTest::qWait(20);
            }
            AppFixture f(settings.path());
            f.Frame().resize(1600, 900);
            CChildFrame* frame = Detailed(f, "stage.swf", Sample("stage.swf"));
            QVERIFY(frame && frame->HexPaneVisible());
            auto* splitter = qobject_cast<QSplitter*>(frame->widget());
            QCOMPARE(splitter->sizes().at(1), std::max(chosen, full));
            // The tree takes the rest of the maximized window.
            QCOMPARE(splitter->sizes().at(0), splitter->width() - splitter->handleWidth() - std::max(chosen, full));
        }
        {
            AppFixture f(settings.path());
            CChildFrame* frame = Detailed(f, "stage.swf", Sample("stage.swf"));
            f.Frame().OnViewHexPane();
            QVERIFY(!frame->HexPaneVisible());
        }
        AppFixture f(settings.path());
        CChildFrame* frame = Detailed(f, "stage.swf", Sample("stage.swf"));
        QVERIFY(frame && !frame->HexPaneVisible());
    }

    void cascadedWindowsShareTheirWidth()
    {
        AppFixture f;
        f.Frame().resize(1200, 800);
        CChildFrame* first = Detailed(f, "stage.swf", Sample("stage.swf"));
        CChildFrame* second = Detailed(f, "b.swf", Sample("stage.swf"));
        QVERIFY(first && second);
        f.Frame().OnWindowCascade();
        QTest::qWait(20);
        const QSize area = f.Frame().MdiArea()->viewport()->size();
        for (CChildFrame* frame : {first, second}) {
            // A usable size, inside the work area.
            QVERIFY(frame->width() >= std::min(area.width(), 640));
            QVERIFY(frame->height() >= std::min(area.height(), 400));
            QVERIFY(frame->width() <= area.width());
            auto* splitter = qobject_cast<QSplitter*>(frame->widget());
            const int tree = splitter->sizes().at(0);
            const int hex = splitter->sizes().at(1);
            QVERIFY2(tree >= 200 || tree >= hex, qPrintable(QStringLiteral("%1 %2").arg(tree).arg(hex)));
            QVERIFY(hex <= frame->HexView()->FullWidth() + 4 || hex <= tree);
        }
    }

    void keysMoveTheCursorAndCopyBytes()
    {
        AppFixture f;
        CChildFrame* frame = Detailed(f, "stage.swf", Sample("stage.swf"));
        QVERIFY(frame);
        CHexView* hex = frame->HexView();
        QCOMPARE(frame->HexLabel(), QStringLiteral("ﾌｧｲﾙ：stage.swf"));
        hex->setFocus();
        QTest::mouseClick(hex->viewport(), Qt::LeftButton, {}, hex->ByteRect(0x11).center());
        // The stage sample: 46 57 53 06 27 00 00 00 78 00 05 5f 00 00 0f a0
        // 00 00 18 01 00 ... (39 bytes). Each key moves the cursor, and the
        // status bar follows it.
        const struct {
            Qt::Key key;
            Qt::KeyboardModifiers mods;
            uint64_t offset;
        } moves[] = {
            {Qt::Key_Right, {}, 0x12},  {Qt::Key_Up, {}, 0x02},        {Qt::Key_Up, {}, 0x00},
            {Qt::Key_Left, {}, 0x00},   {Qt::Key_Down, {}, 0x10},      {Qt::Key_End, {}, 0x1f},
            {Qt::Key_Home, {}, 0x10},   {Qt::Key_PageDown, {}, 0x26},  {Qt::Key_PageUp, {}, 0x00},
            {Qt::Key_End, Qt::ControlModifier, 0x26}, {Qt::Key_Home, Qt::ControlModifier, 0x00},
        };
        for (const auto& m : moves) {
            QTest::keyClick(hex, m.key, m.mods);
            QCOMPARE(hex->CursorOffset(), m.offset);
            QVERIFY(f.Frame().StatusText().startsWith(
                QStringLiteral("位置 0x%1 (%2)  ").arg(m.offset, 8, 16, QLatin1Char('0')).arg(m.offset)));
        }
        QCOMPARE(f.Frame().StatusText(), QStringLiteral("位置 0x00000000 (0)  ﾊﾞｲﾄ 0x46 (70)  16ﾋﾞｯﾄ 0x5746 (22342)  "
                                                       "32ﾋﾞｯﾄ 0x06535746 (106125126)  ﾘﾄﾙｴﾝﾃﾞｨｱﾝ"));
        // Shift selects the bytes passed over; Ctrl+C copies them as hex.
        QTest::keyClick(hex, Qt::Key_Right, Qt::ShiftModifier);
        QTest::keyClick(hex, Qt::Key_Down, Qt::ShiftModifier);
        QCOMPARE(hex->SelectionStart(), uint64_t(0));
        QCOMPARE(hex->SelectionEnd(), uint64_t(0x12));
        QTest::keyClick(hex, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(),
                 QStringLiteral("46 57 53 06 27 00 00 00 78 00 05 5f 00 00 0f a0\n00 00"));
        // The Edit menu's copy acts on the pane that has the focus.
        QApplication::clipboard()->clear();
        f.Frame().Command(kCmdEditCopy)->trigger();
        QCOMPARE(QApplication::clipboard()->text(),
                 QStringLiteral("46 57 53 06 27 00 00 00 78 00 05 5f 00 00 0f a0\n00 00"));

        // Ctrl+G: to an offset typed in hexadecimal or decimal; its line is
        // selected as a click on the byte selects it.
        QString typed = QStringLiteral("0x1d");
        f.App().SetModalHook([&typed](QDialog& dialog) {
            qobject_cast<QInputDialog*>(&dialog)->setTextValue(typed);
            return int{QDialog::Accepted};
        });
        f.Frame().Command(kCmdGoToOffset)->trigger();
        QCOMPARE(hex->CursorOffset(), uint64_t(0x1d));
        QCOMPARE(frame->View()->currentIndex().data().toString(), QStringLiteral("[0000001c] TagID : 12 (DoAction), Size : 1[byte]"));
        typed = QStringLiteral("3");
        f.Frame().Command(kCmdGoToOffset)->trigger();
        QCOMPARE(hex->CursorOffset(), uint64_t(3));
        typed = QStringLiteral("39");
        f.Frame().Command(kCmdGoToOffset)->trigger();
        QCOMPARE(hex->CursorOffset(), uint64_t(3));
        QCOMPARE(f.Frame().StatusText(), QStringLiteral("ｵﾌｾｯﾄ 39 はﾌｧｲﾙの中にありません"));

        // The label says when the pane shows the side file.
        CChildFrame* packed = Detailed(f, "packed.swf", Sample("stage-compressed.swf"));
        const QModelIndex inflated = Line(*packed->View(), QStringLiteral("[0000000d] TagID : 9 (SetBackgroundColor), Size : 3[byte]"));
        QVERIFY(inflated.isValid());
        packed->View()->setCurrentIndex(inflated);
        QCOMPARE(packed->HexLabel(), QStringLiteral("展開ﾌｧｲﾙ：packed.swf.decompress"));
        packed->View()->setCurrentIndex(TopIndex(*packed->View(), 1));
        QCOMPARE(packed->HexLabel(), QStringLiteral("ﾌｧｲﾙ：packed.swf"));
    }

    void copyAndSaveWriteTheIndentedText()
    {
        AppFixture f;
        CChildFrame* frame = Detailed(f, "stage.swf", Sample("stage.swf"));
        QVERIFY(frame);
        CVantrelView* view = frame->View();
        const QModelIndex head = Line(*view, QStringLiteral("[00000000] SWF File Header(FWS) Version6"));
        QVERIFY(head.isValid());
        view->setCurrentIndex(head);
        view->setFocus();
        QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("[00000000] SWF File Header(FWS) Version6\n"));
        view->setCurrentIndex(Line(*view, QStringLiteral("[00000008] FrameSize (RECT)")));
        f.choose = QStringLiteral("下の行を含めてｺﾋﾟｰ(&B)\tCtrl+Shift+C");
        AppFixture::RightClick(*view, CTreeWidgetControl::LineOf(view->currentIndex()));
        QCOMPARE(QApplication::clipboard()->text(),
                 QStringLiteral("[00000008] FrameSize (RECT)\n  [00000008] Nbits : 15\n  [00000008] Xmin : 0[twip]\n"
                                "  [0000000a] Xmax : 11000[twip]\n  [0000000c] Ymin : 0[twip]\n"
                                "  [0000000e] Ymax : 8000[twip]\n"));

        const QString saved = QString::fromStdString(f.Dir()) + QStringLiteral("/tree.txt");
        QVERIFY(view->SaveText(saved));
        QFile file(saved);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(file.readAll());
        QVERIFY(text.startsWith(QString::fromStdString(f.Dir()) +
                                QStringLiteral("/stage.swf\n[00000000] SWF File Header(FWS) Version6\n"
                                               "  [00000000] Signature : FWS\n")));
        QVERIFY(text.endsWith(QStringLiteral("\n[00000025] TagID : 0 (End), Size : 0[byte]\n")));
    }
};

VANTREL_GUI_TEST(HexPaneTest);
#include "hex_pane_test.moc"
