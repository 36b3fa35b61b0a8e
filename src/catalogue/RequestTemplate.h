#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// The request template of a catalogue row (`data`): a request body or query in which a profile
// value is written as a bracketed lower-case key word, such as "[email]".
namespace RequestTemplate {

// The key words, in the order in which composition replaces them: the seventeen profile fields,
// then the values a notification protocol needs.
const QStringList& placeholderKeywords();
constexpr int fieldPlaceholderCount = 17;
enum class Notification { Key = fieldPlaceholderCount, Host, Feed, KeyLocation };
constexpr int placeholderCount = int(Notification::KeyLocation) + 1;

// How values are written into a template, from the row's `encoding`: form-urlencoded (the
// default), a JSON string's content, XML text, or as they stand.
enum class Encoding { Form, Json, Xml, Text };
// The encoding a column value names, in any case; empty is Form, anything unknown none.
std::optional<Encoding> encodingNamed(const QString& name);
QByteArray contentType(Encoding encoding);

QString placeholder(const QString& keyword);

// A bracketed word of a template ("[url]", "[Name]"): where it stands, its length with the
// brackets, and the index of its placeholder in placeholderKeywords(), or -1 when it is none.
struct BracketedWord
{
    qsizetype at = -1;
    qsizetype length = 0;
    int placeholder = -1;
};

// The first bracketed word at or after `from`; `at` is -1 when there is none. A word starts at
// every "[" that a "]" closes before the next "[", and holds ASCII letters only.
BracketedWord nextBracketedWord(const QString& templateText, qsizetype from);

// Every bracketed word in the text that is not one of the placeholders, in order of
// appearance ("[Name]", "[homepage]"): composition would send it literally.
QStringList unknownPlaceholders(const QString& templateText);

} // namespace RequestTemplate
