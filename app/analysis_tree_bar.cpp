#include "app/analysis_tree_bar.h"

#include <QVBoxLayout>

#include "app/analysis_tree_ctrl.h"
#include "app/vantrel_app.h"
#include "core/analysis_tree.h"

namespace {
// While docked the tree keeps a small inset, as on the bar's dialog page.
constexpr int kDockedMargin = 4;
}

CAnalysisTreeBar::CAnalysisTreeBar(CVantrelApp& app, QWidget* parent)
    : QDockWidget(QStringLiteral("解析ﾂﾘｰ"), parent), app_(app), body_(new QWidget(this)),
      tree_(new CAnalysisTreeCtrl(app, body_))
{
    setObjectName(QStringLiteral("AnalysisTreeBar"));
    setAllowedAreas(Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea);
    setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable |
                QDockWidget::DockWidgetClosable);
    auto* layout = new QVBoxLayout(body_);
    layout->addWidget(tree_);
    setWidget(body_);
    UpdateMargins(false);
    connect(this, &QDockWidget::topLevelChanged, this, &CAnalysisTreeBar::UpdateMargins);
}

QSize CAnalysisTreeBar::sizeHint() const
{
    return QSize(kDefaultWidth, kDefaultHeight);
}

void CAnalysisTreeBar::UpdateMargins(bool floating)
{
    const int m = floating ? kFloatingMargin : kDockedMargin;
    body_->layout()->setContentsMargins(m, m, m, m);
}

void CAnalysisTreeBar::RebuildTree(const AnalysisEntry* head)
{
    // A level error ends the program before anything is shown.
    CLineTree lines;
    if (Diagnostic fatal; !RebuildAnalysisTree(lines, head, fatal))
        app_.ShowDiagnostic(fatal, MessageOwner::TreeBar);
    tree_->ShowLines(std::move(lines));
    ++rebuildCount_;
}

void CAnalysisTreeBar::AdjustHeight(int reason)
{
    if (reason == 1 || reason == 2)
        return;
    MessageBoxRequest box;
    box.text = "予期しないメッセージを受信しました\nエラー番号：AT00000001";
    box.owner = MessageOwner::TreeBar;
    app_.MessageBox(box);
    app_.ExitProcess(0);
}
