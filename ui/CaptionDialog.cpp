#include "ui/CaptionDialog.h"

#include "resources/StringTable.h"
#include "ui/CaptionTextEdit.h"
#include "ui/ColorBox.h"
#include "ui/ColorChooser.h"
#include "ui/DialogOwner.h"
#include "ui/DialogUnits.h"
#include "ui/FontChoice.h"
#include "ui/NumberText.h"

#include <QCheckBox>
#include <QFontDialog>
#include <QLineEdit>
#include <QRadioButton>

#include <array>

namespace {

struct MarginEdit {
    int id;
    std::int32_t Caption::*field;
};

constexpr std::array<MarginEdit, 4> kMarginEdits{{
    {ControlId::MarginLeft, &Caption::marginLeft},
    {ControlId::MarginTop, &Caption::marginTop},
    {ControlId::MarginRight, &Caption::marginRight},
    {ControlId::MarginBottom, &Caption::marginBottom},
}};

// A radio button and the value it stands for in one of the caption's
// three choices.
struct Choice {
    int id;
    std::int32_t Caption::*field;
    std::int32_t value;
};

constexpr std::array<Choice, 9> kChoices{{
    {ControlId::AlignLeft, &Caption::horizontalAlignment, HorizontalAlignment::Left},
    {ControlId::AlignCenter, &Caption::horizontalAlignment, HorizontalAlignment::Center},
    {ControlId::AlignRight, &Caption::horizontalAlignment, HorizontalAlignment::Right},
    {ControlId::AlignTop, &Caption::verticalAlignment, VerticalAlignment::Top},
    {ControlId::AlignMiddle, &Caption::verticalAlignment, VerticalAlignment::Center},
    {ControlId::AlignBottom, &Caption::verticalAlignment, VerticalAlignment::Bottom},
    {ControlId::OnImage, &Caption::disposition, Disposition::OnImage},
    {ControlId::TopBand, &Caption::disposition, Disposition::TopBand},
    {ControlId::BottomBand, &Caption::disposition, Disposition::BottomBand},
}};

} // namespace

CCaptionDialog::CCaptionDialog(QWidget* parent) : CCaptionDialog(Caption(), parent) {}

CCaptionDialog::CCaptionDialog(const Caption& caption, QWidget* parent)
    : TemplateDialog(DialogId::Caption, parent), caption_(caption) {
    textEdit_ = control<CaptionTextEdit>(ControlId::CaptionText);
    textSwatch_ = control<CColorBox>(ControlId::TextColorSwatch);
    backgroundSwatch_ = control<CColorBox>(ControlId::BackgroundColorSwatch);
    setUpStyleControls();
    connectReactions();
    connectStyleReactions();
    refreshControls();
    // The left margin has the focus; typing replaces its number.
    control<QLineEdit>(ControlId::MarginLeft)->selectAll();
}

void CCaptionDialog::connectReactions() {
    for (const MarginEdit& margin : kMarginEdits) {
        auto* edit = control<QLineEdit>(margin.id);
        const auto field = margin.field;
        // Also runs when refreshControls() writes the number, which then
        // reads back the value it came from.
        connect(edit, &QLineEdit::textChanged, this, [this, field](const QString& text) {
            caption_.*field = numberFromText(text);
            emit captionChanged(caption_);
        });
    }
    for (const Choice& choice : kChoices) {
        const auto field = choice.field;
        const std::int32_t value = choice.value;
        connect(control<QRadioButton>(choice.id), &QRadioButton::toggled, this,
                [this, field, value](bool checked) {
                    if (!checked)
                        return;
                    caption_.*field = value;
                    emit captionChanged(caption_);
                });
    }
    // The two flags exclude each other: setting one clears the other, and
    // the refresh shows it. Only the person's clicks count here, so the
    // refresh's own changes do not come back as reactions.
    const auto flag = [this](int id, bool Caption::*field, bool Caption::*other) {
        connect(control<QCheckBox>(id), &QCheckBox::clicked, this,
                [this, field, other](bool checked) {
                    caption_.*field = checked;
                    if (checked)
                        caption_.*other = false;
                    refreshControls();
                    emit captionChanged(caption_);
                });
    };
    flag(ControlId::DescriptionAsText, &Caption::useDescriptionAsText,
         &Caption::useTextAsDescription);
    flag(ControlId::TextAsDescription, &Caption::useTextAsDescription,
         &Caption::useDescriptionAsText);
    connect(control<QCheckBox>(ControlId::ShrinkToFit), &QCheckBox::clicked, this,
            [this](bool checked) {
                caption_.fit = checked ? TextFit::Shrink : TextFit::Wrap;
                emit captionChanged(caption_);
            });
    connect(textEdit_, &QPlainTextEdit::textChanged, this, [this] {
        caption_.text = textEdit_->text();
        emit captionChanged(caption_);
    });
}

