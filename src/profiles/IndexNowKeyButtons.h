#pragma once

#include "Profile.h"

#include <QWidget>

#include <functional>

class Dialogs;
class KeyFileCheck;
class QPushButton;

// The profile page's three IndexNow key buttons: Generate a key (asking before one is
// replaced), Save key file… for the website, and Check whether the website serves it. They
// read the profile as it stands on the page and hand a new key back to it.
class IndexNowKeyButtons final : public QWidget
{
    Q_OBJECT

public:
    explicit IndexNowKeyButtons(QWidget* parent = nullptr);
    ~IndexNowKeyButtons() override;

    // Set once by the page before the buttons are used.
    void setUp(Dialogs& dialogs, std::function<Profile()> workingCopy);
    // Tab goes from `before` through the three buttons to `after`.
    void placeInTabOrder(QWidget* before, QWidget* after);

signals:
    void keyGenerated(const QString& key);

private:
    void onGenerateClicked();
    void onSaveKeyFileClicked();
    void onCheckClicked();

    Dialogs* m_dialogs = nullptr;
    std::function<Profile()> m_workingCopy;
    QPushButton* m_generate;
    QPushButton* m_saveKeyFile;
    QPushButton* m_check;
    KeyFileCheck* m_keyCheck = nullptr; // made on the first check
};
