#include "CoveragePage.h"

#include "CoverageModel.h"
#include "CoverageReport.h"
#include "CsvExport.h"
#include "Dialogs.h"
#include "GoogleRecords.h"
#include "HistoryDatabase.h"
#include "RunJournal.h"
#include "WebAddress.h"
#include "ui_CoveragePage.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QDir>
#include <QHeaderView>
#include <QLineSeries>
#include <QValueAxis>

using namespace Qt::StringLiterals;

namespace {

const QStringList stateCaptions{u"Accepted"_s, u"Recorded as announced"_s, u"Refused"_s, u"Left out"_s,
                                u"Removed"_s,  u"Never announced"_s};
// Under the bars, where room is short.
const QStringList barCaptions{u"Accepted"_s, u"Recorded"_s, u"Refused"_s,
                              u"Left out"_s, u"Removed"_s,  u"Never"_s};

QChartView* chartView(const QString& name, const QString& title, QWidget* parent)
{
    auto* chart = new QChart;
    chart->setTitle(title);
    chart->legend()->hide();
    chart->setMargins(QMargins(2, 2, 2, 2));
    auto* view = new QChartView(chart, parent);
    view->setObjectName(name);
    view->setAccessibleName(title);
    view->setRenderHint(QPainter::Antialiasing);
    view->setMinimumHeight(150);
    view->setFocusPolicy(Qt::NoFocus);
    return view;
}

// Empties a chart of its series and axes, to draw it afresh.
void clear(QChart* chart)
{
    chart->removeAllSeries();
    for (QAbstractAxis* axis : chart->axes()) {
        chart->removeAxis(axis); // hands the axis back to its caller
        delete axis;
    }
}

// Whole numbers from 0 to `top`, on the left, for the series.
void addCountAxis(QChart* chart, QAbstractSeries* series, int top)
{
    auto* scale = new QValueAxis;
    scale->setRange(0, std::max(1, top));
    scale->setLabelFormat(u"%d"_s);
    chart->addAxis(scale, Qt::AlignLeft);
    series->attachAxis(scale);
}

} // namespace

CoveragePage::CoveragePage(QString historyFile, SiteNamer siteName, Dialogs& dialogs, QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::CoveragePage>()), m_historyFile(std::move(historyFile)),
      m_siteName(std::move(siteName)), m_dialogs(dialogs), m_model(new CoverageModel(this))
{
    ui->setupUi(this);
    m_states = chartView(u"coverageStates"_s, u"Pages by state"_s, this);
    m_runs = chartView(u"coverageRuns"_s, u"Pages announced per run"_s, this);
    ui->coverageCharts->addWidget(m_states, 1);
    ui->coverageCharts->addWidget(m_runs, 1);
    ui->coverageState->addItem(u"All pages"_s);
    ui->coverageState->addItems(stateCaptions);
    ui->coveragePages->setModel(m_model);
    ui->coveragePages->verticalHeader()->hide();
    // One line per page, of one height: a million rows scroll without measuring each.
    ui->coveragePages->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    ui->coveragePages->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    ui->coveragePages->horizontalHeader()->setStretchLastSection(true);
    connect(ui->coverageSite, &QComboBox::currentIndexChanged, this, &CoveragePage::showSite);
    connect(ui->coverageState, &QComboBox::currentIndexChanged, this, &CoveragePage::showPages);
    connect(ui->coverageExport, &QPushButton::clicked, this, &CoveragePage::onExportClicked);
}

CoveragePage::~CoveragePage() = default;

void CoveragePage::showProfile(const QString& title, const QString& address)
{
    m_coverage.reset();
    m_names.clear();
    const QByteArray website = WebAddress::siteOrigin(address);
    QString error;
    const std::unique_ptr<HistoryDatabase> database =
        website.isEmpty() ? nullptr
                          : HistoryDatabase::open(m_historyFile, HistoryDatabase::Mode::OpenExisting, error);
    if (database) {
        auto coverage = std::make_shared<Coverage>(Coverage::read(*database, website, {}, error));
        GoogleRecords(*database).describeIn(*coverage);
        for (const QString& endpoint : coverage->endpoints())
            m_names << m_siteName(endpoint);
        if (error.isEmpty())
            m_coverage = std::move(coverage);
    }
    if (!error.isEmpty())
        m_dialogs.inform(
            u"The history \"%1\" cannot be read: %2."_s.arg(QDir::toNativeSeparators(m_historyFile), error),
            u"Run History"_s, Dialogs::Icon::Warning);
    if (website.isEmpty())
        m_summary = u"The profile has no website address."_s;
    else if (!m_coverage)
        m_summary = u"No run has listed the pages of %1 yet."_s.arg(QString::fromUtf8(website));
    else
        m_summary = CoverageReport::pagesText(*m_coverage);
    drawRuns(database ? RunJournal(*database).announcedPerRun(title) : QList<RunJournal::AnnouncedPages>());
    const QSignalBlocker quiet(ui->coverageSite); // one redraw below, not one per site
    ui->coverageSite->clear();
    ui->coverageSite->addItems(m_names);
    ui->coverageSite->setEnabled(!m_names.isEmpty());
    showSite();
}

