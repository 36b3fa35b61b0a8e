#include "MetaBuilderPage.h"

#include "Dialogs.h"
#include "MetaBuilder.h"
#include "ui_MetaBuilderPage.h"

using namespace Qt::StringLiterals;

MetaBuilderPage::MetaBuilderPage(Dialogs& dialogs, QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::MetaBuilderPage>()), m_dialogs(dialogs)
{
    ui->setupUi(this);
    connect(ui->Command20, &QPushButton::clicked, this, &MetaBuilderPage::onGenerateClicked);
    connect(ui->cleargen, &QPushButton::clicked, this, &MetaBuilderPage::onClearClicked);
}

MetaBuilderPage::~MetaBuilderPage() = default;

void MetaBuilderPage::onGenerateClicked()
{
    const std::optional<QString> lines =
        MetaBuilder::metaLines(ui->Text6->toPlainText(), ui->Text8->toPlainText());
    if (!lines) {
        m_dialogs.inform(u"Please fill in all the fields below."_s, u"Missing Information"_s,
                         Dialogs::Icon::Information);
        return;
    }
    ui->Text9->setPlainText(*lines);
}

void MetaBuilderPage::onClearClicked()
{
    ui->Text8->clear();
    ui->Text6->clear();
    ui->Text9->clear();
}
