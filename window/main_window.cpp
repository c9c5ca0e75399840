#include "window/main_window.h"

#include "window/window_texts.h"
#include "workflow/laser_texts.h"
#include "workflow/operator_texts.h"

#include <QAction>
#include <QCloseEvent>
#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QUrl>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QTextBlock>
#include <QTextCursor>

namespace tarvo::window {

namespace {
constexpr double kTwipsPerInch = 1440.0;
}

MainWindow::MainWindow(platform::Platform& platform, QWidget* parent)
    : QWidget(parent),
      addressLabel_(new QLabel(workflow::OperatorTexts::addressLabel(), this)),
      addressEdit_(new QLineEdit(this)),
      startButton_(new QPushButton(workflow::OperatorTexts::startCaption(), this)),
      statusLabel_(new QLabel(this)),
      progressBar_(new QProgressBar(this)),
      logView_(new QPlainTextEdit(this)),
      statusBar_(new QStatusBar(this)),
      linkStateLabel_(new QLabel(this)),
      platform_(platform),
      updater_(platform, prompts_)
{
    setWindowIcon(QIcon(QStringLiteral(":/tarvo/icon.png")));
    addressLabel_->setObjectName(QStringLiteral("addressLabel"));
    addressEdit_->setObjectName(QStringLiteral("addressEdit"));
    startButton_->setObjectName(QStringLiteral("startButton"));
    statusLabel_->setObjectName(QStringLiteral("statusLabel"));
    progressBar_->setObjectName(QStringLiteral("progressBar"));
    logView_->setObjectName(QStringLiteral("logView"));
    statusBar_->setObjectName(QStringLiteral("statusBar"));
    linkStateLabel_->setObjectName(QStringLiteral("linkStateLabel"));
    const auto describe = [](QWidget* w, const QString& name, const QString& description) {
        w->setAccessibleName(name);
        w->setAccessibleDescription(description);
    };
    describe(addressLabel_, WindowTexts::addressLabelName(), WindowTexts::addressLabelDescription());
    describe(addressEdit_, WindowTexts::addressEditName(), WindowTexts::addressEditDescription());
    describe(startButton_, WindowTexts::buttonName(), WindowTexts::buttonDescription());
    describe(statusLabel_, WindowTexts::statusName(), WindowTexts::statusDescription());
    describe(progressBar_, WindowTexts::progressName(), WindowTexts::progressDescription());
    describe(logView_, WindowTexts::logName(), WindowTexts::logDescription());
    describe(statusBar_, WindowTexts::statusBarName(), WindowTexts::statusBarDescription());
    describe(linkStateLabel_, WindowTexts::linkStateName(), WindowTexts::linkStateDescription());
    addressLabel_->setBuddy(addressEdit_);

    place(addressLabel_, 240, 360, 3015, 255);
    place(addressEdit_, 240, 600, 1695, 285);
    place(startButton_, 2640, 480, 1095, 495);
    place(statusLabel_, 240, kStatusTopTwips, 4005, kStatusHeightTwips);
    place(progressBar_, 240, 2760, 4095, 495);
    place(logView_, 240, kLogTopTwips, 4095, kLogHeightTwips);
    place(statusBar_, 0, 9585, 4620, 390);

    statusLabel_->setWordWrap(true);
    // Controller text is shown as it came, never read as markup.
    statusLabel_->setTextFormat(Qt::PlainText);
    statusLabel_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    statusLabel_->installEventFilter(this);
    progressBar_->setRange(0, 100);
    progressBar_->setTextVisible(false);
    logView_->setReadOnly(true);
    logView_->setMaximumBlockCount(kMaxLogLines);
    // A vertical scroll bar only: long lines wrap, so that an error's
    // beginning is never scrolled out of sight sideways.
    logView_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    logView_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    logView_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    logView_->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    statusBar_->setSizeGripEnabled(false);
    statusBar_->addWidget(linkStateLabel_, 1);

    // Tab order as designed: log, address box, button.
    logView_->setFocusPolicy(Qt::StrongFocus);
    QWidget::setTabOrder(logView_, addressEdit_);
    QWidget::setTabOrder(addressEdit_, startButton_);

    resize(twipsToPixelsX(kClientWidthTwips), twipsToPixelsY(kClientHeightTwips));
    setFixedWidth(twipsToPixelsX(kClientWidthTwips));

    connect(startButton_, &QPushButton::clicked, this, &MainWindow::startRun);
    // Enter in the address box, or on the focused button, presses it.
    startButton_->setAutoDefault(true);
    connect(addressEdit_, &QLineEdit::returnPressed, this, [this] {
        if (startButton_->isEnabled())
            startButton_->click();
    });
    // The window only shows what the run reports.
    const workflow::Workflow* run = &updater_.workflow();
    connect(run, &workflow::Workflow::statusChanged, this, &MainWindow::showStatus);
    connect(run, &workflow::Workflow::progressChanged, this, &MainWindow::showProgress);
    connect(run, &workflow::Workflow::logAppended, this, &MainWindow::appendLog);
    connect(run, &workflow::Workflow::phaseChanged, this, &MainWindow::showPhase);
    connect(run, &workflow::Workflow::runningChanged, this, [this](bool running) { startButton_->setEnabled(!running); });
    connect(run, &workflow::Workflow::linkStateChanged, this, [this](bool connected) {
        linkStateLabel_->setText(connected ? workflow::OperatorTexts::linkConnected()
                                           : workflow::OperatorTexts::linkDisconnected());
    });

    // A menu that leaves the designed layout alone: a right click, or the
    // shortcuts.
    statusLabel_->setToolTip(workflow::OperatorTexts::statusHint());
    setContextMenuPolicy(Qt::ActionsContextMenu);
    addMenuAction(workflow::OperatorTexts::restoreEarlierAction(), "restoreEarlierAction",
                  QKeySequence(Qt::CTRL | Qt::Key_R), &MainWindow::restoreEarlierBackup);
    addMenuAction(workflow::OperatorTexts::toggleLogAction(), "toggleLogAction", QKeySequence(Qt::CTRL | Qt::Key_L),
                  &MainWindow::toggleLog);
    // Offered only while a restore waits (see showPhase).
    startNewBackupAction_ = addMenuAction(workflow::LaserTexts::startNewBackupAction(), "startNewBackupAction",
                                          QKeySequence(Qt::CTRL | Qt::Key_N), &MainWindow::startNewBackup);
    startNewBackupAction_->setVisible(false);
    addMenuAction(workflow::OperatorTexts::openArchiveFolderAction(), "openArchiveFolderAction",
                  QKeySequence(Qt::CTRL | Qt::Key_O), &MainWindow::openArchiveFolder);
    addMenuAction(workflow::OperatorTexts::saveLogAction(), "saveLogAction", QKeySequence::Save, &MainWindow::saveLog);
    backupChooser_ = [this](const QStringList& entries) {
        bool ok = false;
        const QString chosen = QInputDialog::getItem(this, workflow::OperatorTexts::restoreEarlierAction(),
                                                     workflow::OperatorTexts::chooseBackupLabel(), entries, 0, false, &ok);
        return ok ? int(entries.indexOf(chosen)) : -1;
    };
}

QAction* MainWindow::addMenuAction(const QString& text, const char* name, const QKeySequence& keys,
                                   void (MainWindow::*slot)())
{
    auto* action = new QAction(text, this);
    action->setObjectName(QLatin1String(name));
    action->setShortcut(keys);
    connect(action, &QAction::triggered, this, slot);
    addAction(action);
    return action;
}

void MainWindow::restoreEarlierBackup()
{
    if (updater_.workflow().isRunning())
        return;
    const auto backups = updater_.store().backups();
    if (backups.isEmpty()) {
        prompts_.showMessage(workflow::OperatorTexts::noBackupsKept(), workflow::MessageIcon::None);
        return;
    }
    QStringList entries;
    for (const auto& b : backups)
        entries << workflow::LaserTexts::backupEntry(b.controller, b.identity, pcside::BackupStore::shownTime(b.time),
                                                     b.bytes, b.files);
    const int chosen = backupChooser_(entries);
    if (chosen >= 0 && chosen < backups.size())
        updater_.workflow().chooseBackupToRestore(backups[chosen]);
}

void MainWindow::startNewBackup()
{
    workflow::Workflow& run = updater_.workflow();
    if (run.isRunning() || run.phase() != workflow::Workflow::Phase::Restore)
        return;
    const pcside::PendingRestore pending = updater_.store().pendingRestore();
    const pcside::BackupStore::Backup waiting = pending.isValid() ? updater_.store().describe(pending.archive)
                                                                  : run.lastBackup();
    const QString time = pending.isValid() ? pending.time : pcside::BackupStore::shownTime(waiting.time);
    if (prompts_.ask(workflow::LaserTexts::startNewBackupQuestion(waiting.controller, waiting.identity, time),
                      workflow::MessageIcon::None, workflow::LaserTexts::startNewBackup(),
                      workflow::LaserTexts::keepWaiting()))
        run.startNewBackup();
}

void MainWindow::openArchiveFolder()
{
    const QString folder = updater_.store().folder();
    QDir().mkpath(folder);
    // Without a file manager nothing would open: the operator learns where
    // the folder is instead.
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(folder)))
        prompts_.showMessage(workflow::OperatorTexts::folderNotOpened(QDir::toNativeSeparators(folder)),
                             workflow::MessageIcon::None);
}

