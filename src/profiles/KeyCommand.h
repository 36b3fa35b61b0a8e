#pragma once

#include <QString>

class QIODevice;
class SettingsStore;

// The command line's "key" command: make a stored profile's IndexNow key, or check that its
// site serves it. Lines go to `out` and messages to `err`, as UTF-8.
namespace KeyCommand {

enum class Action { Generate, Check };

// Exit statuses: done (a key made, or served), not done, or could not run as asked.
constexpr int done = 0;
constexpr int notDone = 1;
constexpr int badUsage = 2;

// A profile that has a key keeps it unless `replace` is given.
int run(Action action, const QString& profileTitle, bool replace, SettingsStore& settings, QIODevice& out,
        QIODevice& err);

} // namespace KeyCommand
