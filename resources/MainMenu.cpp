#include "resources/MainMenu.h"

const std::vector<MenuPopup>& mainMenu() {
    static const std::vector<MenuPopup> menu{
        {u"&File",
         {
             {CommandId::Open, u"&Open...", u"Ctrl+O"},
             {CommandId::Save, u"&Save...", u"Ctrl+S"},
             {CommandId::RecentFiles, u"Open &Recent", nullptr, true},
             {},
             {CommandId::LoadCaptionSet, u"&Load Caption Set..."},
             {CommandId::SaveCaptionSet, u"Save Caption Se&t..."},
             {CommandId::LoadCaptionData, u"Caption &Data..."},
             {},
             {CommandId::Exit, u"E&xit", u"Ctrl+Q"},
         }},
        {u"&Edit",
         {
             {CommandId::Undo, u"&Undo", u"Ctrl+Z"},
             {CommandId::Redo, u"&Redo", u"Ctrl+Shift+Z; Ctrl+Y"},
         }},
        {u"&View",
         {
             {CommandId::ZoomFit, u"&Fit in Window", u"Ctrl+0"},
             {CommandId::ZoomActual, u"&Actual Size (100%)", u"Ctrl+1"},
             {CommandId::ZoomIn, u"Zoom &In", u"Ctrl++; Ctrl+="},
             {CommandId::ZoomOut, u"Zoom &Out", u"Ctrl+-"},
         }},
        {u"&Help", {{CommandId::About, u"&About ..."}}},
    };
    return menu;
}

const std::vector<Accelerator>& mainAccelerators() {
    static const std::vector<Accelerator> accelerators{
        {u'?', true, CommandId::About},
        {u'/', true, CommandId::About},
    };
    return accelerators;
}
