// The hex pane of a detailed window, linked to the result tree both ways;
// copying and saving the tree as text.
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QMdiArea>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTest>
#include <QTreeWidgetItemIterator>

#include "app/child_frame.h"
#include "app/hex_view.h"
#include "app/main_frame.h"
#include "app/vantrel_view.h"
#include "app_fixture.h"
#include "test_registry.h"

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

QTreeWidgetItem* Line(QTreeWidget& tree, const QString& text)
{
    for (QTreeWidgetItemIterator it(&tree); *it; ++it)
        if ((*it)->text(0) == text)
            return *it;
    return nullptr;
}

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
        QTreeWidgetItem* tag = Line(*frame->View(), QStringLiteral("[0000001c] TagID : 12 (DoAction), Size : 1[byte]"));
        QVERIFY(tag);
        frame->View()->setCurrentItem(tag);
        QCOMPARE(hex->SelectionStart(), uint64_t(0x1c));
        QCOMPARE(hex->SelectionEnd(), uint64_t(0x23));
        // An interpretation line (the path) has no bytes.
        frame->View()->setCurrentItem(frame->View()->topLevelItem(0));
        QCOMPARE(hex->SelectionEnd(), hex->SelectionStart());

        // The inflated body of a compressed file is shown from the side file.
        CChildFrame* packed = Detailed(f, "packed.swf", Sample("stage-compressed.swf"));
        QVERIFY(packed && packed != frame);
        QTreeWidgetItem* inflated = Line(*packed->View(), QStringLiteral("  [0000000d] TagID : 9 (SetBackgroundColor), Size : 3[byte]").trimmed());
        QVERIFY(inflated);
        packed->View()->setCurrentItem(inflated);
        QVERIFY(packed->HexView()->FilePath().endsWith(QStringLiteral("packed.swf.decompress")));
        QCOMPARE(packed->HexView()->SelectionStart(), uint64_t(0x0d));
        packed->View()->setCurrentItem(packed->View()->topLevelItem(1));
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
            QVERIFY(frame->View()->currentItem());
            QCOMPARE(frame->View()->currentItem()->text(0), QString::fromUtf8(c.line));
            // The line's bytes are selected, the clicked byte keeps the cursor.
            QVERIFY(hex->SelectionStart() <= c.offset && c.offset < hex->SelectionEnd());
        }
        QVERIFY(f.Frame().StatusText().startsWith(QStringLiteral("Offset 0x00000010 (16)  Byte 0x")));
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
             "Offset 0x00000002 (2)  Byte 0x2a (42)  16-bit 0x002a (42)  32-bit 0x0008002a (524330)  little-endian"},
            {"be.tif", Sample("rgb-packbits-be.tif"),
             "Offset 0x00000002 (2)  Byte 0x00 (0)  16-bit 0x002a (42)  32-bit 0x002a0000 (2752512)  big-endian"},
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
        {
            AppFixture f(settings.path());
            CChildFrame* frame = Detailed(f, "stage.swf", Sample("stage.swf"));
            QVERIFY(frame && frame->HexPaneVisible());
            auto* splitter = qobject_cast<QSplitter*>(frame->widget());
            QVERIFY(splitter);
            const int total = splitter->sizes().at(0) + splitter->sizes().at(1);
            splitter->setSizes({total - 300, 300});
            frame->close();
            QTest::qWait(20);
        }
        {
            AppFixture f(settings.path());
            CChildFrame* frame = Detailed(f, "stage.swf", Sample("stage.swf"));
            QVERIFY(frame && frame->HexPaneVisible());
            QCOMPARE(frame->HexView()->width(), 300);
            f.Frame().OnViewHexPane();
            QVERIFY(!frame->HexPaneVisible());
        }
        AppFixture f(settings.path());
        CChildFrame* frame = Detailed(f, "stage.swf", Sample("stage.swf"));
        QVERIFY(frame && !frame->HexPaneVisible());
    }

    void copyAndSaveWriteTheIndentedText()
    {
        AppFixture f;
        CChildFrame* frame = Detailed(f, "stage.swf", Sample("stage.swf"));
        QVERIFY(frame);
        CVantrelView* view = frame->View();
        QTreeWidgetItem* head = Line(*view, QStringLiteral("[00000000] SWF File Header(FWS) Version6"));
        QVERIFY(head);
        view->setCurrentItem(head);
        view->setFocus();
        QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("[00000000] SWF File Header(FWS) Version6\n"));
        view->setCurrentItem(Line(*view, QStringLiteral("[00000008] FrameSize (RECT)")));
        f.choose = QStringLiteral("下の行を含めてｺﾋﾟｰ(&B)");
        AppFixture::RightClick(*view, view->currentItem());
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
