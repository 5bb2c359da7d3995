#pragma once

#include <vector>

// Menu and accelerator table 109 of the main window.
namespace CommandId {
constexpr int Open = 57601;
constexpr int Save = 57603;
// The File menu's list of recently opened photos (a submenu).
constexpr int RecentFiles = 57616;
constexpr int Undo = 57643;
constexpr int Redo = 57644;
// Writing and reading the caption list as a file.
constexpr int LoadCaptionSet = 32771;
constexpr int SaveCaptionSet = 32772;
// A table of values for the captions' placeholders.
constexpr int LoadCaptionData = 32773;
// The view's zoom: fitted to the window, 100%, a step in or out.
constexpr int ZoomFit = 32774;
constexpr int ZoomActual = 32775;
constexpr int ZoomIn = 32776;
constexpr int ZoomOut = 32777;
constexpr int Exit = 105;
constexpr int About = 104;
} // namespace CommandId

constexpr int kMainMenuId = 109;

// One item of a popup; a separator has command 0 and no text. `keys` are
// the item's shortcuts in QKeySequence's portable form, several separated
// by "; " (the first is the one the menu shows). A submenu item opens a
// list the window fills at run time.
struct MenuItem {
    int command = 0;
    const char16_t* text = nullptr;
    const char16_t* keys = nullptr;
    bool submenu = false;

    bool isSeparator() const { return command == 0; }
};

struct MenuPopup {
    const char16_t* title;
    std::vector<MenuItem> items;
};

// A key that runs a command: the character typed (not the key that types
// it), with or without Alt held.
struct Accelerator {
    char16_t character;
    bool alt;
    int command;
};

const std::vector<MenuPopup>& mainMenu();
const std::vector<Accelerator>& mainAccelerators();
