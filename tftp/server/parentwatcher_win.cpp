#include "parentwatcher.h"

// Not yet on Windows: the option is accepted and does nothing. (A later
// version could wait on a handle of the parent process, and read stdin's
// pipe on a thread.)

ParentWatcher::ParentWatcher(QObject* parent)
    : QObject(parent)
{
}

ParentWatcher::~ParentWatcher() = default;

void ParentWatcher::install()
{
    Q_UNUSED(parentPid_);
    Q_UNUSED(ended_);
}

void ParentWatcher::end(const QString& how)
{
    if (ended_)
        return;
    ended_ = true;
    emit parentEnded(how);
}
