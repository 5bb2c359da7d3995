#pragma once

#include "captions/Caption.h"
#include "ui/TemplateDialog.h"

class CColorBox;
class CaptionTextEdit;

// The dialog that sets up one caption: margins, alignment, placement, font
// and text size, colours, outline, shadow and box, the two description
// flags and the text, with a menu of placeholders for the text. It edits a working copy
// and writes every change of a control into it at once; exec() returns 1
// when the person pressed "Add" (or Enter), after which the caller takes
// caption(), and 2 when they cancelled, which discards the copy. Every
// change of a control is announced with the working copy as it then stands,
// so a view can show it while the dialog is open.
class CCaptionDialog : public TemplateDialog {
    Q_OBJECT

public:
    // Starts from a new caption with the default settings.
    explicit CCaptionDialog(QWidget* parent = nullptr);
    // Starts from a copy of `caption`; the original is never touched.
    explicit CCaptionDialog(const Caption& caption, QWidget* parent = nullptr);

    const Caption& caption() const { return caption_; }

    // "Face, points, style" for label 1021: the style is the words Bold,
    // Italic, Underline and Strikeout that apply, joined with ", ", or
    // Regular; the points are the em height at `dpi`, rounded (a positive
    // cell height gives a negative number).
    static QString describeFont(const LogFont& font, int dpi);
    // Label 1021 for a caption: describeFont() when its size is in pixels,
    // else "Face, N.N% of picture, style" with the percentage to one
    // decimal.
    static QString describeCaptionFont(const Caption& caption, int dpi);

    // Puts "{name}" into the caption text at the cursor, in place of any
    // selected text, and gives the text the focus; what the placeholder
    // menu's entries do.
    void insertPlaceholder(const QString& name);

signals:
    // A control changed the working copy (or wrote back the value it had).
    void captionChanged(const Caption& caption);

protected:
    void onCommand(int id) override;

private:
    void connectReactions();
    // Shows the whole working caption in the controls.
    void refreshControls();
    void chooseFont();
    void chooseColor(std::uint32_t Caption::*field);

    // The size, outline, shadow, box and placeholder controls
    // (CaptionDialogStyle.cpp). They ignore what refreshStyleControls()
    // writes into them, so showing a caption never changes it.
    void setUpStyleControls();
    void connectStyleReactions();
    void refreshStyleControls();
    void refreshSizeValue();
    void refreshFontDescription();
    // Enables each setting with its check box (the box only on the image).
    void enableStyleControls();
    // True when `id` is one of the style colour buttons, after choosing.
    bool styleCommand(int id);
    void changed();

    Caption caption_;
    CaptionTextEdit* textEdit_ = nullptr;
    CColorBox* textSwatch_ = nullptr;
    CColorBox* backgroundSwatch_ = nullptr;
    bool refreshing_ = false;
};
