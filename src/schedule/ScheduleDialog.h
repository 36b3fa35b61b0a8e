#pragma once

#include "Schedule.h"
#include "ScheduleEditor.h"

#include <QDialog>

#include <memory>

class Dialogs;

namespace Ui {
class ScheduleDialog;
}

// The profile's regular run, from the window: which sites, what to send, when (every day,
// every week, or a calendar of one's own, with its next five runs shown as it is typed), and
// the schedule kept now with its last run. It shows what ScheduleEditor reads and forwards the
// user's choices to it.
class ScheduleDialog final : public QDialog
{
    Q_OBJECT

public:
    // `selectedSites` and `changedPages` are the submission page's choices, offered when the
    // profile has no schedule yet (and the selection whenever it is not empty).
    ScheduleDialog(std::unique_ptr<ScheduleEditor> editor, const QStringList& selectedSites,
                   bool changedPages, Dialogs& dialogs, QWidget* parent = nullptr);
    ~ScheduleDialog() override;

private:
    void preset(bool changedPages);
    ScheduleEditor::Timing timing() const;
    Schedule chosen() const;
    void onTimingChanged();
    void showCalendar(const QString& text, bool usable);
    void showKept();
    void onSetClicked();
    void onRemoveClicked();

    std::unique_ptr<Ui::ScheduleDialog> ui;
    std::unique_ptr<ScheduleEditor> m_editor;
    Dialogs& m_dialogs;
    QStringList m_selectedSites;
};
