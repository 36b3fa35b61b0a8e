#include "RequestPreviewDialog.h"

#include "PageList.h"
#include "Wording.h"

#include <QAbstractTableModel>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

// The requests, a line each, made when a line comes into view.
class RequestPreviewDialog::Requests final : public QAbstractListModel
{
public:
    Requests(QList<WorkItem> items, QObject* parent) : QAbstractListModel(parent), m_items(std::move(items))
    {}

    int rowCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : int(m_items.size());
    }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (role != Qt::DisplayRole || !index.isValid())
            return {};
        return u"%1. %2"_s.arg(index.row() + 1).arg(line(m_items.at(index.row())));
    }

private:
    QList<WorkItem> m_items;
};

// The pages the run leaves out, then those it announces as removed, with why.
class RequestPreviewDialog::Pages final : public QAbstractTableModel
{
public:
    Pages(const RunPlan& plan, QObject* parent)
        : QAbstractTableModel(parent), m_leftOut(plan.leftOut), m_removed(plan.removed)
    {}

    int rowCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : int(m_leftOut.size() + m_removed.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : 4; }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if ((role != Qt::DisplayRole && role != Qt::ToolTipRole) || !index.isValid())
            return {};
        const bool removed = index.row() >= m_leftOut.size();
        const RunPlan::PageNote& note =
            removed ? m_removed.at(index.row() - m_leftOut.size()) : m_leftOut.at(index.row());
        switch (index.column()) {
        case 0:
            return note.address;
        case 1:
            return removed ? u"announced as removed"_s : u"not announced"_s;
        case 2:
            return note.reason;
        default:
            return note.detail;
        }
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
            return {};
        return QStringList{u"Page"_s, u"What"_s, u"Why"_s, u"Detail"_s}.value(section);
    }

private:
    QList<RunPlan::PageNote> m_leftOut;
    QList<RunPlan::PageNote> m_removed;
};

RequestPreviewDialog::RequestPreviewDialog(const QString& summary, QList<WorkItem> items,
                                           std::function<QString(int)> composed, const RunPlan& notes,
                                           QWidget* parent)
    : QDialog(parent), m_composed(std::move(composed)), m_summary(new QLabel(summary, this)),
      m_requests(new QListView(this)), m_text(new QPlainTextEdit(this)), m_pages(new QTableView(this))
{
    setObjectName(u"requestPreview"_s);
    setWindowTitle(u"Request Preview"_s);
    setAttribute(Qt::WA_DeleteOnClose);
    resize(720, 520);
    m_summary->setObjectName(u"previewSummary"_s);
    m_summary->setTextFormat(Qt::PlainText);
    m_summary->setWordWrap(true);
    m_summary->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_requests->setObjectName(u"previewRequests"_s);
    m_requests->setAccessibleName(u"Requests a run would send"_s);
    m_requests->setUniformItemSizes(true);
    m_requests->setModel(new Requests(std::move(items), this));
    m_text->setObjectName(u"previewText"_s);
    m_text->setReadOnly(true);
    m_text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_text->setAccessibleName(u"The request picked, as it would be sent"_s);
    m_pages->setObjectName(u"previewPages"_s);
    m_pages->setAccessibleName(u"Pages left out or announced as removed, and why"_s);
    m_pages->setModel(new Pages(notes, this));
    m_pages->verticalHeader()->hide();
    m_pages->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_pages->horizontalHeader()->setStretchLastSection(true);
    m_pages->setTabKeyNavigation(false);
    m_pages->setWordWrap(false);
    m_pages->setVisible(m_pages->model()->rowCount() > 0);
    connect(m_requests->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) { showRequest(current.row()); });

    auto* parts = new QSplitter(Qt::Vertical, this);
    parts->addWidget(m_requests);
    parts->addWidget(m_text);
    parts->addWidget(m_pages);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_summary);
    layout->addWidget(parts, 1);
    layout->addWidget(buttons);
    if (m_requests->model()->rowCount() > 0)
        m_requests->setCurrentIndex(m_requests->model()->index(0, 0));
    else
        m_text->setPlainText(u"Nothing to send."_s);
}

RequestPreviewDialog::~RequestPreviewDialog() = default;

QString RequestPreviewDialog::line(const WorkItem& item)
{
    if (!item.batch || item.batch->indices.isEmpty())
        return item.caption();
    const PageBatch& batch = *item.batch;
    const qsizetype count = batch.indices.size();
    return u"%1: %2, from %3 to %4"_s.arg(
        item.caption(),
        batch.removal ? counted(count, u"%L1 removed page"_s, u"%L1 removed pages"_s)
                      : counted(count, u"%L1 page"_s, u"%L1 pages"_s),
        batch.pages->urlText(batch.indices.first()), batch.pages->urlText(batch.indices.last()));
}

void RequestPreviewDialog::showRequest(int position)
{
    m_text->setPlainText(position < 0 ? QString() : m_composed(position));
}
