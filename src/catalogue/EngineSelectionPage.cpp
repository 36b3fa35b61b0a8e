#include "EngineSelectionPage.h"

#include "ProgressBars.h"
#include "ui_EngineSelectionPage.h"

#include <QAccessible>

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

EngineSelectionPage::EngineSelectionPage(SiteDatabase& catalogue, QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::EngineSelectionPage>()), m_selection(catalogue)
{
    ui->setupUi(this);
    ui->List1->setModel(&m_selection.catalogueModel());
    ui->List2->setModel(&m_selection.selectedModel());

    // A check box changed by another handler runs its own handler too, as a click would.
    connect(ui->Check2, &QCheckBox::toggled, this, &EngineSelectionPage::onEnginesToggled);
    connect(ui->Check3, &QCheckBox::toggled, this, &EngineSelectionPage::onListsToggled);
    connect(ui->Check4, &QCheckBox::toggled, this, &EngineSelectionPage::onSelectAllToggled);
    connect(ui->Command11, &QPushButton::clicked, this, &EngineSelectionPage::onAddClicked);
    connect(ui->Command10, &QPushButton::clicked, this, &EngineSelectionPage::onRemoveClicked);
    connect(ui->Command15, &QPushButton::clicked, this, &EngineSelectionPage::submitRequested);
    connect(ui->preview, &QPushButton::clicked, this, &EngineSelectionPage::previewRequested);
    connect(ui->resubmitFailed, &QPushButton::clicked, this, &EngineSelectionPage::resubmitFailedRequested);
    connect(ui->schedule, &QPushButton::clicked, this, &EngineSelectionPage::scheduleRequested);
    connect(ui->changedPages, &QRadioButton::toggled, this, &EngineSelectionPage::pagesModeChanged);
    for (QWidget* pagesOnly : std::initializer_list<QWidget*>{ui->checkPages, ui->baseline})
        connect(ui->changedPages, &QRadioButton::toggled, pagesOnly, &QWidget::setEnabled);
    connect(ui->checkPages, &QCheckBox::toggled, this, &EngineSelectionPage::checkPagesChanged);
    connect(ui->baseline, &QPushButton::clicked, this, &EngineSelectionPage::baselineRequested);
    connect(ui->cancelPreparation, &QPushButton::clicked, this,
            &EngineSelectionPage::preparationCancelRequested);
    const QAbstractItemModel* selected = &m_selection.selectedModel();
    for (const auto change : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(selected, change, this, &EngineSelectionPage::selectionChanged);
    connect(selected, &QAbstractItemModel::modelReset, this, &EngineSelectionPage::selectionChanged);
    ui->resubmitFailed->setEnabled(false);
    // The bar's row keeps its height while hidden, so the lists above do not jump when it shows.
    for (QWidget* shownWhileBusy :
         std::initializer_list<QWidget*>{ui->preparationProgress, ui->cancelPreparation}) {
        QSizePolicy policy = shownWhileBusy->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        shownWhileBusy->setSizePolicy(policy);
    }
}

EngineSelectionPage::~EngineSelectionPage() = default;

void EngineSelectionPage::prepareToolbarOpening()
{
    for (QWidget* control :
         std::initializer_list<QWidget*>{ui->Command10, ui->Command11, ui->Check2, ui->Check3, ui->Check4})
        control->setEnabled(true);
    showSelectedCount();
}

void EngineSelectionPage::refillCatalogue()
{
    m_selection.refillCatalogue();
}

void EngineSelectionPage::showTotals()
{
    ui->Label16->setText(countCaption(u" Total Search Engines :"_s, m_selection.catalogueCount()));
    ui->Label20->setText(countCaption(u" Total Selected Engines :"_s, m_selection.selectedCount()));
}

bool EngineSelectionPage::changedPagesChosen() const
{
    return ui->changedPages->isChecked();
}

bool EngineSelectionPage::checkPagesChosen() const
{
    return ui->checkPages->isChecked();
}

void EngineSelectionPage::showPreparation(const QString& what, qsizetype done, qsizetype total,
                                          const QString& timeLeft)
{
    ProgressBars::show(*ui->preparationProgress, what, done, total, timeLeft);
    ui->cancelPreparation->setText(u"&Cancel"_s);
    ui->cancelPreparation->setEnabled(true);
    ui->cancelPreparation->setVisible(true);
}

void EngineSelectionPage::showRecording(const QString& what)
{
    ProgressBars::show(*ui->preparationProgress, what, 0, 0);
    ui->cancelPreparation->setText(u"Being written\u2026"_s);
    ui->cancelPreparation->setEnabled(false);
    ui->cancelPreparation->setVisible(true);
}

void EngineSelectionPage::hidePreparation()
{
    ui->preparationProgress->setVisible(false);
    ui->cancelPreparation->setVisible(false);
}

void EngineSelectionPage::showPagesSummary(const QString& text)
{
    if (ui->pagesSummary->text() == text)
        return;
    ui->pagesSummary->setText(text);
    // A screen reader reads the line out when it changes, as it would a status bar's.
    ui->pagesSummary->setAccessibleDescription(text);
    QAccessibleEvent changed(ui->pagesSummary, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&changed);
}

void EngineSelectionPage::showSelectedCount()
{
    ui->Label20->setText(countCaption(u" Selected Engines :"_s, m_selection.selectedCount()));
}

void EngineSelectionPage::typeFilterChanged(bool checked, const QString& type)
{
    if (checked)
        m_selection.addType(type);
    else
        m_selection.removeType(type);
    showSelectedCount();
}

void EngineSelectionPage::onEnginesToggled(bool checked)
{
    typeFilterChanged(checked, engineType);
}

void EngineSelectionPage::onListsToggled(bool checked)
{
    typeFilterChanged(checked, listType);
}

void EngineSelectionPage::onSelectAllToggled(bool checked)
{
    if (checked) {
        m_selection.setSelected({});
        ui->Check2->setChecked(false);
        ui->Check3->setChecked(false);
        ui->Check2->setEnabled(false);
        ui->Check3->setEnabled(false);
        m_selection.addAll();
    } else {
        ui->Check2->setEnabled(true);
        ui->Check3->setEnabled(true);
        ui->Check2->setChecked(false);
        ui->Check3->setChecked(false);
        m_selection.setSelected({});
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

void EngineSelectionPage::onAddClicked()
{
    m_selection.addFromCatalogue(highlightedRows(ui->List1));
    showSelectedCount();
}

void EngineSelectionPage::onRemoveClicked()
{
    m_selection.removeSelected(highlightedRows(ui->List2));
    ui->Label16->setText(countCaption(u" Search Engines :"_s, m_selection.catalogueCount()));
    showSelectedCount();
}

void EngineSelectionPage::setResubmitAvailable(bool available)
{
    ui->resubmitFailed->setEnabled(available);
}

void EngineSelectionPage::replaceSelection(const QStringList& sites)
{
    m_selection.setSelected(sites);
    showSelectedCount();
}

void EngineSelectionPage::uncheckTypeFilters()
{
    ui->Check3->setChecked(false);
    ui->Check2->setChecked(false);
}
