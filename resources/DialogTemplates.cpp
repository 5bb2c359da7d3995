#include "resources/DialogTemplates.h"

#include "resources/VersionValues.h"

namespace {

const DialogTemplate& aboutTemplate() {
    static const DialogTemplate dialog{
        DialogId::About,
        u"About Lumora",
        200,
        94,
        u"MS Shell Dlg",
        8,
        {
            {.kind = ControlKind::Icon, .x = 14, .y = 14, .width = 21, .height = 20},
            {.id = ControlId::AboutProductName,
             .text = u"(1)",
             .x = 46,
             .y = 14,
             .width = 146,
             .height = 8,
             .noPrefix = true},
            {.id = ControlId::AboutCopyright,
             .text = u"(3)",
             .x = 46,
             .y = 36,
             .width = 146,
             .height = 8},
            {.id = ControlId::Ok,
             .kind = ControlKind::PushButton,
             .text = u"OK",
             .x = 143,
             .y = 72,
             .width = 50,
             .height = 14,
             .tabStop = true,
             .isDefault = true},
            {.id = ControlId::AboutVersion,
             .text = u"(2)",
             .x = 46,
             .y = 25,
             .width = 146,
             .height = 8},
            {.id = ControlId::AboutLink,
             .kind = ControlKind::Link,
             .text = LUMORA_WEB_ADDRESS,
             .x = 74,
             .y = 60,
             .width = 119,
             .height = 9,
             .tabStop = true},
        },
    };
    return dialog;
}

} // namespace

const DialogTemplate* dialogTemplate(int id) {
    if (id == DialogId::About)
        return &aboutTemplate();
    return nullptr;
}
