#pragma once

#include <QWidget>

#include <memory>

class Dialogs;
class HistoryDatabase;
class QStandardItemModel;

namespace Ui {
class HistoryPage;
}

// The history page: the recorded runs, newest first, and the requests of the one picked, all of
// them or only the failures, with the whole of the picked request's detail (the engine's answer)
// below; a run can be exported as CSV. It shows the journal of history.db.
class HistoryPage final : public QWidget
{
    Q_OBJECT

public:
    HistoryPage(QString historyFile, QString runLockFile, Dialogs& dialogs, QWidget* parent = nullptr);
    ~HistoryPage() override;

    // Reads the runs again, keeping the one picked when it is still there.
    void reload();

private:
    void showResults();
    void showDetail();
    void onExportClicked();
    qint64 pickedRun() const;

    std::unique_ptr<Ui::HistoryPage> ui;
    QString m_historyFile;
    QString m_runLockFile;
    Dialogs& m_dialogs;
    std::unique_ptr<HistoryDatabase> m_database; // none while there is no history
    QStandardItemModel* m_runs;
    QStandardItemModel* m_results;
};
