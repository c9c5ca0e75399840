// The real window, offscreen: layout in pixels, tab order, the log toggle,
// start-up state, the log's appending and the operator's language.
#include "platform/qt_platform.h"
#include "translations/loader.h"
#include "window/main_window.h"
#include "workflow/failure_texts.h"
#include "workflow/operator_texts.h"

#include "generated/version.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTextBlock>
#include <QTimer>
#include <QtTest>

using tarvo::window::MainWindow;

class TestMainWindow : public QObject {
    Q_OBJECT

    std::unique_ptr<tarvo::platform::QtPlatform> platform;
    std::unique_ptr<MainWindow> window;
    QTemporaryDir config;

private:
    template <typename T>
    T* child(const char* name) const
    {
        T* w = window->findChild<T*>(QLatin1String(name));
        if (!w)
            qFatal("no widget named %s", name);
        return w;
    }
    QWidget* widget(const char* name) const { return child<QWidget>(name); }
    QLabel* statusLabel() const { return child<QLabel>("statusLabel"); }
    QPlainTextEdit* logView() const { return child<QPlainTextEdit>("logView"); }
    QPushButton* startButton() const { return child<QPushButton>("startButton"); }

    // A verified backup of 10.1.1.9 in the history, which the menu offers.
    void keepBackup(const QTemporaryDir& data)
    {
        platform->dataFolderOverride = data.path();
        const QString kept = data.filePath(QStringLiteral("history/10.1.1.9/20260102-030405_config.tgz"));
        QVERIFY(platform->writeFile(kept, "archive"));
        QVERIFY(platform->writeFile(kept + QStringLiteral(".json"),
                                    R"({"controller":"10.1.1.9","time":"2026-01-02T03:04:05","bytes":7,"files":3})"));
    }
    void forgetPendingRestore()
    {
        platform->saveSetting(QStringLiteral("Tarvo Configuration Updater"), QStringLiteral("Restore"),
                              QStringLiteral("Archive"), QString());
    }

private slots:
    void initTestCase()
    {
        // A settings store of the test's own.
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    }

    void init()
    {
        platform = std::make_unique<tarvo::platform::QtPlatform>();
        window = std::make_unique<MainWindow>(*platform);
        window->prompts().messageHandler = [](const QString&, tarvo::workflow::MessageIcon) {};
        window->load();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }

    void cleanup()
    {
        window.reset();
        platform.reset();
        // English again for the next test.
        tarvo::translations::install(*QCoreApplication::instance(), QLocale::c());
    }

    void theControlsDoNotOverlapAndTheCollapsedWindowHidesOnlyTheLog()
    {
        const QList<QWidget*> controls{widget("addressLabel"), widget("addressEdit"), widget("startButton"),
                                       widget("statusLabel"), widget("progressBar")};
        for (QWidget* a : controls) {
            QVERIFY2(window->rect().contains(a->geometry()), qPrintable(a->objectName()));
            QVERIFY2(!a->geometry().intersects(widget("statusBar")->geometry()), qPrintable(a->objectName()));
            // The address label's box runs under the box and the button
            // beside it, as designed; its text stays clear of them.
            for (QWidget* b : controls)
                QVERIFY2(a == b || a == controls[0] || b == controls[0] || !a->geometry().intersects(b->geometry()),
                         qPrintable(a->objectName() + " overlaps " + b->objectName()));
        }
        QCOMPARE(widget("statusBar")->geometry().bottom(), window->height() - 1);
    }

    void startUpState()
    {
        QCOMPARE(window->QWidget::windowTitle(), QStringLiteral("Tarvo Configuration Updater, Rev %1.%2.%3")
                                                     .arg(tarvo::kVersionMajor)
                                                     .arg(tarvo::kVersionMinor)
                                                     .arg(tarvo::kVersionRevision));
        QCOMPARE(statusLabel()->text(), QStringLiteral("Status: "));
        QCOMPARE(child<QLabel>("linkStateLabel")->text(), QStringLiteral("Disconnected"));
        QCOMPARE(startButton()->text(), QStringLiteral("Start"));
        QVERIFY(startButton()->isEnabled());
        QCOMPARE(child<QProgressBar>("progressBar")->value(), 0);
        QVERIFY(!logView()->isVisible());
        QVERIFY(!window->windowIcon().isNull());
    }

