#pragma once

#include <QObject>

// --exit-with-parent: notices that the program which started the server has
// ended, because PR_SET_PDEATHSIG does not survive an exec that gains file
// capabilities (the packaged server has cap_net_bind_service). Two signs,
// whichever comes first:
//  - the parent's PID, remembered at start, is no longer our parent
//    (getppid() changed: we were handed to init or a subreaper), checked
//    every CheckIntervalMs;
//  - standard input, when it is a pipe (QProcess holds one open), reaches
//    end-of-file. Whatever is written to it is read and ignored.
// On Windows this does nothing yet.
class ParentWatcher : public QObject
{
    Q_OBJECT
public:
    static constexpr int CheckIntervalMs = 250;

    explicit ParentWatcher(QObject* parent = nullptr);
    ~ParentWatcher() override;

    void install();

signals:
    // Emitted once.
    void parentEnded(const QString& how);

private:
    void end(const QString& how);

    long long parentPid_ = 0;
    bool ended_ = false;
};
