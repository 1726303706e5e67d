#include "app/anomaly_pane.h"

#include <QApplication>
#include <QHeaderView>
#include <QStyle>
#include <iterator>

namespace {

constexpr int kIndexRole = Qt::UserRole + 1;

struct ColumnLayout {
    const char* heading;
    int width;
};
constexpr ColumnLayout kColumns[] = {
    {"重要度", 70},
    {"オフセット", 90},
    {"内容", 400},
};

}  // namespace

CAnomalyPane::CAnomalyPane(QWidget* parent) : QTreeWidget(parent)
{
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setColumnCount(static_cast<int>(std::size(kColumns)));
    QStringList headings;
    for (const auto& c : kColumns)
        headings << QString::fromUtf8(c.heading);
    setHeaderLabels(headings);
    for (int i = 0; i < columnCount(); ++i)
        setColumnWidth(i, kColumns[i].width);
    header()->setStretchLastSection(true);
    setAccessibleName(QStringLiteral("異常"));
    auto choose = [this](QTreeWidgetItem* item) {
        bool ok = false;
        const int index = item ? item->data(0, kIndexRole).toInt(&ok) : -1;
        if (ok && index >= 0 && static_cast<size_t>(index) < anomalies_.size())
            emit anomalyChosen(anomalies_[static_cast<size_t>(index)]);
    };
    connect(this, &QTreeWidget::itemActivated, this, choose);
    connect(this, &QTreeWidget::itemClicked, this, choose);
    hide();
}

QIcon CAnomalyPane::SeverityIcon(AnomalySeverity severity)
{
    return QApplication::style()->standardIcon(severity == AnomalySeverity::Error ? QStyle::SP_MessageBoxCritical
                                                                                  : QStyle::SP_MessageBoxWarning);
}

void CAnomalyPane::ShowAnomalies(std::vector<Anomaly> anomalies, uint32_t dropped)
{
    clear();
    anomalies_ = std::move(anomalies);
    QList<QTreeWidgetItem*> rows;
    for (size_t i = 0; i < anomalies_.size(); ++i) {
        const Anomaly& a = anomalies_[i];
        auto* row = new QTreeWidgetItem;
        row->setIcon(kColumnSeverity, SeverityIcon(a.severity));
        row->setText(kColumnSeverity, QString::fromUtf8(AnomalySeverityText(a.severity)));
        row->setText(kColumnOffset, QStringLiteral("%1").arg(a.offset, 8, 16, QLatin1Char('0')));
        row->setText(kColumnText, QString::fromUtf8(a.text.c_str()));
        row->setToolTip(kColumnText, QString::fromUtf8(a.kind.c_str()));
        row->setData(0, kIndexRole, static_cast<int>(i));
        rows << row;
    }
    if (dropped) {
        auto* row = new QTreeWidgetItem;
        row->setText(kColumnText, QStringLiteral("ほかに%1件の異常があります").arg(dropped));
        rows << row;
    }
    addTopLevelItems(rows);
    setVisible(!rows.isEmpty());
}
