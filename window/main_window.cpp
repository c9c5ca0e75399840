#include "window/main_window.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
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
      Label2(new QLabel(QStringLiteral("IP Address of the laser."), this)),
      txt_Target_IP_Address(new QLineEdit(this)),
      cmd_Start_Continue(new QPushButton(QStringLiteral("Start"), this)),
      Label3(new QLabel(this)),
      ProgressBar1(new QProgressBar(this)),
      Text1(new QPlainTextEdit(this)),
      StatusBar1(new QStatusBar(this)),
      StatusPanel1(new QLabel(this)),
      form_(platform, *this)
{
    setWindowIcon(QIcon(QStringLiteral(":/tarvo/icon.png")));
    Label2->setObjectName(QStringLiteral("Label2"));
    txt_Target_IP_Address->setObjectName(QStringLiteral("txt_Target_IP_Address"));
    cmd_Start_Continue->setObjectName(QStringLiteral("cmd_Start_Continue"));
    Label3->setObjectName(QStringLiteral("Label3"));
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    Text1->setObjectName(QStringLiteral("Text1"));
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));

    place(Label2, 240, 360, 3015, 255);
    place(txt_Target_IP_Address, 240, 600, 1695, 285);
    place(cmd_Start_Continue, 2640, 480, 1095, 495);
    place(Label3, 240, 1920, 4005, 795);
    place(ProgressBar1, 240, 2760, 4095, 495);
    place(Text1, 240, 3360, 4095, 5895);
    place(StatusBar1, 0, 9585, 4620, 390);

    Label3->setWordWrap(true);
    Label3->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label3->installEventFilter(this);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setTextVisible(false);
    Text1->setReadOnly(true);
    Text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Text1->setLineWrapMode(QPlainTextEdit::NoWrap);
    StatusBar1->setSizeGripEnabled(false);
    StatusBar1->addWidget(StatusPanel1, 1);

    // Tab order as designed: log, address box, button.
    Text1->setFocusPolicy(Qt::StrongFocus);
    QWidget::setTabOrder(Text1, txt_Target_IP_Address);
    QWidget::setTabOrder(txt_Target_IP_Address, cmd_Start_Continue);

    resize(twipsToPixelsX(kClientWidthTwips), twipsToPixelsY(kClientHeightTwips));
    setFixedWidth(twipsToPixelsX(kClientWidthTwips));

    connect(cmd_Start_Continue, &QPushButton::clicked, this, [this] { form_.cmd_Start_Continue_Click(); });
}

MainWindow::~MainWindow()
{
    if (!unloaded_)
        form_.Form_Unload();
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
        form_.Form_Unload();
    }
    event->accept();
}

void MainWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    // Only the status bar follows the height: it stays docked at the bottom.
    const int h = twipsToPixelsY(390);
    StatusBar1->setGeometry(0, height() - h, width(), h);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Label3 && event->type() == QEvent::MouseButtonDblClick) {
        form_.Label3_DblClick();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void MainWindow::setStatus(const QString& text)
{
    // CR LF joins the lines of a status text; the label breaks at LF.
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    Label3->setText(shown);
    Label3->setProperty("statusText", text);
    fitStatusText();
}

void MainWindow::fitStatusText()
{
    // The label keeps its designed size; a text that would not fit there
    // (the three card-swap instructions, a long controller line) is set
    // smaller, so that the operator always reads all of it.
    QFont f = font();
    const qreal designed = f.pointSizeF() > 0 ? f.pointSizeF() : 9;
    for (qreal pt = designed; pt >= kMinStatusPointSize; pt -= 0.5) {
        f.setPointSizeF(pt);
        Label3->setFont(f);
        if (Label3->heightForWidth(Label3->width()) <= Label3->height())
            break;
    }
}

QString MainWindow::status() const
{
    return Label3->property("statusText").toString();
}

void MainWindow::appendLog(const QString& text)
{
    // Appended in place at the end, never by rebuilding the whole text.
    QString piece = text;
    piece.remove(QLatin1Char('\r'));
    QTextCursor cursor(Text1->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(piece);
    trimLog();
    cursor.movePosition(QTextCursor::End);
    Text1->setTextCursor(cursor);
    Text1->ensureCursorVisible();
}

void MainWindow::trimLog()
{
    QTextDocument* doc = Text1->document();
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
    Text1->clear();
}

void MainWindow::setLogVisible(bool visible)
{
    Text1->setVisible(visible);
}

bool MainWindow::isLogVisible() const
{
    return !Text1->isHidden();
}

void MainWindow::setProgress(double value)
{
    progress_ = value;
    ProgressBar1->setValue(qRound(value));
}

void MainWindow::setProgressEnabled(bool enabled)
{
    ProgressBar1->setEnabled(enabled);
}

void MainWindow::setLinkState(const QString& text)
{
    StatusPanel1->setText(text);
}

void MainWindow::setButtonEnabled(bool enabled)
{
    cmd_Start_Continue->setEnabled(enabled);
}

bool MainWindow::isButtonEnabled() const
{
    return cmd_Start_Continue->isEnabled();
}

void MainWindow::setButtonCaption(const QString& caption)
{
    cmd_Start_Continue->setText(caption);
}

QString MainWindow::buttonCaption() const
{
    return cmd_Start_Continue->text();
}

QString MainWindow::targetAddress() const
{
    return txt_Target_IP_Address->text();
}

void MainWindow::setTargetAddress(const QString& text)
{
    txt_Target_IP_Address->setText(text);
}

void MainWindow::setWindowTitle(const QString& title)
{
    QWidget::setWindowTitle(title);
}

QString MainWindow::windowTitle() const
{
    return QWidget::windowTitle();
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
