#pragma once

#include <QObject>

// Turns the platform's ways of asking a program to end (SIGTERM and SIGINT;
// on Windows WM_CLOSE to a window titled with the program's path, or the
// console closing) into one signal delivered by the event loop.
class StopWatcher : public QObject
{
    Q_OBJECT
public:
    explicit StopWatcher(QObject* parent = nullptr);
    ~StopWatcher() override;

    bool install(QString* error);

signals:
    void stopRequested(const QString& reason);
};
