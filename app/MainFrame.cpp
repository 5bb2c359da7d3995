#include "app/MainFrame.h"

#include "app/FileDialogs.h"
#include "captions/PicturePipeline.h"
#include "resources/MainMenu.h"
#include "resources/StringTable.h"
#include "resources/VersionBlock.h"
#include "ui/CaptionDialog.h"
#include "ui/DialogOwner.h"
#include "ui/DlgAbout.h"
#include "ui/ImageControl.h"
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
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>

namespace {

// Shows the busy cursor while a long open or save runs on the one thread.
class BusyCursor {
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

} // namespace

CMainFrame::CMainFrame(std::int64_t timeInSeconds, QWidget* parent)
    : QMainWindow(parent), commandIds_(timeInSeconds) {
    setObjectName(QStringLiteral("Lumora.MainFrame.ID6123683"));
    setWindowTitle(loadString(StringId::ProgramTitle));
    setWindowIcon(programIcon());
    createMenu();
    createChildren();
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
            QAction* action = menu->addAction(QString::fromUtf16(item.text));
            action->setObjectName(QString::number(item.command));
            const int command = item.command;
            connect(action, &QAction::triggered, this, [this, command] { runCommand(command); });
            actions_[command] = action;
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

    imageControl_ = new CImageControl(client_);
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

    // Saving needs an opened file first.
    actions_.at(CommandId::Save)->setEnabled(false);

    client_->installEventFilter(this);
    layoutChildren(client_->size());
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
}

void CMainFrame::keyPressEvent(QKeyEvent* event) {
    // Accelerators name the character typed, so Alt with "?" works whatever
    // key the keyboard layout puts it on (Shift may be part of typing it).
    const Qt::KeyboardModifiers held =
        event->modifiers() & (Qt::AltModifier | Qt::ControlModifier | Qt::MetaModifier);
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

void CMainFrame::openFile() {
    // The folder of the last file, or at first the person's pictures.
    const QString startIn = rememberedPath_.isEmpty()
                                ? QStandardPaths::writableLocation(QStandardPaths::PicturesLocation)
                                : QFileInfo(rememberedPath_.constFirst()).path();
    const QString path = chooseOpenPath(this, startIn);
    if (path.isEmpty())
        return;
    rememberedPath_ = QStringList{path};
    PipelineResult result;
    {
        BusyCursor busy;
        result = openPicture(imageControl_->document(), path);
        imageControl_->repaint();
    }
    // Whether or not the picture could be read, captions can now be added
    // and the document saved.
    addButton_->setEnabled(true);
    actions_.at(CommandId::Save)->setEnabled(true);
    if (!result.ok)
        showFailure(result.message);
}

void CMainFrame::saveFile() {
    const QString remembered = rememberedPath_.value(0);
    const QFileInfo opened(remembered);
    const QString path =
        chooseSavePath(this, remembered.isEmpty() ? QString() : opened.path(), opened.fileName());
    if (path.isEmpty())
        return;
    PipelineResult result;
    {
        BusyCursor busy;
        result = savePicture(imageControl_->document(), path);
    }
    if (!result.ok)
        showFailure(result.message);
}

void CMainFrame::showAbout() {
    CDlgAbout about(dialogOwner(this));
    about.exec();
}

void CMainFrame::addCaption() {
    CCaptionDialog dialog(dialogOwner(this));
    if (dialog.exec() != ControlId::Ok)
        return;
    CaptionList& captions = imageControl_->document().captions;
    captions.append(dialog.caption());
    if (captions.count() >= 1) {
        editButton_->setEnabled(true);
        removeButton_->setEnabled(true);
    }
    imageControl_->repaint();
}

void CMainFrame::editCaption() {
    CaptionList& captions = imageControl_->document().captions;
    std::int32_t index = -1;
    {
        CSelectCaptionDialog select(imageControl_, loadString(StringId::SelectCaptionToEdit),
                                    CSelectCaptionDialog::Pick, dialogOwner(this));
        if (select.exec() != ControlId::Ok)
            return;
        index = select.selectedIndex();
    }
    const Caption* chosen = captions.at(index);
    if (chosen == nullptr)
        return;
    CCaptionDialog dialog(*chosen, dialogOwner(this));
    if (dialog.exec() == ControlId::Ok)
        captions.replaceAt(index, dialog.caption());
    // Repainted whether the edit was kept or not.
    imageControl_->repaint();
}

void CMainFrame::removeCaption() {
    // The dialog removes and repaints by itself; how it ends changes nothing.
    CSelectCaptionDialog select(imageControl_, loadString(StringId::SelectCaptionToRemove),
                                CSelectCaptionDialog::Remove, dialogOwner(this));
    select.exec();
}

void CMainFrame::showFailure(const QString& message) {
    QMessageBox box(QMessageBox::Warning, loadString(StringId::ProgramTitle), message,
                    QMessageBox::Ok, this);
    box.exec();
}
