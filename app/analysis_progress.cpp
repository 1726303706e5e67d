#include "app/analysis_progress.h"

#include <algorithm>

#include "app/vantrel_app.h"
#include "core/analysis_result.h"

namespace {
// The dialog counts in thousandths of the file.
constexpr int kSteps = 1000;
}

CAnalysisProgress::CAnalysisProgress(QWidget* owner, AnalysisResult& result, uint64_t fileSize,
                                     const QString& fileName, int delayMs, int updateMs)
    : owner_(owner), result_(result), fileSize_(fileSize), fileName_(fileName), delayMs_(delayMs)
{
    sinceStart_.start();
    QObject::connect(&poll_, &QTimer::timeout, &poll_, [this] { Poll(); });
    poll_.start(std::max(updateMs, 1));
}

CAnalysisProgress::~CAnalysisProgress()
{
    delete dialog_;
}

void CAnalysisProgress::Show()
{
    auto* dialog = new QProgressDialog(owner_);
    CVantrelApp::SetDialogButtons(*dialog);
    dialog->setWindowTitle(QStringLiteral("詳細解析"));
    dialog->setLabelText(QStringLiteral("詳細解析中：%1").arg(fileName_));
    dialog->setCancelButtonText(QStringLiteral("キャンセル"));
    dialog->setWindowModality(Qt::NonModal);
    dialog->setAutoClose(false);
    dialog->setAutoReset(false);
    dialog->setMinimumDuration(0);
    dialog->setRange(0, kSteps);
    dialog->setMinimumWidth(360);
    QObject::connect(dialog, &QProgressDialog::canceled, dialog, [this] { result_.RequestCancel(); });
    dialog_ = dialog;
    dialog->show();
}

void CAnalysisProgress::Poll()
{
    if (dialog_ && dialog_->wasCanceled())
        result_.RequestCancel();
    if (result_.CancelRequested())
        return;
    if (!dialog_) {
        if (sinceStart_.elapsed() < delayMs_)
            return;
        Show();
    }
    const double done = fileSize_ > 0 ? static_cast<double>(std::min(result_.lines.Reach(), fileSize_)) / fileSize_ : 0;
    dialog_->setValue(static_cast<int>(done * kSteps));
}
