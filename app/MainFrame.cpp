#include "app/MainFrame.h"

#include "app/MetadataChoiceMenu.h"
#include "app/QualityChoiceMenu.h"
#include "app/RecentFiles.h"
#include "document/DocumentModel.h"
#include "resources/MainMenu.h"
#include "resources/StringTable.h"
#include "resources/VersionBlock.h"
#include "ui/CaptionDialog.h"
#include "ui/CaptionPreview.h"
#include "ui/DialogOwner.h"
#include "ui/DlgAbout.h"
#include "ui/ImageControl.h"
#include "ui/JobProgress.h"
#include "ui/LinkControl.h"
#include "ui/ProgramIcon.h"
#include "ui/SelectCaptionDialog.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QFileInfo>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>

CMainFrame::CMainFrame(std::int64_t timeInSeconds, QWidget* parent)
    : QMainWindow(parent), commandIds_(timeInSeconds) {
    setObjectName(QStringLiteral("Lumora.MainFrame.ID6123683"));
    setWindowIcon(programIcon());
    setAcceptDrops(true);
    model_ = new DocumentModel({loadString(StringId::AddCaption), loadString(StringId::EditCaption),
                                loadString(StringId::RemoveCaption),
                                loadString(StringId::LoadCaptionSet)},
                               this);
    createMenu();
    createChildren();
    followModel();
    updateTitle();
    updateRecentMenu();
}

CMainFrame::~CMainFrame() = default;

void CMainFrame::createMenu() {
    for (const MenuPopup& popup : mainMenu()) {
        QMenu* menu = menuBar()->addMenu(QString::fromUtf16(popup.title));
        for (const MenuItem& item : popup.items) {
            if (item.isSeparator()) {
                menu->addSeparator();
                continue;
            }
            const QString text = QString::fromUtf16(item.text);
            if (item.submenu) {
                QMenu* submenu = menu->addMenu(text);
                submenu->setObjectName(QString::number(item.command));
                submenu->menuAction()->setObjectName(QString::number(item.command));
                if (item.command == CommandId::RecentFiles)
                    recentMenu_ = submenu;
                continue;
            }
            QAction* action = menu->addAction(text);
            action->setObjectName(QString::number(item.command));
            if (item.keys != nullptr)
                action->setShortcuts(QKeySequence::listFromString(QString::fromUtf16(item.keys)));
            const int command = item.command;
            connect(action, &QAction::triggered, this, [this, command] { runCommand(command); });
            actions_[command] = action;
            // What a save carries is chosen right under Save.
            if (command == CommandId::Save) {
                metadataChoice_ = new MetadataChoiceMenu(menu, this);
                menu->addMenu(metadataChoice_->menu());
                qualityChoice_ = new QualityChoiceMenu(menu, this, this);
                menu->addMenu(qualityChoice_->menu());
            }
        }
    }
}

QPushButton* CMainFrame::createButton(int textId, int tableEntry, QRect geometry) {
    auto* button = new QPushButton(loadString(textId), client_);
    const int id = commandIds_[tableEntry];
    button->setObjectName(QString::number(id));
    button->setGeometry(geometry);
    button->setFont(QFontDatabase::systemFont(QFontDatabase::GeneralFont));
    button->setEnabled(false);
    connect(button, &QPushButton::clicked, this, [this, id] { runCommand(id); });
    return button;
}

void CMainFrame::createChildren() {
    client_ = new QWidget(this);
    setCentralWidget(client_);

    imageControl_ = new CImageControl(model_, client_);
    imageControl_->setProperty("commandId", commandIds_[CommandIdTable::ImageView]);
    imageControl_->setGeometry(QRect(QPoint(10, 10), QPoint(499, 499)));

    addButton_ = createButton(StringId::AddCaption, CommandIdTable::AddButton, {10, 510, 110, 27});
    editButton_ =
        createButton(StringId::EditCaption, CommandIdTable::EditButton, {10, 510, 110, 27});
    removeButton_ =
        createButton(StringId::RemoveCaption, CommandIdTable::RemoveButton, {10, 510, 140, 27});

    link_ = new CLinkControl(client_);
    link_->setText(makerWebAddress());
    link_->setProperty("commandId", commandIds_[CommandIdTable::Link]);
    link_->setGeometry(10, 10, 210, 18);
    link_->setFont(QFontDatabase::systemFont(QFontDatabase::GeneralFont));

    // Saving needs an opened file first; undo and redo a step.
    for (const int command : {CommandId::Save, CommandId::Undo, CommandId::Redo})
        actions_.at(command)->setEnabled(false);

    jobProgress_ = new JobProgress(model_, client_);

    client_->installEventFilter(this);
    layoutChildren(client_->size());
}

