#pragma once

#include <QWidget>

#include <array>
#include <memory>

class QLabel;
class QLineEdit;
class StatusLamp;
class SubmissionRun;

namespace Ui {
class RunPanel;
}

// The run panel: the profile and address of the run, the counts, the progress bar, the five
// slot rows and the stop button. It shows what the run reports and forwards the stop request.
class RunPanel final : public QWidget
{
    Q_OBJECT

public:
    explicit RunPanel(SubmissionRun& run, QWidget* parent = nullptr);
    ~RunPanel() override;

private:
    struct SlotRow
    {
        QLabel* caption;
        StatusLamp* lamp;
        QLineEdit* status;
    };

    void onStarted(int siteCount, const QString& profileName, const QString& address);
    void showLeft(int left);
    void showLane(int index);
    void showProgress(int units);

    std::unique_ptr<Ui::RunPanel> ui;
    SubmissionRun& m_run;
    std::array<SlotRow, 5> m_rows{};
};
