#pragma once

#include <QWidget>

#include <memory>

class DesktopOpener;

namespace Ui {
class QuickSearchPage;
}

// Opens a search for the typed text on one of six engines in the default browser.
class QuickSearchPage final : public QWidget
{
    Q_OBJECT

public:
    explicit QuickSearchPage(DesktopOpener& desktop, QWidget* parent = nullptr);
    ~QuickSearchPage() override;

private:
    void onSearchClicked();

    std::unique_ptr<Ui::QuickSearchPage> ui;
    DesktopOpener& m_desktop;
};
