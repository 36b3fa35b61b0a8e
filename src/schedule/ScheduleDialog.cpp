#include "ScheduleDialog.h"

#include "Dialogs.h"
#include "ScheduleDetails.h"
#include "ui_ScheduleDialog.h"

#include <QLocale>

using namespace Qt::StringLiterals;

namespace {
const QStringList types{u"engine"_s, u"list"_s}; // in the order of the type box
const QString title = u"Schedule"_s;
} // namespace

ScheduleDialog::ScheduleDialog(std::unique_ptr<ScheduleEditor> editor, const QStringList& selectedSites,
                               bool changedPages, Dialogs& dialogs, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::ScheduleDialog>()), m_editor(std::move(editor)),
      m_dialogs(dialogs), m_selectedSites(selectedSites)
{
    ui->setupUi(this);
    for (int day = Qt::Monday; day <= Qt::Sunday; ++day)
        ui->scheduleWeekday->addItem(QLocale().dayName(day));
    ui->scheduleProfile->setText(m_editor->profileText());
    // Room for the five runs from the start, so that the dialog does not have to grow for them.
    ui->scheduleNextRuns->setMinimumHeight(ui->scheduleNextRuns->fontMetrics().lineSpacing() * 5);
    // With nothing selected on the page, a schedule of named sites offers its own, so that setting
    // it again does not quietly put other sites in their place.
    const std::optional<ScheduleKeeper::Kept>& kept = m_editor->kept();
    const bool keptNames = selectedSites.isEmpty() && kept && kept->schedule.sites == Schedule::Sites::Named;
    if (keptNames)
        m_selectedSites = kept->schedule.names;
    ui->scheduleSelected->setText(
        (keptNames ? u"The schedule's &named sites (%1)"_s : u"The sites selected &now (%1)"_s)
            .arg(m_selectedSites.size()));
    ui->scheduleSelected->setEnabled(!m_selectedSites.isEmpty());
    const bool waits = m_editor->waitsForLogin();
    ui->scheduleLinger->setVisible(waits);
    ui->scheduleLingerCommand->setVisible(waits);
    ui->scheduleLinger->setText(ScheduleDetails::lingerAdvice);
    ui->scheduleLingerCommand->setText(ScheduleDetails::lingerCommand);
    preset(changedPages);
    showKept();

    connect(m_editor.get(), &ScheduleEditor::calendarRead, this, &ScheduleDialog::showCalendar);
    connect(m_editor.get(), &ScheduleEditor::keptChanged, this, &ScheduleDialog::showKept);
    for (QRadioButton* way : {ui->scheduleDaily, ui->scheduleWeekly, ui->scheduleOwn})
        connect(way, &QAbstractButton::toggled, this, [this](bool on) {
            if (on)
                onTimingChanged();
        });
    for (QTimeEdit* time : {ui->scheduleDailyTime, ui->scheduleWeeklyTime})
        connect(time, &QTimeEdit::timeChanged, this, &ScheduleDialog::onTimingChanged);
    connect(ui->scheduleWeekday, &QComboBox::currentIndexChanged, this, &ScheduleDialog::onTimingChanged);
    connect(ui->scheduleCalendar, &QLineEdit::textChanged, this, &ScheduleDialog::onTimingChanged);
    connect(ui->scheduleType, &QAbstractButton::toggled, ui->scheduleTypeChoice, &QWidget::setEnabled);
    connect(ui->setSchedule, &QAbstractButton::clicked, this, &ScheduleDialog::onSetClicked);
    connect(ui->removeSchedule, &QAbstractButton::clicked, this, &ScheduleDialog::onRemoveClicked);
    connect(ui->closeSchedule, &QAbstractButton::clicked, this, &QDialog::reject);
    onTimingChanged();
}

ScheduleDialog::~ScheduleDialog() = default;

