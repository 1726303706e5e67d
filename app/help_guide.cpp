#include "app/help_guide.h"

#include <QDialogButtonBox>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace {

// The guide's rows in order; a row without text heads a section.
struct GuideRow {
    const char* what;   // a window, a key or a mouse action
    const char* text;
};

constexpr GuideRow kGuide[] = {
    {"ウィンドウ", nullptr},
    {"概略解析", "開いたファイルを1行ずつ、新しいものを上に表示します (ﾊﾟｽ、形式、異常の数、概略)。"},
    {"解析ﾂﾘｰ", "ファイルごとの概略解析の結果を表示します。"},
    {"詳細解析", "ファイルの構造を1行ずつ、ﾊﾞｲﾄ表示と並べて表示します。行を選ぶとそのﾊﾞｲﾄが、"
                 "ﾊﾞｲﾄをｸﾘｯｸするとそれを表す行が選ばれます。異常の欄で異常を選ぶとその行が選ばれます。"},
    {"イメージ", "詳細解析の右ボタンのメニューの「イメージ表示」で開きます。"},
    {"キー", nullptr},
    {"Enter、ダブルクリック", "詳細解析 (選択したファイルごとに)"},
    {"Delete", "エントリ削除"},
    {"右ボタン、Menu、Shift+F10", "メニュー"},
    {"Ctrl+O", "開く (ﾌｫﾙﾀﾞも開けます。ﾌｧｲﾙのﾄﾞﾛｯﾌﾟでも開きます)"},
    {"Ctrl+S、Ctrl+P", "ﾃｷｽﾄで保存、印刷"},
    {"Ctrl+W、Ctrl+Q", "閉じる、ｱﾌﾟﾘｹｰｼｮﾝの終了"},
    {"Ctrl+C、Ctrl+Shift+C", "ｺﾋﾟｰ、下の行を含めてｺﾋﾟｰ"},
    {"Ctrl+F、F3、Shift+F3", "検索、次を検索、前を検索"},
    {"Ctrl+G", "ﾊﾞｲﾄ表示のｵﾌｾｯﾄへ移動"},
    {"→、←、+、-、*", "ﾂﾘｰの枝を開く、閉じる (* は下をすべて開く)"},
    {"F1", "この説明"},
    {"イメージ", nullptr},
    {"ドラッグ", "移動"},
    {"Ctrl+ホイール、+、-", "拡大、縮小"},
    {"F、1", "全体を表示、等倍"},
    {"Page Up、Page Down、Home、End", "前、次、最初、最後のイメージ"},
    {"Escape、Ctrl+W", "閉じる"},
};

QString GuideHtml()
{
    QString html;
    bool inTable = false;
    for (const GuideRow& row : kGuide) {
        const QString what = QString::fromUtf8(row.what).toHtmlEscaped();
        if (!row.text) {
            if (inTable)
                html += QStringLiteral("</table>");
            html += QStringLiteral("<h3>%1</h3><table cellspacing=\"0\" cellpadding=\"3\">").arg(what);
            inTable = true;
            continue;
        }
        html += QStringLiteral("<tr><td style=\"white-space:nowrap\">%1</td><td>%2</td></tr>")
                    .arg(what, QString::fromUtf8(row.text).toHtmlEscaped());
    }
    if (inTable)
        html += QStringLiteral("</table>");
    return html;
}

}  // namespace

CHelpGuide::CHelpGuide(QWidget* parent) : QDialog(parent), text_(new QTextBrowser(this))
{
    setWindowTitle(QStringLiteral("Vantrel の使い方"));
    setModal(true);
    text_->setOpenLinks(false);
    text_->setHtml(GuideHtml());
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text_, 1);
    layout->addWidget(buttons);
    resize(640, 560);
}

QString CHelpGuide::Text() const
{
    return text_->toPlainText();
}