    void tabOrder()
    {
        window->toggleLog();
        window->activateWindow();
        logView()->setFocus();
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(logView()));
        // The log takes Tab as text only when editable; it is read-only.
        QTest::keyClick(logView(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(widget("addressEdit")));
        QTest::keyClick(widget("addressEdit"), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(startButton()));
    }

    void doubleClickingTheStatusLabelTogglesTheLog()
    {
        window->appendLog(QStringLiteral("\r\nline one"));
        QTest::mouseDClick(statusLabel(), Qt::LeftButton);
        QVERIFY(logView()->isVisible());
        QCOMPARE(window->height(), 665);  // the full designed client height
        QCOMPARE(widget("statusBar")->geometry().bottom(), 664);
        QCOMPARE(logView()->toPlainText(), QStringLiteral("\nline one"));
        QCOMPARE(logView()->textCursor().position(), logView()->toPlainText().size());
        QTest::mouseDClick(statusLabel(), Qt::LeftButton);
        QVERIFY(!logView()->isVisible());
        QCOMPARE(window->height(), 333);
    }

    void aBurstShowsItsNewestLinesInOnePiece()
    {
        QString burst;
        for (int i = 0; i < 100000; ++i)
            burst += QStringLiteral("\r\nmedia/profiles/p%1.prf").arg(i);
        window->appendLog(burst);
        QTextDocument* doc = logView()->document();
        QCOMPARE(doc->blockCount(), 2 + MainWindow::kMaxLinesPerAppend);
        QCOMPARE(doc->findBlockByNumber(1).text(), QStringLiteral("[98000 lines not shown]"));
        QCOMPARE(doc->findBlockByNumber(2).text(), QStringLiteral("media/profiles/p98000.prf"));
        QCOMPARE(doc->lastBlock().text(), QStringLiteral("media/profiles/p99999.prf"));
        QCOMPARE(logView()->textCursor().position(), doc->characterCount() - 1);
    }

    void aFloodOfEmptyLinesKeepsTheLogBounded()
    {
        // Each empty line is a block of the view, hundreds of bytes: the
        // line bounds, not the character bound, keep this small and quick.
        for (int i = 0; i < 52; ++i)
            window->appendLog(QString(64 * 1024, QLatin1Char('\n')) + QStringLiteral("end %1").arg(i));
        QCOMPARE(logView()->document()->blockCount(), MainWindow::kMaxLogLines);
        QCOMPARE(logView()->document()->lastBlock().text(), QStringLiteral("end 51"));
    }

    void theLogDropsItsOldestLinesWhenFull()
    {
        window->setLogCapacity(1000);
        for (int i = 0; i < 300; ++i)
            window->appendLog(QStringLiteral("\r\nline %1").arg(i, 3, 10, QLatin1Char('0')));
        const QString text = logView()->toPlainText();
        QVERIFY(text.size() <= 1000);
        QVERIFY(text.endsWith(QStringLiteral("line 299")));
        QVERIFY(!text.contains(QStringLiteral("line 000")));
        // Whole lines go: the first one left is complete.
        QVERIFY(text.startsWith(QStringLiteral("line ")) || text.startsWith(QStringLiteral("\nline ")));
        QCOMPARE(logView()->textCursor().position(), logView()->document()->characterCount() - 1);
    }

    void statusTextsKeepTheirLineBreaks()
    {
        window->showStatus(QStringLiteral("1. a\r\n2. b"));
        QCOMPARE(window->status(), QStringLiteral("1. a\r\n2. b"));
        QCOMPARE(statusLabel()->text(), QStringLiteral("1. a\n2. b"));
        QCOMPARE(statusLabel()->textFormat(), Qt::PlainText);  // "<b>" from a controller stays text
    }

