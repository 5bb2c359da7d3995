#pragma once

#include "app/CommandIdTable.h"

#include <QMainWindow>
#include <QStringList>

#include <cstdint>
#include <map>

class CImageControl;
class CLinkControl;
class QAction;
class QPushButton;

// The program's window: the menu, the view of the picture, the Add, Edit
// and Remove buttons and the link to the maker's site. It runs File, Open
// and File, Save through the open and save pipeline, the caption commands
// through the caption dialogs, and the About box, and
// enables commands as the work goes on: nothing is disabled again once
// enabled.
class CMainFrame : public QMainWindow {
    Q_OBJECT

public:
    // `timeInSeconds` seeds the table of child and command identifiers.
    explicit CMainFrame(std::int64_t timeInSeconds, QWidget* parent = nullptr);
    ~CMainFrame() override;

    // Shows the window for the first time: 900 x 675, centred on its
    // screen, then grown by one pixel on every side.
    void showAtStartingPlace(Qt::WindowStates state = Qt::WindowNoState);

    // Runs the command with that identifier: a menu command or a button's
    // entry of the identifier table. Unknown identifiers do nothing.
    void runCommand(int id);

    void openFile();
    void saveFile();
    void showAbout();
    // The caption commands of the Add, Edit and Remove buttons. Edit and
    // Remove are enabled by the first added caption and stay enabled.
    void addCaption();
    void editCaption();
    void removeCaption();

    // Places the children for a client area (below the menu) of that size.
    void layoutChildren(QSize client);

    CImageControl* imageControl() const { return imageControl_; }
    CLinkControl* linkControl() const { return link_; }
    QPushButton* addButton() const { return addButton_; }
    QPushButton* editButton() const { return editButton_; }
    QPushButton* removeButton() const { return removeButton_; }
    QAction* menuAction(int command) const;
    const CommandIdTable& commandIds() const { return commandIds_; }
    // The path last confirmed in the open dialog, if any (at most one).
    const QStringList& rememberedPath() const { return rememberedPath_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void createMenu();
    void createChildren();
    QPushButton* createButton(int textId, int tableEntry, QRect geometry);
    void showFailure(const QString& message);

    CommandIdTable commandIds_;
    QWidget* client_ = nullptr;
    CImageControl* imageControl_ = nullptr;
    QPushButton* addButton_ = nullptr;
    QPushButton* editButton_ = nullptr;
    QPushButton* removeButton_ = nullptr;
    CLinkControl* link_ = nullptr;
    std::map<int, QAction*> actions_;
    QStringList rememberedPath_;
};
