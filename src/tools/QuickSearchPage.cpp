#include "QuickSearchPage.h"

#include "ComboBoxes.h"
#include "DesktopOpener.h"
#include "QuickSearch.h"
#include "ui_QuickSearchPage.h"

using namespace Qt::StringLiterals;

QuickSearchPage::QuickSearchPage(DesktopOpener& desktop, QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::QuickSearchPage>()), m_desktop(desktop)
{
    ui->setupUi(this);
    ui->engine->addItems(QuickSearch::engineNames());
    ui->engine->setEditText(u"Altavista"_s);
    // Only a name typed exactly, or picked from the list, opens a search.
    ComboBoxes::takeTypedTextAsIs(ui->engine);
    connect(ui->Command8, &QPushButton::clicked, this, &QuickSearchPage::onSearchClicked);
}

QuickSearchPage::~QuickSearchPage() = default;

void QuickSearchPage::onSearchClicked()
{
    if (const std::optional<QUrl> url =
            QuickSearch::searchUrl(ui->engine->currentText(), ui->criteria->text()))
        m_desktop.open(*url);
}
