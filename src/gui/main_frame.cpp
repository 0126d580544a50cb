#include "gui/main_frame.h"

#include "controls/animation_dialog.h"
#include "controls/dialog_service.h"
#include "controls/port_wait_dialog.h"
#include "gui/about_dialog.h"
#include "gui/child_frame.h"
#include "gui/frame_devices.h"
#include "gui/frame_phone.h"
#include "gui/message_view.h"
#include "gui/run_history_dialog.h"
#include "gui/toolbar_icons.h"
#include "gui/window_records.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>
#include <QWindow>
#include <vector>

namespace marlow::gui {

namespace {

constexpr const char* kWindowTitles[] = {"File Information Window", "Debug Message Window",
                                         "Device State Window"};

// Room for a long download path beside the status messages.
constexpr int kPathPaneWidth = 460;

QString Prompt(CommandId id) {
    return QString::fromLatin1(CommandStrings(id)).section('\n', 0, 0);
}

QString Tip(CommandId id) {
    return QString::fromLatin1(CommandStrings(id)).section('\n', 1, 1);
}

} // namespace

CMainFrame::CMainFrame(MarlowContext& context, QWidget* parent)
    : QMainWindow(parent), context_(context) {
    setWindowTitle(QString::fromLatin1(kProductTitle));
    mdi_ = new QMdiArea(this);
    mdi_->setObjectName(QStringLiteral("mdiArea"));
    setCentralWidget(mdi_);
    BuildCommands();
    BuildMenus();
    BuildToolBar();
    BuildStatusBar();
    SetPathPane(context_.settings.Values().downloadPath);

    flashWait_ = new controls::CAnimationDlg(this);
    devices_ = std::make_unique<FrameDevices>(*this);
    phone_ = std::make_unique<FramePhone>(*this);
    records_ = std::make_unique<WindowRecords>(context_.store, "main window");

    context_.debugPortChanged = [this](bool) { UpdateCommandStates(); };
    context_.debugPortProblem = [this](const std::string& text) {
        QMetaObject::invokeMethod(
            this, [this, text] { ShowMessage(QString::fromStdString(text), QString()); },
            Qt::QueuedConnection);
    };
    connect(this, &CMainFrame::mainFrameCloseRequested, this, &CMainFrame::StopThreadsAndClose,
            Qt::QueuedConnection);
    connect(this, &CMainFrame::pdaDownloadDone, this, &CMainFrame::OnPdaDownloadDone,
            Qt::QueuedConnection);
    // The frame's own activation events miss the step from its wait box to
    // another window; every change of the focus window is looked at.
    connect(qApp, &QGuiApplication::focusWindowChanged, this,
            [this] { context_.frameForeground.store(IsForeground()); });
    UpdateCommandStates();
}

CMainFrame::~CMainFrame() {
    EndReleaseUnderWay();
    context_.debugPortChanged = nullptr;
    context_.debugPortProblem = nullptr;
    // The devices go first: their download threads still talk to the views.
    devices_.reset();
    phone_.reset();
}

QAction* CMainFrame::AddCommand(CommandId id, const QString& text, void (CMainFrame::*handler)()) {
    auto* action = new QAction(text, this);
    action->setStatusTip(Prompt(id));
    action->setToolTip(Tip(id));
    action->setData(static_cast<int>(id));
    if (handler)
        connect(action, &QAction::triggered, this, handler);
    commands_[id] = action;
    return action;
}

void CMainFrame::BuildCommands() {
    AddCommand(ID_SETTINGS, QStringLiteral("&Image Open && Port Setting"), &CMainFrame::OnSettings);
    AddCommand(ID_MODEL_VERSION, QStringLiteral("&Model && Version Setting"),
               &CMainFrame::OnModelVersion);
    AddCommand(ID_DEBUG_PORT_OPEN, QStringLiteral("Debug Port Open"), &CMainFrame::OnDebugPortOpen);
    AddCommand(ID_DEBUG_PORT_CLOSE, QStringLiteral("Debug Port Close"),
               &CMainFrame::OnDebugPortClose);
    AddCommand(ID_VIVEZO_SET, QStringLiteral("VIVezo Set"), &CMainFrame::OnVivezoSet);
    AddCommand(ID_DEBUG_MESSAGE_CLEAR, QStringLiteral("Debug Message Clear"),
               &CMainFrame::OnDebugMessageClear);
    AddCommand(ID_ORIGINAL_POSITION, QStringLiteral("Original Position"),
               &CMainFrame::ArrangeMessageWindows);
    AddCommand(ID_FILE_SAVE_AS, QStringLiteral("Save &As..."), &CMainFrame::OnFileSaveAs);
    AddCommand(ID_APP_ABOUT, QStringLiteral("&About..."), &CMainFrame::OnAbout);
    AddCommand(ID_RUN_HISTORY, QStringLiteral("&Run History\u2026"), &CMainFrame::OnRunHistory);
    AddCommand(ID_APP_EXIT, QStringLiteral("E&xit"), nullptr);
    connect(commands_[ID_APP_EXIT], &QAction::triggered, this, &QWidget::close);
    AddCommand(ID_OPERATION_DOWNLOAD, QStringLiteral("Download"), &CMainFrame::OnOperationDownload);
    AddCommand(ID_PHONE_DOWN_START, QStringLiteral("Phone Download Start"),
               &CMainFrame::OnPhoneDownStart);
    AddCommand(ID_PHONE_DOWN_CANCEL, QStringLiteral("Phone Download Cancel"),
               &CMainFrame::OnPhoneDownCancel);
    for (const CommandId id :
         {ID_SAVE_FILE_INFORMATION, ID_SAVE_DEVICE_STATE, ID_SAVE_DEBUG_MESSAGE}) {
        const char* text = id == ID_SAVE_FILE_INFORMATION ? "File Information Window"
                           : id == ID_SAVE_DEVICE_STATE   ? "Device State Window"
                                                          : "Debug Message Window";
        QAction* action = AddCommand(id, QString::fromLatin1(text), nullptr);
        connect(action, &QAction::triggered, this, [this, id] { SaveWindowAsText(id); });
    }
    AddCommand(ID_FILE_PRINT, QStringLiteral("&Print..."), &CMainFrame::OnFilePrint);
    AddCommand(ID_EDIT_UNDO, QStringLiteral("&Undo"), nullptr);
    AddCommand(ID_EDIT_CUT, QStringLiteral("Cu&t"), nullptr);
    AddCommand(ID_EDIT_COPY, QStringLiteral("&Copy"), &CMainFrame::OnEditCopy);
    AddCommand(ID_EDIT_PASTE, QStringLiteral("&Paste"), nullptr);
    AddCommand(ID_NEXT_PANE, QStringLiteral("Ne&xt Window"), &CMainFrame::OnNextPane);
    AddCommand(ID_PREV_PANE, QStringLiteral("Pre&vious Window"), &CMainFrame::OnPrevPane);
    BindAccelerators();
    for (const CommandId id :
         {ID_SETTINGS, ID_DEBUG_PORT_OPEN, ID_DEBUG_PORT_CLOSE, ID_VIVEZO_SET, ID_FILE_SAVE_AS,
          ID_DEBUG_MESSAGE_CLEAR, ID_ORIGINAL_POSITION, ID_PHONE_DOWN_START, ID_PHONE_DOWN_CANCEL})
        commands_[id]->setIcon(ToolbarIcon(id));
}

// The historic accelerator table. Its framework commands land on the Marlow
// command that does their job here: new starts the debug log afresh, open
// chooses the image, save saves the active window.
void CMainFrame::BindAccelerators() {
    const struct {
        CommandId id;
        std::vector<QKeySequence> keys;
    } table[] = {
        {ID_DEBUG_MESSAGE_CLEAR, {Qt::CTRL | Qt::Key_N}},
        {ID_SETTINGS, {Qt::CTRL | Qt::Key_O}},
        {ID_FILE_SAVE_AS, {Qt::CTRL | Qt::Key_S}},
        {ID_FILE_PRINT, {Qt::CTRL | Qt::Key_P}},
        {ID_EDIT_UNDO, {Qt::CTRL | Qt::Key_Z, Qt::ALT | Qt::Key_Backspace}},
        {ID_EDIT_CUT, {Qt::CTRL | Qt::Key_X, Qt::SHIFT | Qt::Key_Delete}},
        {ID_EDIT_COPY, {Qt::CTRL | Qt::Key_C, Qt::CTRL | Qt::Key_Insert}},
        {ID_EDIT_PASTE, {Qt::CTRL | Qt::Key_V, Qt::SHIFT | Qt::Key_Insert}},
        {ID_NEXT_PANE, {Qt::Key_F6}},
        {ID_PREV_PANE, {Qt::SHIFT | Qt::Key_F6}},
    };
    for (const auto& row : table)
        commands_[row.id]->setShortcuts(QList<QKeySequence>(row.keys.begin(), row.keys.end()));
}

void CMainFrame::BuildMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->addAction(commands_[ID_SETTINGS]);
    file->addSeparator();
    file->addAction(commands_[ID_MODEL_VERSION]);
    file->addAction(commands_[ID_RUN_HISTORY]);
    file->addSeparator();
    file->addAction(commands_[ID_DEBUG_PORT_OPEN]);
    file->addAction(commands_[ID_DEBUG_PORT_CLOSE]);
    file->addSeparator();
    file->addAction(commands_[ID_VIVEZO_SET]);
    file->addSeparator();
    QMenu* save = file->addMenu(QStringLiteral("Save Debug Message"));
    save->addAction(commands_[ID_SAVE_FILE_INFORMATION]);
    save->addAction(commands_[ID_SAVE_DEVICE_STATE]);
    save->addAction(commands_[ID_SAVE_DEBUG_MESSAGE]);
    file->addAction(commands_[ID_FILE_SAVE_AS]);
    file->addAction(commands_[ID_FILE_PRINT]);
    file->addSeparator();
    file->addAction(commands_[ID_APP_EXIT]);
    connect(file, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandStates);

