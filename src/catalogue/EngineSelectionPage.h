#pragma once

#include "EngineSelection.h"

#include <QWidget>

#include <memory>

class QAbstractItemView;
class SiteDatabase;

namespace Ui {
class EngineSelectionPage;
}

// The submission page: the whole catalogue on the left, the sites of the next run on the right,
// moved across by hand or by type. It shows EngineSelection and forwards Submit, Preview,
// "Resubmit failed" and Schedule to the window.
class EngineSelectionPage final : public QWidget
{
    Q_OBJECT

public:
    explicit EngineSelectionPage(SiteDatabase& catalogue, QWidget* parent = nullptr);
    ~EngineSelectionPage() override;

    // Opening from the toolbar, before the profile is checked: every control enabled again and
    // the selection's count shown.
    void prepareToolbarOpening();
    // Opening from the toolbar, once the profile passed: the catalogue list afresh.
    void refillCatalogue();
    // Opening from the toolbar, once the page is on show: the total captions.
    void showTotals();

    // Offers "Resubmit failed" while the last run had failures.
    void setResubmitAvailable(bool available);
    // The selected list becomes exactly these sites.
    void replaceSelection(const QStringList& sites);
    // Unchecks "Links and Directories", then "Search Engines", as the end of a completed run does.
    void uncheckTypeFilters();

    const EngineSelection& selection() const { return m_selection; }

    // Whether the next run sends the sitemap's changed pages instead of the profile's address.
    bool changedPagesChosen() const;
    // Whether each page is fetched and checked before it is announced.
    bool checkPagesChosen() const;
    // What the window found out about the sitemap's pages, shown under the choice.
    void showPagesSummary(const QString& text);
    // How far the reading of the sitemaps or the check of the pages is, below the summary, with
    // a Cancel button: "Checking the pages: 3,068 of 1,000,000, about 2 min left", or a busy bar
    // while the total is not known (0).
    void showPreparation(const QString& what, qsizetype done, qsizetype total, const QString& timeLeft = {});
    void hidePreparation();
    // What is prepared is being written and cannot be given up: the Cancel button says so.
    void showRecording(const QString& what);

signals:
    void pagesModeChanged(bool changedPages);
    // The sites of the next run changed, by hand or by type.
    void selectionChanged();
    void submitRequested();
    void previewRequested();
    void resubmitFailedRequested();
    void scheduleRequested();
    void checkPagesChanged(bool checkPages);
    void baselineRequested();
    void preparationCancelRequested();

private:
    void onEnginesToggled(bool checked);
    void onListsToggled(bool checked);
    void onSelectAllToggled(bool checked);
    void onAddClicked();
    void onRemoveClicked();

    void typeFilterChanged(bool checked, const QString& type);
    void showSelectedCount();
    static QList<int> highlightedRows(const QAbstractItemView* view);

    std::unique_ptr<Ui::EngineSelectionPage> ui;
    EngineSelection m_selection;
};
