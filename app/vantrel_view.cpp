#include "app/vantrel_view.h"

#include <algorithm>

#include <QDir>
#include <QFileDialog>
#include <QSaveFile>
#include <QSettings>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMouseEvent>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QStandardPaths>
#if VANTREL_HAVE_PRINTSUPPORT
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#endif

#include "app/app_resources.h"
#include "app/child_frame.h"
#include "app/item_view_input.h"
#include "app/main_frame.h"
#include "app/vantrel_app.h"
#include "core/tree_ranges.h"

namespace {

// The folder last saved or printed to, in the application's profile.
constexpr const char* kSaveFolderKey = "Settings/SaveFolder";

}  // namespace

CVantrelView::CVantrelView(CVantrelApp& app, QWidget* parent) : CTreeWidgetControl(parent), app_(app)
{
}

void CVantrelView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton) {
        SelectItemUnder(*this, event->position().toPoint());
        ShowContextMenu(event->globalPosition().toPoint());
    }
    CTreeWidgetControl::mousePressEvent(event);
}

void CVantrelView::keyPressEvent(QKeyEvent* event)
{
    if (ItemKeyOf(*event) == ItemKey::ContextMenu) {
        ShowContextMenu(KeyboardMenuPos(*this));
        return;
    }
    if (app_.HandleSearchKey(*this, Search(), *event))
        return;
    CTreeWidgetControl::keyPressEvent(event);
}

void CVantrelView::ShowContextMenu(QPoint globalPos)
{
    QMenu menu(this);
    LoadPopupMenu(menu, kIdrImageMenu);
    connect(FindCommand(menu, kCmdShowImage), &QAction::triggered, this, &CVantrelView::OnShowImage);
    for (auto [id, slot] : {std::pair{kCmdCopyLine, &CVantrelView::OnCopyLine},
                            std::pair{kCmdCopyBranch, &CVantrelView::OnCopyBranch}}) {
        QAction* action = FindCommand(menu, id);
        action->setEnabled(SelectedLine() != kNoLine);
        connect(action, &QAction::triggered, this, slot);
    }
    app_.TrackPopupMenu(menu, globalPos);
}

void CVantrelView::OnShowImage()
{
    if (CMainFrame* frame = app_.MainFrame())
        if (CChildFrame* child = frame->ActiveChildFrame())
            child->ShowImageWindows();
}

void CVantrelView::OnCopyLine()
{
    CopySelectedLine(false);
}

void CVantrelView::OnCopyBranch()
{
    CopySelectedLine(true);
}

void CVantrelView::SetAnomalies(std::vector<Anomaly> anomalies, uint32_t dropped)
{
    anomalies_ = std::move(anomalies);
    anomaliesDropped_ = dropped;
}

std::unordered_set<LineId> CVantrelView::FlaggedLines() const
{
    std::unordered_set<LineId> flagged;
    for (const Anomaly& anomaly : anomalies_)
        if (Lines().Contains(anomaly.line))
            flagged.insert(anomaly.line);
    return flagged;
}

QStringList CVantrelView::AnomalyLines() const
{
    if (anomalies_.empty() && anomaliesDropped_ == 0)
        return {};
    QStringList lines{QStringLiteral("異常")};
    for (const Anomaly& a : anomalies_) {
        // One line each, however the text was written.
        QString text = QString::fromUtf8(a.text.c_str());
        text.replace(QLatin1Char('\n'), QLatin1Char(' '));
        lines << QStringLiteral("[%1] %2 %3")
                     .arg(QString::fromUtf8(AnomalySeverityText(a.severity)))
                     .arg(a.offset, 8, 16, QLatin1Char('0'))
                     .arg(text);
    }
    if (anomaliesDropped_)
        lines << QStringLiteral("ほかに%1件の異常があります").arg(anomaliesDropped_);
    return lines;
}

