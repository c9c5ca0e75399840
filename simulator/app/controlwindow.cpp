#include "controlwindow.h"

#include "samplecards.h"
#include "simulator/controllerengine.h"

#include <QCoreApplication>

#include <QFileDialog>
#include <QFileSystemModel>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

namespace tarvo::simulator {

ControlWindow::ControlWindow(ControllerEngine& engine, quint16 port, QWidget* parent)
    : QWidget(parent), engine_(engine), port_(port)
{
    setWindowTitle(tr("Simulated laser controller"));
    auto* form = new QFormLayout;
    power_ = new QLabel;
    link_ = new QLabel;
    login_ = new QLabel;
    firmware_ = new QLabel;
    relay_ = new QLabel;
    zel_ = new QLabel;
    card_ = new QLabel;
    card_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    power_->setObjectName(QStringLiteral("power"));
    link_->setObjectName(QStringLiteral("link"));
    login_->setObjectName(QStringLiteral("login"));
    firmware_->setObjectName(QStringLiteral("firmware"));
    relay_->setObjectName(QStringLiteral("relay"));
    zel_->setObjectName(QStringLiteral("zel"));
    card_->setObjectName(QStringLiteral("card"));
    card_->setWordWrap(true);
    form->addRow(tr("Power:"), power_);
    form->addRow(tr("Link:"), link_);
    form->addRow(tr("Logged in:"), login_);
    form->addRow(tr("Firmware:"), firmware_);
    form->addRow(tr("Safety relay:"), relay_);
    form->addRow(QStringLiteral("/zel:"), zel_);
    form->addRow(tr("SD card:"), card_);

    powerOff_ = new QPushButton(tr("Power off"));
    powerOn_ = new QPushButton(tr("Power on"));
    replace_ = new QPushButton(tr("Replace card..."));
    blank_ = new QPushButton(tr("Blank card"));
    powerOff_->setObjectName(QStringLiteral("powerOff"));
    powerOn_->setObjectName(QStringLiteral("powerOn"));
    replace_->setObjectName(QStringLiteral("replaceCard"));
    blank_->setObjectName(QStringLiteral("blankCard"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(powerOff_);
    buttons->addWidget(replace_);
    buttons->addWidget(blank_);
    buttons->addWidget(powerOn_);

    files_ = new QFileSystemModel(this);
    files_->setFilter(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    tree_ = new QTreeView;
    tree_->setObjectName(QStringLiteral("files"));
    tree_->setModel(files_);
    tree_->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    tree_->setColumnHidden(2, true);

    // The operator's part of a card swap, for whoever practises it here.
    auto* hint = new QLabel(tr(
        "To replace the SD card as the updater asks: Power off, then Replace card... (or Blank card), then Power on."));
    hint->setObjectName(QStringLiteral("hint"));
    hint->setWordWrap(true);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
    layout->addWidget(hint);
    layout->addWidget(new QLabel(tr("Files on the card:")));
    layout->addWidget(tree_, 1);
    resize(520, 600);

    connect(powerOff_, &QPushButton::clicked, this, [this] { engine_.powerOff(); });
    connect(powerOn_, &QPushButton::clicked, this, [this] { engine_.powerOn(); });
    connect(replace_, &QPushButton::clicked, this, &ControlWindow::replaceCard);
    connect(blank_, &QPushButton::clicked, this, &ControlWindow::blankCard);
    connect(&engine_, &ControllerEngine::stateChanged, this, &ControlWindow::refresh);
    refresh();
}

void ControlWindow::refresh()
{
    const bool on = engine_.isPoweredOn();
    const int connections = engine_.connectionCount();
    power_->setText(!on ? tr("off") : engine_.isAccepting() ? tr("on") : tr("booting"));
    link_->setText(!on ? tr("no power, port %1 closed").arg(port_)
                   : !engine_.isAccepting() ? tr("booting, port %1 closed").arg(port_)
                   : connections == 0 ? tr("waiting on port %1").arg(port_)
                                      : tr("%1 connection(s)").arg(connections));
    login_->setText(engine_.isLoggedIn() ? tr("yes (root)") : tr("no"));
    firmware_->setText(!on ? QStringLiteral("-")
                       : engine_.device().firmwareRunning() ? tr("laser.elf running")
                                                             : tr("stopped"));
    relay_->setText(!on ? QStringLiteral("-")
                    : engine_.device().relayOpen() ? tr("open") : tr("closed"));
    zel_->setText(engine_.device().zelWritable() ? tr("read-write") : tr("read-only"));
    card_->setText(engine_.card().folder());
    powerOff_->setEnabled(on);
    powerOn_->setEnabled(!on);
    replace_->setEnabled(!on);
    blank_->setEnabled(!on);
    if (shownCard_ != engine_.card().folder()) {
        shownCard_ = engine_.card().folder();
        tree_->setRootIndex(files_->setRootPath(shownCard_));
    }
}

void ControlWindow::replaceCard()
{
    // Start among the sample cards, else beside the current card; never
    // inside it.
    QString start = sampleCardsFolder(QCoreApplication::applicationDirPath());
    if (start.isEmpty())
        start = QFileInfo(engine_.card().folder()).absolutePath();
    const QString folder =
        QFileDialog::getExistingDirectory(this, tr("Folder that is the new SD card"), start);
    if (folder.isEmpty())
        return;
    QString why;
    if (!engine_.insertCard(folder, &why))
        QMessageBox::warning(this, windowTitle(), why);
}

void ControlWindow::blankCard()
{
    QString why;
    if (!engine_.insertBlankCard(&why))
        QMessageBox::warning(this, windowTitle(), why);
}

}  // namespace tarvo::simulator
