#pragma once

// libheif is loaded the first time a HEIF or AVIF picture is read, not when
// the program starts (see HeifLibrary.cpp).

// Whether libheif could be loaded; the first call loads it.
bool heifLibraryLoaded();
