#pragma once
// The controller's front panel on the PC: what the controller is doing
// (link, login, firmware, relay, card and its files) and the hands-on
// actions of a service visit: power off, card swap, power on.

#include <QWidget>

class QFileSystemModel;
class QLabel;
class QPushButton;
class QTreeView;

namespace tarvo::simulator {

class ControllerEngine;

class ControlWindow : public QWidget {
    Q_OBJECT
public:
    explicit ControlWindow(ControllerEngine& engine, quint16 port, QWidget* parent = nullptr);

private:
    void refresh();
    void replaceCard();
    void blankCard();

    ControllerEngine& engine_;
    quint16 port_;
    QLabel* power_;
    QLabel* link_;
    QLabel* login_;
    QLabel* firmware_;
    QLabel* relay_;
    QLabel* zel_;
    QLabel* card_;
    QPushButton* powerOff_;
    QPushButton* powerOn_;
    QPushButton* replace_;
    QPushButton* blank_;
    QFileSystemModel* files_;
    QTreeView* tree_;
    QString shownCard_;
};

}  // namespace tarvo::simulator
