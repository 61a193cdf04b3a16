#pragma once

#include <QString>

namespace probability_text {

// Checks a probability as typed into the entry field and prepares it for conversion, in place:
// a leading "." gets a "0" in front, and an accepted text is cut to its first six characters.
// The rules look at characters, not at the value: digits and at most one "."; more than two
// characters only with the "." in second place; after a leading "1" only zeros from the third
// character on. Every rule sees the whole text, before the cut. Returns whether the text passes;
// a rejected text keeps the "0" that may have been put in front and is not cut.
//
// Only the ASCII digits count: other Unicode digits would pass a QChar::isDigit test and then
// silently convert to 0.
bool accept(QString& text);

} // namespace probability_text
