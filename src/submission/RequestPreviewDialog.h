#pragma once

#include "RunPlan.h"

#include <QDialog>

#include <functional>

class QLabel;
class QListView;
class QPlainTextEdit;
class QTableView;

// Shows what a run would send without holding it all as text: a line per request (its site, and
// for a batch its pages, the first and the last), the whole of the request picked composed only
// then, and the pages left out or announced as removed as a table with their reasons. A run of a
// million pages previews in the memory of one batch. Read-only, copyable, closed with Escape.
class RequestPreviewDialog final : public QDialog
{
    Q_OBJECT

public:
    // `composed` gives the whole text of the request at that position of `items`.
    RequestPreviewDialog(const QString& summary, QList<WorkItem> items, std::function<QString(int)> composed,
                         const RunPlan& notes, QWidget* parent = nullptr);
    ~RequestPreviewDialog() override;

    // A request as its line reads: "IndexNow (batch 1 of 2): 10,000 pages, from … to …".
    static QString line(const WorkItem& item);

private:
    class Requests;
    class Pages;

    void showRequest(int position);

    std::function<QString(int)> m_composed;
    QLabel* m_summary;
    QListView* m_requests;
    QPlainTextEdit* m_text;
    QTableView* m_pages;
};
