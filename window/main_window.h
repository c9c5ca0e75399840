#pragma once
// The tool's one window: the widgets at their designed places, showing
// what the run (the workflow) reports through its signals.

#include "window/message_box_prompts.h"
#include "window/updater.h"

#include <QDateTime>
#include <QKeySequence>
#include <QWidget>

#include <functional>

class QAction;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QStatusBar;

namespace tarvo::window {

class MainWindow final : public QWidget {
    Q_OBJECT
public:
    explicit MainWindow(platform::Platform& platform, QWidget* parent = nullptr);

    // Picks one of the listed backups (-1: none); a dialog unless replaced.
    using BackupChooser = std::function<int(const QStringList& entries)>;
    void setBackupChooser(BackupChooser chooser) { backupChooser_ = std::move(chooser); }
    // The window's menu (right click, or the shortcuts).
    void restoreEarlierBackup();
    // While a restore waits: back to Start, once the operator confirms.
    void startNewBackup();
    void openArchiveFolder();
    void saveLog();
    // The file name Save log offers: the last run's laser and time.
    QString suggestedLogName() const;
    ~MainWindow() override;

    Updater& updater() { return updater_; }
    // The boxes the window shows for the run (and for its own menu).
    MessageBoxPrompts& prompts() { return prompts_; }
    // Start-up: title, saved address, the phase and its status, the log
    // hidden and the window collapsed to fit.
    void load();
    // Shows or hides the log, growing or shrinking the window with it.
    void toggleLog();
    // The window's height with the log hidden, in twips.
    static constexpr int kCollapsedHeightTwips = 5000;
    int fullHeightTwips() const { return fullHeightTwips_; }

    // Designed layout in twips, converted at the screen's logical DPI.
    static constexpr int kClientWidthTwips = 4620;
    static constexpr int kClientHeightTwips = 9975;
    // The log keeps at most this many characters; the oldest lines go first.
    static constexpr int kMaxLogCharacters = 16 * 1024 * 1024;
    // ... and at most this many lines: an empty line costs the view far more
    // than its one character.
    static constexpr int kMaxLogLines = 100000;
    // ... of which one append shows at most this many, its newest.
    static constexpr int kMaxLinesPerAppend = 2000;
    void setLogCapacity(int characters) { logCapacity_ = characters; }
    // The status label as designed; a longer text grows it upwards, up to
    // kStatusHighestTopTwips (under the address box and the button).
    static constexpr int kStatusTopTwips = 1920;
    static constexpr int kStatusHeightTwips = 795;
    static constexpr int kStatusHighestTopTwips = 1080;
    // Only a text taller than that shrinks to fit, down to this size.
    static constexpr qreal kMinStatusPointSize = 5.5;
    static constexpr int kLogTopTwips = 3360;
    static constexpr int kLogHeightTwips = 5895;
    // The window manager's title bar and borders, before they are known.
    static constexpr int kFrameAllowancePixels = 40;

    int twipsToPixelsX(double twips) const;
    int twipsToPixelsY(double twips) const;

    // What the window shows.
    void showStatus(const QString& text);
    QString status() const;
    void appendLog(const QString& text);
    void clearLog();
    bool isLogVisible() const;
    double progress() const { return progress_; }
    bool isButtonEnabled() const;
    QString buttonCaption() const;
    QString targetAddress() const;
    void setTargetAddress(const QString& text);
    QString linkState() const;
    double windowHeightTwips() const;
    void setWindowHeightTwips(int twips);

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void place(QWidget* w, int left, int top, int width, int height);
    void startRun();
    QAction* addMenuAction(const QString& text, const char* name, const QKeySequence& keys, void (MainWindow::*slot)());
    void trimLog();
    void fitStatusText();
    void showProgress(double value);
    void showPhase(workflow::Workflow::Phase phase);

    QLabel* addressLabel_;
    QLineEdit* addressEdit_;
    QPushButton* startButton_;
    QLabel* statusLabel_;
    QProgressBar* progressBar_;
    QPlainTextEdit* logView_;
    QStatusBar* statusBar_;
    QLabel* linkStateLabel_;
    QAction* startNewBackupAction_ = nullptr;

    platform::Platform& platform_;
    BackupChooser backupChooser_;
    double progress_ = 0;
    int logCapacity_ = kMaxLogCharacters;
    bool unloaded_ = false;
    QString lastRunAddress_;
    QDateTime lastRunTime_;
    int fullHeightTwips_ = 0;
    MessageBoxPrompts prompts_{this};
    Updater updater_;
};

}  // namespace tarvo::window
