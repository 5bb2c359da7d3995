#include "ui/CaptionTextEdit.h"

#include <QKeyEvent>
#include <QMimeData>

namespace {

// One LF per line break, whatever the source used; the document would make
// two lines out of CR LF.
QString withLineFeeds(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    return text;
}

} // namespace

CaptionTextEdit::CaptionTextEdit(QWidget* parent) : QPlainTextEdit(parent) {
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setTabChangesFocus(true);
}

QString CaptionTextEdit::text() const {
    QString text = toPlainText();
    text.replace(u'\n', QStringLiteral("\r\n"));
    return text;
}

void CaptionTextEdit::setText(const QString& text) {
    setPlainText(withLineFeeds(text));
}

void CaptionTextEdit::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (event->modifiers() & Qt::ControlModifier) {
            insertPlainText(QStringLiteral("\n"));
            event->accept();
        } else {
            // Left to the dialog, which presses its default button.
            event->ignore();
        }
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void CaptionTextEdit::insertFromMimeData(const QMimeData* source) {
    if (source != nullptr && source->hasText())
        insertPlainText(withLineFeeds(source->text()));
}
