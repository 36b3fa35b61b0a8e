#include "SessionBusProbe.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHash>
#include <QLocalSocket>
#include <QTcpSocket>
#include <QUrl>

#include <memory>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// The first address of the list D-Bus reads from the environment, as "key=value" pairs by name,
// with its transport in "transport"; none when there is no bus to try.
QHash<QString, QString> busAddress()
{
    QString address = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS").section(u';', 0, 0);
    if (address.isEmpty()) {
        const QString standard = QDir(qEnvironmentVariable("XDG_RUNTIME_DIR")).filePath(u"bus"_s);
        if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR") || !QFileInfo::exists(standard))
            return {};
        address = u"unix:path="_s + standard;
    }
    QHash<QString, QString> parts{{u"transport"_s, address.section(u':', 0, 0)}};
    for (const QString& pair : address.section(u':', 1).split(u',', Qt::SkipEmptyParts))
        parts.insert(pair.section(u'=', 0, 0), QUrl::fromPercentEncoding(pair.section(u'=', 1).toUtf8()));
    return parts;
}

} // namespace

bool SessionBusProbe::answers(std::chrono::milliseconds patience)
{
    const QHash<QString, QString> address = busAddress();
    std::unique_ptr<QIODevice> socket;
    QElapsedTimer elapsed;
    elapsed.start();
    const int wait = int(patience.count());
    if (address.value(u"transport"_s) == u"unix"_s) {
        auto* local = new QLocalSocket;
        socket.reset(local);
        if (address.contains(u"abstract"_s))
            local->setSocketOptions(QLocalSocket::AbstractNamespaceOption);
        local->connectToServer(address.value(u"abstract"_s, address.value(u"path"_s)));
        if (!local->waitForConnected(wait))
            return false;
    } else if (address.value(u"transport"_s) == u"tcp"_s) {
        auto* tcp = new QTcpSocket;
        socket.reset(tcp);
        tcp->connectToHost(address.value(u"host"_s), quint16(address.value(u"port"_s).toUInt()));
        if (!tcp->waitForConnected(wait))
            return false;
    } else {
        return !address.isEmpty(); // another transport: let D-Bus itself try it
    }
    // The first words of the protocol: a living bus answers OK, or REJECTED, at once.
    socket->write(QByteArray(1, '\0') + "AUTH EXTERNAL " + QByteArray::number(::getuid()).toHex() + "\r\n");
    const auto waitForBytes = [&] {
        const int left = wait - int(elapsed.elapsed());
        if (left <= 0)
            return false;
        if (auto* local = qobject_cast<QLocalSocket*>(socket.get()))
            return local->waitForReadyRead(left);
        return static_cast<QTcpSocket*>(socket.get())->waitForReadyRead(left);
    };
    QByteArray said;
    while (!said.contains("\r\n") && waitForBytes())
        said += socket->readAll();
    return said.startsWith("OK") || said.startsWith("REJECTED");
}