void MainWindow::saveLog()
{
    const QString path = QFileDialog::getSaveFileName(this, workflow::OperatorTexts::saveLogAction(),
                                                      QDir::home().filePath(suggestedLogName()));
    if (path.isEmpty())
        return;
    // The last run's transcript, with its times; before any run, the log.
    if (!updater_.workflow().exportTranscript(path)
        && !platform_.fileSystem().writeFile(path, logView_->toPlainText().toUtf8()))
        prompts_.showMessage(workflow::OperatorTexts::logNotSaved(path), workflow::MessageIcon::Critical);
}

void MainWindow::startRun()
{
    lastRunAddress_ = addressEdit_->text().trimmed();
    lastRunTime_ = QDateTime::currentDateTime();
    updater_.startOrContinue(addressEdit_->text());
}

QString MainWindow::suggestedLogName() const
{
    // Named by laser and time, and valid as a file name everywhere.
    if (!lastRunTime_.isValid())
        return QStringLiteral("tarvo-log.txt");
    QString laser = lastRunAddress_;
    laser.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9.-]")), QStringLiteral("_"));
    if (laser.isEmpty())
        laser = QStringLiteral("no-address");
    return QStringLiteral("tarvo-%1-%2.log").arg(laser, lastRunTime_.toString(QStringLiteral("yyyyMMdd-HHmmss")));
}

