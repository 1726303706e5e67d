#include "app/about_box.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "app/app_icons.h"

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Vantrel のﾊﾞｰｼﾞｮﾝ情報"));
    setModal(true);
    auto* icon = new QLabel(this);
    icon->setPixmap(MainFrameIcon().pixmap(32, 32));
    auto* text = new QLabel(QStringLiteral("Vantrel Version %1").arg(QStringLiteral(VANTREL_VERSION)), this);
    text->setObjectName(QStringLiteral("VersionText"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* row = new QHBoxLayout;
    row->addWidget(icon, 0, Qt::AlignTop);
    row->addSpacing(12);
    row->addWidget(text, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(buttons);
    setFixedSize(sizeHint());
}
