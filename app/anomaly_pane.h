#pragma once
// The 異常 pane under a detailed window's tree: one row per anomaly the
// analysis found (severity, offset, text), in the order met. Activating a
// row asks for its line and bytes to be selected. The pane is hidden while
// the file has no anomaly.
#include <QTreeWidget>
#include <vector>

#include "core/anomaly.h"

class CAnomalyPane : public QTreeWidget {
    Q_OBJECT
public:
    enum Column { kColumnSeverity = 0, kColumnOffset = 1, kColumnText = 2 };

    explicit CAnomalyPane(QWidget* parent = nullptr);

    // dropped: anomalies beyond the run's limit, counted in a last row.
    void ShowAnomalies(std::vector<Anomaly> anomalies, uint32_t dropped);
    const std::vector<Anomaly>& Anomalies() const { return anomalies_; }

    // The icon a line flagged with an anomaly of this severity carries.
    static QIcon SeverityIcon(AnomalySeverity severity);

signals:
    // The anomaly of a row the user chose.
    void anomalyChosen(const Anomaly& anomaly);

private:
    std::vector<Anomaly> anomalies_;
};
