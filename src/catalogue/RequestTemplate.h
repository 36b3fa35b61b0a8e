#pragma once

#include <QString>
#include <QStringList>

// The request template of a catalogue row (`data`): form data in which a profile value is
// written as a bracketed lower-case key word, such as "[email]".
namespace RequestTemplate {

// The seventeen key words, in the order in which composition replaces them.
const QStringList& placeholderKeywords();

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

// Every bracketed word in the text that is not one of the seventeen placeholders, in order of
// appearance ("[Name]", "[homepage]"): composition would send it literally.
QStringList unknownPlaceholders(const QString& templateText);

} // namespace RequestTemplate
