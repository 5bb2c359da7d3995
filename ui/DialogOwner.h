#pragma once

class QWidget;

// The owner for a dialog or chooser about to run: the active window, or
// `fallback` when no window of the program is active.
QWidget* dialogOwner(QWidget* fallback);
