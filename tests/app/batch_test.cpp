// A batch of files long enough for the progress dialog, cancelled half-way;
// its rows painted before the bar is rebuilt; a folder with nothing to open.
#include <QDir>
#include <algorithm>
#include <functional>
#include <QProgressDialog>
#include <QTest>
#include <QTimer>

#include "app/analysis_tree_bar.h"
#include "app/analysis_tree_ctrl.h"
#include "app/main_frame.h"
#include "app/rough_list_ctrl.h"
#include "app_fixture.h"
#include "test_registry.h"

namespace {

// Calls back on every paint of the watched widget.
class PaintWatcher : public QObject {
public:
    explicit PaintWatcher(std::function<void()> onPaint) : onPaint_(std::move(onPaint)) {}
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            onPaint_();
        return false;
    }

private:
    std::function<void()> onPaint_;
};

std::vector<std::string> FileEntries(CVantrelApp& app)
{
    std::vector<std::string> out;
    for (const AnalysisEntry* e = app.Entries().GetEntryListHead()->next; e; e = e->next)
        if (e->level == 0)
            out.push_back(e->text);
    return out;
}

}  // namespace

class BatchTest : public QObject {
    Q_OBJECT
private slots:
    void cancelledFolderKeepsExactlyTheFilesAnalysedBefore()
    {
        constexpr int kFiles = 60;
        AppFixture f;
        QDir(QString::fromStdString(f.Dir())).mkdir(QStringLiteral("photos"));
        std::vector<std::string> files;
        for (int i = 0; i < kFiles; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "photos/p%03d.jpg", i);
            files.push_back(f.Write(name, MakeJpeg(16 + i % 5 * 8, 16)));
        }
        // The dialog at once and updated for every file, so that Cancel can
        // come half-way through however fast the machine is.
        f.App().SetProgressTiming(0, 0);
        int cutoff = -1;
        int dialogs = 0;
        QTimer watcher;
        QObject::connect(&watcher, &QTimer::timeout, [&] {
            auto* dialog = f.Frame().findChild<QProgressDialog*>();
            if (!dialog || !dialog->isVisible() || cutoff >= 0)
                return;
            ++dialogs;
            QCOMPARE(dialog->maximum(), kFiles);
            if (dialog->value() >= kFiles / 2) {
                cutoff = dialog->value();
                dialog->cancel();
            }
        });
        watcher.start(0);
        f.OpenThroughDialog({f.Dir() + "/photos"});
        watcher.stop();
        QVERIFY(dialogs > 0);
        QVERIFY(cutoff >= kFiles / 2 && cutoff < kFiles);
        QVERIFY(f.messages.empty());

        // The files before the cancel, and nothing else, are open: as if the
        // batch had held only them.
        const std::vector<std::string> opened(files.begin(), files.begin() + cutoff);
        QCOMPARE(FileEntries(f.App()), opened);
        QCOMPARE(AppFixture::TopLevelTexts(f.BarTree()), opened);
        AppFixture alone;
        alone.OpenThroughDialog(opened);
        QCOMPARE(f.RowPaths(), alone.RowPaths());
        QCOMPARE(f.BarText(), alone.BarText());
        for (int row = 0; row < cutoff; ++row)
            QCOMPARE(f.List().RowText(row, CRoughListCtrl::kColumnResult),
                     alone.List().RowText(row, CRoughListCtrl::kColumnResult));
        QCOMPARE(f.Bar().RebuildCount(), 1);
    }

    void rowsShowBeforeTheBarIsRebuilt()
    {
        // The list is painted with every row of the batch, the progress
        // dialog gone, before the bar's rebuild begins.
        constexpr int kFiles = 40;
        AppFixture f;
        QDir(QString::fromStdString(f.Dir())).mkdir(QStringLiteral("photos"));
        for (int i = 0; i < kFiles; ++i)
            f.Write("photos/p" + std::to_string(100 + i) + ".jpg", MakeJpeg(16, 16));
        f.App().SetProgressTiming(0, 0);
        struct Paint {
            int rows;
            int rebuilds;
            bool dialog;
        };
        std::vector<Paint> paints;
        PaintWatcher watcher([&] {
            auto* dialog = f.Frame().findChild<QProgressDialog*>();
            paints.push_back({f.List().model()->rowCount(), f.Bar().RebuildCount(), dialog && dialog->isVisible()});
        });
        f.List().viewport()->installEventFilter(&watcher);
        f.OpenThroughDialog({f.Dir() + "/photos"});
        QVERIFY(std::any_of(paints.begin(), paints.end(),
                            [](const Paint& p) { return p.rows == kFiles && p.rebuilds == 0 && !p.dialog; }));
        QCOMPARE(f.Bar().RebuildCount(), 1);
    }

    void emptyFolderSaysSo()
    {
        AppFixture f;
        QDir(QString::fromStdString(f.Dir())).mkdir(QStringLiteral("empty"));
        f.OpenThroughDialog({f.Dir() + "/empty"});
        QCOMPARE(f.messages.size(), size_t{1});
        QCOMPARE(QString::fromStdString(f.messages[0].text),
                 QStringLiteral("フォルダ：%1/empty\nには開くファイルがありません").arg(QString::fromStdString(f.Dir())));
    }
};

VANTREL_GUI_TEST(BatchTest);

#include "batch_test.moc"
