#pragma once

#include <QString>

class QWidget;

// A filter list in the "Name (*.a;*.b)|*.a;*.b|...||" form turned into
// Qt's "Name (*.a *.b);;..." form; "*.*" becomes "*".
QString qtNameFilters(const QString& pipeSeparatedFilter);

// The standard dialogs for choosing a JPEG to open and a file to save to,
// with the program's filter and default extension. `directory` is where
// the dialog starts (empty: the dialog's own choice); the save dialog
// proposes `proposedName` and asks before replacing a file. They return the
// chosen path, or an empty string when the person cancels.
QString chooseOpenPath(QWidget* owner, const QString& directory);
QString chooseSavePath(QWidget* owner, const QString& directory, const QString& proposedName);
// The same for caption set files (*.lumora-captions.json).
QString chooseCaptionSetOpenPath(QWidget* owner, const QString& directory);
QString chooseCaptionSetSavePath(QWidget* owner, const QString& directory);
// File, Caption Data: an existing CSV or TSV table.
QString chooseCaptionDataPath(QWidget* owner, const QString& directory);
