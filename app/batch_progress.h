#pragma once
// The progress dialog of a long batch of files: it appears once the batch has
// run for the given delay, shows which file of how many is being analysed,
// and its Cancel ends the batch after the current file. Each update serves
// the windows' events, also before the dialog is up.
#include <QElapsedTimer>
#include <QPointer>
#include <QProgressDialog>
#include <cstddef>
#include <string>

class CBatchProgress {
public:
    // The dialog is repainted, and Cancel looked at, every updateMs.
    CBatchProgress(QWidget* owner, int delayMs, int updateMs);
    ~CBatchProgress();
    CBatchProgress(const CBatchProgress&) = delete;
    CBatchProgress& operator=(const CBatchProgress&) = delete;

    // Called before file index (from 0) of count; false once Cancel has been
    // pressed, and the batch ends before that file.
    bool Step(size_t index, size_t count, const std::string& path);
    // Whether Cancel has been pressed.
    bool Cancelled() const;
    // The batch has ended: the dialog goes at once.
    void Finish();
    // Whether the dialog is up: the batch has run longer than the delay.
    bool Shown() const { return !dialog_.isNull(); }

private:
    void Show(size_t count);

    QWidget* owner_;
    int delayMs_;
    int updateMs_;
    QElapsedTimer sinceStart_;
    QElapsedTimer sinceUpdate_;
    QPointer<QProgressDialog> dialog_;
};
