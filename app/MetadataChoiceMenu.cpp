#include "app/MetadataChoiceMenu.h"

#include <QActionGroup>
#include <QMenu>
#include <QSettings>

#include <array>

namespace {
constexpr char kSettingsKey[] = "save/metadata";

struct ChoiceRow {
    MetadataChoice choice;
    const char* word;
    const char* text;
};

constexpr std::array<ChoiceRow, 3> kChoices = {{
    {MetadataChoice::KeepAll, "keep", "&Keep all metadata"},
    {MetadataChoice::KeepAllButLocation, "no-location", "Keep all but the &location"},
    {MetadataChoice::DescriptionOnly, "description-only", "&Description only"},
}};
} // namespace

MetadataChoiceMenu::MetadataChoiceMenu(QMenu* parentMenu, QObject* parent) : QObject(parent) {
    menu_ = new QMenu(QStringLiteral("&Metadata in Saved Copies"), parentMenu);
    menu_->setObjectName(QStringLiteral("metadataChoice"));
    menu_->menuAction()->setObjectName(QStringLiteral("metadataChoice"));
    group_ = new QActionGroup(menu_);
    group_->setExclusive(true);
    choice_ = fromSettingsWord(QSettings().value(kSettingsKey).toString());
    for (const ChoiceRow& row : kChoices) {
        QAction* action = menu_->addAction(QString::fromUtf8(row.text));
        action->setObjectName(QString::fromUtf8(row.word));
        action->setCheckable(true);
        action->setChecked(row.choice == choice_);
        group_->addAction(action);
        const MetadataChoice choice = row.choice;
        connect(action, &QAction::triggered, this, [this, choice] { setChoice(choice); });
    }
}

void MetadataChoiceMenu::setChoice(MetadataChoice choice) {
    choice_ = choice;
    for (const ChoiceRow& row : kChoices) {
        if (row.choice == choice) {
            for (QAction* action : group_->actions())
                action->setChecked(action->objectName() == QString::fromUtf8(row.word));
        }
    }
    QSettings().setValue(kSettingsKey, QString::fromUtf8(settingsWord(choice)));
}

const char* MetadataChoiceMenu::settingsWord(MetadataChoice choice) {
    for (const ChoiceRow& row : kChoices) {
        if (row.choice == choice)
            return row.word;
    }
    return kChoices[0].word;
}

MetadataChoice MetadataChoiceMenu::fromSettingsWord(const QString& word) {
    for (const ChoiceRow& row : kChoices) {
        if (word == QString::fromUtf8(row.word))
            return row.choice;
    }
    return MetadataChoice::KeepAll;
}
