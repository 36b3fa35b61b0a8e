#pragma once

#include "Profile.h"
#include "ProfileEditor.h"

#include <QWidget>

#include <memory>
#include <vector>

class DesktopOpener;
class Dialogs;
class GoogleConnections;
class ProfileStore;
class QColor;

namespace Ui {
class ProfilePage;
}

// The profile page: pick, create, edit, save and delete profiles. Its fields are the profile's
// working copy, which the rest of the program reads, saved or not. The rules live in
// ProfileEditor; the page shows them.
class ProfilePage final : public QWidget
{
    Q_OBJECT

public:
    ProfilePage(ProfileStore& store, Dialogs& dialogs, QWidget* parent = nullptr);
    ~ProfilePage() override;

    // The chooser's text as title, and the seventeen fields and optional values as they stand.
    Profile workingCopy() const;
    int currentSlot() const { return m_editor.currentSlot(); }

    // Fills the chooser and shows the profile of the highest occupied slot, or locks the fields.
    void loadProfiles();
    // Lets the Google group sign the profile in: the browser opens through `desktop`, and
    // tokens go to `secretsDirectory` where no desktop secret store answers.
    void setUpGoogle(DesktopOpener& desktop, GoogleConnections& google);

private:
    struct Field
    {
        ProfileField field;
        QWidget* widget;
    };

    void onProfilePicked(int index);
    void onNewClicked();
    void onSaveClicked();
    void onDeleteClicked();

    void showProfile(const Profile& profile);
    QString fieldText(ProfileField field) const;
    void setFieldText(ProfileField field, const QString& text);
    void clearTextFields();
    void showChoices(const QString& changeSignal, const QString& include, const QString& exclude);
    void unlockFields();
    void lockFields();
    void setFieldsLocked(bool locked, const QColor& background);
    void reportUnwritableStore(const QString& whatFailed, const QString& title);
    QList<QWidget*> lockableWidgets() const;

    std::unique_ptr<Ui::ProfilePage> ui;
    ProfileEditor m_editor;
    Dialogs& m_dialogs;
    std::vector<Field> m_fields;
    // A stored description as loaded and as the editor shows it: the editor turns CRLF into
    // LF, so an untouched description is given back exactly as it was stored.
    QString m_loadedDescription;
    QString m_loadedDescriptionAsShown;
    // The stored profile's Google values, which the page carries but does not edit.
    QString m_changeSignal; // as the profile keeps it: empty for one kept before there was a choice
    QString m_googleProperty;
    QString m_googleServiceAccount;
    ProfileStore& m_store;
};
