#include "resources/MainMenu.h"

const std::vector<MenuPopup>& mainMenu() {
    static const std::vector<MenuPopup> menu{
        {u"&File",
         {
             {CommandId::Open, u"&Open..."},
             {CommandId::Save, u"Save..."},
             {},
             {CommandId::Exit, u"E&xit"},
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
