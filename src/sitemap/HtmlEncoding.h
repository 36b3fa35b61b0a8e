#pragma once

#include <QByteArrayView>

#include <libxml/encoding.h>

// The encoding an HTML page's bytes are in, as a browser settles it: a byte-order mark, else the
// charset of the answer's Content-Type; none when the document's own declaration (or libxml2's
// guess) is to decide. `skip` receives the length of the mark.
xmlCharEncodingHandlerPtr htmlEncodingOf(QByteArrayView html, QByteArrayView contentType, qsizetype& skip);
