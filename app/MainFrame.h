#pragma once

#include "app/CommandIdTable.h"
#include "pipeline/PicturePipeline.h"

#include <QMainWindow>
#include <QStringList>

#include <cstdint>
#include <map>
#include <utility>
#include <vector>

class CImageControl;
class CLinkControl;
class DocumentModel;
class JobProgress;
class QAction;
class MetadataChoiceMenu;
class QualityChoiceMenu;
class QMenu;
class QPushButton;

// The program's window: the menu, the view of the picture, the Add, Edit
// and Remove buttons and the link to the maker's site. It owns the
// document model and runs File, Open and File, Save through it, the
// caption commands through the caption dialogs (showing the working
// caption in the view while a dialog is open), Undo and Redo of the
// model's history, and the About box. The view, the enabling, the title
// and its modified mark follow the model's signals: nothing is disabled
// again once enabled. Photos also open from the recent list, from a drop
// on the window and from the command line; closing with unsaved captions
// asks first.
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
    // Starts opening `path` as File, Open does once a file is chosen; the
    // message of a failure shows when the open ends. False when no open
    // could start (a save is running).
    bool openPath(const QString& path);
    // Opens `path` (relative to the working folder) once the event loop runs,
    // so that the window shows first and a failure's message over it.
    void openAtStart(const QString& path);
    // Runs the save dialog and starts the save; true when it started. A
    // failure's message, or the note, shows when it ends.
    bool saveFile();
    // File, Load Caption Set: the chosen set replaces the captions, as one
    // step; a set that cannot be read changes nothing and says why.
    void loadCaptionSet();
    // File, Save Caption Set: the captions written as a set; true when written.
    bool saveCaptionSet();
    // File, Caption Data: the chosen table fills the placeholders of this
    // and every photo opened after it; one that cannot be read changes
    // nothing and says why, and warnings (a photo without a row) are shown.
    void loadCaptionData();
    void showAbout();
    // The caption commands of the Add, Edit and Remove buttons. Edit and
    // Remove are enabled by the first added caption and stay enabled.
    void addCaption();
    void editCaption();
    void removeCaption();

    // Places the children for a client area (below the menu) of that size.
    void layoutChildren(QSize client);

    DocumentModel* model() const { return model_; }
    CImageControl* imageControl() const { return imageControl_; }
    CLinkControl* linkControl() const { return link_; }
    QPushButton* addButton() const { return addButton_; }
    QPushButton* editButton() const { return editButton_; }
    QPushButton* removeButton() const { return removeButton_; }
    QAction* menuAction(int command) const;
    QMenu* recentMenu() const { return recentMenu_; }
    // The progress and Cancel button of a running open or save.
    JobProgress* jobProgress() const { return jobProgress_; }
    // File, Metadata in Saved Copies: what a save carries of the photo's metadata.
    MetadataChoiceMenu* metadataChoice() const { return metadataChoice_; }
    // File, Picture Quality in Saved Copies: keep the photo's blocks or encode again.
    QualityChoiceMenu* qualityChoice() const { return qualityChoice_; }
    const CommandIdTable& commandIds() const { return commandIds_; }
    // The path last confirmed in the open dialog, if any (at most one).
    const QStringList& rememberedPath() const { return rememberedPath_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void createMenu();
    void createChildren();
    void followModel();
    QPushButton* createButton(int textId, int tableEntry, QRect geometry);
    void showFailure(const QString& message);
    void showNote(const QString& message);
    void updateTitle();
    void updateRecentMenu();
    void openRecent(const QString& path);
    // Save, Discard or Cancel for unsaved captions; true when the window
    // may close.
    bool confirmClose();
    // While a job runs, the commands it conflicts with are disabled; they
    // get their earlier state back when it ends.
    void jobStarted();
    void jobFinished(const PipelineResult& result, bool cancelled);

    CommandIdTable commandIds_;
    DocumentModel* model_ = nullptr;
    QWidget* client_ = nullptr;
    CImageControl* imageControl_ = nullptr;
    QPushButton* addButton_ = nullptr;
    QPushButton* editButton_ = nullptr;
    QPushButton* removeButton_ = nullptr;
    CLinkControl* link_ = nullptr;
    QMenu* recentMenu_ = nullptr;
    MetadataChoiceMenu* metadataChoice_ = nullptr;
    QualityChoiceMenu* qualityChoice_ = nullptr;
    std::map<int, QAction*> actions_;
    QStringList rememberedPath_;
    // Whether the drag that entered the window carries a JPEG photo, worked
    // out once as it enters rather than on every move.
    bool dragCarriesPhoto_ = false;
    JobProgress* jobProgress_ = nullptr;
    std::vector<std::pair<QObject*, bool>> suspended_;
    // Close once the running save has written its file.
    bool closeAfterSave_ = false;
};
