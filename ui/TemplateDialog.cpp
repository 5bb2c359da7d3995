#include "ui/TemplateDialog.h"

#include "ui/CaptionTextEdit.h"
#include "ui/ColorBox.h"
#include "ui/ProgramIcon.h"
#include "ui/UpDownControl.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>

namespace {

// The font of a template, or the application's when there is no template.
QFont fontOf(const DialogTemplate* dialog) {
    if (!dialog)
        return QFont();
    return DialogUnits::templateFont(QString::fromUtf16(dialog->fontFace), dialog->fontPoints);
}

// What a label whose text marks mnemonics shows: "&x" is x (Qt labels
// without a buddy draw the "&" literally) and "&&" a single "&". An "&"
// before anything else is kept.
QString withoutMnemonicMarks(const QString& text) {
    QString shown;
    shown.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'&' && i + 1 < text.size()) {
            const QChar next = text.at(i + 1);
            if (next == u'&') {
                shown += u'&';
                ++i;
                continue;
            }
            if (next.isLetterOrNumber())
                continue;
        }
        shown += c;
    }
    return shown;
}

QString linkMarkup(const QString& address) {
    const QString escaped = address.toHtmlEscaped();
    return QStringLiteral("<a href=\"%1\">%1</a>").arg(escaped);
}

bool isEnterKey(const QEvent* event) {
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)
        return false;
    const int key = static_cast<const QKeyEvent*>(event)->key();
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

} // namespace

TemplateDialog::TemplateDialog(int templateId, QWidget* parent)
    : QDialog(parent), template_(dialogTemplate(templateId)), units_(fontOf(template_)) {
    if (!template_)
        return;
    setFont(fontOf(template_));
    setWindowTitle(QString::fromUtf16(template_->title));
    setFixedSize(units_.toPixels(QSize(template_->width, template_->height)));

    QWidget* previousTabStop = nullptr;
    QWidget* firstTabStop = nullptr;
    for (const ControlTemplate& entry : template_->controls) {
        QWidget* widget = createControl(entry);
        widget->setGeometry(units_.toPixels(QRect(entry.x, entry.y, entry.width, entry.height)));
        if (entry.id != -1) {
            widget->setObjectName(QString::number(entry.id));
            controls_.insert(entry.id, widget);
        }
        if (entry.tabStop) {
            if (previousTabStop)
                setTabOrder(previousTabStop, widget);
            else
                firstTabStop = widget;
            previousTabStop = widget;
        }
    }
    for (const ControlTemplate& entry : template_->controls) {
        if (entry.kind == ControlKind::UpDown)
            control<UpDownControl>(entry.id)->setBuddy(control<QLineEdit>(entry.buddy));
    }
    if (firstTabStop)
        firstTabStop->setFocus(Qt::OtherFocusReason);
}

QWidget* TemplateDialog::control(int id) const {
    return controls_.value(id, nullptr);
}

void TemplateDialog::setControlText(int id, const QString& text) {
    const ControlTemplate* entry = controlTemplate(id);
    QWidget* widget = control(id);
    if (!entry || !widget)
        return;
    switch (entry->kind) {
    case ControlKind::Label:
        static_cast<QLabel*>(widget)->setText(entry->noPrefix ? text : withoutMnemonicMarks(text));
        break;
    case ControlKind::Link:
        static_cast<QLabel*>(widget)->setText(linkMarkup(text));
        break;
    case ControlKind::PushButton:
    case ControlKind::RadioButton:
    case ControlKind::CheckBox:
        static_cast<QAbstractButton*>(widget)->setText(text);
        break;
    case ControlKind::Edit:
        static_cast<QLineEdit*>(widget)->setText(text);
        break;
    case ControlKind::MultiLineEdit:
        static_cast<CaptionTextEdit*>(widget)->setText(text);
        break;
    case ControlKind::GroupBox:
        static_cast<QGroupBox*>(widget)->setTitle(text);
        break;
    case ControlKind::DropDownList:
        // Picks the choice with that text; any other text picks nothing new.
        static_cast<QComboBox*>(widget)->setCurrentText(text);
        break;
    case ControlKind::Icon:
    case ControlKind::UpDown:
    case ControlKind::ListBox:
    case ControlKind::ColorSwatch:
        break;
    }
}

void TemplateDialog::reject() {
    done(ControlId::Cancel);
}

void TemplateDialog::onCommand(int id) {
    if (id == ControlId::Ok || id == ControlId::Cancel)
        done(id);
}

void TemplateDialog::onLinkClicked(int, const QString&) {}