    // The windows are read-only: of the edit commands only Copy ever works,
    // the others are there, greyed, for the keys the operator knows.
    QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
    edit->addAction(commands_[ID_EDIT_UNDO]);
    edit->addSeparator();
    edit->addAction(commands_[ID_EDIT_CUT]);
    edit->addAction(commands_[ID_EDIT_COPY]);
    edit->addAction(commands_[ID_EDIT_PASTE]);

    QMenu* window = menuBar()->addMenu(QStringLiteral("&Window"));
    window->addAction(commands_[ID_DEBUG_MESSAGE_CLEAR]);
    window->addAction(commands_[ID_ORIGINAL_POSITION]);
    window->addSeparator();
    window->addAction(commands_[ID_NEXT_PANE]);
    window->addAction(commands_[ID_PREV_PANE]);

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->addAction(commands_[ID_APP_ABOUT]);
}

void CMainFrame::BuildToolBar() {
    QToolBar* bar = addToolBar(QStringLiteral("Standard"));
    bar->setObjectName(QStringLiteral("toolBar"));
    bar->setIconSize(QSize(32, 32));
    bar->setAllowedAreas(Qt::AllToolBarAreas);
    bar->setMovable(true);
    bar->addAction(commands_[ID_SETTINGS]);
    bar->addSeparator();
    bar->addAction(commands_[ID_DEBUG_PORT_OPEN]);
    bar->addAction(commands_[ID_DEBUG_PORT_CLOSE]);
    bar->addSeparator();
    bar->addAction(commands_[ID_VIVEZO_SET]);
    bar->addSeparator();
    bar->addAction(commands_[ID_FILE_SAVE_AS]);
    bar->addAction(commands_[ID_DEBUG_MESSAGE_CLEAR]);
    bar->addAction(commands_[ID_ORIGINAL_POSITION]);
    bar->addSeparator();
    bar->addAction(commands_[ID_PHONE_DOWN_START]);
    bar->addAction(commands_[ID_PHONE_DOWN_CANCEL]);
}

