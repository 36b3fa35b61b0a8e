#include "RegularFile.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

bool RegularFile::read(const QString& path, const QString& what, qint64 limit, Links links,
                       bool missingIsEmpty, QByteArray& bytes, QString& error)
{
    bytes.clear();
    const QByteArray native = QFile::encodeName(path);
    // Without blocking: a FIFO opened for reading would wait for a writer.
    const int flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | (links == Links::Refuse ? O_NOFOLLOW : 0);
    const int descriptor = ::open(native.constData(), flags);
    if (descriptor < 0) {
        const int why = errno;
        if (why == ENOENT && missingIsEmpty)
            return true;
        error = why == ELOOP && links == Links::Refuse
                    ? u"%1 \"%2\" is a symbolic link, which Orvanta does not follow: remove the link."_s.arg(
                          what, path)
                    : u"%1 \"%2\" cannot be read: %3."_s.arg(what, path,
                                                             QString::fromLocal8Bit(std::strerror(why)));
        return false;
    }
    struct stat info
    {};
    if (::fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(descriptor);
        error = u"%1 \"%2\" is not a regular file."_s.arg(what, path);
        return false;
    }
    QFile file;
    file.open(descriptor, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
    bytes = file.read(limit + 1);
    if (bytes.size() > limit) {
        error = u"%1 \"%2\" is larger than %3 bytes."_s.arg(what, path).arg(limit);
        bytes.clear();
        return false;
    }
    return true;
}