void CMainFrame::followModel() {
    // Any open, read or not, makes adding captions and saving available.
    connect(model_, &DocumentModel::openFinished, this, [this] {
        addButton_->setEnabled(true);
        actions_.at(CommandId::Save)->setEnabled(true);
    });
    connect(model_, &DocumentModel::captionAdded, this, [this] {
        editButton_->setEnabled(true);
        removeButton_->setEnabled(true);
    });
    connect(model_, &DocumentModel::pictureChanged, this, [this](const QString& path) {
        if (!path.isEmpty()) {
            RecentFiles::add(path);
            updateRecentMenu();
        }
        updateTitle();
    });
    connect(model_, &DocumentModel::modifiedChanged, this, &QWidget::setWindowModified);
    connect(model_, &DocumentModel::jobStarted, this, &CMainFrame::jobStarted);
    connect(model_, &DocumentModel::jobFinished, this,
            [this](DocumentJob, const PipelineResult& result, bool cancelled) {
                jobFinished(result, cancelled);
            });

    QUndoStack* history = model_->history();
    QAction* undo = actions_.at(CommandId::Undo);
    QAction* redo = actions_.at(CommandId::Redo);
    connect(history, &QUndoStack::canUndoChanged, undo, &QAction::setEnabled);
    connect(history, &QUndoStack::canRedoChanged, redo, &QAction::setEnabled);
    // "&Undo Add Caption"; the bare item when there is no step.
    const auto named = [](QAction* action, int format, const QString& plain) {
        return [action, format, plain](const QString& step) {
            action->setText(step.isEmpty() ? plain : loadString(format).arg(step));
        };
    };
    connect(history, &QUndoStack::undoTextChanged, undo,
            named(undo, StringId::UndoStep, undo->text()));
    connect(history, &QUndoStack::redoTextChanged, redo,
            named(redo, StringId::RedoStep, redo->text()));
}

void CMainFrame::updateTitle() {
    const QString path = model_->path();
    const QString program = loadString(StringId::ProgramTitle);
    if (path.isEmpty()) {
        setWindowTitle(program);
    } else {
        // A "[*]" in the name itself is doubled so that Qt shows it as it is.
        QString name = QFileInfo(path).fileName();
        name.replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
        setWindowTitle(loadString(StringId::TitleWithFile).arg(name, program));
    }
    setWindowModified(model_->isModified());
}

void CMainFrame::showAtStartingPlace(Qt::WindowStates state) {
    resize(900, 675);
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (screen != nullptr) {
        QRect placed(QPoint(0, 0), size());
        placed.moveCenter(screen->availableGeometry().center());
        move(placed.topLeft());
    }
    setWindowState(state);
    show();
    // One pixel more on every side; the resize lays the children out.
    setGeometry(geometry().adjusted(-1, -1, 1, 1));
}

QAction* CMainFrame::menuAction(int command) const {
    const auto found = actions_.find(command);
    return found == actions_.end() ? nullptr : found->second;
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
    if (watched == client_ && event->type() == QEvent::Resize)
        layoutChildren(client_->size());
    return QMainWindow::eventFilter(watched, event);
}

void CMainFrame::layoutChildren(QSize client) {
    const int cw = client.width();
    const int ch = client.height();
    imageControl_->setGeometry(10, 10, cw - 20, ch - 60);
    addButton_->move(10, ch - 40);
    editButton_->move(130, ch - 40);
    removeButton_->move(250, ch - 40);
    link_->move(cw - 230, ch - 40);
    jobProgress_->placeOver(imageControl_->geometry());
}

