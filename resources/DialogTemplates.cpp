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

ControlTemplate control(ControlKind kind, int id, const char16_t* text, int x, int y, int width,
                        int height, bool tabStop = false) {
    ControlTemplate entry;
    entry.id = id;
    entry.kind = kind;
    entry.text = text;
    entry.x = x;
    entry.y = y;
    entry.width = width;
    entry.height = height;
    entry.tabStop = tabStop;
    return entry;
}

ControlTemplate marginEdit(int id, int y) {
    ControlTemplate entry = control(ControlKind::Edit, id, u"", 50, y, 40, 14, true);
    entry.digitsOnly = true;
    return entry;
}

ControlTemplate spin(int id, int y, int buddy) {
    ControlTemplate entry = control(ControlKind::UpDown, id, u"", 90, y, 11, 14);
    entry.buddy = buddy;
    return entry;
}

ControlTemplate radio(int id, const char16_t* text, int x, int y, int width,
                      bool groupStart = false) {
    ControlTemplate entry = control(ControlKind::RadioButton, id, text, x, y, width, 10);
    entry.groupStart = groupStart;
    return entry;
}

ControlTemplate button(int id, const char16_t* text, int x, int y, int width,
                       bool isDefault = false) {
    ControlTemplate entry = control(ControlKind::PushButton, id, text, x, y, width, 14, true);
    entry.isDefault = isDefault;
    return entry;
}

ControlTemplate groupBox(const char16_t* text, int x, int y, int width, int height) {
    return control(ControlKind::GroupBox, -1, text, x, y, width, height);
}

ControlTemplate rowLabel(const char16_t* text, int y, int width) {
    ControlTemplate entry = control(ControlKind::Label, -1, text, 16, y, width, 14);
    entry.centreVertically = true;
    return entry;
}

const DialogTemplate& captionTemplate() {
    using namespace ControlId;
    static const DialogTemplate dialog{
        DialogId::Caption,
        u"Caption",
        397,
        255,
        u"MS Shell Dlg",
        8,
        {
            marginEdit(MarginLeft, 20),
            marginEdit(MarginTop, 36),
            marginEdit(MarginRight, 52),
            marginEdit(MarginBottom, 68),
            spin(SpinLeft, 20, MarginLeft),
            spin(SpinTop, 36, MarginTop),
            spin(SpinRight, 53, MarginRight),
            spin(SpinBottom, 68, MarginBottom),
            radio(AlignLeft, u"Left", 123, 18, 29, true),
            radio(AlignCenter, u"Center", 157, 18, 38),
            radio(AlignRight, u"Right", 201, 18, 33),
            radio(AlignTop, u"Top", 123, 54, 28, true),
            radio(AlignMiddle, u"Center", 157, 54, 38),
            radio(AlignBottom, u"Bottom", 201, 54, 39),
            radio(OnImage, u"On Image", 122, 90, 47, true),
            radio(TopBand, u"Top", 172, 90, 28),
            radio(BottomBand, u"Bottom", 204, 90, 39),
            button(ChooseFont, u"Choose font...", 264, 21, 67),
            button(ChooseTextColor, u"Choose color...", 264, 51, 70),
            button(ChooseBackgroundColor, u"Choose color...", 264, 89, 70),
            control(ControlKind::CheckBox, DescriptionAsText,
                    u"Use Image Description as Caption Text", 15, 117, 140, 10, true),
            control(ControlKind::CheckBox, TextAsDescription,
                    u"Use Caption Text as Image Description", 15, 131, 140, 10, true),
            control(ControlKind::MultiLineEdit, CaptionText, u"", 7, 159, 383, 68, true),
            button(Ok, u"Add", 285, 234, 50, true),
            button(Cancel, u"Cancel", 340, 234, 50),
            groupBox(u" Margins: ", 7, 7, 101, 102),
            groupBox(u" Horizontal alignment: ", 114, 7, 134, 32),
            groupBox(u" Vertical alignment: ", 114, 42, 134, 32),
            groupBox(u"Text Properties:", 254, 6, 135, 68),
            groupBox(u"Background Properties:", 254, 77, 135, 32),
            groupBox(u"Disposition:", 114, 77, 134, 32),
            control(ControlKind::Label, -1, u"Caption Text:", 7, 146, 45, 8),
            rowLabel(u"Left", 20, 14),
            rowLabel(u"Top", 36, 13),
            rowLabel(u"Right", 52, 18),
            rowLabel(u"Bottom", 68, 24),
            control(ControlKind::Label, FontDescription, u"", 265, 39, 118, 8),
            control(ControlKind::ColorSwatch, TextColorSwatch, u"", 351, 52, 13, 11),
            control(ControlKind::ColorSwatch, BackgroundColorSwatch, u"", 351, 90, 13, 11),
        },
    };
    return dialog;
}

const DialogTemplate& selectCaptionTemplate() {
    static const DialogTemplate dialog{
        DialogId::SelectCaption,
        u"Dialog",
        316,
        181,
        u"MS Shell Dlg",
        8,
        {
            button(ControlId::Ok, u"OK", 205, 160, 50, true),
            button(ControlId::Cancel, u"Cancel", 259, 160, 50),
            control(ControlKind::ListBox, ControlId::CaptionListBox, u"", 7, 7, 302, 149, true),
        },
    };
    return dialog;
}

} // namespace

const DialogTemplate* dialogTemplate(int id) {
    switch (id) {
    case DialogId::About:
        return &aboutTemplate();
    case DialogId::Caption:
        return &captionTemplate();
    case DialogId::SelectCaption:
        return &selectCaptionTemplate();
    default:
        return nullptr;
    }
}
