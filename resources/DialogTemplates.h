#pragma once

#include <vector>

// Dialog templates: each control's kind, identifier, initial text and
// rectangle in dialog units (x, y, width, height), in template order, which
// is also the tab order.
enum class ControlKind {
    Icon,          // the program icon
    Label,         // static text
    PushButton,    // a button; `isDefault` marks the one Enter presses
    Link,          // a clickable address; its text is the address
    Edit,          // one line of text; `digitsOnly` accepts typed digits only
    MultiLineEdit, // lines of text without wrapping; Enter is the dialog's
    UpDown,        // two arrows stepping the number in the edit `buddy`
    RadioButton,   // one choice of a group; `groupStart` opens a new group
    CheckBox,      // an on/off choice
    GroupBox,      // a titled frame drawn behind the controls it surrounds
    ListBox,       // a single-selection list in the order entries are added
    ColorSwatch,   // a framed patch of one colour
    DropDownList,  // one of fixed choices; the text holds them, one a line
};

struct ControlTemplate {
    int id = -1; // -1: the control has no identifier
    ControlKind kind = ControlKind::Label;
    const char16_t* text = u"";
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool tabStop = false;
    bool isDefault = false;
    // A label that shows "&" as it is instead of marking a mnemonic.
    bool noPrefix = false;
    // A label whose text sits in the middle of its height.
    bool centreVertically = false;
    bool digitsOnly = false;
    bool groupStart = false;
    // The edit an up-down control steps; -1 for none.
    int buddy = -1;
};

struct DialogTemplate {
    int id;
    const char16_t* title;
    int width;
    int height;
    const char16_t* fontFace;
    int fontPoints;
    std::vector<ControlTemplate> controls;
};

namespace DialogId {
constexpr int About = 103;
constexpr int Caption = 129;
constexpr int SelectCaption = 130;
} // namespace DialogId

namespace ControlId {
constexpr int Ok = 1;
constexpr int Cancel = 2;
constexpr int AboutProductName = 1028;
constexpr int AboutVersion = 1029;
constexpr int AboutCopyright = 1030;
constexpr int AboutLink = 1027;

constexpr int MarginLeft = 1000;
constexpr int MarginTop = 1001;
constexpr int MarginRight = 1002;
constexpr int MarginBottom = 1003;
constexpr int SpinLeft = 1004;
constexpr int SpinRight = 1005;
constexpr int SpinBottom = 1006;
constexpr int SpinTop = 1007;
constexpr int AlignLeft = 1008;
constexpr int AlignCenter = 1009;
constexpr int AlignRight = 1010;
constexpr int AlignTop = 1011;
constexpr int AlignMiddle = 1012;
constexpr int AlignBottom = 1013;
constexpr int OnImage = 1014;
constexpr int TopBand = 1015;
constexpr int BottomBand = 1016;
constexpr int DescriptionAsText = 1017;
constexpr int TextAsDescription = 1018;
constexpr int CaptionText = 1019;
constexpr int ChooseFont = 1020;
constexpr int FontDescription = 1021;
constexpr int ChooseTextColor = 1022;
constexpr int ChooseBackgroundColor = 1023;
constexpr int TextColorSwatch = 1024;
constexpr int BackgroundColorSwatch = 1025;
constexpr int CaptionListBox = 1026;

// The caption's text size beside "Choose font...": the number and its unit.
constexpr int SizeValue = 1031;
constexpr int SizeUnitChoice = 1032;
// The outline around the glyphs.
constexpr int OutlineEnabled = 1033;
constexpr int OutlineWidth = 1034;
constexpr int OutlineWidthUnit = 1035;
constexpr int ChooseOutlineColor = 1036;
constexpr int OutlineColorSwatch = 1037;
// The shadow behind the text.
constexpr int ShadowEnabled = 1038;
constexpr int ShadowOffsetX = 1039;
constexpr int SpinShadowOffsetX = 1040;
constexpr int ShadowOffsetY = 1041;
constexpr int SpinShadowOffsetY = 1042;
constexpr int ShadowBlur = 1043;
constexpr int ShadowOpacity = 1044;
constexpr int SpinShadowOpacity = 1045;
constexpr int ChooseShadowColor = 1046;
constexpr int ShadowColorSwatch = 1047;
// The box behind on-image text.
constexpr int BoxEnabled = 1048;
constexpr int BoxOpacity = 1049;
constexpr int SpinBoxOpacity = 1050;
constexpr int BoxPadding = 1051;
constexpr int SpinBoxPadding = 1052;
constexpr int ChooseBoxColor = 1053;
constexpr int BoxColorSwatch = 1054;
// The button whose menu inserts a placeholder into the caption text.
constexpr int InsertPlaceholder = 1055;
// Shrinking the font to keep a long text on one line.
constexpr int ShrinkToFit = 1056;
} // namespace ControlId

// The template with that identifier; null for an unknown one.
const DialogTemplate* dialogTemplate(int id);
