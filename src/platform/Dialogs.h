#pragma once

#include <QString>

/// The modal questions and messages the program puts to the user.
/// The application uses QtDialogs; tests answer through a scripted implementation.
class Dialogs
{
public:
    enum class Icon { None, Information, Warning, Critical, Question };
    enum class Answer { Yes, No };

    virtual ~Dialogs();

    /// Shows a message with one OK button and waits until the user closes it.
    virtual void inform(const QString& text, const QString& title, Icon icon) = 0;

    /// Asks a question with Yes and No buttons; true when the user answered Yes. `byDefault` is
    /// what Enter answers: No where Yes would undo something the user may not mean to.
    virtual bool askYesNo(const QString& text, const QString& title, Icon icon,
                          Answer byDefault = Answer::Yes) = 0;

    /// Asks before an action that cannot be undone: the action's own button (`action`, "Mark as
    /// Announced") and Cancel, which Enter answers; true when the user chose the action.
    virtual bool confirm(const QString& text, const QString& title, const QString& action) = 0;

    /// Asks for one line of text; an empty text when the user cancelled.
    virtual QString inputText(const QString& prompt, const QString& title) = 0;

    /// Asks where to save a file of the kinds `filter` names ("CSV files (*.csv)"), starting from
    /// a suggested path; empty when the user cancelled.
    virtual QString saveFileName(const QString& title, const QString& suggestedPath,
                                 const QString& filter) = 0;

    /// Asks for a file to read, of the kinds `filter` names ("JSON files (*.json)"); empty when
    /// the user cancelled.
    virtual QString openFileName(const QString& title, const QString& filter) = 0;
};
