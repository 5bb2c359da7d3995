#include "app/MetadataChoiceMenu.h"

#include "pipeline/CaptionJob.h"

#include <QActionGroup>
#include <QMenu>
#include <QSettings>

#include <array>

namespace {
constexpr char kSettingsKey[] = "save/metadata";

struct ChoiceRow {
    MetadataChoice choice;
    const char* text;
};

constexpr std::array<ChoiceRow, 3> kChoices = {{
    {MetadataChoice::KeepAll, "&Keep all metadata"},
    {MetadataChoice::KeepAllButLocation, "Keep all but the &location"},
    {MetadataChoice::DescriptionOnly, "&Description only"},
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
        action->setObjectName(QString::fromUtf8(settingsWord(row.choice)));
        action->setCheckable(true);
        action->setChecked(row.choice == choice_);
        group_->addAction(action);
        const MetadataChoice choice = row.choice;
        connect(action, &QAction::triggered, this, [this, choice] { setChoice(choice); });
    }
}

void MetadataChoiceMenu::setChoice(MetadataChoice choice) {
    choice_ = choice;
    const QString word = QString::fromUtf8(settingsWord(choice));
    for (QAction* action : group_->actions())
        action->setChecked(action->objectName() == word);
    QSettings().setValue(kSettingsKey, word);
}

const char* MetadataChoiceMenu::settingsWord(MetadataChoice choice) {
    return metadataChoiceWord(choice);
}

MetadataChoice MetadataChoiceMenu::fromSettingsWord(const QString& word) {
    return metadataChoiceFromWord(word).value_or(MetadataChoice::KeepAll);
}
