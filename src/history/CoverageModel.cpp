#include "CoverageModel.h"

#include "CoverageReport.h"
#include "TimeText.h"

using namespace Qt::StringLiterals;

CoverageModel::CoverageModel(QObject* parent) : QAbstractTableModel(parent) {}

void CoverageModel::show(std::shared_ptr<const Coverage> coverage, int endpoint,
                         std::optional<Coverage::State> state)
{
    beginResetModel();
    m_coverage = std::move(coverage);
    m_endpoint = endpoint;
    m_pages.clear();
    if (m_coverage && endpoint >= 0 && endpoint < m_coverage->endpoints().size()) {
        for (qsizetype page = 0; page < m_coverage->pageCount(); ++page) {
            if (!state || m_coverage->entry(endpoint, page).state == *state)
                m_pages.push_back(page);
        }
    }
    endResetModel();
}

int CoverageModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_pages.size());
}

int CoverageModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant CoverageModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    const qsizetype page = m_pages[size_t(index.row())];
    const Coverage::Entry& entry = m_coverage->entry(m_endpoint, page);
    switch (index.column()) {
    case PageColumn:
        return QString::fromUtf8(m_coverage->url(page));
    case StateColumn:
        return Coverage::stateName(entry.state);
    case ReasonColumn:
        return m_coverage->reason(entry);
    case AcceptedColumn:
        return TimeText::shown(entry.lastAccepted);
    case GoogleColumn:
        return m_coverage->googleText(page);
    default:
        return {};
    }
}

QVariant CoverageModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const QStringList titles{u"Page"_s, u"State"_s, u"Last accepted"_s, u"Reason"_s, u"Google"_s};
    return titles.value(section);
}
