#pragma once
// What tests read of a run beyond what a front end sees: its status, the
// PC's TFTP server as the run followed it, the run's record, and the folder
// its file went to.

#include "pcside/server_watch.h"
#include "pcside/transcript.h"
#include "workflow/workflow.h"

#include <QString>

namespace tarvo::test {

class WorkflowProbe {
public:
    static QString status(const workflow::Workflow& run) { return run.status(); }
    static const pcside::ServerWatch& serverWatch(const workflow::Workflow& run) { return run.serverWatch(); }
    static const pcside::Transcript& transcript(const workflow::Workflow& run) { return run.transcript(); }
    static QString transcriptFolder(const workflow::Workflow& run) { return run.transcriptFolder(); }
};

}  // namespace tarvo::test