    void theCardSwapInstructionsStandAtTheWindowsOwnSize()
    {
        // In both languages, with the verification under them: the label
        // grows upwards into the free space, never over the address box or
        // the button, and the font stays the window's.
        const QRect designed = statusLabel()->geometry();
        for (const char* locale : {"C", "de"}) {
            cleanup();
            tarvo::translations::install(*QCoreApplication::instance(), QLocale(QLatin1String(locale)));
            init();
            using tarvo::workflow::OperatorTexts;
            const QString nl = QStringLiteral("\r\n");
            window->showStatus(OperatorTexts::swapStep1() + nl + OperatorTexts::swapStep2() + nl
                               + OperatorTexts::swapStep3() + nl + OperatorTexts::backupVerified(36, 581810));
            QCOMPARE(statusLabel()->font().pointSizeF(), window->font().pointSizeF());
            QVERIFY2(statusLabel()->heightForWidth(statusLabel()->width()) <= statusLabel()->height(), locale);
            QCOMPARE(statusLabel()->geometry().bottom(), designed.bottom());
            QVERIFY(statusLabel()->geometry().top() > widget("startButton")->geometry().bottom());
            QVERIFY(statusLabel()->geometry().top() > widget("addressEdit")->geometry().bottom());
            // A short text has the designed place again.
            window->showStatus(OperatorTexts::idleStatus());
            QCOMPARE(statusLabel()->geometry(), designed);
        }
        // Only a text taller than all the space shrinks.
        window->showStatus(QString(40, QLatin1Char('x')).append(QStringLiteral("\n")).repeated(20));
        QVERIFY(statusLabel()->font().pointSizeF() < window->font().pointSizeF());
    }

    void theWindowStaysOnTheScreen()
    {
        // However low the screen (a scale factor of 2 on a small one), the
        // log is only as tall as fits, above the status bar.
        window->toggleLog();
        const QRect screen = window->screen()->availableGeometry();
        // The designed 665 pixels where they fit (the run at scale 1 here).
        QCOMPARE(window->height(), std::min(665, screen.height() - MainWindow::kFrameAllowancePixels));
        QVERIFY(window->frameGeometry().bottom() <= screen.bottom());
        QVERIFY(logView()->height() > 0);
        QVERIFY(logView()->geometry().bottom() < widget("statusBar")->geometry().top());
    }

    void theLogWrapsAndEnterPressesTheButton()
    {
        // A vertical scroll bar only: a long error line wraps.
        window->toggleLog();
        window->appendLog(QStringLiteral("\r\n") + QString(400, QLatin1Char('e')));
        QCOMPARE(logView()->lineWrapMode(), QPlainTextEdit::WidgetWidth);
        QVERIFY(!logView()->horizontalScrollBar()->isVisible());
        QCOMPARE(logView()->horizontalScrollBar()->value(), 0);
        // Ctrl+L hides it again.
        QTest::keyClick(window.get(), Qt::Key_L, Qt::ControlModifier);
        QVERIFY(!logView()->isVisible());

        // Enter in the address box starts a run, as does Enter on the button.
        QStringList messages;
        window->prompts().messageHandler = [&](const QString& text, tarvo::workflow::MessageIcon) { messages << text; };
        window->setTargetAddress(QString());
        QTest::keyClick(widget("addressEdit"), Qt::Key_Return);
        QCOMPARE(messages, QStringList{QStringLiteral("Please enter IP address of the laser.")});
        startButton()->setFocus();
        QTest::keyClick(startButton(), Qt::Key_Enter);
        QCOMPARE(messages.size(), 2);
        QCOMPARE(window->suggestedLogName().left(19), QStringLiteral("tarvo-no-address-20"));
        // The saved log is named by laser and time, as a file name anywhere.
        window->setTargetAddress(QStringLiteral(" laser:7/a "));
        QTest::keyClick(widget("addressEdit"), Qt::Key_Return);
        QCOMPARE(messages.size(), 3);
        QVERIFY2(QRegularExpression(QStringLiteral("^tarvo-laser_7_a-\\d{8}-\\d{6}\\.log$")).match(window->suggestedLogName()).hasMatch(),
                 qPrintable(window->suggestedLogName()));
    }

