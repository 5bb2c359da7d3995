#pragma once

#include <QString>

// Hands an address to the desktop's browser. Every place that opens the
// maker's site goes through here, so there is one call to watch (tests put
// their own handler in front of it with QDesktopServices::setUrlHandler).
void openAddress(const QString& address);
