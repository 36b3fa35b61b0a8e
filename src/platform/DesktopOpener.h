#pragma once

class QUrl;

/// Opens a web address or a local file with the desktop's default program.
/// Tests record the addresses instead of opening them.
class DesktopOpener
{
public:
    virtual ~DesktopOpener();

    /// Hands the address to the desktop; false when no program could be asked to open it.
    virtual bool open(const QUrl& url) = 0;
};

class SystemDesktopOpener final : public DesktopOpener
{
public:
    bool open(const QUrl& url) override;
};
