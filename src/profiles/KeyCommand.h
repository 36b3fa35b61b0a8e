#pragma once

#include <QString>

#include <functional>

class QIODevice;
class SettingsStore;

// The command line's "key" command: make a stored profile's IndexNow key, or check that its
// site serves it. Lines go to `out` and messages to `err`, as UTF-8.
namespace KeyCommand {

enum class Action { Generate, Check };
enum class Output { Text, Json };

// A profile that has a key keeps it unless `replace` is given. The exit status, as ExitStatus
// names them: a key made or served, not made or not served, or it could not run as asked.
// `checked`, when given, hears what a check found (served or not, and the sentence printed).
int run(Action action, const QString& profileTitle, bool replace, SettingsStore& settings, QIODevice& out,
        QIODevice& err, const std::function<void(bool served, const QString& message)>& checked = {},
        Output output = Output::Text);

} // namespace KeyCommand
