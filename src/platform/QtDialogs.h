#pragma once

#include "Dialogs.h"

#include <QPointer>

class QWidget;

// Dialogs shown with QMessageBox and QInputDialog, centred over a parent window when one is set.
class QtDialogs final : public Dialogs
{
public:
    explicit QtDialogs(QWidget* parent = nullptr);

    void setParentWindow(QWidget* parent);

    void inform(const QString& text, const QString& title, Icon icon) override;
    bool askYesNo(const QString& text, const QString& title, Icon icon,
                  Answer byDefault = Answer::Yes) override;
    bool confirm(const QString& text, const QString& title, const QString& action) override;
    QString inputText(const QString& prompt, const QString& title) override;
    QString saveFileName(const QString& title, const QString& suggestedPath, const QString& filter) override;
    QString openFileName(const QString& title, const QString& filter) override;

private:
    QPointer<QWidget> m_parent;
};
