#pragma once
// The control channel on standard input, for scripted tests and runs
// without a display: one command a line, one answer line on stdout.
//   power off | power on | card FOLDER | card blank | status | files | quit | help

#include <QObject>

class QSocketNotifier;

namespace tarvo::simulator {

class ControllerEngine;

class StdinControl : public QObject {
    Q_OBJECT
public:
    explicit StdinControl(ControllerEngine& engine, QObject* parent = nullptr);

    // Answers one command line (without its line end).
    QString handle(const QString& line);

signals:
    void quitRequested();

private:
    void readAvailable();
    // Answers every whole line read so far.
    void take(const QByteArray& bytes);

    ControllerEngine& engine_;
    QSocketNotifier* notifier_ = nullptr;
    QByteArray buffer_;
};

}  // namespace tarvo::simulator
