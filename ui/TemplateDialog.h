#pragma once

#include "resources/DialogTemplates.h"
#include "ui/DialogUnits.h"

#include <QDialog>
#include <QHash>
#include <QSet>
#include <QString>

class QButtonGroup;
class QComboBox;
class QEvent;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

// A dialog built from one of the program's dialog templates: every control
// at the pixel rectangle its dialog units come to in the template's font,
// with no layout, the dialog fixed at the template's size. Controls with an
// identifier are named after it ("1028") and can be found with control().
// Tab order is template order; the first control that takes Tab has the
// focus when the dialog opens; controls without a tab stop take the focus
// only when clicked. Radio buttons form one exclusive group from each
// group start to the next, an up-down control sits at the right end of its
// buddy edit, and a drop-down list offers the lines of its text. A push
// button's click goes to onCommand(), a link's to onLinkClicked(). Escape
// and the window's close button end the dialog with 2, the Cancel
// identifier.
class TemplateDialog : public QDialog {
    Q_OBJECT

public:
    explicit TemplateDialog(int templateId, QWidget* parent = nullptr);

    // The control with that identifier; null when there is none.
    QWidget* control(int id) const;
    template <class T> T* control(int id) const { return qobject_cast<T*>(control(id)); }

    // Replaces a control's text. A label that is not marked noPrefix reads
    // "&x" as a mnemonic mark, as its template text does; a link's text is
    // its address.
    void setControlText(int id, const QString& text);

    // The conversion the controls were placed with.
    const DialogUnits& units() const { return units_; }

    // Ends the dialog with the Cancel identifier rather than QDialog's 0.
    void reject() override;

protected:
    // A push button was clicked. OK and Cancel end the dialog with their
    // identifier; other buttons do nothing unless a subclass acts on them.
    virtual void onCommand(int id);
    // The link control `id` was clicked on its address. Nothing happens
    // unless a subclass acts on it.
    virtual void onLinkClicked(int id, const QString& href);

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* createControl(const ControlTemplate& control);
    QLabel* createLink(const ControlTemplate& control);
    QPushButton* createButton(const ControlTemplate& control);
    QLabel* createIcon(const ControlTemplate& control);
    QLineEdit* createEdit(const ControlTemplate& control);
    QRadioButton* createRadioButton(const ControlTemplate& control);
    QGroupBox* createGroupBox(const ControlTemplate& control);
    QListWidget* createListBox(const ControlTemplate& control);
    QComboBox* createDropDownList(const ControlTemplate& control);
    static QWidget* withFocus(QWidget* widget, const ControlTemplate& control);
    const ControlTemplate* controlTemplate(int id) const;

    const DialogTemplate* template_ = nullptr;
    DialogUnits units_;
    QHash<int, QWidget*> controls_;
    QSet<const QObject*> links_;
    // The radio group that radio buttons join until one starts a new group.
    QButtonGroup* currentGroup_ = nullptr;
};
