#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <chrono>

// Another program of the system (systemctl, crontab, systemd-analyze), run to its end with what
// it is given on its standard input. Found on PATH, so that tests can put stand-ins first.
struct ExternalProgram
{
    struct Finished
    {
        bool started = false; // false: not installed, or not executable
        int exitCode = -1;    // -1 when it crashed or took too long and was killed
        QByteArray out;
        QByteArray err;

        bool succeeded() const { return started && exitCode == 0; }
        // What it said went wrong, for a message: its standard error, else its output.
        QString complaint() const;
    };

    static bool installed(const QString& program);
    static Finished run(const QString& program, const QStringList& arguments, const QByteArray& input = {},
                        std::chrono::milliseconds patience = std::chrono::seconds(30));
};
