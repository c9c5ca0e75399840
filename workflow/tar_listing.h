#pragma once
// What the controller's `tar cv` listed while it packed: one member a
// line, named as tar stores it (folders with a trailing '/'), picked out of
// everything the shell printed meanwhile.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace tarvo::workflow {

struct TarListing {
    // The members in tar's order, read as UTF-8, as the archive check reads
    // them.
    QStringList members;
    // Why the lines cannot be read as tar's list with certainty, for the
    // operator; empty when they can.
    QString doubt;
};

// printed: the controller's lines from the moment command was sent until
// its exit status came, as received. A terminal echoes the command behind
// its prompt, wrapped onto further lines where it is longer than the
// terminal is wide; what came before that echo belongs to the step before.
// After it, up to the first "CMDVAL:" line, every line must be a member
// (it begins with the folder of one of the command's paths, "zel/" or
// "media/") or the shell's own: an empty line, a prompt, the echo of the
// status request typed ahead, tar's own messages, the controller's
// complaints and status lines. Anything else, an echoing shell whose echo
// of the command is missing, or a listing that never reached its status,
// leaves a doubt.
TarListing tarListing(const QList<QByteArray>& printed, const QByteArray& command);

}  // namespace tarvo::workflow
