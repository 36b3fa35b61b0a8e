#pragma once

#include <QByteArray>
#include <QString>

// Reading a file the program was pointed at (a key file, the secrets file) within bounds: only a
// regular file is read, since a FIFO or a device would hold the reader for ever; at most a given
// number of bytes; and, where another file must never be read or written in its place, not
// through a symbolic link.
namespace RegularFile {

enum class Links { Follow, Refuse };

// The file's bytes; false with a sentence that names the file (`what`: "The service account key
// file") when it cannot be read as asked. A missing file reads as empty when `missingIsEmpty`.
bool read(const QString& path, const QString& what, qint64 limit, Links links, bool missingIsEmpty,
          QByteArray& bytes, QString& error);

} // namespace RegularFile
