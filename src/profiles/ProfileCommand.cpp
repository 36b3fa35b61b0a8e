#include "ProfileCommand.h"

#include "ExitStatus.h"
#include "JsonOutput.h"
#include "ProfileEditor.h"
#include "ProfileStore.h"
#include "SettingsKeys.h"
#include "SettingsStore.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// What signing in to Google stores: carried by export and import, never set by hand.
const QStringList googleKeys{SettingsKeys::profileGoogleProperty, SettingsKeys::profileGoogleServiceAccount};

QString* valueOf(Profile& profile, const QString& key)
{
    for (int i = 0; i < profileFieldCount; ++i) {
        if (key == Profile::key(ProfileField(i)))
            return &profile.value(ProfileField(i));
    }
    if (key == SettingsKeys::profileIndexNowKey)
        return &profile.indexNowKey;
    if (key == SettingsKeys::profileFeed)
        return &profile.feed;
    if (key == SettingsKeys::profileGoogleProperty)
        return &profile.googleProperty;
    if (key == SettingsKeys::profileGoogleServiceAccount)
        return &profile.googleServiceAccount;
    if (key == SettingsKeys::profileChangeSignal)
        return &profile.changeSignal;
    if (key == SettingsKeys::profileInclude)
        return &profile.include;
    if (key == SettingsKeys::profileExclude)
        return &profile.exclude;
    return nullptr;
}

QString valueOf(const Profile& profile, const QString& key)
{
    return *valueOf(const_cast<Profile&>(profile), key);
}

class Command
{
public:
    Command(const ProfileCommand::Options& options, SettingsStore& settings, QIODevice& out, QIODevice& err)
        : m_options(options), m_settings(settings), m_store(settings), m_editor(m_store), m_out(&out),
          m_err(&err)
    {}

    int run()
    {
        if (const QString problem = m_settings.readProblem(); !problem.isEmpty())
            return refuse(problem);
        switch (m_options.action) {
        case ProfileCommand::Action::List:
            return list();
        case ProfileCommand::Action::New:
            return create();
        case ProfileCommand::Action::Import:
            return import();
        default:
            break;
        }
        QString error;
        const std::optional<int> slot = m_store.findNamed(m_options.title, error);
        if (!slot)
            return refuse(error);
        m_editor.pick(m_options.title);
        switch (m_options.action) {
        case ProfileCommand::Action::Show:
            if (m_options.json) {
                m_out << QString::fromUtf8(
                    JsonOutput::document({{u"slot"_s, *slot}, {u"profile"_s, toJson(m_store.read(*slot))}}));
                return ExitStatus::success;
            }
            return show(m_store.read(*slot));
        case ProfileCommand::Action::Set:
            return set(m_store.read(*slot));
        case ProfileCommand::Action::Delete:
            if (m_editor.remove(m_options.title) != ProfileEditor::Result::Done)
                return unwritable(u"The profile could not be deleted"_s);
            m_out << u"Deleted the profile \"%1\" from slot %2.\n"_s.arg(m_options.title).arg(*slot);
            return ExitStatus::success;
        default:
            m_out << QJsonDocument(toJson(m_store.read(*slot))).toJson(QJsonDocument::Indented);
            return ExitStatus::success;
        }
    }

private:
    int refuse(const QString& sentence)
    {
        m_err << sentence << u'\n';
        return ExitStatus::badUsage;
    }

    int unwritable(const QString& whatFailed)
    {
        m_err << u"%1: the settings file \"%2\" cannot be written.\n"_s.arg(whatFailed, m_store.fileName());
        return ExitStatus::failure;
    }

    int create()
    {
        if (const QString refusal = m_editor.refusalOf(m_options.title); !refusal.isEmpty())
            return refuse(refusal);
        if (m_editor.create(m_options.title) != ProfileEditor::Result::Done)
            return unwritable(u"The new profile could not be stored"_s);
        m_out << u"Made the profile \"%1\" in slot %2; fill it in with orvanta profile set.\n"_s
                     .arg(m_options.title)
                     .arg(m_editor.currentSlot());
        return ExitStatus::success;
    }

    int list()
    {
        QJsonArray profiles;
        for (const ProfileStore::TitledSlot& titled : m_store.scanTitles()) {
            profiles << QJsonObject{{u"slot"_s, titled.slot}, {u"title"_s, titled.title}};
            if (!m_options.json)
                m_out << titled.title << u'\n';
        }
        if (m_options.json)
            m_out << QString::fromUtf8(JsonOutput::document({{u"profiles"_s, profiles}}));
        return ExitStatus::success;
    }