void CMainFrame::BuildStatusBar() {
    statusBar()->setObjectName(QStringLiteral("statusBar"));
    statusBar()->showMessage(QStringLiteral("Ready"));
    pathPane_ = new QLabel(this);
    pathPane_->setObjectName(QStringLiteral("pathPane"));
    pathPane_->setMinimumWidth(kPathPaneWidth);
    pathPane_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    statusBar()->addPermanentWidget(pathPane_);
    UseKeyboardLocks(PlatformKeyboardLocks());
}

// The lock panes show their name while the lock is on and stay blank while
// it is off; where the platform cannot tell, there are none.
void CMainFrame::UseKeyboardLocks(KeyboardLockReader reader) {
    for (QLabel* pane : lockPanes_)
        delete pane;
    lockPanes_ = {};
    readLocks_ = std::move(reader);
    if (!readLocks_)
        return;
    const struct {
        const char* text;
        const char* name;
    } panes[] = {{"CAP", "Caps Lock"}, {"NUM", "Num Lock"}, {"SCRL", "Scroll Lock"}};
    for (std::size_t i = 0; i < lockPanes_.size(); ++i) {
        auto* pane = new QLabel(this);
        pane->setObjectName(QString::fromLatin1(panes[i].text));
        pane->setAccessibleName(QString::fromLatin1(panes[i].name));
        pane->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        pane->setMinimumWidth(
            pane->fontMetrics().horizontalAdvance(QString::fromLatin1(panes[i].text)) +
            2 * pane->frameWidth() + 8);
        statusBar()->addPermanentWidget(pane);
        lockPanes_[i] = pane;
    }
    // A lock changes with a key; the operator may also have pressed it in
    // another window before coming back to this one.
    qApp->installEventFilter(this);
    RefreshKeyboardLocks();
}