bool TemplateDialog::eventFilter(QObject* watched, QEvent* event) {
    // A link is opened by the mouse only. Enter on a focused link is taken
    // by the link itself, so it neither opens the address nor reaches the
    // dialog, which would press the default button.
    if (isEnterKey(event) && links_.contains(watched)) {
        event->accept();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

QWidget* TemplateDialog::createControl(const ControlTemplate& entry) {
    switch (entry.kind) {
    case ControlKind::Icon:
        return createIcon(entry);
    case ControlKind::PushButton:
        return createButton(entry);
    case ControlKind::Link:
        return createLink(entry);
    case ControlKind::Edit:
        return createEdit(entry);
    case ControlKind::MultiLineEdit:
        return withFocus(new CaptionTextEdit(this), entry);
    case ControlKind::UpDown:
        return new UpDownControl(this);
    case ControlKind::RadioButton:
        return createRadioButton(entry);
    case ControlKind::CheckBox:
        return withFocus(new QCheckBox(QString::fromUtf16(entry.text), this), entry);
    case ControlKind::GroupBox:
        return createGroupBox(entry);
    case ControlKind::ListBox:
        return createListBox(entry);
    case ControlKind::ColorSwatch:
        return new CColorBox(this);
    case ControlKind::DropDownList:
        return createDropDownList(entry);
    case ControlKind::Label:
        break;
    }
    auto* label = new QLabel(this);
    // Static text is never read as markup. It sits at the top left of its
    // box and wraps at word boundaries, or stays on one line in the middle
    // of the box's height.
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | (entry.centreVertically ? Qt::AlignVCenter : Qt::AlignTop));
    label->setWordWrap(!entry.centreVertically);
    const QString text = QString::fromUtf16(entry.text);
    label->setText(entry.noPrefix ? text : withoutMnemonicMarks(text));
    return label;
}

QWidget* TemplateDialog::withFocus(QWidget* widget, const ControlTemplate& entry) {
    // A control without a tab stop is still focused by a click, not by Tab.
    widget->setFocusPolicy(entry.tabStop ? Qt::StrongFocus : Qt::ClickFocus);
    return widget;
}

QLineEdit* TemplateDialog::createEdit(const ControlTemplate& entry) {
    auto* edit = new QLineEdit(QString::fromUtf16(entry.text), this);
    withFocus(edit, entry);
    if (entry.digitsOnly) {
        // Only what is typed or pasted is checked; setText() still shows
        // any text, as the program may write a sign.
        static const QRegularExpression digits(QStringLiteral("[0-9]*"));
        edit->setValidator(new QRegularExpressionValidator(digits, edit));
    }
    return edit;
}

QRadioButton* TemplateDialog::createRadioButton(const ControlTemplate& entry) {
    auto* button = new QRadioButton(QString::fromUtf16(entry.text), this);
    withFocus(button, entry);
    // Every group is exclusive on its own; without the groups all the
    // dialog's radio buttons would be one choice.
    if (entry.groupStart || currentGroup_ == nullptr) {
        currentGroup_ = new QButtonGroup(this);
        currentGroup_->setExclusive(true);
    }
    currentGroup_->addButton(button, entry.id);
    return button;
}

QGroupBox* TemplateDialog::createGroupBox(const ControlTemplate& entry) {
    auto* box = new QGroupBox(QString::fromUtf16(entry.text), this);
    box->setFocusPolicy(Qt::NoFocus);
    // A frame is drawn behind the controls it surrounds and lets their
    // clicks through.
    box->setAttribute(Qt::WA_TransparentForMouseEvents);
    box->lower();
    return box;
}

QComboBox* TemplateDialog::createDropDownList(const ControlTemplate& entry) {
    auto* list = new QComboBox(this);
    withFocus(list, entry);
    list->setEditable(false);
    list->addItems(QString::fromUtf16(entry.text).split(u'\n'));
    return list;
}

QListWidget* TemplateDialog::createListBox(const ControlTemplate& entry) {
    auto* list = new QListWidget(this);
    withFocus(list, entry);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setSortingEnabled(false);
    list->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    return list;
}

QLabel* TemplateDialog::createIcon(const ControlTemplate& entry) {
    auto* label = new QLabel(this);
    const QSize size = units_.toPixels(QSize(entry.width, entry.height));
    label->setPixmap(programIcon().pixmap(size, devicePixelRatioF()));
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

QPushButton* TemplateDialog::createButton(const ControlTemplate& entry) {
    auto* button = new QPushButton(QString::fromUtf16(entry.text), this);
    button->setAutoDefault(true);
    button->setDefault(entry.isDefault);
    withFocus(button, entry);
    const int id = entry.id;
    connect(button, &QPushButton::clicked, this, [this, id] { onCommand(id); });
    return button;
}

QLabel* TemplateDialog::createLink(const ControlTemplate& entry) {
    auto* label = new QLabel(this);
    label->setTextFormat(Qt::RichText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setText(linkMarkup(QString::fromUtf16(entry.text)));
    label->setOpenExternalLinks(false);
    label->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
    // Set after the interaction flags, which choose a focus policy of their
    // own: a link with a tab stop holds the focus without acting on keys.
    label->setFocusPolicy(entry.tabStop ? Qt::TabFocus : Qt::NoFocus);
    links_.insert(label);
    label->installEventFilter(this);
    const int id = entry.id;
    connect(label, &QLabel::linkActivated, this,
            [this, id](const QString& href) { onLinkClicked(id, href); });
    return label;
}

const ControlTemplate* TemplateDialog::controlTemplate(int id) const {
    if (!template_ || id == -1)
        return nullptr;
    for (const ControlTemplate& entry : template_->controls) {
        if (entry.id == id)
            return &entry;
    }
    return nullptr;
}
