#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

// Page ids as the history keeps a long list of them (a listing, the pages of one request): in
// ascending order, each the gap from the one before in seven-bit groups, so that a million
// neighbouring ids take a megabyte rather than a row each.
namespace PackedIds {

QByteArray pack(const QList<qint64>& ascending);
QList<qint64> unpack(QByteArrayView packed);

} // namespace PackedIds
