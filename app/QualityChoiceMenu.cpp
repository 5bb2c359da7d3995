#include "app/QualityChoiceMenu.h"

#include "pipeline/CaptionJob.h"

#include <QActionGroup>
#include <QInputDialog>
#include <QMenu>
#include <QSettings>

namespace {
constexpr char kSettingsKey[] = "save/quality";
} // namespace

QualityChoiceMenu::QualityChoiceMenu(QMenu* parentMenu, QWidget* dialogParent, QObject* parent)
    : QObject(parent), dialogParent_(dialogParent) {
    menu_ = new QMenu(QStringLiteral("Picture &Quality in Saved Copies"), parentMenu);
    menu_->setObjectName(QStringLiteral("qualityChoice"));
    menu_->menuAction()->setObjectName(QStringLiteral("qualityChoice"));
    auto* group = new QActionGroup(menu_);
    group->setExclusive(true);
    keep_ = menu_->addAction(QStringLiteral("&Keep the photo's quality (only captions are new)"));
    keep_->setObjectName(QStringLiteral("keep"));
    encode_ = menu_->addAction(QString());
    encode_->setObjectName(QStringLiteral("encode"));
    for (QAction* action : {keep_, encode_}) {
        action->setCheckable(true);
        group->addAction(action);
    }
    connect(keep_, &QAction::triggered, this, [this] {
        PictureQuality keep = choice_;
        keep.keep = true;
        setChoice(keep);
    });
    connect(encode_, &QAction::triggered, this, &QualityChoiceMenu::askQuality);
    setChoice(qualityChoiceFromWord(QSettings().value(kSettingsKey).toString())
                  .value_or(PictureQuality{}));
}

void QualityChoiceMenu::setChoice(const PictureQuality& choice) {
    choice_ = choice;
    keep_->setChecked(choice.keep);
    encode_->setChecked(!choice.keep);
    encode_->setText(QStringLiteral("&Encode Again at Quality %1...").arg(choice.quality));
    QSettings().setValue(kSettingsKey, qualityChoiceWord(choice));
}

void QualityChoiceMenu::askQuality() {
    bool ok = false;
    const int quality = QInputDialog::getInt(
        dialogParent_, QStringLiteral("Picture Quality"),
        QStringLiteral("Encode the whole picture again at quality (1 to 100):"), choice_.quality, 1,
        100, 1, &ok);
    // Cancel keeps the choice there was.
    setChoice(ok ? PictureQuality{false, quality} : choice_);
}