// The kept schedule where there is one, else the submission page's choices, every day at 06:00.
void ScheduleDialog::preset(bool changedPages)
{
    const std::optional<ScheduleKeeper::Kept>& kept = m_editor->kept();
    const Schedule::Sites sites = kept                        ? kept->schedule.sites
                                  : m_selectedSites.isEmpty() ? Schedule::Sites::Type
                                                              : Schedule::Sites::Named;
    (sites == Schedule::Sites::Named ? ui->scheduleSelected
     : sites == Schedule::Sites::All ? ui->scheduleAll
                                     : ui->scheduleType)
        ->setChecked(true);
    ui->scheduleTypeChoice->setCurrentIndex(kept ? std::max(0, int(types.indexOf(kept->schedule.type))) : 0);
    ui->scheduleTypeChoice->setEnabled(ui->scheduleType->isChecked());
    (kept ? kept->schedule.changedPages : changedPages) ? ui->scheduleChangedPages->setChecked(true)
                                                        : ui->scheduleAddress->setChecked(true);

    const ScheduleEditor::Timing shown =
        kept ? ScheduleEditor::Timing::of(kept->schedule.calendar) : ScheduleEditor::Timing{};
    using Kind = ScheduleEditor::Timing::Kind;
    (shown.kind == Kind::Daily    ? ui->scheduleDaily
     : shown.kind == Kind::Weekly ? ui->scheduleWeekly
                                  : ui->scheduleOwn)
        ->setChecked(true);
    (shown.kind == Kind::Weekly ? ui->scheduleWeeklyTime : ui->scheduleDailyTime)->setTime(shown.time);
    ui->scheduleWeekday->setCurrentIndex(shown.weekday - 1);
    ui->scheduleCalendar->setText(shown.own);
}

ScheduleEditor::Timing ScheduleDialog::timing() const
{
    using Kind = ScheduleEditor::Timing::Kind;
    if (ui->scheduleWeekly->isChecked())
        return {Kind::Weekly, ui->scheduleWeekday->currentIndex() + 1, ui->scheduleWeeklyTime->time(), {}};
    if (ui->scheduleOwn->isChecked())
        return {Kind::Own, 1, {}, ui->scheduleCalendar->text()};
    return {Kind::Daily, 1, ui->scheduleDailyTime->time(), {}};
}

Schedule ScheduleDialog::chosen() const
{
    Schedule schedule;
    if (ui->scheduleSelected->isChecked()) {
        schedule.sites = Schedule::Sites::Named;
        schedule.names = m_selectedSites;
    } else if (ui->scheduleType->isChecked()) {
        schedule.sites = Schedule::Sites::Type;
        schedule.type = types.value(ui->scheduleTypeChoice->currentIndex());
    }
    schedule.changedPages = ui->scheduleChangedPages->isChecked();
    schedule.calendar = timing().calendar();
    return schedule;
}

void ScheduleDialog::onTimingChanged()
{
    ui->scheduleDailyTime->setEnabled(ui->scheduleDaily->isChecked());
    ui->scheduleWeekday->setEnabled(ui->scheduleWeekly->isChecked());
    ui->scheduleWeeklyTime->setEnabled(ui->scheduleWeekly->isChecked());
    ui->scheduleCalendar->setEnabled(ui->scheduleOwn->isChecked());
    ui->setSchedule->setEnabled(false); // until the calendar is read
    ui->scheduleNextRuns->setText(u"Reading the calendar…"_s);
    m_editor->chooseCalendar(timing().calendar());
}

void ScheduleDialog::showCalendar(const QString& text, bool usable)
{
    ui->scheduleNextRuns->setText(text);
    ui->setSchedule->setEnabled(usable);
}

void ScheduleDialog::showKept()
{
    ui->scheduleKept->setText(m_editor->keptText());
    ui->removeSchedule->setEnabled(m_editor->kept().has_value());
}

void ScheduleDialog::onSetClicked()
{
    QString error;
    if (!m_editor->set(chosen(), error))
        m_dialogs.inform(error, title, Dialogs::Icon::Warning);
}

void ScheduleDialog::onRemoveClicked()
{
    QString error;
    if (!m_editor->remove(error))
        m_dialogs.inform(error, title, Dialogs::Icon::Warning);
}
