#pragma once

#include "Coverage.h"
#include "RunJournal.h"

#include <QWidget>

#include <functional>
#include <memory>

class CoverageModel;
class Dialogs;
class QChartView;

namespace Ui {
class CoveragePage;
}

// The coverage view of the History page: for the profile's website and one site at a time, the
// count of pages in each state, drawn as a bar per state beside the pages announced per run over
// time, and the pages below, all or those of one state, which can be saved as CSV.
class CoveragePage final : public QWidget
{
    Q_OBJECT

public:
    // The name the catalogue gives a site's address.
    using SiteNamer = std::function<QString(const QString& endpoint)>;

    CoveragePage(QString historyFile, SiteNamer siteName, Dialogs& dialogs, QWidget* parent = nullptr);
    ~CoveragePage() override;

    // Reads the coverage of the profile's website afresh from the history.
    void showProfile(const QString& title, const QString& address);

private:
    void showSite();
    void showPages();
    void drawStates(const Coverage::Counts& counts);
    void drawRuns(const QList<RunJournal::AnnouncedPages>& runs);
    void onExportClicked();

    std::unique_ptr<Ui::CoveragePage> ui;
    QString m_historyFile;
    SiteNamer m_siteName;
    Dialogs& m_dialogs;
    CoverageModel* m_model;
    QChartView* m_states;
    QChartView* m_runs;
    std::shared_ptr<const Coverage> m_coverage;
    QStringList m_names; // of the coverage's endpoints
    QString m_summary;   // what the history says about the website as a whole
};
