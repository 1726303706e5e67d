#include "app/about_box.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>
#include <algorithm>

#include "app/app_icons.h"

#ifndef VANTREL_BUILD
#define VANTREL_BUILD "unknown"
#endif

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Vantrel のﾊﾞｰｼﾞｮﾝ情報"));
    setModal(true);
    auto* icon = new QLabel(this);
    icon->setPixmap(MainFrameIcon().pixmap(32, 32));
    auto* text = new QLabel(QStringLiteral("Vantrel ﾊﾞｰｼﾞｮﾝ %1").arg(QStringLiteral(VANTREL_VERSION)), this);
    text->setObjectName(QStringLiteral("VersionText"));
    auto* build = new QLabel(QStringLiteral("ﾋﾞﾙﾄﾞ：%1, Qt %2").arg(QStringLiteral(VANTREL_BUILD), QString::fromLatin1(qVersion())),
                             this);
    build->setObjectName(QStringLiteral("BuildText"));
    build->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* texts = new QVBoxLayout;
    texts->addWidget(text);
    texts->addWidget(build);
    auto* row = new QHBoxLayout;
    row->addWidget(icon, 0, Qt::AlignTop);
    row->addSpacing(12);
    row->addLayout(texts, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(buttons);
    // Wide enough for the whole caption beside the window manager's buttons.
    const int captionWidth = fontMetrics().horizontalAdvance(windowTitle()) + kCaptionButtonsWidth;
    setFixedSize(std::max(sizeHint().width(), captionWidth), sizeHint().height());
}
