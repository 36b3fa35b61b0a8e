#include "RunPanel.h"

#include "SocketSlot.h"
#include "StatusLamp.h"
#include "SubmissionRun.h"
#include "ui_RunPanel.h"

using namespace Qt::StringLiterals;

namespace {
// Twips to pixels at 96 dots per inch.
constexpr int twipsPerPixel = 15;
} // namespace

RunPanel::RunPanel(SubmissionRun& run, QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::RunPanel>()), m_run(run)
{
    ui->setupUi(this);
    for (int k = 1; k <= int(m_rows.size()); ++k) {
        m_rows[size_t(k - 1)] = {findChild<QLabel*>(u"Label%1"_s.arg(20 + k)),
                                 findChild<StatusLamp*>(u"sockstat%1"_s.arg(k)),
                                 findChild<QLineEdit*>(u"sockdata%1"_s.arg(k))};
    }
    connect(ui->Command12, &QPushButton::clicked, &m_run, &SubmissionRun::Stop);
    connect(&m_run, &SubmissionRun::changed, this, &RunPanel::refresh);
    for (SocketSlot* slot : m_run.socketSlots())
        connect(slot, &SocketSlot::changed, this, &RunPanel::refresh);
    refresh();
}

RunPanel::~RunPanel() = default;

void RunPanel::refresh()
{
    ui->profileinfo->setText(m_run.profileName());
    ui->addy->setText(m_run.address());
    ui->Label49->setText(m_run.selectedCaption());
    ui->Label50->setText(m_run.leftCaption());
    ui->Shape5->resize(m_run.progressWidth() / twipsPerPixel, ui->Shape5->height());
    for (size_t i = 0; i < m_rows.size(); ++i) {
        const SocketSlot* slot = m_run.socketSlots()[i];
        m_rows[i].caption->setText(slot->caption());
        m_rows[i].status->setText(slot->status());
        m_rows[i].lamp->setColor(slot->lampGreen() ? QColor(0, 255, 0) : QColor(255, 0, 0));
    }
}