void CMainFrame::RefreshKeyboardLocks() {
    if (!readLocks_)
        return;
    const KeyboardLocks locks = readLocks_();
    const bool on[] = {locks.caps, locks.num, locks.scroll};
    for (std::size_t i = 0; i < lockPanes_.size(); ++i)
        lockPanes_[i]->setText(on[i] ? lockPanes_[i]->objectName() : QString());
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyRelease || event->type() == QEvent::KeyPress)
        RefreshKeyboardLocks();
    return QMainWindow::eventFilter(watched, event);
}

void CMainFrame::SetPathPane(const std::string& path) {
    pathPane_->setText(QString::fromStdString(path));
}

QAction* CMainFrame::Command(CommandId id) const {
    const auto found = commands_.find(id);
    return found == commands_.end() ? nullptr : found->second;
}

void CMainFrame::UpdateCommandStates() {
    if (releasing_) {
        for (const auto& [id, action] : commands_)
            action->setEnabled(false);
        return;
    }
    for (const CommandId id : {ID_EDIT_UNDO, ID_EDIT_CUT, ID_EDIT_PASTE})
        commands_[id]->setEnabled(false);
    const bool portOpen = context_.debugPort.IsOpen();
    commands_[ID_DEBUG_PORT_OPEN]->setEnabled(!portOpen);
    commands_[ID_DEBUG_PORT_CLOSE]->setEnabled(portOpen);
    const bool phoneRunning = PhoneRunning();
    commands_[ID_PHONE_DOWN_START]->setEnabled(!phoneRunning);
    commands_[ID_PHONE_DOWN_CANCEL]->setEnabled(phoneRunning);
}

void CMainFrame::CreateMessageWindows() {
    MessageText* texts[] = {&context_.fileInformation, &context_.debugMessage,
                            &context_.deviceState};
    for (int i = 0; i < 3; ++i) {
        const auto role = static_cast<WindowRole>(i);
        auto* child = new CChildFrame;
        auto* view = new CMarlowView(*texts[i], role != WindowRole::FileInformation, child);
        view->setObjectName(QString::fromLatin1(kWindowTitles[i]));
        // The pane, not only its frame, carries the window's name: it is
        // what a screen reader lands on.
        view->setAccessibleName(QString::fromLatin1(kWindowTitles[i]));
        child->setWidget(view);
        child->setWindowTitle(QString::fromLatin1(kWindowTitles[i]));
        child->setAttribute(Qt::WA_DeleteOnClose, false);
        mdi_->addSubWindow(child, CChildFrame::kFlags);
        if (!child->RemoveCloseCommand())
            ShowMessage(QStringLiteral("sysmenu null"), QString());
        connect(view, &CMarlowView::activationRequested, this,
                [this, role] { ActivateMessageWindow(role); });
        children_[i] = child;
        views_[i] = view;
        child->show();
    }
    views_[static_cast<int>(WindowRole::DebugMessage)]->onCharacter = [this](char c) {
        OnDebugCharacter(c);
    };
}

CMarlowView* CMainFrame::View(WindowRole role) const {
    return views_[static_cast<int>(role)];
}

CChildFrame* CMainFrame::Child(WindowRole role) const {
    return children_[static_cast<int>(role)];
}

// The client area as the frame's own window sees it: everything below the
// menu bar, toolbar and status bar included.
ClientRect CMainFrame::FrameClientRect() const {
    const int menu = menuBar()->isVisible() ? menuBar()->height() : 0;
    return ClientRect{0, 0, width(), height() - menu};
}

