#pragma once
// What the controller's `tar cv` listed while it packed: one member a
// line, named as tar stores it (folders with a trailing '/'), picked out of
// everything the shell printed meanwhile.

#include <QByteArray>
#include <QList>
#include <QStringList>

namespace tarvo::workflow {

// printed: the controller's lines from the moment command was sent until
// its exit status came, as received. Left out: everything up to the echo of
// command, the prompt the echo stands behind and every line it begins, the
// echo of the status request typed ahead ("echo CMDVAL: $?"), "CMDVAL:"
// lines, empty lines and the controller's complaints (tar:, tftp:, Handle).
// The members are read as UTF-8, as the archive check reads them.
QStringList tarListing(const QList<QByteArray>& printed, const QByteArray& command);

}  // namespace tarvo::workflow
