#pragma once

#include "DesktopOpener.h"
#include "Dialogs.h"
#include "PromoSite.h"

#include <QList>
#include <QQueue>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>

#include <functional>

class SettingsStore;

// Points the per-user settings store at a fresh temporary directory for the life of this object.
class TempSettings
{
public:
    TempSettings();
    QString directory() const { return m_dir.path(); }
    QString file() const;

private:
    QTemporaryDir m_dir;
};

// systemctl, crontab and systemd-analyze as shell scripts in a directory to put first on PATH:
// each records how it was called, crontab keeps its table in a file, and systemd-analyze reads
// every calendar but "never" as Mondays at 06:00 UTC from 2030-01-07 on. systemctl fails, as
// without a user manager, while SYSTEMCTL_FAILS is set.
class ScheduleStandIns
{
public:
    explicit ScheduleStandIns(bool analyzer = true);
    QString path() const { return m_dir.path(); }
    QString crontabFile() const { return m_dir.filePath(QStringLiteral("crontab.txt")); }
    QString calls() const;

private:
    void add(const QString& name, const QString& body);

    QTemporaryDir m_dir;
};

// Dialogs answered from a script: each question takes the next queued answer (No when none is
// queued), and every message, question and prompt is recorded.
class ScriptedDialogs final : public Dialogs
{
public:
    struct Shown
    {
        QString text;
        QString title;
        Icon icon;
        Answer byDefault = Answer::Yes; // for a question
        QString action{};               // for a confirmation: its action's button
        QString filter{};               // for a file name: the kinds offered
    };

    void queueYesNo(bool answer) { m_answers.enqueue(answer); }
    void queueInput(const QString& answer) { m_inputs.enqueue(answer); }
    // Runs while a question is open, as events do while a real dialog waits for its answer.
    std::function<void()> whileAsking;

    void inform(const QString& text, const QString& title, Icon icon) override
    {
        shown.append({text, title, icon});
    }
    bool askYesNo(const QString& text, const QString& title, Icon icon,
                  Answer byDefault = Answer::Yes) override;
    // Answered from the Yes/No queue; recorded with the action as `action` and No as its default.
    bool confirm(const QString& text, const QString& title, const QString& action) override;
    QString inputText(const QString& prompt, const QString& title) override;
    // Answered from the same queue as inputText().
    QString saveFileName(const QString& title, const QString& suggestedPath, const QString& filter) override
    {
        const QString answer = inputText(suggestedPath, title);
        shown.last().filter = filter;
        return answer;
    }
    QString openFileName(const QString& title, const QString& filter) override
    {
        return inputText(filter, title);
    }

    QList<Shown> shown;

private:
    QQueue<bool> m_answers;
    QQueue<QString> m_inputs;
};

// Records what the program asks the desktop to open, and opens nothing.
class RecordingDesktopOpener final : public DesktopOpener
{
public:
    bool open(const QUrl& url) override
    {
        opened << url;
        return true;
    }
    QList<QUrl> opened;
};

namespace TestData {

// A site with a simple GET template.
PromoSite site(const QString& name, const QString& type = QStringLiteral("engine"),
               const QString& action = QStringLiteral("http://127.0.0.1:1/add"));
// An SQLite catalogue with the standard promosites table holding the rows, in order.
void writeCatalogue(const QString& path, const QList<PromoSite>& rows);
// The rows of the bundled catalogue, data/catalogue.csv, as the program reads them.
QList<PromoSite> bundledSites();
// Raw SQL against a new SQLite file, for catalogues of unusual shape.
void writeSql(const QString& path, const QStringList& statements);
// A profile whose seventeen fields all hold text (the field's key followed by " value").
void storeCompleteProfile(SettingsStore& settings, int slot, const QString& title);

QByteArray readFile(const QString& path);

// orvanta-catalogue run in this process: its exit status and what it printed.
struct ToolRun
{
    int status = -1;
    QString out;
    QString err;
};
ToolRun runCatalogueTool(const QStringList& arguments);
void writeFile(const QString& path, const QByteArray& bytes);

} // namespace TestData
