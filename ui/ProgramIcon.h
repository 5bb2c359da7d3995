#pragma once

#include <QIcon>

// The program's icon with every size it is drawn at, for windows and the
// About box.
QIcon programIcon();