void CCaptionDialog::refreshControls() {
    for (const MarginEdit& margin : kMarginEdits)
        control<QLineEdit>(margin.id)->setText(QString::number(caption_.*margin.field));
    // A value outside a choice's set checks nothing.
    for (const Choice& choice : kChoices) {
        if (caption_.*choice.field == choice.value)
            control<QRadioButton>(choice.id)->setChecked(true);
    }
    control<QCheckBox>(ControlId::TextAsDescription)->setChecked(caption_.useTextAsDescription);
    control<QCheckBox>(ControlId::DescriptionAsText)->setChecked(caption_.useDescriptionAsText);
    control<QCheckBox>(ControlId::ShrinkToFit)->setChecked(caption_.fit == TextFit::Shrink);
    refreshFontDescription();
    if (textEdit_->text() != caption_.text)
        textEdit_->setText(caption_.text);
    textSwatch_->setColor(caption_.textColor);
    backgroundSwatch_->setColor(caption_.backgroundColor);
    refreshStyleControls();
}

void CCaptionDialog::refreshFontDescription() {
    setControlText(ControlId::FontDescription, describeCaptionFont(caption_, screenLogicalDpiY()));
}

namespace {

QString styleWords(const LogFont& font) {
    QStringList words;
    if (font.isBold())
        words << loadString(StringId::Bold);
    if (font.italic)
        words << loadString(StringId::Italic);
    if (font.underline)
        words << loadString(StringId::Underline);
    if (font.strikeOut)
        words << loadString(StringId::Strikeout);
    return words.isEmpty() ? loadString(StringId::Regular) : words.join(QStringLiteral(", "));
}

} // namespace

QString CCaptionDialog::describeFont(const LogFont& font, int dpi) {
    const int points = -DialogUnits::mulDiv(font.height, 72, dpi);
    return QStringLiteral("%1, %2, %3").arg(font.faceName).arg(points).arg(styleWords(font));
}

QString CCaptionDialog::describeCaptionFont(const Caption& caption, int dpi) {
    if (caption.sizeUnit != SizeUnit::PercentOfPicture)
        return describeFont(caption.font, dpi);
    return QStringLiteral("%1, %2% of picture, %3")
        .arg(caption.font.faceName)
        .arg(caption.sizePercent, 0, 'f', 1)
        .arg(styleWords(caption.font));
}

void CCaptionDialog::onCommand(int id) {
    switch (id) {
    case ControlId::ChooseFont:
        chooseFont();
        return;
    case ControlId::ChooseTextColor:
        chooseColor(&Caption::textColor);
        return;
    case ControlId::ChooseBackgroundColor:
        chooseColor(&Caption::backgroundColor);
        return;
    default:
        if (!styleCommand(id))
            TemplateDialog::onCommand(id);
        return;
    }
}

void CCaptionDialog::chooseFont() {
    const int dpi = screenLogicalDpiY();
    const QFont started = chooserFontOf(caption_.font, dpi);
    QFontDialog chooser(started, dialogOwner(this));
    if (chooser.exec() != QDialog::Accepted)
        return;
    const QFont chosen = chooser.selectedFont();
    caption_.font = logFontFromChooser(chosen, caption_.font, dpi);
    // A size picked in the chooser is absolute; a face or style picked at
    // the size it started with leaves a relative size as it was.
    if (chosen.pointSizeF() != started.pointSizeF() || chosen.pixelSize() != started.pixelSize())
        caption_.sizeUnit = SizeUnit::Pixels;
    refreshControls();
    emit captionChanged(caption_);
}

void CCaptionDialog::chooseColor(std::uint32_t Caption::*field) {
    const std::optional<std::uint32_t> chosen =
        ColorChooser::choose(dialogOwner(this), caption_.*field);
    if (!chosen)
        return;
    caption_.*field = *chosen;
    refreshControls();
    emit captionChanged(caption_);
}
