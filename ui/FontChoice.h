#pragma once

#include "captions/LogFont.h"

#include <QFont>

// The font chooser works in points on the screen, captions in pixels of the
// picture: these convert between the two at the screen's logical DPI.

// The primary screen's vertical logical DPI; 96 without a screen.
int screenLogicalDpiY();

// The font the chooser starts from: the caption font's face and style, at
// the point size its em height comes to on the screen (at least 1).
QFont chooserFontOf(const LogFont& font, int dpi);

// The caption font for what the chooser returned: its face, weight, italic,
// underline and strike-out, and a negative (em) height of the chosen size
// in screen pixels. The fields the chooser has no say in (character set,
// precision, quality, pitch) are kept from `previous`; width, escapement
// and orientation become 0.
LogFont logFontFromChooser(const QFont& chosen, const LogFont& previous, int dpi);
