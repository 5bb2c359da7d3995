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

// A digit edit with its up-down arrows, which sit at the edit's right end.
ControlTemplate numberEdit(int id, int x, int y, int width) {
    ControlTemplate entry = control(ControlKind::Edit, id, u"", x, y, width, 14, true);
    entry.digitsOnly = true;
    return entry;
}

ControlTemplate arrows(int id, int buddy) {
    ControlTemplate entry = control(ControlKind::UpDown, id, u"", 0, 0, 11, 14);
    entry.buddy = buddy;
    return entry;
}

// A label beside a field of the legibility column, or after it (a unit).
ControlTemplate fieldLabel(const char16_t* text, int x, int y, int width) {
    ControlTemplate entry = control(ControlKind::Label, -1, text, x, y, width, 14);
    entry.centreVertically = true;
    return entry;
}

ControlTemplate unitChoice(int id, int x, int y) {
    return control(ControlKind::DropDownList, id, u"% of picture\npixels", x, y, 62, 14, true);
}

// The text size, beside "Choose font..." (tab order follows that button).
std::vector<ControlTemplate> sizeRow() {
    using namespace ControlId;
    return {
        control(ControlKind::Edit, SizeValue, u"", 335, 21, 30, 14, true),
        unitChoice(SizeUnitChoice, 369, 21),
    };
}

// The legibility column: outline, shadow and box, each a check box with
// its settings indented below it. Tab order runs down the column, after the
// background colour and before the description flags.
std::vector<ControlTemplate> legibilityTabStops() {
    using namespace ControlId;
    std::vector<ControlTemplate> rows = {
        control(ControlKind::CheckBox, OutlineEnabled, u"Outline", 455, 19, 50, 10, true),
        control(ControlKind::Edit, OutlineWidth, u"", 500, 32, 30, 14, true),
        unitChoice(OutlineWidthUnit, 534, 32),
        button(ChooseOutlineColor, u"Choose color...", 520, 49, 70),
        control(ControlKind::CheckBox, ShadowEnabled, u"Shadow", 455, 72, 50, 10, true),
        numberEdit(ShadowOffsetX, 500, 85, 34),
        numberEdit(ShadowOffsetY, 552, 85, 34),
        control(ControlKind::Edit, ShadowBlur, u"", 500, 102, 34, 14, true),
        numberEdit(ShadowOpacity, 500, 119, 34),
        button(ChooseShadowColor, u"Choose color...", 520, 136, 70),
        control(ControlKind::CheckBox, BoxEnabled, u"Box behind text", 455, 159, 80, 10, true),
        numberEdit(BoxOpacity, 500, 172, 34),
        numberEdit(BoxPadding, 500, 189, 34),
        button(ChooseBoxColor, u"Choose color...", 520, 206, 70),
    };
    // Offsets can be negative (left, up); the dialog takes a sign there.
    rows[5].digitsOnly = false;
    rows[6].digitsOnly = false;
    return rows;
}

std::vector<ControlTemplate> legibilityDecor() {
    using namespace ControlId;
    return {
        groupBox(u"Legibility:", 446, 6, 161, 221),
        fieldLabel(u"Width:", 465, 32, 33),
        fieldLabel(u"Color:", 465, 49, 33),
        control(ControlKind::ColorSwatch, OutlineColorSwatch, u"", 500, 50, 13, 11),
        fieldLabel(u"Offset x:", 465, 85, 33),
        arrows(SpinShadowOffsetX, ShadowOffsetX),
        fieldLabel(u"y:", 541, 85, 9),
        arrows(SpinShadowOffsetY, ShadowOffsetY),
        fieldLabel(u"Blur:", 465, 102, 33),
        fieldLabel(u"px", 538, 102, 20),
        fieldLabel(u"Opacity:", 465, 119, 33),
        arrows(SpinShadowOpacity, ShadowOpacity),
        fieldLabel(u"%", 538, 119, 20),
        fieldLabel(u"Color:", 465, 136, 33),
        control(ControlKind::ColorSwatch, ShadowColorSwatch, u"", 500, 137, 13, 11),
        fieldLabel(u"Opacity:", 465, 172, 33),
        arrows(SpinBoxOpacity, BoxOpacity),
        fieldLabel(u"%", 538, 172, 20),
        fieldLabel(u"Padding:", 465, 189, 33),
        arrows(SpinBoxPadding, BoxPadding),
        fieldLabel(u"px", 538, 189, 20),
        fieldLabel(u"Color:", 465, 206, 33),
        control(ControlKind::ColorSwatch, BoxColorSwatch, u"", 500, 207, 13, 11),
    };
}

// The template in the order of its parts; tab order is the order of the
// entries that take Tab.
std::vector<ControlTemplate> joined(std::initializer_list<std::vector<ControlTemplate>> parts) {
    std::vector<ControlTemplate> all;
    for (const std::vector<ControlTemplate>& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

const DialogTemplate& captionTemplate() {
    using namespace ControlId;
    static const DialogTemplate dialog{
        DialogId::Caption,
        u"Caption",
        614,
        255,
        u"MS Shell Dlg",
        8,
        joined({
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
            },
            sizeRow(),
            {
                button(ChooseTextColor, u"Choose color...", 264, 51, 70),
                button(ChooseBackgroundColor, u"Choose color...", 264, 89, 70),
            },
            legibilityTabStops(),
            {
                control(ControlKind::CheckBox, DescriptionAsText,
                        u"Use Image Description as Caption Text", 15, 117, 140, 10, true),
                control(ControlKind::CheckBox, TextAsDescription,
                        u"Use Caption Text as Image Description", 15, 131, 140, 10, true),
                control(ControlKind::CheckBox, ShrinkToFit, u"Shrink to fit one line", 160, 117, 90,
                        10, true),
                control(ControlKind::MultiLineEdit, CaptionText, u"", 7, 159, 433, 68, true),
                button(InsertPlaceholder, u"Placeholders", 360, 143, 80),
                button(Ok, u"Add", 502, 234, 50, true),
                button(Cancel, u"Cancel", 557, 234, 50),
                groupBox(u" Margins: ", 7, 7, 101, 102),
                groupBox(u" Horizontal alignment: ", 114, 7, 134, 32),
                groupBox(u" Vertical alignment: ", 114, 42, 134, 32),
                groupBox(u"Text Properties:", 254, 6, 186, 68),
                groupBox(u"Background Properties:", 254, 77, 186, 32),
                groupBox(u"Disposition:", 114, 77, 134, 32),
                control(ControlKind::Label, -1, u"Caption Text:", 7, 146, 45, 8),
                rowLabel(u"Left", 20, 14),
                rowLabel(u"Top", 36, 13),
                rowLabel(u"Right", 52, 18),
                rowLabel(u"Bottom", 68, 24),
                control(ControlKind::Label, FontDescription, u"", 265, 39, 170, 8),
                control(ControlKind::ColorSwatch, TextColorSwatch, u"", 351, 52, 13, 11),
                control(ControlKind::ColorSwatch, BackgroundColorSwatch, u"", 351, 90, 13, 11),
            },
            legibilityDecor(),
        }),
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
