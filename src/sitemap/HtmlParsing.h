#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <libxml/encoding.h>

// What the readers of a page's HTML (PageHead, ContentFingerprint) share around libxml2's parser.

// The encoding an HTML page's bytes are in, as a browser settles it: a byte-order mark, else the
// charset of the answer's Content-Type; none when the document's own declaration (or libxml2's
// guess) is to decide. `skip` receives the length of the mark.
xmlCharEncodingHandlerPtr htmlEncodingOf(QByteArrayView html, QByteArrayView contentType, qsizetype& skip);

// The value of the attribute `key` (lower case, as the HTML parser gives names) among the name and
// value pairs an element start gives; empty when it has none.
QByteArray htmlAttribute(const xmlChar** attributes, QByteArrayView key);
