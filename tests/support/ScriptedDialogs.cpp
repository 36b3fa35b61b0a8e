#include "ScriptedDialogs.h"

void ScriptedDialogs::inform(const QString& text, const QString& title, Icon icon)
{
    m_shown.append({Kind::Inform, text, title, icon});
}

bool ScriptedDialogs::askYesNo(const QString& text, const QString& title, Icon icon)
{
    m_shown.append({Kind::AskYesNo, text, title, icon});
    if (whileAsking)
        whileAsking();
    if (m_yesNoAnswers.isEmpty()) {
        ++m_unscripted;
        return false;
    }
    return m_yesNoAnswers.dequeue();
}

QString ScriptedDialogs::inputText(const QString& prompt, const QString& title)
{
    m_shown.append({Kind::InputText, prompt, title, Icon::None});
    if (m_inputAnswers.isEmpty()) {
        ++m_unscripted;
        return QString();
    }
    return m_inputAnswers.dequeue();
}
