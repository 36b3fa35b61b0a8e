#pragma once

#include <QByteArray>
#include <QIODevice>

// What the command line prints, on its way to a terminal or a log: text from outside (a
// server's reason phrase or answer, a file's content) may hold control characters, which are
// shown as visible escapes ("\x1B"), so that a server can neither clear the screen, retitle the
// window nor ring the bell. Tabs, line ends and CSV's CRLF pass. Every write goes out at once:
// a run that dies leaves every line it printed.
class TerminalOutput final : public QIODevice
{
public:
    explicit TerminalOutput(QIODevice& target);
    ~TerminalOutput() override;

    // Qt's own warnings, which may quote what a server sent (a reason phrase), go to stderr the
    // same way, each on one line.
    static void escapeQtMessages();

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override;

private:
    QIODevice& m_target;
    QByteArray m_held; // a CR or a lead byte whose meaning the next write decides
};
