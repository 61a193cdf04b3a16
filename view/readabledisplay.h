#pragma once

#include <QString>

class QLabel;
class QLCDNumber;

// Displays that a screen reader reads with their value: each shows its value and carries the
// accessible name "<caption>: <value>", e.g. "System size L: 600", renewed on every change (a
// name set once would hide the value that Qt otherwise exposes).
namespace readable_display {

QString spoken(const QString& caption, const QString& value);

// The caption of a display in the lattice window is the title of the group that frames it.
void show(QLCDNumber* display, int value);
void show(QLCDNumber* display, double value);

void show(QLabel* label, const QString& caption, const QString& value);

} // namespace readable_display
