#include "HistoryPage.h"

#include "CsvExport.h"
#include "Dialogs.h"
#include "HistoryDatabase.h"
#include "HistoryReport.h"
#include "RunJournal.h"
#include "TimeText.h"
#include "ui_HistoryPage.h"

#include <QDir>
#include <QHeaderView>
#include <QStandardItemModel>
#include <QTextStream>

using namespace Qt::StringLiterals;

namespace {

QList<QStandardItem*> row(const QStringList& texts)
{
    QList<QStandardItem*> items;
    for (const QString& text : texts) {
        auto* item = new QStandardItem(text);
        item->setToolTip(text); // a detail too long for its column is read whole here
        items << item;
    }
    return items;
}

} // namespace

HistoryPage::HistoryPage(QString historyFile, QString runLockFile, Dialogs& dialogs, QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::HistoryPage>()), m_historyFile(std::move(historyFile)),
      m_runLockFile(std::move(runLockFile)), m_dialogs(dialogs), m_runs(new QStandardItemModel(this)),
      m_results(new QStandardItemModel(this))
{
    ui->setupUi(this);
    m_runs->setHorizontalHeaderLabels(
        {u"Started"_s, u"Profile"_s, u"From"_s, u"Pages"_s, u"State"_s, u"Succeeded"_s, u"Failed"_s});
    m_results->setHorizontalHeaderLabels(
        {u"#"_s, u"Site"_s, u"Outcome"_s, u"Status"_s, u"Detail"_s, u"Pages"_s});
    ui->historyRuns->setModel(m_runs);
    ui->historyResults->setModel(m_results);
    for (QTableView* table : {ui->historyRuns, ui->historyResults}) {
        table->verticalHeader()->hide();
        table->horizontalHeader()->setStretchLastSection(true);
    }
    connect(ui->historyRuns->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &HistoryPage::showResults);
    connect(ui->historyResults->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &HistoryPage::showDetail);
    connect(ui->historyFailuresOnly, &QCheckBox::toggled, this, &HistoryPage::showResults);
    connect(ui->historyExport, &QPushButton::clicked, this, &HistoryPage::onExportClicked);
}

HistoryPage::~HistoryPage() = default;

qint64 HistoryPage::pickedRun() const
{
    const QModelIndex current = ui->historyRuns->currentIndex();
    return current.isValid() ? m_runs->item(current.row())->data().toLongLong() : 0;
}

namespace {

// A baseline records pages as announced: it has no requests that could succeed or fail.
bool sentNothing(const RunJournal::RunSummary& run)
{
    return run.mode == QStringLiteral("baseline") || run.requests == 0;
}

} // namespace

void HistoryPage::reload()
{
    const qint64 picked = pickedRun();
    m_runs->removeRows(0, m_runs->rowCount());
    QString error;
    if (!m_database)
        m_database = HistoryDatabase::open(m_historyFile, HistoryDatabase::Mode::OpenExisting, error);
    if (!error.isEmpty())
        m_dialogs.inform(error, u"Run History"_s, Dialogs::Icon::Warning);
    if (!m_database) {
        showResults();
        return;
    }
    RunJournal journal(*m_database);
    journal.markInterrupted(m_runLockFile);
    int pickRow = 0;
    for (const RunJournal::RunSummary& run : journal.runs()) {
        QList<QStandardItem*> items =
            row({TimeText::shown(run.startedAt), run.profile, run.frontEnd, run.mode, run.state,
                 sentNothing(run) ? QString() : QString::number(run.succeeded),
                 sentNothing(run) ? QString() : QString::number(run.failed)});
        items.first()->setData(run.id);
        if (run.id == picked)
            pickRow = m_runs->rowCount();
        m_runs->appendRow(items);
    }
    ui->historyRuns->resizeColumnsToContents();
    if (m_runs->rowCount() > 0)
        ui->historyRuns->setCurrentIndex(m_runs->index(pickRow, 0));
    showResults();
}

void HistoryPage::showResults()
{
    m_results->removeRows(0, m_results->rowCount());
    const qint64 run = pickedRun();
    if (m_database && run != 0) {
        for (const RunJournal::ResultRow& result :
             RunJournal(*m_database).results(run, ui->historyFailuresOnly->isChecked())) {
            m_results->appendRow(
                row({QString::number(result.position), result.site, result.outcome,
                     result.status ? QString::number(result.status) : QString(), result.detail,
                     result.pageCount ? QString::number(result.pageCount) : QString()}));
        }
    }
    ui->historyResults->resizeColumnsToContents();
    if (m_results->rowCount() > 0)
        ui->historyResults->setCurrentIndex(m_results->index(0, 0));
    showDetail();
}

void HistoryPage::showDetail()
{
    const QModelIndex current = ui->historyResults->currentIndex();
    ui->historyDetail->setText(current.isValid() ? m_results->item(current.row(), 4)->text() : QString());
}

void HistoryPage::onExportClicked()
{
    const qint64 run = pickedRun();
    if (!m_database || run == 0) {
        m_dialogs.inform(u"There is no run to export yet."_s, u"Export Run"_s, Dialogs::Icon::Information);
        return;
    }
    CsvExport::exportNow(
        m_dialogs, u"Export Run"_s, QDir::home().filePath(u"run-%1.csv"_s.arg(run)), u"the run"_s,
        [this, run](QTextStream& out) {
            RunJournal journal(*m_database);
            HistoryReport::writeCsv(journal, {QString(), -1, run, ui->historyFailuresOnly->isChecked()}, out);
        });
}
