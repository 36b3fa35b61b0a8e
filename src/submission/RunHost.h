#pragma once

/// What a submission run asks of the window around it: locking the navigation and switching
/// between the run panel and the engine selection page.
class RunHost
{
public:
    virtual ~RunHost() = default;

    /// Disables (or enables again) the five toolbar buttons and both top-level menus.
    virtual void setNavigationLocked(bool locked) = 0;
    /// Hides every page and shows the run panel; the title strip stays as it is.
    virtual void showRunPanel() = 0;
    /// Hides every page and shows the engine selection page.
    virtual void showSelectionPage() = 0;
    /// Opens the engine selection page as its toolbar button does, refilling the catalogue list.
    virtual void reopenSelectionPage() = 0;
    /// Unchecks "Links and Directories", then "Search Engines", with their usual effect.
    virtual void uncheckTypeFilters() = 0;
};
