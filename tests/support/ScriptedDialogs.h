#pragma once

#include "Dialogs.h"

#include <QList>
#include <QQueue>
#include <QString>

#include <functional>

// Dialogs answered from a script: each question takes the next queued answer, and every
// message, question and prompt is recorded for the test to inspect.
class ScriptedDialogs final : public Dialogs
{
public:
    enum class Kind { Inform, AskYesNo, InputText };

    struct Shown
    {
        Kind kind;
        QString text;
        QString title;
        Icon icon;
    };

    void queueYesNo(bool answer) { m_yesNoAnswers.enqueue(answer); }
    // Runs while a question is open, as events do while a real dialog waits for its answer.
    std::function<void()> whileAsking;
    void queueInput(const QString& answer) { m_inputAnswers.enqueue(answer); }

    void inform(const QString& text, const QString& title, Icon icon) override;
    bool askYesNo(const QString& text, const QString& title, Icon icon) override;
    QString inputText(const QString& prompt, const QString& title) override;

    const QList<Shown>& shown() const { return m_shown; }
    // Questions asked with no answer queued; a test that scripts its dialogs expects none.
    int unscriptedQuestions() const { return m_unscripted; }

private:
    QList<Shown> m_shown;
    QQueue<bool> m_yesNoAnswers;
    QQueue<QString> m_inputAnswers;
    int m_unscripted = 0;
};