void CMainFrame::keyPressEvent(QKeyEvent* event) {
    // Accelerators name the character typed, so Alt with "?" works whatever
    // key the keyboard layout puts it on (Shift may be part of typing it).
    const Qt::KeyboardModifiers held =
        event->modifiers() & (Qt::AltModifier | Qt::ControlModifier | Qt::MetaModifier);
    if (event->key() == Qt::Key_Escape && held == Qt::NoModifier &&
        model_->runningJob() != DocumentJob::None) {
        event->accept();
        model_->cancelJob();
        return;
    }
    for (const Accelerator& accelerator : mainAccelerators()) {
        const Qt::KeyboardModifiers wanted =
            accelerator.alt ? Qt::KeyboardModifiers(Qt::AltModifier) : Qt::NoModifier;
        if (event->key() == int(accelerator.character) && held == wanted) {
            event->accept();
            runCommand(accelerator.command);
            return;
        }
    }
    QMainWindow::keyPressEvent(event);
}

void CMainFrame::runCommand(int id) {
    // The buttons' identifiers come from the table, so they cannot be cases.
    if (id == commandIds_[CommandIdTable::AddButton]) {
        addCaption();
        return;
    }
    if (id == commandIds_[CommandIdTable::EditButton]) {
        editCaption();
        return;
    }
    if (id == commandIds_[CommandIdTable::RemoveButton]) {
        removeCaption();
        return;
    }
    switch (id) {
    case CommandId::Open:
        openFile();
        return;
    case CommandId::Save:
        saveFile();
        return;
    case CommandId::LoadCaptionSet:
        loadCaptionSet();
        return;
    case CommandId::SaveCaptionSet:
        saveCaptionSet();
        return;
    case CommandId::LoadCaptionData:
        loadCaptionData();
        return;
    case CommandId::Undo:
        model_->history()->undo();
        return;
    case CommandId::Redo:
        model_->history()->redo();
        return;
    case CommandId::ZoomFit:
        imageControl_->zoomToFit();
        return;
    case CommandId::ZoomActual:
        imageControl_->zoomTo(1.0);
        return;
    case CommandId::ZoomIn:
        imageControl_->zoomIn();
        return;
    case CommandId::ZoomOut:
        imageControl_->zoomOut();
        return;
    case CommandId::Exit:
        close();
        return;
    case CommandId::About:
        showAbout();
        return;
    default:
        return;
    }
}

void CMainFrame::showAbout() {
    CDlgAbout about(dialogOwner(this));
    about.exec();
}

void CMainFrame::addCaption() {
    CCaptionDialog dialog(dialogOwner(this));
    bool added = false;
    {
        // The view shows the caption as it is set up; the preview ends
        // before the caption joins the list.
        CaptionPreview preview(*model_, dialog, -1);
        added = dialog.exec() == ControlId::Ok;
    }
    if (added)
        model_->addCaption(dialog.caption());
}

void CMainFrame::editCaption() {
    std::int32_t index = -1;
    {
        CSelectCaptionDialog select(model_, loadString(StringId::SelectCaptionToEdit),
                                    CSelectCaptionDialog::Pick, dialogOwner(this));
        if (select.exec() != ControlId::Ok)
            return;
        index = select.selectedIndex();
    }
    const Caption* chosen = model_->document().captions.at(index);
    if (chosen == nullptr)
        return;
    CCaptionDialog dialog(*chosen, dialogOwner(this));
    bool confirmed = false;
    {
        CaptionPreview preview(*model_, dialog, index);
        confirmed = dialog.exec() == ControlId::Ok;
    }
    if (confirmed)
        model_->editCaption(index, dialog.caption());
}

void CMainFrame::removeCaption() {
    // The dialog removes through the model; how it ends changes nothing.
    CSelectCaptionDialog select(model_, loadString(StringId::SelectCaptionToRemove),
                                CSelectCaptionDialog::Remove, dialogOwner(this));
    select.exec();
}
