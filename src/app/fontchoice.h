#pragma once

#include <QFont>

namespace quorvel {

// The font dialog lists only the families that are installed. A title font
// stored as "Arial" on a desktop without Arial is drawn in the family the
// system uses for it (Liberation Sans, say); the dialog must show that one,
// not whichever family it happens to list first, and choosing it again
// keeps the stored name, so that the settings file still says "Arial".
//
// Need a QGuiApplication (fonts). User-interface thread.

// `stored` with the family the system draws for it, where the stored family
// is not installed under its own name; else `stored` unchanged.
QFont FontForDialog(const QFont& stored);

// What the dialog answered, as the program keeps it: the stored family
// where the chosen family is the one FontForDialog showed in its place.
QFont FontFromDialog(const QFont& stored, const QFont& chosen);

// Fonts are hinted (fitted to the pixel grid) at every screen scale alike:
// the slight, vertical-only hinting the desktop's font configuration uses by
// default. Qt leaves hinting to that configuration at a scale of 1 but turns
// it off at any other scale, which would change every text pixel of the
// captured, saved, served, copied and printed rasters on a high-density
// screen. Sets the application font's hinting preference, which every font
// without a preference of its own takes.
void UseScaleIndependentHinting();

}  // namespace quorvel
