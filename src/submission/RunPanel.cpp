#include "RunPanel.h"

#include "StatusLamp.h"
#include "SubmissionRun.h"
#include "ui_RunPanel.h"

using namespace Qt::StringLiterals;

namespace {

// What each lane's row says of the request it carries.
QString wordFor(TransferLane::State state)
{
    switch (state) {
    case TransferLane::State::Working:
        return u"Working"_s;
    case TransferLane::State::Succeeded:
        return u"Submission Successful"_s;
    case TransferLane::State::Failed:
        return u"Connection Error"_s;
    case TransferLane::State::Idle:
        break;
    }
    return u"Listening"_s;
}

} // namespace

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
        showLane(k);

    connect(ui->Command12, &QPushButton::clicked, &m_run, &SubmissionRun::requestStop);
    connect(&m_run, &SubmissionRun::started, this, &RunPanel::onStarted);
    connect(&m_run, &SubmissionRun::leftChanged, this, &RunPanel::showLeft);
    connect(&m_run, &SubmissionRun::progressChanged, this, &RunPanel::showProgress);
    // The lamp is lit while its lane works and goes out when the request ends; a reset leaves
    // it as it is.
    connect(&m_run, &SubmissionRun::requestStarted, this, [this](int lane) {
        m_rows[size_t(lane)].lamp->setColor(QColor(0, 255, 0));
        showLane(lane);
    });
    connect(&m_run, &SubmissionRun::requestEnded, this, [this](int lane) {
        m_rows[size_t(lane)].lamp->setColor(QColor(255, 0, 0));
        showLane(lane);
    });
    connect(&m_run, &SubmissionRun::lanesReset, this, [this] {
        for (int k = 0; k < int(m_rows.size()); ++k)
            showLane(k);
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

void RunPanel::showLane(int index)
{
    const TransferLane& lane = m_run.lane(index);
    const SlotRow& row = m_rows[size_t(index)];
    row.caption->setText(lane.request() < 0 ? u"Socket %1"_s.arg(index + 1)
                                            : m_run.item(lane.request()).caption());
    row.status->setText(wordFor(lane.state()));
}

void RunPanel::showProgress(int units)
{
    ui->Picture2->setProgress(units, SubmissionRun::barUnits);
}
