#pragma once

#include <vector>

// Dialog templates: each control's kind, identifier, initial text and
// rectangle in dialog units (x, y, width, height), in template order, which
// is also the tab order.
enum class ControlKind {
    Icon,       // the program icon
    Label,      // static text
    PushButton, // a button; `isDefault` marks the one Enter presses
    Link,       // a clickable address; its text is the address
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
} // namespace DialogId

namespace ControlId {
constexpr int Ok = 1;
constexpr int Cancel = 2;
constexpr int AboutProductName = 1028;
constexpr int AboutVersion = 1029;
constexpr int AboutCopyright = 1030;
constexpr int AboutLink = 1027;
} // namespace ControlId

// The template with that identifier; null for an unknown one.
const DialogTemplate* dialogTemplate(int id);
