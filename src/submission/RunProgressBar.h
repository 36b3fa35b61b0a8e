#pragma once

#include <QFrame>

// The run's progress bar: a strip (the child frame Shape5) that grows with the requests that
// have ended, in proportion to the bar's width however the panel is sized. To a screen reader
// it is a progress bar named in the form, whose value is the share of the run done, in percent.
class RunProgressBar final : public QFrame
{
    Q_OBJECT

public:
    explicit RunProgressBar(QWidget* parent = nullptr);

    // `units` of `fullUnits` done.
    void setProgress(int units, int fullUnits);
    int percentDone() const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void layoutStrip();

    int m_units = 0;
    int m_fullUnits = 1;
};
