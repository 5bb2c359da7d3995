#pragma once

#include "pipeline/PicturePipeline.h"

#include <QObject>

class QAction;
class QMenu;
class QWidget;

// The File menu's choice of how a save encodes the picture: keep the
// photo's own compressed blocks (only the captions are new), or encode the
// whole picture again at a quality the person gives. Remembered between runs
// in the user's settings (key "save/quality": "keep" or the quality).
class QualityChoiceMenu : public QObject {
    Q_OBJECT

public:
    // Builds the submenu inside `parentMenu`, checked at the stored choice;
    // `dialogParent` parents the question for a quality.
    QualityChoiceMenu(QMenu* parentMenu, QWidget* dialogParent, QObject* parent = nullptr);

    PictureQuality choice() const { return choice_; }
    void setChoice(const PictureQuality& choice);
    QMenu* menu() const { return menu_; }

private:
    void askQuality();

    QWidget* dialogParent_;
    QMenu* menu_ = nullptr;
    QAction* keep_ = nullptr;
    QAction* encode_ = nullptr;
    PictureQuality choice_;
};
