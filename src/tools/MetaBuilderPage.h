#pragma once

#include <QWidget>

#include <memory>

class Dialogs;

namespace Ui {
class MetaBuilderPage;
}

// Turns keywords and a description into two meta lines to paste into a web page.
class MetaBuilderPage final : public QWidget
{
    Q_OBJECT

public:
    explicit MetaBuilderPage(Dialogs& dialogs, QWidget* parent = nullptr);
    ~MetaBuilderPage() override;

private:
    void onGenerateClicked();
    void onClearClicked();

    std::unique_ptr<Ui::MetaBuilderPage> ui;
    Dialogs& m_dialogs;
};
