#pragma once
// CWaitDlg: the wait dialog.
//
// The wait dialog (resource 187): runs a task on a worker thread and closes
// itself when the task returns. Counted, its progress control counts from 0 to
// the count as the task advances it and a cancel button (2) asks the task to
// stop; not counted, it is a captionless box at (trunc(800S), trunc(600S)) with
// "お待ちください..." and a running marquee.

#include <QDialog>

#include <functional>

#include "kinetta/base/job_control.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace kinetta {

class CWaitDlg : public QDialog {
public:
    // The task runs on the worker thread; it may call SetProgress and Cancelled.
    using Task = std::function<void(CWaitDlg&)>;

    CWaitDlg(QWidget* owner, Task task, int count, bool counted);
    // Waits for the worker.
    ~CWaitDlg() override;

    // Shows the dialog modally, runs the task and returns 1 when the task
    // returned, 2 when it returned after the user cancelled.
    static int Run(QWidget* owner, Task task, int count, bool counted);
    int Exec();

    // Any thread: the progress control's position (counted form).
    void SetProgress(int value);
    // Any thread: whether the user asked the task to stop.
    bool Cancelled() const { return !job_.Running(); }
    // The job the task runs as (its running flag is the cancel request).
    JobControl& Job() { return job_; }

    bool Counted() const { return counted_; }
    QProgressBar* Progress() const { return progress_; }
    QLabel* TextLabel() const { return text_; }
    QPushButton* CancelButton() const { return cancel_; }

    // Escape and the cancel button only set the cancelled flag.
    void reject() override;

private:
    void Start();
    void Finished();

    Task task_;
    int count_;
    bool counted_;
    int result_ = 1; // UI thread: 1 returned, 2 returned after a cancel
    // Last member but the controls' pointers: destroyed (cancelled and
    // joined) before the task and the dialog's state go.
    JobControl job_;
    QProgressBar* progress_ = nullptr;
    QLabel* text_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

} // namespace kinetta
