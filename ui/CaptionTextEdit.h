#pragma once

#include <QPlainTextEdit>

// The caption's text box: lines of text without wrapping. Enter belongs to
// the dialog (it presses the default button) and Ctrl+Enter starts a new
// line; Tab moves on to the next control. The text is read and written with
// CR LF line breaks, as captions keep them.
class CaptionTextEdit : public QPlainTextEdit {
    Q_OBJECT

public:
    explicit CaptionTextEdit(QWidget* parent = nullptr);

    // The text with each line break as CR LF.
    QString text() const;
    // Shows `text`; CR LF, a lone CR and a lone LF each start a new line.
    void setText(const QString& text);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;
};
