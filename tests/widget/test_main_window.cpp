// The real window, offscreen: layout in pixels, tab order, the log toggle,
// start-up state and the log's appending.
#include "platform/qt_platform.h"
#include "window/main_window.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QtTest>

using tarvo::window::MainWindow;

class TestMainWindow : public QObject {
    Q_OBJECT

    std::unique_ptr<platform::QtPlatform> platform;
    std::unique_ptr<MainWindow> window;
    QTemporaryDir config;

private slots:
    void initTestCase()
    {
        // A settings store of the test's own.
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    }

    void init()
    {
        platform = std::make_unique<platform::QtPlatform>();
        platform->messageBoxHandler = [](const QString&, int) {};
        window = std::make_unique<MainWindow>(*platform);
        window->form().Form_Load();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }

    void cleanup()
    {
        window.reset();
        platform.reset();
    }

    void controlsSitAtTheirDesignedPixels()
    {
        // 15 twips to the pixel at 96 DPI.
        QCOMPARE(window->logicalDpiY(), 96);
        QCOMPARE(window->Label2->geometry(), QRect(16, 24, 201, 17));
        QCOMPARE(window->txt_Target_IP_Address->geometry(), QRect(16, 40, 113, 19));
        QCOMPARE(window->cmd_Start_Continue->geometry(), QRect(176, 32, 73, 33));
        QCOMPARE(window->Label3->geometry(), QRect(16, 128, 267, 53));
        QCOMPARE(window->ProgressBar1->geometry(), QRect(16, 184, 273, 33));
        QCOMPARE(window->Text1->geometry(), QRect(16, 224, 273, 393));
        QCOMPARE(window->width(), 308);
        // Collapsed to 5000 twips, the status bar docked at the bottom.
        QCOMPARE(window->height(), 333);
        QCOMPARE(window->StatusBar1->geometry(), QRect(0, 333 - 26, 308, 26));
    }

    void startUpState()
    {
        QCOMPARE(window->QWidget::windowTitle(), QStringLiteral("Tarvo Configuration Updater, Rev 1.0.1"));
        QCOMPARE(window->Label3->text(), QStringLiteral("Status: "));
        QCOMPARE(window->StatusPanel1->text(), QStringLiteral("Disconnected"));
        QCOMPARE(window->cmd_Start_Continue->text(), QStringLiteral("Start"));
        QVERIFY(window->cmd_Start_Continue->isEnabled());
        QCOMPARE(window->ProgressBar1->value(), 0);
        QVERIFY(!window->Text1->isVisible());
        QVERIFY(!window->windowIcon().isNull());
    }

    void tabOrder()
    {
        window->setLogVisible(true);
        window->activateWindow();
        window->Text1->setFocus();
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(window->Text1));
        // The log takes Tab as text only when editable; it is read-only.
        QTest::keyClick(window->Text1, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(window->txt_Target_IP_Address));
        QTest::keyClick(window->txt_Target_IP_Address, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(window->cmd_Start_Continue));
    }

    void doubleClickingTheStatusLabelTogglesTheLog()
    {
        window->appendLog(QStringLiteral("\r\nline one"));
        QTest::mouseDClick(window->Label3, Qt::LeftButton);
        QVERIFY(window->Text1->isVisible());
        QCOMPARE(window->height(), 665);  // the full designed client height
        QCOMPARE(window->StatusBar1->geometry().bottom(), 664);
        QCOMPARE(window->Text1->toPlainText(), QStringLiteral("\nline one"));
        QCOMPARE(window->Text1->textCursor().position(), window->Text1->toPlainText().size());
        QTest::mouseDClick(window->Label3, Qt::LeftButton);
        QVERIFY(!window->Text1->isVisible());
        QCOMPARE(window->height(), 333);
    }

    void aHundredThousandLinesAreLoggedInOnePiece()
    {
        QString burst;
        for (int i = 0; i < 100000; ++i)
            burst += QStringLiteral("\r\nmedia/profiles/p%1.prf").arg(i);
        window->appendLog(burst);
        QCOMPARE(window->Text1->document()->blockCount(), 100001);
        QCOMPARE(window->Text1->textCursor().position(), window->Text1->document()->characterCount() - 1);
    }

    void theLogDropsItsOldestLinesWhenFull()
    {
        window->setLogCapacity(1000);
        for (int i = 0; i < 300; ++i)
            window->appendLog(QStringLiteral("\r\nline %1").arg(i, 3, 10, QLatin1Char('0')));
        const QString text = window->Text1->toPlainText();
        QVERIFY(text.size() <= 1000);
        QVERIFY(text.endsWith(QStringLiteral("line 299")));
        QVERIFY(!text.contains(QStringLiteral("line 000")));
        // Whole lines go: the first one left is complete.
        QVERIFY(text.startsWith(QStringLiteral("line ")) || text.startsWith(QStringLiteral("\nline ")));
        QCOMPARE(window->Text1->textCursor().position(), window->Text1->document()->characterCount() - 1);
    }

    void statusTextsKeepTheirLineBreaks()
    {
        window->setStatus(QStringLiteral("1. a\r\n2. b"));
        QCOMPARE(window->status(), QStringLiteral("1. a\r\n2. b"));
        QCOMPARE(window->Label3->text(), QStringLiteral("1. a\n2. b"));
    }

    void theCardSwapInstructionsFitTheStatusLabel()
    {
        window->setStatus(QStringLiteral(
            "1. Turn off the laser and replace SD card. Do NOT close the application!\r\n"
            "2. Turn on the laser and verify/change IP address.\r\n"
            "3. Click the Continue button when done."));
        QVERIFY(window->Label3->heightForWidth(window->Label3->width()) <= window->Label3->height());
        QCOMPARE(window->Label3->geometry(), QRect(16, 128, 267, 53));
        window->setStatus(QStringLiteral("Status: "));
        QCOMPARE(window->Label3->font().pointSizeF(), window->font().pointSizeF());
    }

    void closingRunsTheShutDown()
    {
        window->setLinkState(QStringLiteral("Connected"));
        window->close();
        QCOMPARE(window->StatusPanel1->text(), QStringLiteral("Disconnected"));
        QVERIFY(!window->ProgressBar1->isEnabled());
        QVERIFY(window->form().link.isShuttingDown());
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_main_window.moc"
