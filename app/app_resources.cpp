#include "app/app_resources.h"

#include <QAction>
#include <QMenu>
#include <algorithm>
#include <array>
#include <iterator>

namespace {

// The string table: a command's status prompt, then after "\n" its tool tip.
struct CommandString {
    int id;
    const char* text;
};

constexpr CommandString kCommandStrings[] = {
    {kCmdFileOpen, "既存のファイルを開きます\n開く"},
    {kCmdFileClose, "作業中のファイルを閉じます\n閉じる"},
    {kCmdFileSave, "作業中のファイルを上書きして保存します\n上書き保存"},
    {kCmdFilePrint, "作業中のファイルを印刷します\n印刷"},
    {kCmdEditUndo, "直前に行った動作を元に戻します\n元に戻す"},
    {kCmdEditCut, "選択範囲を切り取ってクリップボードに移動します\n切り取り"},
    {kCmdEditCopy, "選択した行またはﾊﾞｲﾄをｺﾋﾟｰします\nｺﾋﾟｰ"},
    {kCmdEditFind, "指定した文字列を含む行を検索します\n検索"},
    {kCmdEditRepeat, "同じ文字列を含む次の行を検索します\n次を検索"},
    {kCmdFindPrevious, "同じ文字列を含む前の行を検索します\n前を検索"},
    {kCmdGoToOffset, "ﾊﾞｲﾄ表示を指定したｵﾌｾｯﾄへ移動します\nｵﾌｾｯﾄへ移動"},
    {kCmdPictureFirst, "作業中のファイルの最初のイメージを表示します\n最初のイメージ"},
    {kCmdPicturePrevious, "作業中のファイルの前のイメージを表示します\n前のイメージ"},
    {kCmdPictureNext, "作業中のファイルの次のイメージを表示します\n次のイメージ"},
    {kCmdPictureLast, "作業中のファイルの最後のイメージを表示します\n最後のイメージ"},
    {kCmdEditPaste, "クリップボードの内容を貼り付けます\n貼り付け"},
    {kCmdNextPane, "次のウィンドウ ペインに切り替えます\n次のペイン"},
    {kCmdPrevPane, "前のウィンドウ ペインに切り替えます\n前のペイン"},
    {kCmdWindowArrange, "ウィンドウの下にアイコンを整列します\nアイコンの整列"},
    {kCmdWindowCascade, "ウィンドウを重ねて表示します\n重ねて表示"},
    {kCmdWindowTileHorz, "ウィンドウを並べて表示します\n並べて表示"},
    {kCmdAppAbout, "プログラム情報、バージョン、著作権を表示します\nバージョン情報"},
    {kCmdAppExit, "アプリケーションを終了します\n終了"},
    {kCmdHelpFinder, "ヘルプ トピックの一覧を表示します\nヘルプ トピック"},
    {kCmdHelp, "ヘルプを表示します\nヘルプ"},
    {kCmdContextHelp, "ボタン、メニュー、ウィンドウのヘルプを表示します\nヘルプ"},
    {kCmdViewToolBar, "ﾂｰﾙ ﾊﾞｰの表示/非表示\nﾂｰﾙ ﾊﾞｰの表示切り替え"},
    {kCmdViewStatusBar, "ｽﾃｰﾀｽ ﾊﾞｰの表示/非表示\nｽﾃｰﾀｽ ﾊﾞｰの表示切り替え"},
    {kCmdViewAnalysisTree, "解析ﾂﾘｰの表示/非表示\n解析ﾂﾘｰの表示切り替え"},
    {kCmdEntryDelete, "エントリを削除します。"},
    {kCmdDetailedAnalysis, "詳細解析を実行します。"},
    {kCmdShowImage, "画像イメージを表示します"},
    {kCmdViewHexPane, "ﾊﾞｲﾄ表示の表示/非表示\nﾊﾞｲﾄ表示の切り替え"},
    {kCmdFileSaveText, "解析結果をﾃｷｽﾄ ﾌｧｲﾙに保存します\nﾃｷｽﾄで保存"},
    {kCmdCopyLine, "選択した行をｺﾋﾟｰします\nｺﾋﾟｰ"},
    {kCmdCopyBranch, "選択した行とその下の行をすべてｺﾋﾟｰします\n下の行を含めてｺﾋﾟｰ"},
};

using K = MenuItem::Kind;

// A menu bar is joined from the tables of its pop-ups.
template <size_t... N>
constexpr auto Join(const std::array<MenuItem, N>&... parts)
{
    std::array<MenuItem, (N + ...)> out{};
    size_t at = 0;
    ((std::copy(parts.begin(), parts.end(), out.begin() + static_cast<std::ptrdiff_t>(at)), at += N), ...);
    return out;
}

constexpr std::array<MenuItem, 1> kEnd = {{{K::End, 0, nullptr}}};

constexpr std::array<MenuItem, 4> kFileMenuMain = {{
    {K::Popup, 0, "ﾌｧｲﾙ(&F)"},
    {K::Command, kCmdFileOpen, "開く(&O)...\tCtrl+O"},
    {K::Separator, 0, nullptr},
    {K::Command, kCmdAppExit, "ｱﾌﾟﾘｹｰｼｮﾝの終了(&X)\tCtrl+Q"},
}};

constexpr std::array<MenuItem, 8> kFileMenuDocument = {{
    {K::Popup, 0, "ﾌｧｲﾙ(&F)"},
    {K::Command, kCmdFileOpen, "開く(&O)...\tCtrl+O"},
    {K::Command, kCmdFileClose, "閉じる(&C)\tCtrl+W"},
    {K::Command, kCmdFileSaveText, "ﾃｷｽﾄで保存(&S)...\tCtrl+S"},
    {K::Separator, 0, nullptr},
    {K::Command, kCmdFilePrint, "印刷(&P)...\tCtrl+P"},
    {K::Separator, 0, nullptr},
    {K::Command, kCmdAppExit, "ｱﾌﾟﾘｹｰｼｮﾝの終了(&X)\tCtrl+Q"},
}};

// Copying and finding act on the list, tree or hex pane that has the focus.
constexpr std::array<MenuItem, 7> kEditMenu = {{
    {K::Popup, 0, "編集(&E)"},
    {K::Command, kCmdEditCopy, "ｺﾋﾟｰ(&C)\tCtrl+C"},
    {K::Command, kCmdCopyBranch, "下の行を含めてｺﾋﾟｰ(&B)\tCtrl+Shift+C"},
    {K::Separator, 0, nullptr},
    {K::Command, kCmdEditFind, "検索(&F)...\tCtrl+F"},
    {K::Command, kCmdEditRepeat, "次を検索(&N)\tF3"},
    {K::Command, kCmdFindPrevious, "前を検索(&V)\tShift+F3"},
}};

// Only a detailed-analysis window has a hex pane to move in.
constexpr std::array<MenuItem, 2> kEditMenuHexPane = {{
    {K::Separator, 0, nullptr},
    {K::Command, kCmdGoToOffset, "ｵﾌｾｯﾄへ移動(&G)...\tCtrl+G"},
}};

constexpr std::array<MenuItem, 5> kViewMenu = {{
    {K::Popup, 0, "表示(&V)"},
    {K::Command, kCmdViewToolBar, "ﾂｰﾙ ﾊﾞｰ(&T)"},
    {K::Command, kCmdViewStatusBar, "ｽﾃｰﾀｽ ﾊﾞｰ(&S)"},
    {K::Separator, 0, nullptr},
    {K::Command, kCmdViewAnalysisTree, "解析ﾂﾘｰ(&A)"},
}};

constexpr std::array<MenuItem, 1> kViewHexPane = {{{K::Command, kCmdViewHexPane, "ﾊﾞｲﾄ表示(&B)"}}};

constexpr std::array<MenuItem, 5> kWindowMenu = {{
    {K::Popup, 0, "ｳｨﾝﾄﾞｳ(&W)"},
    {K::Command, kCmdWindowCascade, "重ねて表示(&C)"},
    {K::Command, kCmdWindowTileHorz, "並べて表示(&T)"},
    {K::Command, kCmdWindowArrange, "ｱｲｺﾝの整列(&A)"},
    {K::End, 0, nullptr},
}};

// Both menu bars end with it: the guide is wanted most before any file is
// open.
constexpr std::array<MenuItem, 5> kHelpMenu = {{
    {K::Popup, 0, "ﾍﾙﾌﾟ(&H)"},
    {K::Command, kCmdHelp, "使い方(&H)...\tF1"},
    {K::Separator, 0, nullptr},
    {K::Command, kCmdAppAbout, "Vantrel のﾊﾞｰｼﾞｮﾝ情報(&A)..."},
    {K::End, 0, nullptr},
}};

constexpr auto kMenuMainFrame = Join(kFileMenuMain, kEnd, kEditMenu, kEnd, kViewMenu, kEnd, kHelpMenu);
constexpr auto kMenuDocument = Join(kFileMenuDocument, kEnd, kEditMenu, kEditMenuHexPane, kEnd, kViewMenu,
                                    kViewHexPane, kEnd, kWindowMenu, kHelpMenu);

constexpr MenuItem kMenuEntry[] = {
    {K::Popup, 0, "Entry"},
    {K::Command, kCmdDetailedAnalysis, "詳細解析(&A)\tEnter"},
    {K::Command, kCmdEntryDelete, "エントリ削除(&D)\tDelete"},
    {K::End, 0, nullptr},
};

constexpr MenuItem kMenuImage[] = {
    {K::Popup, 0, "Image"},
    {K::Command, kCmdShowImage, "イメージ表示(&V)"},
    {K::Separator, 0, nullptr},
    {K::Command, kCmdCopyLine, "ｺﾋﾟｰ(&C)\tCtrl+C"},
    {K::Command, kCmdCopyBranch, "下の行を含めてｺﾋﾟｰ(&B)\tCtrl+Shift+C"},
    {K::End, 0, nullptr},
};

const char* CommandString(int id)
{
    for (const auto& s : kCommandStrings)
        if (s.id == id)
            return s.text;
    return nullptr;
}

}  // namespace