    void theMenuChoosesAnEarlierBackupForContinue()
    {
        QTemporaryDir data;
        keepBackup(data);
        for (const char* name : {"restoreEarlierAction", "openArchiveFolderAction", "saveLogAction"})
            QVERIFY2(window->findChild<QAction*>(QLatin1String(name)), name);
        QCOMPARE(window->findChild<QAction*>(QStringLiteral("restoreEarlierAction"))->shortcut(),
                 QKeySequence(Qt::CTRL | Qt::Key_R));
        QStringList offered;
        window->setBackupChooser([&](const QStringList& entries) {
            offered = entries;
            return 0;
        });
        window->restoreEarlierBackup();
        // A backup of an earlier version, filed by address: its hardware
        // is not known.
        QCOMPARE(offered, QStringList{QStringLiteral("10.1.1.9 (hardware unknown)   2026-01-02 03:04   7 bytes   3 files")});
        QCOMPARE(startButton()->text(), QStringLiteral("Continue"));
        QCOMPARE(window->status(), QStringLiteral("The backup of laser 10.1.1.9 (hardware unknown) from 2026-01-02 03:04 "
                                                  "waits to be restored onto its new card: click Continue."));
        QVERIFY(!statusLabel()->toolTip().isEmpty());

        // The way back to Start asks first, naming the waiting backup; No
        // is the default.
        auto* startNew = window->findChild<QAction*>(QStringLiteral("startNewBackupAction"));
        QVERIFY(startNew && startNew->isVisible());
        QCOMPARE(startNew->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_N));
        QStringList asked;
        bool answer = false;
        window->prompts().questionHandler = [&](const QString& text) {
            asked << text;
            return answer;
        };
        startNew->trigger();
        QCOMPARE(asked.size(), 1);
        QVERIFY2(asked[0].contains(QStringLiteral("laser 10.1.1.9 (hardware unknown) from 2026-01-02 03:04")),
                 qPrintable(asked[0]));
        QCOMPARE(startButton()->text(), QStringLiteral("Continue"));
        answer = true;
        startNew->trigger();
        QCOMPARE(startButton()->text(), QStringLiteral("Start"));
        QCOMPARE(window->status(), QStringLiteral("Status: "));
        QVERIFY(!startNew->isVisible());
        QVERIFY(!window->updater().store().pendingRestore().isValid());
        // The backup stays kept, to be chosen again.
        QCOMPARE(window->updater().store().backups().size(), 1);
    }

    void aQuestionIsAnsweredNoUnlessYesIsChosen()
    {
        // The real box: Enter and Escape both answer no; only a click on
        // yes writes.
        // Over the tool's window, not wherever the screen's centre is.
        tarvo::window::MessageBoxPrompts bare(window.get());
        const auto whenShown = [](std::function<void(QMessageBox&)> act) {
            auto* poll = new QTimer;
            QObject::connect(poll, &QTimer::timeout, poll, [poll, act] {
                if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                    poll->deleteLater();
                    act(*box);
                }
            });
            poll->start(10);
        };
        for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
            whenShown([key](QMessageBox& box) { QTest::keyClick(&box, key); });
            QVERIFY(!bare.ask(QStringLiteral("Write?"), tarvo::workflow::MessageIcon::Critical,
                              QStringLiteral("Write onto this laser"), QStringLiteral("Do not write")));
        }
        QMessageBox::Icon shown = QMessageBox::NoIcon;
        QWidget* over = nullptr;
        whenShown([&shown, &over](QMessageBox& box) {
            shown = box.icon();
            over = box.parentWidget();
            for (QAbstractButton* b : box.buttons())
                if (b->text() == QStringLiteral("Write onto this laser"))
                    b->click();
        });
        QVERIFY(bare.ask(QStringLiteral("Write?"), tarvo::workflow::MessageIcon::Critical,
                         QStringLiteral("Write onto this laser"), QStringLiteral("Do not write")));
        QCOMPARE(shown, QMessageBox::Critical);
        QCOMPARE(over, static_cast<QWidget*>(window.get()));
    }

    void theWindowSpeaksTheLocalesLanguage_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("continueCaption");
        QTest::addColumn<QString>("pending");
        QTest::addColumn<QString>("enterAddress");
        QTest::addColumn<QStringList>("menu");
        QTest::newRow("German") << "de" << QString::fromUtf8("Weiter")
                                << QString::fromUtf8("Die Sicherung von Laser 10.1.1.9 (Hardware unbekannt) vom 2026-01-02 "
                                                     "03:04 wartet darauf, auf seine neue Karte geschrieben zu werden: "
                                                     "auf „Weiter“ klicken.")
                                << QString::fromUtf8("Bitte die IP-Adresse des Lasers eingeben.")
                                << QStringList{QString::fromUtf8("Frühere Sicherung zurückspielen…"),
                                               QString::fromUtf8("Protokoll ein- oder ausblenden"),
                                               QString::fromUtf8("Archivordner öffnen"),
                                               QString::fromUtf8("Protokoll speichern…")};
        // No translation: the texts exactly as written.
        const QStringList english{QString::fromUtf8("Restore an earlier backup…"), QStringLiteral("Show or hide the log"),
                                  QStringLiteral("Open archive folder"), QString::fromUtf8("Save log…")};
        const QString pending = QStringLiteral("The backup of laser 10.1.1.9 (hardware unknown) from 2026-01-02 03:04 "
                                               "waits to be restored onto its new card: click Continue.");
        const QString enterAddress = QStringLiteral("Please enter IP address of the laser.");
        for (const char* locale : {"C", "fr_FR"})
            QTest::newRow(locale) << locale << QStringLiteral("Continue") << pending << enterAddress << english;
    }

    void theWindowSpeaksTheLocalesLanguage()
    {
        QFETCH(QString, locale);
        QFETCH(QString, continueCaption);
        QFETCH(QString, pending);
        QFETCH(QString, enterAddress);
        QFETCH(QStringList, menu);
        // Installed as the program does it, before its window is made.
        cleanup();
        QCOMPARE(tarvo::translations::install(*QCoreApplication::instance(), QLocale(locale)), locale == "de");
        init();
        QCOMPARE(tarvo::workflow::OperatorTexts::enterAddress(), enterAddress);
        // The reasons under a failure are translated with the rest.
        QCOMPARE(tarvo::workflow::FailureTexts::retryBackup().contains(QStringLiteral("Start")), true);
        QCOMPARE(tarvo::workflow::FailureTexts::retryBackup().startsWith(QStringLiteral("Keep the old")), locale != "de");

        QTemporaryDir data;  // the run's transcript, and the kept backup
        keepBackup(data);
        QStringList messages;
        window->prompts().messageHandler = [&](const QString& text, tarvo::workflow::MessageIcon) { messages << text; };
        window->setTargetAddress(QString());
        QTest::mouseClick(startButton(), Qt::LeftButton);
        QCOMPARE(messages, QStringList{enterAddress});

        QStringList shownMenu;
        for (const QAction* a : window->actions())
            if (a->isVisible())
                shownMenu << a->text();
        QCOMPARE(shownMenu, menu);
        // Qt's own words (the dialogs' buttons) in the same language.
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"),
                 locale == "de" ? QStringLiteral("Abbrechen") : QStringLiteral("Cancel"));

        window->setBackupChooser([](const QStringList&) { return 0; });
        window->restoreEarlierBackup();
        QCOMPARE(startButton()->text(), continueCaption);
        QCOMPARE(window->status(), pending);
        forgetPendingRestore();
    }

    void everyControlHasAnAccessibleNameAndDescription()
    {
        for (const char* name : {"addressLabel", "addressEdit", "startButton", "statusLabel", "progressBar", "logView",
                                 "statusBar", "linkStateLabel"}) {
            QVERIFY2(!widget(name)->accessibleName().isEmpty(), name);
            QVERIFY2(!widget(name)->accessibleDescription().isEmpty(), name);
        }
    }

    void closingRunsTheShutDown()
    {
        child<QLabel>("linkStateLabel")->setText(QStringLiteral("Connected"));
        window->close();
        QCOMPARE(child<QLabel>("linkStateLabel")->text(), QStringLiteral("Disconnected"));
        QVERIFY(!child<QProgressBar>("progressBar")->isEnabled());
        QVERIFY(window->updater().link().isShuttingDown());
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_main_window.moc"
