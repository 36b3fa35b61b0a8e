#include "HistoryPage.h"

#include "Dialogs.h"
#include "HistoryStore.h"
#include "ui_HistoryPage.h"

#include <QDateTime>
#include <QDir>
#include <QHeaderView>
#include <QSaveFile>
#include <QStandardItemModel>

using namespace Qt::StringLiterals;

namespace {

QList<QStandardItem*> row(const QStringList& texts)
{
    QList<QStandardItem*> items;
    for (const QString& text : texts)
        items << new QStandardItem(text);
    return items;
}

} // namespace

HistoryPage::HistoryPage(HistoryStore* store, Dialogs& dialogs, QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::HistoryPage>()), m_store(store), m_dialogs(dialogs),
      m_runs(new QStandardItemModel(this)), m_results(new QStandardItemModel(this))
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
    connect(ui->historyFailuresOnly, &QCheckBox::toggled, this, &HistoryPage::showResults);
    connect(ui->historyExport, &QPushButton::clicked, this, &HistoryPage::onExportClicked);
}

HistoryPage::~HistoryPage() = default;

qint64 HistoryPage::pickedRun() const
{
    const QModelIndex current = ui->historyRuns->currentIndex();
    return current.isValid() ? m_runs->item(current.row())->data().toLongLong() : 0;
}

void HistoryPage::reload()
{
    const qint64 picked = pickedRun();
    m_runs->removeRows(0, m_runs->rowCount());
    if (!m_store)
        return;
    int pickRow = 0;
    for (const HistoryStore::RunSummary& run : m_store->runs()) {
        QList<QStandardItem*> items = row(
            {QDateTime::fromMSecsSinceEpoch(run.startedAt).toString(u"yyyy-MM-dd HH:mm"_s), run.profile,
             run.frontEnd, run.mode, run.state, QString::number(run.succeeded), QString::number(run.failed)});
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
    if (!m_store || run == 0)
        return;
    for (const HistoryStore::ResultRow& result :
         m_store->results(run, ui->historyFailuresOnly->isChecked())) {
        m_results->appendRow(row({QString::number(result.position), result.site, result.outcome,
                                  result.status ? QString::number(result.status) : QString(), result.detail,
                                  result.urlCount ? QString::number(result.urlCount) : QString()}));
    }
    ui->historyResults->resizeColumnsToContents();
}

void HistoryPage::onExportClicked()
{
    const qint64 run = pickedRun();
    if (!m_store || run == 0) {
        m_dialogs.inform(u"There is no run to export yet."_s, u"Export Run"_s, Dialogs::Icon::Information);
        return;
    }
    const QString path =
        m_dialogs.saveFileName(u"Export Run"_s, QDir::home().filePath(u"run-%1.csv"_s.arg(run)));
    if (path.isEmpty())
        return;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !m_store->exportCsv(run, file) || !file.commit())
        m_dialogs.inform(u"The run could not be exported to \"%1\": %2."_s.arg(path, file.errorString()),
                         u"Export Run"_s, Dialogs::Icon::Critical);
}
