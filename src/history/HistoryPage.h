#pragma once

#include <QWidget>

#include <memory>

class Dialogs;
class HistoryStore;
class QStandardItemModel;

namespace Ui {
class HistoryPage;
}

// The history page: the recorded runs, newest first, and the requests of the one picked, all of
// them or only the failures; a run can be exported as CSV. It shows HistoryStore.
class HistoryPage final : public QWidget
{
    Q_OBJECT

public:
    HistoryPage(HistoryStore* store, Dialogs& dialogs, QWidget* parent = nullptr);
    ~HistoryPage() override;

    // Reads the runs again, keeping the one picked when it is still there.
    void reload();

private:
    void showResults();
    void onExportClicked();
    qint64 pickedRun() const;

    std::unique_ptr<Ui::HistoryPage> ui;
    HistoryStore* m_store; // none when the history could not be opened
    Dialogs& m_dialogs;
    QStandardItemModel* m_runs;
    QStandardItemModel* m_results;
};
