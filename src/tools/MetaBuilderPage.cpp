#include "MetaBuilderPage.h"

#include "Dialogs.h"
#include "MetaBuilder.h"
#include "ui_MetaBuilderPage.h"

using namespace Qt::StringLiterals;

MetaBuilderPage::MetaBuilderPage(Dialogs& dialogs, QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::MetaBuilderPage>()), m_dialogs(dialogs)
{
    ui->setupUi(this);
    connect(ui->Command20, &QPushButton::clicked, this, &MetaBuilderPage::Command20_Click);
    connect(ui->cleargen, &QPushButton::clicked, this, &MetaBuilderPage::cleargen_Click);
}

MetaBuilderPage::~MetaBuilderPage() = default;

void MetaBuilderPage::Command20_Click()
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

void MetaBuilderPage::cleargen_Click()
{
    ui->Text8->clear();
    ui->Text6->clear();
    ui->Text9->clear();
}
