#pragma once

#include "Coverage.h"
#include "PathPatterns.h"
#include "RunJournal.h"

#include <QTimer>
#include <QWidget>

#include <atomic>
#include <functional>
#include <memory>

class CoverageModel;
class Dialogs;
class QChartView;
template <typename T> class QFutureWatcher;

namespace Ui {
class CoveragePage;
}

// The coverage view of the History page: for the profile's website and one site at a time, the
// count of pages in each state, drawn as a bar per state beside the pages announced per run over
// time, and the pages below, all or those of one state, which can be saved as CSV. The history is
// read and the CSV written on threads of their own, with a bar that says how far and Cancel: a
// million pages never hold up the window.
class CoveragePage final : public QWidget
{
    Q_OBJECT

public:
    // The name the catalogue gives a site's address.
    using SiteNamer = std::function<QString(const QString& endpoint)>;

    CoveragePage(QString historyFile, SiteNamer siteName, Dialogs& dialogs, QWidget* parent = nullptr);
    ~CoveragePage() override;

    // Reads the coverage of the profile's website afresh from the history; shown once read.
    // `patterns`: the pages the profile announces; the others count as left out.
    void showProfile(const QString& title, const QString& address, const PathPatterns& patterns = {});

    // What one reading of the history found.
    struct Reading
    {
        std::shared_ptr<Coverage> coverage; // none when no run listed the website's pages
        QList<RunJournal::AnnouncedPages> runs;
        QString error;
    };

private:
    void onRead(const Reading& reading);
    void showSite();
    void showPages();
    void drawStates(const Coverage::Counts& counts);
    void drawRuns(const QList<RunJournal::AnnouncedPages>& runs);
    void onExportClicked();
    void onExported(const QString& path, const QString& error);
    void onCancelClicked();
    void showProgress(const QString& text, qint64 done, qint64 total);
    void hideProgress();

    std::unique_ptr<Ui::CoveragePage> ui;
    QString m_historyFile;
    SiteNamer m_siteName;
    Dialogs& m_dialogs;
    CoverageModel* m_model;
    QChartView* m_states;
    QChartView* m_runs;
    QByteArray m_website; // of the coverage shown or being read
    std::shared_ptr<const Coverage> m_coverage;
    QStringList m_names; // of the coverage's endpoints
    QString m_summary;   // what the history says about the website as a whole
    // The reading under way, if any: a newer one takes its place, Cancel drops it, and what
    // either finds is never shown.
    QFutureWatcher<Reading>* m_reading = nullptr;
    // The export under way, if any, with how many rows it wrote and whether to give up.
    QFutureWatcher<QString>* m_exporting = nullptr;
    std::shared_ptr<std::atomic<qint64>> m_exportedRows;
    std::shared_ptr<std::atomic<bool>> m_exportCancelled;
    qint64 m_exportTotal = 0;
    QTimer m_exportProgress;
};
