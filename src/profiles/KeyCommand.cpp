#include "KeyCommand.h"

#include "BlockingWait.h"
#include "ExitStatus.h"
#include "IndexNowKey.h"
#include "JsonOutput.h"
#include "KeyFileCheck.h"
#include "ProfileStore.h"

#include <QNetworkAccessManager>
#include <QTextStream>

using namespace Qt::StringLiterals;

namespace {

int generate(ProfileStore& store, int slot, bool replace, QTextStream& out, QTextStream& err)
{
    Profile profile = store.read(slot);
    if (!profile.indexNowKey.isEmpty() && !replace) {
        err << u"The profile \"%1\" already has the IndexNow key %2; add --replace to make a new one.\n"_s
                   .arg(profile.title, profile.indexNowKey);
        return ExitStatus::failure;
    }
    profile.indexNowKey = IndexNowKey::generate();
    if (!store.save(slot, profile)) {
        err << u"The key could not be stored: the settings file \"%1\" cannot be written.\n"_s.arg(
            store.fileName());
        return ExitStatus::failure;
    }
    const QUrl location = IndexNowKey::location(profile.value(ProfileField::Url), profile.indexNowKey);
    out << u"IndexNow key of \"%1\": %2\n"_s.arg(profile.title, profile.indexNowKey)
        << u"Serve a file named %1 holding only the key at %2, then check it with "
           u"orvanta key check.\n"_s.arg(IndexNowKey::fileName(profile.indexNowKey),
                                         location.isEmpty() ? u"the root of the website"_s
                                                            : location.toDisplayString());
    return ExitStatus::success;
}

// Stable names of what a check finds, for tools that read --json.
QString findingCode(KeyFileCheck::Finding finding)
{
    static const QStringList codes{u"served"_s,      u"no-key"_s,        u"invalid-key"_s, u"no-address"_s,
                                   u"missing"_s,     u"wrong-content"_s, u"html-page"_s,   u"other-host"_s,
                                   u"unreachable"_s, u"http-error"_s};
    return codes.value(int(finding));
}

int check(const Profile& profile, QTextStream& out,
          const std::function<void(bool served, const QString& message)>& checked, KeyCommand::Output output)
{
    QNetworkAccessManager network;
    KeyFileCheck check(network);
    KeyFileCheck::Result result;
    QObject::connect(&check, &KeyFileCheck::finished, &check,
                     [&result](const KeyFileCheck::Result& found) { result = found; });
    waitFor(&check, &KeyFileCheck::finished, [&] { check.start(profile); });
    // The command that does it, to the person at the command line.
    if (result.finding == KeyFileCheck::Finding::NoKey)
        result.message =
            u"The profile has no IndexNow key yet: generate one with orvanta key generate --profile \"%1\"."_s
                .arg(profile.title);
    const bool served = result.finding == KeyFileCheck::Finding::Served;
    if (output == KeyCommand::Output::Json)
        out << QString::fromUtf8(JsonOutput::document(
            {{u"profile"_s, profile.title},
             {u"key"_s, profile.indexNowKey.isEmpty() ? QJsonValue() : QJsonValue(profile.indexNowKey)},
             {u"location"_s,
              result.location.isEmpty() ? QJsonValue() : QJsonValue(result.location.toString())},
             {u"served"_s, served},
             {u"code"_s, findingCode(result.finding)},
             {u"message"_s, result.message}}));
    else
        out << result.message << u'\n';
    if (checked && result.finding != KeyFileCheck::Finding::NoKey)
        checked(served, result.message);
    return served ? ExitStatus::success : ExitStatus::failure;
}

} // namespace

int KeyCommand::run(Action action, const QString& profileTitle, bool replace, SettingsStore& settings,
                    QIODevice& outDevice, QIODevice& errDevice,
                    const std::function<void(bool served, const QString& message)>& checked, Output output)
{
    QTextStream out(&outDevice);
    QTextStream err(&errDevice);
    ProfileStore store(settings);
    QString error;
    const std::optional<int> slot = store.findNamed(profileTitle, error);
    if (!slot) {
        err << error << u'\n';
        return ExitStatus::badUsage;
    }
    return action == Action::Generate ? generate(store, *slot, replace, out, err)
                                      : check(store.read(*slot), out, checked, output);
}