    // Every key, one line each; a value's further lines stand under its first.
    int show(const Profile& profile)
    {
        const QString indent(21, u' ');
        m_out << u"title"_s.leftJustified(indent.size()) << profile.title << u'\n';
        for (const QString& key : ProfileCommand::keys() + googleKeys) {
            m_out << key.leftJustified(indent.size())
                  << valueOf(profile, key).split(u'\n').join(u'\n' + indent) << u'\n';
        }
        return ExitStatus::success;
    }

    int set(Profile profile)
    {
        for (const QString& assignment : m_options.assignments) {
            const qsizetype equals = assignment.indexOf(u'=');
            const QString key = assignment.left(equals);
            if (equals < 0 || !ProfileCommand::keys().contains(key))
                return refuse(u"Unknown key \"%1\"; the keys are %2."_s.arg(
                    equals < 0 ? assignment : key, ProfileCommand::keys().join(u", "_s)));
            *valueOf(profile, key) = assignment.mid(equals + 1);
        }
        return save(profile, u"Your profile could not be saved"_s);
    }

    int save(const Profile& profile, const QString& whatFailed)
    {
        const ProfileEditor::Result result = m_editor.save(profile.title, profile);
        if (result == ProfileEditor::Result::InvalidKey || result == ProfileEditor::Result::InvalidFeed ||
            result == ProfileEditor::Result::InvalidChangeSignal ||
            result == ProfileEditor::Result::InvalidPattern)
            return refuse(ProfileEditor::problemOf(result, profile));
        if (result != ProfileEditor::Result::Done)
            return unwritable(whatFailed);
        m_out << u"Saved the profile \"%1\" in slot %2.\n"_s.arg(profile.title).arg(m_editor.currentSlot());
        return ExitStatus::success;
    }

    static QJsonObject toJson(const Profile& profile)
    {
        QJsonObject object{{u"title"_s, profile.title}};
        for (const QString& key : ProfileCommand::keys() + googleKeys)
            object.insert(key, valueOf(profile, key));
        return object;
    }

    int import()
    {
        QFile file;
        const bool opened = m_options.file == u"-"_s
                                ? file.open(STDIN_FILENO, QIODevice::ReadOnly)
                                : (file.setFileName(m_options.file), file.open(QIODevice::ReadOnly));
        if (!opened)
            return refuse(u"The file \"%1\" cannot be read: %2."_s.arg(m_options.file, file.errorString()));
        QJsonParseError parsed;
        const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parsed);
        if (!document.isObject())
            return refuse(u"The file \"%1\" is not a profile as orvanta profile export writes it%2."_s.arg(
                m_options.file,
                parsed.error == QJsonParseError::NoError ? QString() : u": "_s + parsed.errorString()));
        const QJsonObject object = document.object();
        Profile profile;
        for (auto it = object.begin(); it != object.end(); ++it) {
            QString* value = it.key() == u"title"_s ? &profile.title : valueOf(profile, it.key());
            if (!value)
                return refuse(u"The file \"%1\" has the unknown key \"%2\"."_s.arg(m_options.file, it.key()));
            if (!it.value().isString())
                return refuse(u"The file \"%1\" has no text for \"%2\"."_s.arg(m_options.file, it.key()));
            *value = it.value().toString();
        }
        if (m_options.replace && profile.title != SettingsKeys::freeSlotTitle && m_editor.pick(profile.title))
            return save(profile, u"Your profile could not be saved"_s);
        if (const QString refusal = m_editor.refusalOf(profile.title); !refusal.isEmpty())
            return refuse(refusal + (m_store.findByTitle(profile.title) && !profile.title.isEmpty()
                                         ? u" Add --replace to overwrite it."_s
                                         : QString()));
        if (m_editor.create(profile.title) != ProfileEditor::Result::Done)
            return unwritable(u"The new profile could not be stored"_s);
        const int status = save(profile, u"Your profile could not be saved"_s);
        // Half a profile is not left behind by a key the rules refuse.
        if (status != ExitStatus::success)
            m_editor.remove(profile.title);
        return status;
    }

    const ProfileCommand::Options& m_options;
    SettingsStore& m_settings;
    ProfileStore m_store;
    ProfileEditor m_editor;
    QTextStream m_out;
    QTextStream m_err;
};

} // namespace

QStringList ProfileCommand::keys()
{
    QStringList keys;
    for (int i = 0; i < profileFieldCount; ++i)
        keys << Profile::key(ProfileField(i));
    return keys << SettingsKeys::profileIndexNowKey << SettingsKeys::profileFeed
                << SettingsKeys::profileChangeSignal << SettingsKeys::profileInclude
                << SettingsKeys::profileExclude;
}

int ProfileCommand::run(const Options& options, SettingsStore& settings, QIODevice& out, QIODevice& err)
{
    return Command(options, settings, out, err).run();
}
