#include "RunPanel.h"

#include "StatusLamp.h"
#include "SubmissionRun.h"
#include "ui_RunPanel.h"

#include <QEvent>

using namespace Qt::StringLiterals;

RunPanel::RunPanel(SubmissionRun& run, QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::RunPanel>()), m_run(run)
{
    ui->setupUi(this);
    m_rows = {{{ui->Label21, ui->sockstat1, ui->sockdata1},
               {ui->Label22, ui->sockstat2, ui->sockdata2},
               {ui->Label23, ui->sockstat3, ui->sockdata3},
               {ui->Label24, ui->sockstat4, ui->sockdata4},
               {ui->Label25, ui->sockstat5, ui->sockdata5}}};
    for (int k = 0; k < int(m_rows.size()); ++k)
        showSlot(k);
    ui->Picture2->installEventFilter(this); // the bar keeps its proportion when the panel is resized

    connect(ui->Command12, &QPushButton::clicked, &m_run, &SubmissionRun::requestStop);
    connect(&m_run, &SubmissionRun::started, this, &RunPanel::onStarted);
    connect(&m_run, &SubmissionRun::leftChanged, this, &RunPanel::showLeft);
    connect(&m_run, &SubmissionRun::progressChanged, this, &RunPanel::showProgress);
    connect(&m_run, &SubmissionRun::siteStarted, this, &RunPanel::showSlot);
    connect(&m_run, &SubmissionRun::siteEnded, this, &RunPanel::showSlot);
    connect(&m_run, &SubmissionRun::slotsReset, this, [this] {
        for (int k = 0; k < int(m_rows.size()); ++k)
            showSlot(k);
    });
}

RunPanel::~RunPanel() = default;

void RunPanel::onStarted(int siteCount, const QString& profileName, const QString& address)
{
    ui->Label49->setText(u"Total Engines Selected: "_s + QString::number(siteCount));
    showLeft(siteCount);
    ui->profileinfo->setText(profileName);
    ui->addy->setText(address);
}

void RunPanel::showLeft(int left)
{
    ui->Label50->setText(u"Total Engines Left: "_s + QString::number(left));
}

void RunPanel::showSlot(int index)
{
    const SocketSlot& slot = m_run.socketSlot(index);
    const SlotRow& row = m_rows[size_t(index)];
    row.caption->setText(slot.caption());
    row.status->setText(slot.status());
    row.lamp->setColor(slot.lampGreen() ? QColor(0, 255, 0) : QColor(255, 0, 0));
}

void RunPanel::showProgress(int units)
{
    m_progressUnits = units;
    ui->Shape5->resize(int(qint64(units) * ui->Picture2->width() / SubmissionRun::barUnits),
                       ui->Picture2->height());
}

bool RunPanel::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ui->Picture2 && event->type() == QEvent::Resize)
        showProgress(m_progressUnits);
    return QWidget::eventFilter(watched, event);
}
