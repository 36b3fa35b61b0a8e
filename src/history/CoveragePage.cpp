#include "CoveragePage.h"

#include "CoverageModel.h"
#include "CoverageReport.h"
#include "CsvExport.h"
#include "Dialogs.h"
#include "GoogleRecords.h"
#include "HistoryDatabase.h"
#include "ProgressBars.h"
#include "RunJournal.h"
#include "TimeText.h"
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
#include <QFutureWatcher>
#include <QHeaderView>
#include <QLineSeries>
#include <QValueAxis>
#include <QtConcurrent/QtConcurrentRun>

using namespace Qt::StringLiterals;

namespace {

const QStringList stateCaptions{u"Accepted"_s, u"Recorded as announced"_s, u"Refused"_s, u"Left out"_s,
                                u"Removed"_s,  u"Never announced"_s};
// Under the bars, where room is short.
const QStringList barCaptions{u"Accepted"_s, u"Recorded"_s, u"Refused"_s,
                              u"Left out"_s, u"Removed"_s,  u"Never"_s};
const QString runsTitle = u"Pages announced per run"_s;

QChartView* chartView(const QString& name, const QString& title, QWidget* parent)
{
    auto* chart = new QChart;
    chart->setTitle(title);
    chart->legend()->hide();
    chart->setMargins(QMargins(2, 2, 2, 2));
    chart->setLocalizeNumbers(true); // counts with the locale's separators: "1,000,000", not "1e+06"
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

// Whole numbers from 0 to at least `top`, on the left, in round steps, for the series.
void addCountAxis(QChart* chart, QAbstractSeries* series, int top)
{
    auto* scale = new QValueAxis;
    scale->setRange(0, std::max(1, top));
    scale->setTickCount(std::min(5, std::max(2, top + 1)));
    scale->applyNiceNumbers();
    scale->setLabelFormat(u"%.0f"_s); // localised: "%d" draws no label at all once numbers are localised
    chart->addAxis(scale, Qt::AlignLeft);
    series->attachAxis(scale);
}

QString number(qint64 count)
{
    return QLocale().toString(count);
}

// What one reading of the history finds, on a thread of its own: the file is opened for reading
// only, with a reader's patience.
CoveragePage::Reading readHistory(const QString& historyFile, const QByteArray& website, const QString& title,
                                  const PathPatterns& patterns)
{
    CoveragePage::Reading reading;
    const std::unique_ptr<HistoryDatabase> database =
        HistoryDatabase::open(historyFile, HistoryDatabase::Mode::OpenExisting, reading.error);
    if (!database)
        return reading;
    auto coverage =
        std::make_shared<Coverage>(Coverage::read(*database, website, {}, reading.error, patterns));
    GoogleRecords(*database).describeIn(*coverage, TimeText::shownDate);
    if (reading.error.isEmpty() && coverage->listedAt() != 0)
        reading.coverage = std::move(coverage);
    reading.runs = RunJournal(*database).announcedPerRun(title);
    return reading;
}

} // namespace

CoveragePage::CoveragePage(QString historyFile, SiteNamer siteName, Dialogs& dialogs, QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::CoveragePage>()), m_historyFile(std::move(historyFile)),
      m_siteName(std::move(siteName)), m_dialogs(dialogs), m_model(new CoverageModel(this))
{
    ui->setupUi(this);
    m_states = chartView(u"coverageStates"_s, u"Pages by state"_s, this);
    m_runs = chartView(u"coverageRuns"_s, runsTitle, this);
    ui->coverageCharts->addWidget(m_states, 3); // six bars and their names need the room
    ui->coverageCharts->addWidget(m_runs, 2);
    ui->coverageState->addItem(u"All pages"_s);
    ui->coverageState->addItems(stateCaptions);
    ui->coveragePages->setModel(m_model);
    ui->coveragePages->verticalHeader()->hide();
    // One line per page, of one height: a million rows scroll without measuring each.
    ui->coveragePages->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    ui->coveragePages->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    ui->coveragePages->horizontalHeader()->setStretchLastSection(true);
    ui->coverageProgress->setMinimumWidth(
        fontMetrics().horizontalAdvance(u"Exporting the pages: 1,000,000 of 1,000,000"_s) + 40);
    connect(ui->coverageSite, &QComboBox::currentIndexChanged, this, &CoveragePage::showSite);
    connect(ui->coverageState, &QComboBox::currentIndexChanged, this, &CoveragePage::showPages);
    connect(ui->coverageExport, &QPushButton::clicked, this, &CoveragePage::onExportClicked);
    connect(ui->coverageCancel, &QPushButton::clicked, this, &CoveragePage::onCancelClicked);
    m_exportProgress.setInterval(100);
    connect(&m_exportProgress, &QTimer::timeout, this,
            [this] { showProgress(u"Exporting the pages"_s, m_exportedRows->load(), m_exportTotal); });
    drawRuns({});
}

CoveragePage::~CoveragePage()
{
    // A write under way finishes first: its file is whole or not there.
    if (m_exporting) {
        m_exportCancelled->store(true);
        m_exporting->waitForFinished();
    }
}

void CoveragePage::showProfile(const QString& title, const QString& address, const PathPatterns& patterns)
{
    delete m_reading; // what an older reading finds is not wanted any more
    m_reading = nullptr;
    m_website = WebAddress::siteOrigin(address);
    if (m_website.isEmpty()) {
        onRead({});
        return;
    }
    m_summary = u"Reading the coverage of %1…"_s.arg(QString::fromUtf8(m_website));
    ui->coverageSummary->setText(m_summary);
    showProgress(u"Reading the coverage"_s, 0, 0);
    m_reading = new QFutureWatcher<Reading>(this);
    connect(m_reading, &QFutureWatcher<Reading>::finished, this, [this, reading = m_reading] {
        m_reading = nullptr;
        reading->deleteLater();
        onRead(reading->result());
    });
    m_reading->setFuture(QtConcurrent::run(&readHistory, m_historyFile, m_website, title, patterns));
}

void CoveragePage::onRead(const Reading& reading)
{
    if (!m_exporting)
        hideProgress();
    m_coverage = reading.coverage;
    m_names.clear();
    if (m_coverage) {
        for (const QString& endpoint : m_coverage->endpoints())
            m_names << m_siteName(endpoint);
    }
    if (!reading.error.isEmpty())
        m_dialogs.inform(u"The history \"%1\" cannot be read: %2."_s.arg(
                             QDir::toNativeSeparators(m_historyFile), reading.error),
                         u"Run History"_s, Dialogs::Icon::Warning);
    if (m_website.isEmpty())
        m_summary = u"The profile has no website address."_s;
    else if (!m_coverage)
        m_summary = u"No run has listed the pages of %1 yet."_s.arg(QString::fromUtf8(m_website));
    else
        m_summary = CoverageReport::pagesText(*m_coverage, TimeText::shown);
    drawRuns(reading.runs);
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
    QStringList said; // the chart in words, for those who do not see it
    for (size_t state = 0; state < counts.size(); ++state) {
        *pages << counts[state];
        most = std::max(most, counts[state]);
        said << u"%1: %2"_s.arg(stateCaptions.at(qsizetype(state)), number(counts[state]));
    }
    auto* series = new QBarSeries;
    series->append(pages);
    series->setLabelsVisible(true);
    series->setLabelsPrecision(16);                                  // whole numbers, however large
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
    m_states->setAccessibleDescription(said.join(u", "_s) + u'.');
}

void CoveragePage::drawRuns(const QList<RunJournal::AnnouncedPages>& runs)
{
    QChart* chart = m_runs->chart();
    clear(chart);
    if (runs.isEmpty()) { // no axes that would read "1, 0, 0, 0, 0"
        chart->setTitle(runsTitle + u": no runs yet"_s);
        m_runs->setAccessibleDescription(u"No run has announced pages yet."_s);
        return;
    }
    chart->setTitle(runsTitle);
    auto* series = new QLineSeries;
    series->setPointsVisible(true);
    int most = 0;
    QStringList said;
    for (const RunJournal::AnnouncedPages& run : runs) {
        series->append(qreal(run.startedAt), run.pages);
        most = std::max(most, run.pages);
        said << u"%1: %2"_s.arg(TimeText::shown(run.startedAt), number(run.pages));
    }
    chart->addSeries(series);
    // A time axis as wide as the runs are apart, with room on both sides: runs minutes apart
    // are minutes apart on it, a single run stands in the middle.
    constexpr qint64 minute = 60 * 1000;
    constexpr qint64 day = 24 * 60 * minute;
    const qint64 first = runs.first().startedAt;
    const qint64 last = runs.last().startedAt;
    const qint64 room = std::max<qint64>((last - first) / 10, minute);
    const qint64 span = last - first + 2 * room;
    auto* time = new QDateTimeAxis;
    time->setFormat(span <= 10 * minute ? u"HH:mm:ss"_s
                    : span <= day       ? u"HH:mm"_s
                    : span <= 7 * day   ? u"d MMM HH:mm"_s
                    : span <= 365 * day ? u"d MMM"_s
                                        : u"MMM yyyy"_s);
    time->setRange(QDateTime::fromMSecsSinceEpoch(first - room), QDateTime::fromMSecsSinceEpoch(last + room));
    time->setTickCount(4);
    chart->addAxis(time, Qt::AlignBottom);
    series->attachAxis(time);
    addCountAxis(chart, series, most);
    m_runs->setAccessibleDescription(u"Pages announced per run: "_s + said.join(u"; "_s) + u'.');
}

void CoveragePage::onExportClicked()
{
    if (m_exporting)
        return;
    if (!m_coverage || m_coverage->endpoints().isEmpty()) {
        m_dialogs.inform(u"There are no announced pages to export yet."_s, u"Export Pages"_s,
                         Dialogs::Icon::Information);
        return;
    }
    const QString path = CsvExport::askPath(
        m_dialogs, u"Export Pages"_s,
        QDir::home().filePath(QString::fromUtf8(WebAddress::hostOf(m_coverage->website())) +
                              u"-coverage.csv"_s));
    if (path.isEmpty())
        return;
    const int state = ui->coverageState->currentIndex();
    const CoverageReport::Filter filter{ui->coverageSite->currentIndex(),
                                        state <= 0 ? std::nullopt
                                                   : std::optional(Coverage::State(state - 1))};
    m_exportTotal = m_model->rowCount();
    m_exportedRows = std::make_shared<std::atomic<qint64>>(0);
    m_exportCancelled = std::make_shared<std::atomic<bool>>(false);
    m_exporting = new QFutureWatcher<QString>(this);
    connect(m_exporting, &QFutureWatcher<QString>::finished, this,
            [this, path] { onExported(path, m_exporting->result()); });
    m_exporting->setFuture(QtConcurrent::run([path, filter, coverage = m_coverage, names = m_names,
                                              rows = m_exportedRows, cancelled = m_exportCancelled] {
        return CsvExport::write(path, [&](QTextStream& out) {
            return CoverageReport::writeCsv(*coverage, names, filter, out, [&](qint64 written) {
                       rows->store(written);
                       return !cancelled->load();
                   }) >= 0;
        });
    }));
    showProgress(u"Exporting the pages"_s, 0, m_exportTotal);
    m_exportProgress.start();
}

void CoveragePage::onExported(const QString& path, const QString& error)
{
    m_exportProgress.stop();
    m_exporting->deleteLater();
    m_exporting = nullptr;
    if (!m_reading)
        hideProgress();
    CsvExport::tell(m_dialogs, u"Export Pages"_s, u"the pages"_s, path, error);
}

void CoveragePage::onCancelClicked()
{
    if (m_exporting) {
        m_exportCancelled->store(true); // said once the file is given up
        return;
    }
    delete m_reading;
    m_reading = nullptr;
    hideProgress();
    m_summary = u"Reading the coverage was cancelled."_s;
    ui->coverageSummary->setText(m_summary);
}

void CoveragePage::showProgress(const QString& text, qint64 done, qint64 total)
{
    ProgressBars::show(*ui->coverageProgress, text, done, total);
    ui->coverageCancel->setVisible(true);
}

void CoveragePage::hideProgress()
{
    ui->coverageProgress->setVisible(false);
    ui->coverageCancel->setVisible(false);
}
