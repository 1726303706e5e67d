#include "app/batch_progress.h"

#include <QApplication>
#include <algorithm>
#include <climits>

#include "app/vantrel_app.h"
#include "core/result_text.h"

CBatchProgress::CBatchProgress(QWidget* owner, int delayMs, int updateMs)
    : owner_(owner), delayMs_(delayMs), updateMs_(updateMs)
{
    sinceStart_.start();
}

CBatchProgress::~CBatchProgress()
{
    delete dialog_;
}

void CBatchProgress::Finish()
{
    delete dialog_;
}

void CBatchProgress::Show(size_t count)
{
    auto* dialog = new QProgressDialog(owner_);
    CVantrelApp::SetDialogButtons(*dialog);
    dialog->setWindowTitle(QStringLiteral("概略解析"));
    dialog->setCancelButtonText(QStringLiteral("キャンセル"));
    // Nothing else is started from the windows while the dialog is up.
    dialog->setWindowModality(Qt::ApplicationModal);
    dialog->setAutoClose(false);
    dialog->setAutoReset(false);
    dialog->setMinimumDuration(0);
    dialog->setRange(0, static_cast<int>(std::min<size_t>(count, INT_MAX)));
    dialog->setMinimumWidth(360);
    dialog_ = dialog;
    dialog->show();
}

bool CBatchProgress::Step(size_t index, size_t count, const std::string& path)
{
    if (!dialog_ && sinceStart_.elapsed() >= delayMs_)
        Show(count);
    else if (sinceUpdate_.isValid() && sinceUpdate_.elapsed() < updateMs_)
        return true;
    sinceUpdate_.start();
    if (dialog_) {
        const QString name = QString::fromUtf8(PathFileName(path).c_str());
        dialog_->setLabelText(QStringLiteral("概略解析中：%1 / %2\n%3").arg(index + 1).arg(count).arg(name));
        dialog_->setValue(static_cast<int>(std::min<size_t>(index, INT_MAX)));
    }
    // The windows are served here, while the worker analyses ahead; once
    // the dialog is up, it takes the input (Cancel included).
    QApplication::processEvents();
    return !Cancelled();
}

bool CBatchProgress::Cancelled() const
{
    return dialog_ && dialog_->wasCanceled();
}
