#include "QtDialogs.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

namespace {

QMessageBox::Icon toMessageBoxIcon(Dialogs::Icon icon)
{
    switch (icon) {
    case Dialogs::Icon::Information:
        return QMessageBox::Information;
    case Dialogs::Icon::Warning:
        return QMessageBox::Warning;
    case Dialogs::Icon::Critical:
        return QMessageBox::Critical;
    case Dialogs::Icon::Question:
        return QMessageBox::Question;
    case Dialogs::Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

} // namespace

QtDialogs::QtDialogs(QWidget* parent) : m_parent(parent) {}

void QtDialogs::setParentWindow(QWidget* parent)
{
    m_parent = parent;
}

void QtDialogs::inform(const QString& text, const QString& title, Icon icon)
{
    QMessageBox box(toMessageBoxIcon(icon), title, text, QMessageBox::Ok, m_parent);
    box.exec();
}

bool QtDialogs::askYesNo(const QString& text, const QString& title, Icon icon, Answer byDefault)
{
    QMessageBox box(toMessageBoxIcon(icon), title, text, QMessageBox::Yes | QMessageBox::No, m_parent);
    box.setDefaultButton(byDefault == Answer::Yes ? QMessageBox::Yes : QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

bool QtDialogs::confirm(const QString& text, const QString& title, const QString& action)
{
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::NoButton, m_parent);
    QAbstractButton* act = box.addButton(action, QMessageBox::AcceptRole);
    box.setDefaultButton(box.addButton(QMessageBox::Cancel));
    box.exec();
    return box.clickedButton() == act;
}

QString QtDialogs::inputText(const QString& prompt, const QString& title)
{
    bool accepted = false;
    const QString text =
        QInputDialog::getText(m_parent, title, prompt, QLineEdit::Normal, QString(), &accepted);
    return accepted ? text : QString();
}

QString QtDialogs::saveFileName(const QString& title, const QString& suggestedPath, const QString& filter)
{
    return QFileDialog::getSaveFileName(m_parent, title, suggestedPath, filter);
}

QString QtDialogs::openFileName(const QString& title, const QString& filter)
{
    return QFileDialog::getOpenFileName(m_parent, title, QString(), filter);
}