void CoveragePage::showSite()
{
    const int endpoint = ui->coverageSite->currentIndex();
    QString text = m_summary;
    Coverage::Counts counts{};
    if (m_coverage && endpoint >= 0) {
        counts = m_coverage->counts(endpoint);
        text += u'\n' + m_names.value(endpoint) + u": "_s + CoverageReport::countsText(counts) + u'.';
    } else if (m_coverage && m_coverage->listedAt() != 0) {
        text += u"\nNone of them has been announced to a site yet."_s;
    }
    ui->coverageSummary->setText(text);
    ui->coverageSummary->setAccessibleDescription(text);
    drawStates(counts);
    showPages();
}

void CoveragePage::showPages()
{
    const int state = ui->coverageState->currentIndex();
    m_model->show(m_coverage, ui->coverageSite->currentIndex(),
                  state <= 0 ? std::nullopt : std::optional(Coverage::State(state - 1)));
    for (const int column :
         {CoverageModel::PageColumn, CoverageModel::StateColumn, CoverageModel::AcceptedColumn})
        ui->coveragePages->resizeColumnToContents(column); // from the rows in view, not all of them
}

void CoveragePage::drawStates(const Coverage::Counts& counts)
{
    QChart* chart = m_states->chart();
    clear(chart);
    auto* pages = new QBarSet(u"Pages"_s);
    pages->setLabelColor(palette().color(QPalette::WindowText)); // the counts stand above the bars
    int most = 0;
    for (const int count : counts) {
        *pages << count;
        most = std::max(most, count);
    }
    auto* series = new QBarSeries;
    series->append(pages);
    series->setLabelsVisible(true);
    series->setLabelsPosition(QAbstractBarSeries::LabelsOutsideEnd); // a count of 5 beside 240 is still read
    chart->addSeries(series);
    auto* states = new QBarCategoryAxis;
    states->append(barCaptions);
    QFont small = states->labelsFont();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    states->setLabelsFont(small);
    chart->addAxis(states, Qt::AlignBottom);
    series->attachAxis(states);
    addCountAxis(chart, series, most + most / 6); // room for the labels above the bars
}

void CoveragePage::drawRuns(const QList<RunJournal::AnnouncedPages>& runs)
{
    QChart* chart = m_runs->chart();
    clear(chart);
    auto* series = new QLineSeries;
    series->setPointsVisible(true);
    int most = 0;
    for (const RunJournal::AnnouncedPages& run : std::as_const(runs)) {
        series->append(qreal(run.startedAt), run.pages);
        most = std::max(most, run.pages);
    }
    chart->addSeries(series);
    auto* time = new QDateTimeAxis;
    const qint64 first = runs.isEmpty() ? QDateTime::currentMSecsSinceEpoch() : runs.first().startedAt;
    const qint64 last = runs.isEmpty() ? first : runs.last().startedAt;
    const qint64 hour = 3600 * 1000; // a single run still gets an axis of some width
    time->setFormat(last - first < 24 * hour ? u"HH:mm"_s : u"MM-dd"_s);
    time->setRange(QDateTime::fromMSecsSinceEpoch(first - hour), QDateTime::fromMSecsSinceEpoch(last + hour));
    time->setTickCount(3);
    chart->addAxis(time, Qt::AlignBottom);
    series->attachAxis(time);
    addCountAxis(chart, series, most);
}

void CoveragePage::onExportClicked()
{
    if (!m_coverage || m_coverage->endpoints().isEmpty()) {
        m_dialogs.inform(u"There are no announced pages to export yet."_s, u"Export Pages"_s,
                         Dialogs::Icon::Information);
        return;
    }
    const int state = ui->coverageState->currentIndex();
    const CoverageReport::Filter filter{ui->coverageSite->currentIndex(),
                                        state <= 0 ? std::nullopt
                                                   : std::optional(Coverage::State(state - 1))};
    exportCsv(m_dialogs, u"Export Pages"_s,
              QDir::home().filePath(QString::fromUtf8(WebAddress::hostOf(m_coverage->website())) +
                                    u"-coverage.csv"_s),
              u"The pages"_s, [this, &filter](QTextStream& out) {
                  CoverageReport::writeCsv(*m_coverage, m_names, filter, out);
              });
}
