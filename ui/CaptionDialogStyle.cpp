// The caption dialog's size, outline, shadow, box and placeholder controls:
// which control writes which setting of the working caption, and how.
#include "captions/Placeholders.h"
#include "ui/CaptionDialog.h"
#include "ui/CaptionTextEdit.h"
#include "ui/ColorBox.h"
#include "ui/ColorChooser.h"
#include "ui/DialogOwner.h"
#include "ui/FontChoice.h"
#include "ui/NumberText.h"
#include "ui/UpDownControl.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>

namespace {

using namespace ControlId;

// A whole number of the caption, typed or stepped with its arrows within
// [low, high]; what is typed is kept within the range too.
struct WholeNumberField {
    int id;
    int arrows;
    int low;
    int high;
    std::int32_t& (*field)(Caption&);
};

constexpr std::array<WholeNumberField, 5> kWholeNumbers{{
    {ShadowOffsetX, SpinShadowOffsetX, -1000, 1000,
     [](Caption& c) -> std::int32_t& { return c.shadow.offsetX; }},
    {ShadowOffsetY, SpinShadowOffsetY, -1000, 1000,
     [](Caption& c) -> std::int32_t& { return c.shadow.offsetY; }},
    {ShadowOpacity, SpinShadowOpacity, 0, 100,
     [](Caption& c) -> std::int32_t& { return c.shadow.opacity; }},
    {BoxOpacity, SpinBoxOpacity, 0, 100, [](Caption& c) -> std::int32_t& { return c.box.opacity; }},
    {BoxPadding, SpinBoxPadding, 0, 1000,
     [](Caption& c) -> std::int32_t& { return c.box.padding; }},
}};

// A number with up to two decimals.
struct DecimalField {
    int id;
    double& (*field)(Caption&);
};

constexpr std::array<DecimalField, 2> kDecimals{{
    {OutlineWidth, [](Caption& c) -> double& { return c.outline.width; }},
    {ShadowBlur, [](Caption& c) -> double& { return c.shadow.blur; }},
}};

// A check box that turns a setting on, and the controls that only mean
// something while it is on.
struct Toggle {
    int id;
    bool& (*field)(Caption&);
    std::array<int, 6> settings; // 0 ends a shorter list
};

constexpr std::array<Toggle, 3> kToggles{{
    {OutlineEnabled,
     [](Caption& c) -> bool& { return c.outline.enabled; },
     {OutlineWidth, OutlineWidthUnit, ChooseOutlineColor, 0, 0, 0}},
    {ShadowEnabled,
     [](Caption& c) -> bool& { return c.shadow.enabled; },
     {ShadowOffsetX, ShadowOffsetY, ShadowBlur, ShadowOpacity, ChooseShadowColor, 0}},
    {BoxEnabled,
     [](Caption& c) -> bool& { return c.box.enabled; },
     {BoxOpacity, BoxPadding, ChooseBoxColor, 0, 0, 0}},
}};

struct ColorSetting {
    int button;
    int swatch;
    std::uint32_t& (*field)(Caption&);
};

constexpr std::array<ColorSetting, 3> kColors{{
    {ChooseOutlineColor, OutlineColorSwatch,
     [](Caption& c) -> std::uint32_t& { return c.outline.color; }},
    {ChooseShadowColor, ShadowColorSwatch,
     [](Caption& c) -> std::uint32_t& { return c.shadow.color; }},
    {ChooseBoxColor, BoxColorSwatch, [](Caption& c) -> std::uint32_t& { return c.box.color; }},
}};

// The unit lists offer "% of picture" first, then "pixels".
struct UnitChoice {
    int id;
    SizeUnit& (*field)(Caption&);
};

constexpr std::array<UnitChoice, 2> kUnits{{
    {SizeUnitChoice, [](Caption& c) -> SizeUnit& { return c.sizeUnit; }},
    {OutlineWidthUnit, [](Caption& c) -> SizeUnit& { return c.outline.widthUnit; }},
}};

int unitIndex(SizeUnit unit) {
    return unit == SizeUnit::PercentOfPicture ? 0 : 1;
}

SizeUnit unitAt(int index) {
    return index == 0 ? SizeUnit::PercentOfPicture : SizeUnit::Pixels;
}

// Up to five digits, then a point (or a comma) and up to two decimals.
const QRegularExpression& decimalPattern() {
    static const QRegularExpression pattern(QStringLiteral("[0-9]{0,5}([.,][0-9]{0,2})?"));
    return pattern;
}

// The number typed into a decimal field; nothing while it holds no digit.
std::optional<double> decimalFromText(QString text) {
    text.replace(u',', u'.');
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

// A decimal field's text: at most two decimals, without trailing zeros.
QString decimalText(double value) {
    QString text = QString::number(value, 'f', 2);
    while (text.endsWith(u'0'))
        text.chop(1);
    if (text.endsWith(u'.'))
        text.chop(1);
    return text;
}

} // namespace

void CCaptionDialog::setUpStyleControls() {
    static const QRegularExpression signedDigits(QStringLiteral("-?[0-9]{0,5}"));
    for (int id : {ShadowOffsetX, ShadowOffsetY}) {
        auto* edit = control<QLineEdit>(id);
        edit->setValidator(new QRegularExpressionValidator(signedDigits, edit));
    }
    for (int id : {SizeValue, OutlineWidth, ShadowBlur}) {
        auto* edit = control<QLineEdit>(id);
        edit->setValidator(new QRegularExpressionValidator(decimalPattern(), edit));
    }
    for (const WholeNumberField& number : kWholeNumbers)
        control<UpDownControl>(number.arrows)->setRange(number.low, number.high);

    auto* button = control<QPushButton>(InsertPlaceholder);
    auto* menu = new QMenu(button);
    for (const PlaceholderInfo& placeholder : placeholderList()) {
        const QString name = QString::fromUtf8(placeholder.name);
        QAction* action = menu->addAction(
            QStringLiteral("{%1} \u2013 %2").arg(name, QString::fromUtf8(placeholder.meaning)));
        action->setData(name);
        connect(action, &QAction::triggered, this, [this, name] { insertPlaceholder(name); });
    }
    button->setMenu(menu);
}

void CCaptionDialog::changed() {
    emit captionChanged(caption_);
}

void CCaptionDialog::connectStyleReactions() {
    connect(control<QLineEdit>(SizeValue), &QLineEdit::textChanged, this,
            [this](const QString& text) {
                const std::optional<double> size = decimalFromText(text);
                if (refreshing_ || !size)
                    return;
                if (caption_.sizeUnit == SizeUnit::PercentOfPicture)
                    caption_.sizePercent = *size;
                else
                    caption_.font.height = -std::max(1L, std::lround(*size));
                refreshFontDescription();
                changed();
            });
    for (const UnitChoice& unit : kUnits) {
        const auto field = unit.field;
        const bool isSize = unit.id == SizeUnitChoice;
        connect(control<QComboBox>(unit.id), &QComboBox::currentIndexChanged, this,
                [this, field, isSize](int index) {
                    if (refreshing_ || index < 0)
                        return;
                    field(caption_) = unitAt(index);
                    // Each unit keeps its own size: the field shows the
                    // one now in use.
                    if (isSize) {
                        refreshSizeValue();
                        refreshFontDescription();
                    }
                    changed();
                });
    }
    for (const Toggle& toggle : kToggles) {
        const auto field = toggle.field;
        connect(control<QCheckBox>(toggle.id), &QCheckBox::toggled, this, [this, field](bool on) {
            if (refreshing_)
                return;
            field(caption_) = on;
            enableStyleControls();
            changed();
        });
    }
    for (const WholeNumberField& number : kWholeNumbers) {
        const auto field = number.field;
        const int low = number.low;
        const int high = number.high;
        connect(control<QLineEdit>(number.id), &QLineEdit::textChanged, this,
                [this, field, low, high](const QString& text) {
                    if (refreshing_)
                        return;
                    field(caption_) = std::clamp(numberFromText(text), low, high);
                    changed();
                });
    }
    for (const DecimalField& decimal : kDecimals) {
        const auto field = decimal.field;
        connect(control<QLineEdit>(decimal.id), &QLineEdit::textChanged, this,
                [this, field](const QString& text) {
                    const std::optional<double> value = decimalFromText(text);
                    if (refreshing_ || !value)
                        return;
                    field(caption_) = *value;
                    changed();
                });
    }
    connect(control<QRadioButton>(OnImage), &QRadioButton::toggled, this,
            [this] { enableStyleControls(); });
}

void CCaptionDialog::refreshStyleControls() {
    const bool wasRefreshing = refreshing_;
    refreshing_ = true;
    refreshSizeValue();
    for (const UnitChoice& unit : kUnits)
        control<QComboBox>(unit.id)->setCurrentIndex(unitIndex(unit.field(caption_)));
    for (const Toggle& toggle : kToggles)
        control<QCheckBox>(toggle.id)->setChecked(toggle.field(caption_));
    for (const WholeNumberField& number : kWholeNumbers) {
        auto* edit = control<QLineEdit>(number.id);
        const QString text = QString::number(number.field(caption_));
        if (edit->text() != text)
            edit->setText(text);
    }
    for (const DecimalField& decimal : kDecimals) {
        auto* edit = control<QLineEdit>(decimal.id);
        const std::optional<double> shown = decimalFromText(edit->text());
        // A field that already reads as the value keeps what was typed.
        if (!shown || decimalText(*shown) != decimalText(decimal.field(caption_)))
            edit->setText(decimalText(decimal.field(caption_)));
    }
    for (const ColorSetting& color : kColors)
        control<CColorBox>(color.swatch)->setColor(color.field(caption_));
    enableStyleControls();
    refreshing_ = wasRefreshing;
}

void CCaptionDialog::refreshSizeValue() {
    const bool wasRefreshing = refreshing_;
    refreshing_ = true;
    auto* edit = control<QLineEdit>(SizeValue);
    const QString text = caption_.sizeUnit == SizeUnit::PercentOfPicture
                             ? decimalText(caption_.sizePercent)
                             : QString::number(pixelSizeOf(caption_.font));
    const std::optional<double> shown = decimalFromText(edit->text());
    if (!shown || decimalText(*shown) != text)
        edit->setText(text);
    refreshing_ = wasRefreshing;
}

void CCaptionDialog::enableStyleControls() {
    // The box is drawn only behind text on the image. The radio button
    // counts, not the caption: it is unchecked before the next choice is
    // written into the caption.
    const bool onImage = control<QRadioButton>(OnImage)->isChecked();
    control(BoxEnabled)->setEnabled(onImage);
    for (const Toggle& toggle : kToggles) {
        const bool on = toggle.field(caption_) && (toggle.id != BoxEnabled || onImage);
        for (int id : toggle.settings) {
            if (id != 0)
                control(id)->setEnabled(on);
        }
    }
}

bool CCaptionDialog::styleCommand(int id) {
    for (const ColorSetting& color : kColors) {
        if (color.button != id)
            continue;
        const std::optional<std::uint32_t> chosen =
            ColorChooser::choose(dialogOwner(this), color.field(caption_));
        if (chosen) {
            color.field(caption_) = *chosen;
            control<CColorBox>(color.swatch)->setColor(*chosen);
            changed();
        }
        return true;
    }
    return false;
}

void CCaptionDialog::insertPlaceholder(const QString& name) {
    textEdit_->insertPlainText(QStringLiteral("{%1}").arg(name));
    textEdit_->setFocus(Qt::OtherFocusReason);
}
