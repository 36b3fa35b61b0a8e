#include "EngineSelectionPage.h"

#include "Dialogs.h"
#include "ProfileSource.h"
#include "SiteListModel.h"
#include "ui_EngineSelectionPage.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {
const QString engineType = u"engine"_s;
const QString listType = u"list"_s;

QString countCaption(const QString& prefix, qsizetype count)
{
    return prefix + QString::number(count);
}
} // namespace

EngineSelectionPage::EngineSelectionPage(SiteDatabase& catalogue, const ProfileSource& profile,
                                         Dialogs& dialogs, QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::EngineSelectionPage>()), m_profile(profile),
      m_dialogs(dialogs), m_selection(catalogue),
      m_catalogueModel(new SiteListModel(m_selection.catalogue(), this)),
      m_selectedModel(new SiteListModel(m_selection.selected(), this))
{
    ui->setupUi(this);
    ui->List1->setModel(m_catalogueModel);
    ui->List2->setModel(m_selectedModel);

    // A check box changed by another handler runs its own handler too, as a click would.
    connect(ui->Check2, &QCheckBox::toggled, this, &EngineSelectionPage::Check2_Click);
    connect(ui->Check3, &QCheckBox::toggled, this, &EngineSelectionPage::Check3_Click);
    connect(ui->Check4, &QCheckBox::toggled, this, &EngineSelectionPage::Check4_Click);
    connect(ui->Command11, &QPushButton::clicked, this, &EngineSelectionPage::Command11_Click);
    connect(ui->Command10, &QPushButton::clicked, this, &EngineSelectionPage::Command10_Click);
    connect(ui->Command15, &QPushButton::clicked, this, &EngineSelectionPage::submitRequested);
    connect(ui->preview, &QPushButton::clicked, this, &EngineSelectionPage::previewRequested);
    connect(ui->resubmitFailed, &QPushButton::clicked, this, &EngineSelectionPage::resubmitFailedRequested);
    ui->resubmitFailed->setEnabled(false);
}

EngineSelectionPage::~EngineSelectionPage() = default;

bool EngineSelectionPage::checkProfile()
{
    if (m_profile.isComplete())
        return true;
    m_dialogs.inform(u"Please fill in all the fields requested to properly submit your website."_s,
                     u"Missing Information"_s, Dialogs::Icon::Warning);
    return false;
}

bool EngineSelectionPage::prepareToolbarOpening()
{
    for (QWidget* control : {static_cast<QWidget*>(ui->Command10), static_cast<QWidget*>(ui->Command11),
                             static_cast<QWidget*>(ui->Check2), static_cast<QWidget*>(ui->Check3),
                             static_cast<QWidget*>(ui->Check4)})
        control->setEnabled(true);
    showSelectedCount();
    if (!checkProfile())
        return false;
    m_selection.refillCatalogue();
    m_catalogueModel->listReset();
    return true;
}

void EngineSelectionPage::showTotals()
{
    ui->Label16->setText(countCaption(u" Total Search Engines :"_s, m_selection.catalogue().size()));
    ui->Label20->setText(countCaption(u" Total Selected Engines :"_s, m_selection.selected().size()));
}

void EngineSelectionPage::showSelectedCount()
{
    ui->Label20->setText(countCaption(u" Selected Engines :"_s, m_selection.selected().size()));
}

void EngineSelectionPage::typeFilterChanged(bool checked, const QString& type)
{
    if (checked) {
        m_selection.addType(type);
        m_selectedModel->rowsAppended();
    } else {
        m_selection.removeType(type);
        m_selectedModel->listReset();
    }
    showSelectedCount();
}

void EngineSelectionPage::Check2_Click(bool checked)
{
    typeFilterChanged(checked, engineType);
}

void EngineSelectionPage::Check3_Click(bool checked)
{
    typeFilterChanged(checked, listType);
}

void EngineSelectionPage::Check4_Click(bool checked)
{
    if (checked) {
        m_selection.clearSelected();
        m_selectedModel->listReset();
        ui->Check2->setChecked(false);
        ui->Check3->setChecked(false);
        ui->Check2->setEnabled(false);
        ui->Check3->setEnabled(false);
        m_selection.addAll();
        m_selectedModel->rowsAppended();
    } else {
        ui->Check2->setEnabled(true);
        ui->Check3->setEnabled(true);
        ui->Check2->setChecked(false);
        ui->Check3->setChecked(false);
        m_selection.clearSelected();
        m_selectedModel->listReset();
    }
    showSelectedCount();
}

QList<int> EngineSelectionPage::highlightedRows(const QAbstractItemView* view)
{
    // Read as ranges: asking row by row is quadratic on long lists.
    QList<int> rows;
    for (const QItemSelectionRange& range : view->selectionModel()->selection()) {
        for (int row = range.top(); row <= range.bottom(); ++row)
            rows.append(row);
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

void EngineSelectionPage::Command11_Click()
{
    m_selection.addFromCatalogue(highlightedRows(ui->List1));
    m_selectedModel->rowsAppended();
    showSelectedCount();
}

void EngineSelectionPage::Command10_Click()
{
    const QList<int> rows = highlightedRows(ui->List2);
    if (!rows.isEmpty()) {
        m_selection.removeSelected(rows);
        m_selectedModel->listReset();
    }
    ui->Label16->setText(countCaption(u" Search Engines :"_s, m_selection.catalogue().size()));
    showSelectedCount();
}

void EngineSelectionPage::setResubmitAvailable(bool available)
{
    ui->resubmitFailed->setEnabled(available);
}

void EngineSelectionPage::replaceSelection(const QStringList& sites)
{
    m_selection.setSelected(sites);
    m_selectedModel->listReset();
    showSelectedCount();
}

void EngineSelectionPage::uncheckTypeFilters()
{
    ui->Check3->setChecked(false);
    ui->Check2->setChecked(false);
}

int EngineSelectionPage::count() const
{
    return int(m_selection.selected().size());
}

QString EngineSelectionPage::entry(int index) const
{
    return m_selection.selected().value(index);
}

void EngineSelectionPage::removeEntry(int index)
{
    if (index < 0 || index >= count())
        return;
    m_selection.removeSelectedAt(index);
    m_selectedModel->rowRemoved(index);
}

void EngineSelectionPage::clear()
{
    m_selection.clearSelected();
    m_selectedModel->listReset();
}

void EngineSelectionPage::setCountCaption(const QString& caption)
{
    ui->Label20->setText(caption);
}
