#pragma once

#include "EngineSelection.h"
#include "WorkList.h"

#include <QWidget>

#include <memory>

class Dialogs;
class ProfileSource;
class SiteDatabase;
class SiteListModel;

namespace Ui {
class EngineSelectionPage;
}

// The submission page: the whole catalogue on the left, the sites of the next run on the right,
// moved across by hand or by type. The right-hand list is the run's work list.
class EngineSelectionPage final : public QWidget, public WorkList
{
    Q_OBJECT

public:
    EngineSelectionPage(SiteDatabase& catalogue, const ProfileSource& profile, Dialogs& dialogs,
                        QWidget* parent = nullptr);
    ~EngineSelectionPage() override;

    // Opening from the toolbar, before the page is shown: re-enables the controls, checks the
    // profile and refills the catalogue list. False (after the message) when the profile is
    // incomplete; the page must then not be shown.
    bool prepareToolbarOpening();
    // Opening from the toolbar, after the page is shown: the total captions.
    void showTotals();
    // The profile check alone, as opening from the menu does it.
    bool checkProfile();

    // Offers "Resubmit failed" while the last completed run had failures.
    void setResubmitAvailable(bool available);
    // The selected list becomes exactly these sites.
    void replaceSelection(const QStringList& sites);

    // Unchecks "Links and Directories", then "Search Engines", as the end of a completed run does.
    void uncheckTypeFilters();

    const EngineSelection& selection() const { return m_selection; }

    int count() const override;
    QString entry(int index) const override;
    void removeEntry(int index) override;
    void clear() override;
    void setCountCaption(const QString& caption) override;

signals:
    void submitRequested();
    void previewRequested();
    void resubmitFailedRequested();

private:
    void Check2_Click(bool checked);
    void Check3_Click(bool checked);
    void Check4_Click(bool checked);
    void Command11_Click();
    void Command10_Click();

    void typeFilterChanged(bool checked, const QString& type);
    void showSelectedCount();
    static QList<int> highlightedRows(const class QAbstractItemView* view);

    std::unique_ptr<Ui::EngineSelectionPage> ui;
    const ProfileSource& m_profile;
    Dialogs& m_dialogs;
    EngineSelection m_selection;
    SiteListModel* m_catalogueModel;
    SiteListModel* m_selectedModel;
};