void MainWindow::load()
{
    QWidget::setWindowTitle(updater_.workflow().title());
    const QString address = updater_.savedAddress();
    if (!address.isEmpty())
        addressEdit_->setText(address);
    linkStateLabel_->setText(workflow::OperatorTexts::linkDisconnected());
    clearLog();
    startButton_->setEnabled(true);
    updater_.load();
    logView_->setVisible(false);
    fullHeightTwips_ = workflow::roundHalfEven16(windowHeightTwips());
    setWindowHeightTwips(kCollapsedHeightTwips);
}

void MainWindow::toggleLog()
{
    const bool show = !isLogVisible();
    logView_->setVisible(show);
    if (!show) {
        setWindowHeightTwips(kCollapsedHeightTwips);
        return;
    }
    // The full height, unless the screen is lower: then the log is as tall
    // as fits, and the window stays on the screen.
    int pixels = twipsToPixelsY(fullHeightTwips_);
    if (const QScreen* s = screen()) {
        const int frame = std::max(frameGeometry().height() - geometry().height(), kFrameAllowancePixels);
        pixels = std::min(pixels, s->availableGeometry().height() - frame);
    }
    setFixedHeight(std::max(pixels, twipsToPixelsY(kCollapsedHeightTwips)));
    if (const QScreen* s = screen(); s && frameGeometry().bottom() > s->availableGeometry().bottom())
        move(x(), std::max(s->availableGeometry().top(), s->availableGeometry().bottom() - frameGeometry().height()));
}

MainWindow::~MainWindow()
{
    if (!unloaded_)
        updater_.unload();
}

int MainWindow::twipsToPixelsX(double twips) const
{
    return qRound(twips * logicalDpiX() / kTwipsPerInch);
}

int MainWindow::twipsToPixelsY(double twips) const
{
    return qRound(twips * logicalDpiY() / kTwipsPerInch);
}

void MainWindow::place(QWidget* w, int left, int top, int width, int height)
{
    w->setGeometry(twipsToPixelsX(left), twipsToPixelsY(top), twipsToPixelsX(width), twipsToPixelsY(height));
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // Closing is never refused, not even during a run.
    if (!unloaded_) {
        unloaded_ = true;
        progressBar_->setEnabled(false);
        updater_.unload();
    }
    event->accept();
}

void MainWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    // The status bar stays docked at the bottom; the log ends where it was
    // designed to, or above the status bar in a window the screen made lower.
    const int h = twipsToPixelsY(390);
    statusBar_->setGeometry(0, height() - h, width(), h);
    const int logTop = twipsToPixelsY(kLogTopTwips);
    const int logBottom = std::min(twipsToPixelsY(kLogTopTwips + kLogHeightTwips), height() - h - twipsToPixelsY(120));
    logView_->setGeometry(logView_->x(), logTop, logView_->width(), std::max(0, logBottom - logTop));
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == statusLabel_ && event->type() == QEvent::MouseButtonDblClick) {
        toggleLog();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void MainWindow::showStatus(const QString& text)
{
    // CR LF joins the lines of a status text; the label breaks at LF.
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    statusLabel_->setText(shown);
    statusLabel_->setProperty("statusText", text);
    fitStatusText();
}

void MainWindow::fitStatusText()
{
    // The label keeps its designed bottom edge. A text taller than its
    // designed height (the card-swap instructions, a failure with its
    // reason) grows it upwards into the free space under the address box,
    // at the window's own font. Only a text taller than all that space (a
    // long line of the controller's) is set smaller.
    const int bottom = twipsToPixelsY(kStatusTopTwips + kStatusHeightTwips);
    const int designed = twipsToPixelsY(kStatusHeightTwips);
    const int tallest = bottom - twipsToPixelsY(kStatusHighestTopTwips);
    QFont f = font();
    statusLabel_->setFont(f);
    const int needed = statusLabel_->heightForWidth(statusLabel_->width());
    const int height = std::clamp(needed, designed, tallest);
    statusLabel_->setGeometry(statusLabel_->x(), bottom - height, statusLabel_->width(), height);
    const qreal normal = f.pointSizeF() > 0 ? f.pointSizeF() : 9;
    for (qreal pt = normal - 0.5; needed > height && pt >= kMinStatusPointSize; pt -= 0.5) {
        f.setPointSizeF(pt);
        statusLabel_->setFont(f);
        if (statusLabel_->heightForWidth(statusLabel_->width()) <= height)
            break;
    }
}

QString MainWindow::status() const
{
    return statusLabel_->property("statusText").toString();
}

void MainWindow::appendLog(const QString& text)
{
    // Appended in place at the end, never by rebuilding the whole text.
    QString piece = text;
    piece.remove(QLatin1Char('\r'));
    // A flood shows only its newest lines: each line costs the view far
    // more than its characters, and the window must keep reacting.
    qsizetype cut = piece.size();
    int lines = 0;
    for (; lines < kMaxLinesPerAppend && cut > 0; ++lines) {
        cut = piece.lastIndexOf(QLatin1Char('\n'), cut - 1);
        if (cut < 0)
            break;
    }
    if (cut > 0) {
        const qsizetype hidden = piece.left(cut).count(QLatin1Char('\n')) + (piece.startsWith(QLatin1Char('\n')) ? 0 : 1);
        piece = QLatin1Char('\n') + workflow::OperatorTexts::linesNotShown(hidden) + piece.mid(cut);
    }
    QTextCursor cursor(logView_->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(piece);
    trimLog();
    cursor.movePosition(QTextCursor::End);
    logView_->setTextCursor(cursor);
    logView_->ensureCursorVisible();
}

void MainWindow::trimLog()
{
    QTextDocument* doc = logView_->document();
    const int excess = doc->characterCount() - logCapacity_;
    if (excess <= 0)
        return;
    // Drop whole lines from the top, a tenth more than needed, so that
    // trimming stays rare.
    QTextCursor cursor(doc);
    cursor.movePosition(QTextCursor::Start);
    const int target = excess + logCapacity_ / 10;
    QTextBlock block = doc->findBlock(target);
    const int end = block.isValid() && block.position() >= target ? block.position() : target;
    cursor.setPosition(std::min(end, doc->characterCount() - 1), QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
}

void MainWindow::clearLog()
{
    logView_->clear();
}

bool MainWindow::isLogVisible() const
{
    return !logView_->isHidden();
}

void MainWindow::showProgress(double value)
{
    progress_ = value;
    progressBar_->setValue(qRound(value));
}

QString MainWindow::linkState() const
{
    return linkStateLabel_->text();
}

bool MainWindow::isButtonEnabled() const
{
    return startButton_->isEnabled();
}

void MainWindow::showPhase(workflow::Workflow::Phase phase)
{
    startButton_->setText(phase == workflow::Workflow::Phase::Backup ? workflow::OperatorTexts::startCaption()
                                                                    : workflow::OperatorTexts::continueCaption());
    if (startNewBackupAction_)
        startNewBackupAction_->setVisible(phase == workflow::Workflow::Phase::Restore);
    // The label says the backup is verified; its file is named here.
    QString tip = workflow::OperatorTexts::statusHint();
    if (phase == workflow::Workflow::Phase::Restore) {
        const pcside::PendingRestore pending = updater_.store().pendingRestore();
        const QString path = pending.isValid() ? pending.archive : updater_.workflow().lastBackup().path;
        if (!path.isEmpty())
            tip += QLatin1Char('\n') + workflow::OperatorTexts::backupFileHint(QDir::toNativeSeparators(path));
    }
    statusLabel_->setToolTip(tip);
}

QString MainWindow::buttonCaption() const
{
    return startButton_->text();
}

QString MainWindow::targetAddress() const
{
    return addressEdit_->text();
}

void MainWindow::setTargetAddress(const QString& text)
{
    addressEdit_->setText(text);
}

// The window's height is taken as the height of what the tool draws: the
// title bar and borders belong to the window manager, are unknown until it
// has framed the window, and would otherwise make the height depend on
// whether the window was shown yet.
double MainWindow::windowHeightTwips() const
{
    return height() * kTwipsPerInch / logicalDpiY();
}

void MainWindow::setWindowHeightTwips(int twips)
{
    setFixedHeight(std::max(0, twipsToPixelsY(twips)));
}

}  // namespace tarvo::window