bool CVantrelView::SaveText(const QString& fileName) const
{
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QStringList anomalies = AnomalyLines();
    std::string text;
    if (anomalies.isEmpty()) {
        text = TreeText(Lines());
    } else {
        const std::unordered_set<LineId> flagged = FlaggedLines();
        if (Lines().First() != kNoLine)
            ForEachLine(Lines(), Lines().First(), false, [&](LineId line, int depth) {
                text.append(static_cast<size_t>(depth) * 2, ' ');
                if (flagged.count(line))
                    text += kAnomalyMark;
                text += Lines().Text(line);
                text += '\n';
            });
        text += '\n';
        for (const QString& line : anomalies)
            text += line.toStdString() + '\n';
    }
    file.write(text.data(), static_cast<qint64>(text.size()));
    return file.commit();
}

void CVantrelView::OnSaveText()
{
    QString proposal = ProposedPrintFile(DocumentPath());
    proposal.replace(proposal.size() - 4, 4, QStringLiteral(".txt"));
    QFileDialog dialog(app_.MainFrame(), CommandToolTip(kCmdFileSaveText), proposal,
                       QStringLiteral("テキスト (*.txt);;すべてのファイル (*)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("txt"));
    if (app_.ExecModal(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString file = dialog.selectedFiles().front();
    if (SaveText(file)) {
        RememberSaveFolder(file);
    } else {
        MessageBoxRequest box;
        box.text = QStringLiteral("ファイル：%1\nに保存できません").arg(file).toStdString();
        box.owner = MessageOwner::MainFrame;
        app_.MessageBox(box);
    }
}

QString CVantrelView::DocumentPath() const
{
    // The frame's title is the analysed file's full path.
    for (const QWidget* w = parentWidget(); w; w = w->parentWidget())
        if (qobject_cast<const QMdiSubWindow*>(w))
            return w->windowTitle();
    return QString();
}

void CVantrelView::RememberSaveFolder(const QString& file)
{
    const QString folder = QFileInfo(file).absolutePath();
    if (!file.isEmpty() && !folder.isEmpty())
        QSettings().setValue(kSaveFolderKey, folder);
}

QString CVantrelView::ProposedPrintFile(const QString& documentPath)
{
    // Texts and PDFs of several files usually go together; next to the
    // analysed file is where one looks for them first otherwise.
    const QString candidates[] = {
        QSettings().value(kSaveFolderKey).toString(),
        documentPath.isEmpty() ? QString() : QFileInfo(documentPath).absolutePath(),
        QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation),
        QDir::homePath(),
        QDir::tempPath(),
    };
    QString folder = QDir::tempPath();
    for (const QString& candidate : candidates) {
        const QFileInfo info(candidate);
        if (!candidate.isEmpty() && info.isDir() && info.isWritable()) {
            folder = info.absoluteFilePath();
            break;
        }
    }
    QString name = QFileInfo(documentPath).completeBaseName();
    if (name.isEmpty())
        name = QStringLiteral("Vantrel");
    return QDir(folder).filePath(name + QStringLiteral(".pdf"));
}

void CVantrelView::OnFilePrint()
{
#if VANTREL_HAVE_PRINTSUPPORT
    QPrinter printer(QPrinter::HighResolution);
    // The frame's title is the analysed file's full path; the print dialog
    // builds its proposal for a file from the document's name.
    const QString path = DocumentPath();
    printer.setDocName(QFileInfo(path).fileName());
    // Without a printer the output goes to a file: propose one that can be
    // written.
    if (QPrinterInfo::defaultPrinter().isNull())
        printer.setOutputFileName(ProposedPrintFile(path));
    QPrintDialog dialog(&printer, app_.MainFrame());
    if (app_.ExecModal(dialog) != QDialog::Accepted)
        return;
    if (PrintPages(printer) > 0 && !printer.outputFileName().isEmpty())
        RememberSaveFolder(printer.outputFileName());
#endif
}

QStringList CVantrelView::WrapLine(const QString& text, const QFontMetrics& metrics, int width)
{
    QStringList pieces;
    qsizetype start = 0;
    while (start < text.size()) {
        // The longest piece that fits, by halving; at least one character
        // (two for a surrogate pair), so that the loop always advances.
        qsizetype low = 1;
        qsizetype high = text.size() - start;
        while (low < high) {
            const qsizetype mid = (low + high + 1) / 2;
            if (metrics.horizontalAdvance(text.mid(start, mid)) <= width)
                low = mid;
            else
                high = mid - 1;
        }
        if (start + low < text.size() && text.at(start + low).isLowSurrogate())
            low += text.at(start + low - 1).isHighSurrogate() ? 1 : 0;
        pieces << text.mid(start, low);
        start += low;
    }
    if (pieces.isEmpty())
        pieces << QString();
    return pieces;
}

std::vector<CVantrelView::PrintedPage> CVantrelView::LayoutPages(const QFontMetrics& metrics, int width,
                                                                   int height) const
{
    const int lineHeight = metrics.lineSpacing();
    const int indent = metrics.horizontalAdvance(QStringLiteral("MMM"));
    std::vector<PrintedPage> pages(1);
    int y = 0;
    // A line too long for the page goes on over the next lines, at the same
    // indent.
    const auto add = [&](int x, const QString& text) {
        for (const QString& piece : WrapLine(text, metrics, width - x)) {
            if (y + lineHeight > height && y > 0) {
                pages.emplace_back();
                y = 0;
            }
            pages.back().lines.emplace_back(x, piece);
            y += lineHeight;
        }
    };
    const std::unordered_set<LineId> flagged = FlaggedLines();
    const QString mark = QString::fromUtf8(kAnomalyMark);
    ForEachShownLine([&](LineId line, int depth) {
        const QString text = QString::fromUtf8(LineBytes(line));
        add(std::min(depth * indent, width / 2), flagged.count(line) ? mark + text : text);
    });
    const QStringList anomalies = AnomalyLines();
    if (!anomalies.isEmpty())
        add(0, QString());
    for (const QString& line : anomalies)
        add(0, line);
    const QString name = metrics.elidedText(QFileInfo(DocumentPath()).fileName(), Qt::ElideMiddle, width);
    for (size_t i = 0; i < pages.size(); ++i) {
        pages[i].header = name;
        pages[i].footer = QStringLiteral("%1 / %2").arg(i + 1).arg(pages.size());
    }
    return pages;
}

int CVantrelView::PrintPages(QPagedPaintDevice& device) const
{
    const QMarginsF margins = device.pageLayout().margins(QPageLayout::Millimeter);
    device.setPageMargins(QMarginsF(std::max(margins.left(), kMinPrintMarginMm),
                                    std::max(margins.top(), kMinPrintMarginMm),
                                    std::max(margins.right(), kMinPrintMarginMm),
                                    std::max(margins.bottom(), kMinPrintMarginMm)),
                          QPageLayout::Millimeter);
    QPainter painter;
    if (!painter.begin(&device))
        return 0;
    QFont font = this->font();
    font.setPointSizeF(9);
    painter.setFont(QFont(font, &device));
    const QFontMetrics metrics = painter.fontMetrics();
    const int lineHeight = metrics.lineSpacing();
    // The painter's origin is the printable area's top-left corner; the
    // heading takes its first two lines and the page number its last two.
    const QSize area = device.pageLayout().paintRectPixels(device.logicalDpiX()).size();
    const int bodyTop = 2 * lineHeight;
    const std::vector<PrintedPage> pages = LayoutPages(metrics, area.width(), area.height() - 4 * lineHeight);
    for (size_t i = 0; i < pages.size(); ++i) {
        if (i > 0)
            device.newPage();
        const PrintedPage& page = pages[i];
        painter.drawText(QRect(0, 0, area.width(), lineHeight), Qt::AlignLeft | Qt::AlignVCenter, page.header);
        painter.drawLine(0, lineHeight + lineHeight / 2, area.width(), lineHeight + lineHeight / 2);
        int y = bodyTop;
        for (const auto& [x, text] : page.lines) {
            painter.drawText(QRect(x, y, area.width() - x, lineHeight), Qt::AlignLeft | Qt::AlignVCenter, text);
            y += lineHeight;
        }
        painter.drawText(QRect(0, area.height() - lineHeight, area.width(), lineHeight), Qt::AlignHCenter | Qt::AlignVCenter,
                         page.footer);
    }
    painter.end();
    return static_cast<int>(pages.size());
}
