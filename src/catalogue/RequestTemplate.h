#pragma once

#include <QString>
#include <QStringList>

// The request template of a catalogue row (`data`): form data in which a profile value is
// written as a bracketed lower-case key word, such as "[email]".
namespace RequestTemplate {

// The seventeen key words, in the order in which composition replaces them.
const QStringList& placeholderKeywords();

QString placeholder(const QString& keyword);

// Every bracketed word in the text that is not one of the seventeen placeholders, in order of
// appearance ("[Name]", "[homepage]"): composition would send it literally.
QStringList unknownPlaceholders(const QString& templateText);

} // namespace RequestTemplate
