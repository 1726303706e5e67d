#pragma once
// The progress of a detailed analysis that runs on the worker thread. Once
// the analysis has run for the given delay, a dialog shows how far into the
// file it has come (the furthest byte its lines describe so far), looked at
// every updateMs; its キャンセル asks the analysis to stop, and the window
// then shows what was analysed until then. The dialog holds no other window:
// they go on being used while the analysis runs.
#include <QElapsedTimer>
#include <QPointer>
#include <QProgressDialog>
#include <QTimer>
#include <cstdint>

struct AnalysisResult;

class CAnalysisProgress {
public:
    CAnalysisProgress(QWidget* owner, AnalysisResult& result, uint64_t fileSize, const QString& fileName,
                      int delayMs, int updateMs);
    ~CAnalysisProgress();
    CAnalysisProgress(const CAnalysisProgress&) = delete;
    CAnalysisProgress& operator=(const CAnalysisProgress&) = delete;

    // Whether the dialog is up: the analysis has run longer than the delay.
    bool Shown() const { return !dialog_.isNull(); }

private:
    void Poll();
    void Show();

    QWidget* owner_;
    AnalysisResult& result_;
    uint64_t fileSize_;
    QString fileName_;
    int delayMs_;
    QElapsedTimer sinceStart_;
    QTimer poll_;
    QPointer<QProgressDialog> dialog_;
};