void CMainFrame::PlaceMessageWindows(const ClientRect& client, bool restore) {
    const MessageLayout layout = gui::ArrangeMessageWindows(client);
    const std::pair<WindowRole, Placement> order[] = {
        {WindowRole::FileInformation, layout.fileInformation},
        {WindowRole::DeviceState, layout.deviceState},
        {WindowRole::DebugMessage, layout.debugMessage},
    };
    for (const auto& [role, place] : order) {
        CChildFrame* child = Child(role);
        if (!child)
            continue;
        if (restore && (child->isMinimized() || child->isMaximized()))
            child->showNormal();
        child->setGeometry(place.x, place.y, place.width, place.height);
        child->show();
        child->raise();
        View(role)->viewport()->update();
    }
}

void CMainFrame::ArrangeMessageWindows() {
    if (!arranging_)
        mdi_->cascadeSubWindows();
    PlaceMessageWindows(FrameClientRect(), true);
}

void CMainFrame::resizeEvent(QResizeEvent* event) {
    if (context_.layoutReady && (isMaximized() || windowState() == Qt::WindowNoState)) {
        arranging_ = true;
        ArrangeMessageWindows();
        arranging_ = false;
    }
    QMainWindow::resizeEvent(event);
}

void CMainFrame::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange) {
        context_.frameForeground.store(IsForeground());
        RefreshKeyboardLocks();
    }
    QMainWindow::changeEvent(event);
}

// The wait box is part of the frame's own show: while it is up the frame
// still counts as the window the operator is looking at.
bool CMainFrame::IsForeground() const {
    const QWidget* active = QApplication::activeWindow();
    return active == this || (active != nullptr && active == flashWait_);
}

void CMainFrame::FocusDebugMessageView() {
    ActivateMessageWindow(WindowRole::DebugMessage);
}

// WM_ACTIVATE_MESSAGE_WINDOW: only the two windows that follow a running
// job come forward; the File Information window stays where it is.
void CMainFrame::ActivateMessageWindow(WindowRole role) {
    if (role == WindowRole::FileInformation)
        return;
    mdi_->setActiveSubWindow(Child(role));
    View(role)->setFocus();
}

// Once the frame is closing, that is what the status bar says: the stopped
// run's last words are in the Device State window.
void CMainFrame::SetStatusText(const QString& text) {
    if (releasing_)
        return;
    statusBar()->showMessage(text);
}

void CMainFrame::CreateDeviceStateProgress(int low, int high) {
    CMarlowView* view = View(WindowRole::DeviceState);
    view->CreateDownloadProgress();
    view->SetDownloadProgressRange(low, high);
}

void CMainFrame::SetDeviceStateProgress(int position) {
    View(WindowRole::DeviceState)->SetDownloadProgressPos(position);
}

void CMainFrame::CloseDeviceStateProgress() {
    View(WindowRole::DeviceState)->CloseDownloadProgress();
}

void CMainFrame::ShowFlashWaitBox() {
    flashWait_->show();
    flashWait_->raise();
}

void CMainFrame::CloseFlashWaitBox() {
    flashWait_->hide();
}

void CMainFrame::ShowMessage(const QString& text, const QString& caption) {
    if (caption.isEmpty())
        controls::Dialogs().Message(this, text);
    else
        controls::Dialogs().Message(this, text, caption);
}

void CMainFrame::ShowPortWaitDialog() {
    if (portWait_) {
        portWait_->activateWindow();
        portWait_->setFocus();
        return;
    }
    portWait_ = new controls::CPortWaitDlg(this);
    portWait_->setAttribute(Qt::WA_DeleteOnClose);
    context_.portWaitShown.store(true);
    connect(portWait_, &QObject::destroyed, this, [this] { context_.portWaitShown.store(false); });
    portWait_->show();
}

void CMainFrame::DestroyPortWaitDialog() {
    if (!portWait_)
        return;
    context_.portWaitShown.store(false);
    delete portWait_.data();
}

void CMainFrame::OnDebugCharacter(char c) {
    context_.debugPort.WriteDebugPort(&c, 1);
    if ((c == 'u' || c == 'U') && !context_.run.deviceConnected.load())
        ShowPortWaitDialog();
}

void CMainFrame::OnAbout() {
    AboutDialog about(this);
    about.exec();
}

void CMainFrame::OnRunHistory() {
    RunHistoryDialog history(records_->StorePath(), records_.get(), this);
    history.exec();
}

void CMainFrame::ShowNotRecorded(const QString& text) {
    context_.Print(context_.fileInformation, "\n" + text.toStdString() + "\n");
    statusBar()->showMessage(text);
}

} // namespace marlow::gui
