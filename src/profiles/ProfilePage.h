#pragma once

#include "ProfileSource.h"

#include <QColor>
#include <QWidget>

#include <memory>
#include <vector>

class Dialogs;
class ProfileStore;

namespace Ui {
class ProfilePage;
}

// The profile page: pick, create, edit, save and delete profiles. Its fields are the profile's
// working copy, read by the rest of the program through ProfileSource.
class ProfilePage final : public QWidget, public ProfileSource
{
    Q_OBJECT

public:
    ProfilePage(ProfileStore& store, Dialogs& dialogs, QWidget* parent = nullptr);
    ~ProfilePage() override;

    QString profileName() const override;
    QString fieldText(ProfileField field) const override;

    // The slot the page shows, saves into and deletes; 0 before one is chosen.
    int currentProfileNumber() const { return m_currentProfileNumber; }

    void loadprofiles();
    void Combo4_Click();
    void Command7_Click();
    void Command9_Click();
    void Command21_Click();
    void dataunhide();
    void datahide();

private:
    struct Field
    {
        ProfileField field;
        QWidget* widget;
    };

    void setFieldText(ProfileField field, const QString& text);
    void clearTextFields();
    void setFieldsLocked(bool locked, const QColor& background);
    bool isNewTitleAllowed(const QString& title) const;
    void reportUnwritableStore(const QString& whatFailed, const QString& title);

    std::unique_ptr<Ui::ProfilePage> ui;
    ProfileStore& m_store;
    Dialogs& m_dialogs;
    std::vector<Field> m_fields;
    int m_currentProfileNumber = 0;
    // A stored description as loaded and as the editor shows it: the editor turns CRLF into
    // LF, so an untouched description is given back exactly as it was stored.
    QString m_loadedDescription;
    QString m_loadedDescriptionAsShown;
};
