#pragma once

#include "metadata/PhotoMetadata.h"

#include <QObject>

class QActionGroup;
class QMenu;

// The File menu's choice of what a save carries of the photo's metadata:
// three exclusive items, remembered between runs in the user's settings
// (key "save/metadata": "keep", "no-location" or "description-only").
class MetadataChoiceMenu : public QObject {
    Q_OBJECT

public:
    // Builds the submenu inside `parentMenu`, checked at the stored choice.
    MetadataChoiceMenu(QMenu* parentMenu, QObject* parent = nullptr);

    MetadataChoice choice() const { return choice_; }
    void setChoice(MetadataChoice choice);
    QMenu* menu() const { return menu_; }

    // The settings word of a choice and back; unknown words read as keep all.
    static const char* settingsWord(MetadataChoice choice);
    static MetadataChoice fromSettingsWord(const QString& word);

private:
    QMenu* menu_ = nullptr;
    QActionGroup* group_ = nullptr;
    MetadataChoice choice_ = MetadataChoice::KeepAll;
};