QString CommandText(int id)
{
    const char* text = CommandString(id);
    return text ? QString::fromUtf8(text) : QString();
}

QString CommandPrompt(int id)
{
    return CommandText(id).section(QLatin1Char('\n'), 0, 0);
}

QString CommandToolTip(int id)
{
    const QString text = CommandText(id);
    const qsizetype nl = text.indexOf(QLatin1Char('\n'));
    return nl < 0 ? QString() : text.mid(nl + 1);
}

QString IdleMessage()
{
    return QStringLiteral("レディ");
}

MenuResourceView MenuResource(int id)
{
    switch (id) {
    case kIdrMainFrame: return {kMenuMainFrame.data(), static_cast<int>(kMenuMainFrame.size())};
    case kIdrDocument: return {kMenuDocument.data(), static_cast<int>(kMenuDocument.size())};
    case kIdrEntryMenu: return {kMenuEntry, static_cast<int>(std::size(kMenuEntry))};
    case kIdrImageMenu: return {kMenuImage, static_cast<int>(std::size(kMenuImage))};
    default: return {};
    }
}

int ActionCommand(const QAction* action)
{
    return action ? action->data().toInt() : 0;
}

QAction* FindCommand(const QMenu& menu, int id)
{
    for (QAction* action : menu.actions())
        if (ActionCommand(action) == id)
            return action;
    return nullptr;
}

void LoadPopupMenu(QMenu& menu, int resourceId)
{
    const MenuResourceView res = MenuResource(resourceId);
    // Only the first pop-up of a context menu resource is shown.
    int depth = 0;
    for (int i = 0; i < res.count; ++i) {
        const MenuItem& item = res.items[i];
        if (item.kind == MenuItem::Popup) {
            if (++depth > 1)
                break;
            continue;
        }
        if (item.kind == MenuItem::End)
            break;
        if (item.kind == MenuItem::Separator) {
            menu.addSeparator();
            continue;
        }
        QAction* action = menu.addAction(QString::fromUtf8(item.text));
        action->setData(item.id);
        action->setStatusTip(CommandPrompt(item.id));
        // What a double click or Enter does is the menu's default, in bold.
        if (item.id == kCmdDetailedAnalysis)
            menu.setDefaultAction(action);
    }
}
