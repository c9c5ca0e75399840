#pragma once
// A tool in virtual time wired to a scripted controller shell, with the
// TFTP server program and the archive present in the tool's folder.

#include "fake_shell.h"
#include "virtual_rig.h"

#include <memory>

namespace tarvo::test {

struct WorkflowFixture {
    WorkflowFixture()
    {
        rig = std::make_unique<VirtualRig>();
        shell = std::make_unique<FakeShell>(rig->platform, rig->socket());
        rig->controls.setTargetAddress(QStringLiteral("10.0.0.5"));
        rig->platform.files.insert(QStringLiteral("/opt/tarvo/OpenTFTPServerMT"));
        // The controller's last upload, for a restore.
        rig->platform.fileData.insert(archivePath(), sampleArchive());
        // A controller that uploads a sound archive.
        shell->onUpload = [this] { rig->server.receiveUpload(QStringLiteral("10.0.0.5"), sampleArchive()); };
    }

    // Connects and logs in without the login step, for step-level tests;
    // the shell's record of lines and the bar start afresh.
    void connectLoggedIn()
    {
        rig->updater->workflow().connectToController(rig->controls.address);
        shell->loggedIn = true;
        rig->platform.runUntil(rig->platform.nowMs() + 100);
        shell->lines.clear();
        rig->controls.progressHistory.clear();
        rig->controls.statusHistory.clear();
    }

    void startServer() { rig->updater->workflow().startServer(); }
    QString archivePath() const { return rig->platform.dataFolderValue + QStringLiteral("/10.0.0.5/config.tgz"); }

    std::vector<double> progressValues() const
    {
        std::vector<double> v;
        for (const auto& s : rig->controls.progressHistory)
            v.push_back(s.value);
        return v;
    }

    QStringList messageTexts() const
    {
        QStringList l;
        for (const auto& m : rig->platform.messages)
            l << m.text;
        return l;
    }

    platform::VirtualPlatform& platform() { return rig->platform; }
    RecordingView& controls() { return rig->controls; }
    workflow::Workflow& workflow() { return rig->updater->workflow(); }
    pcside::BackupStore& store() { return rig->updater->store(); }
    link::ControllerLink& link() { return rig->link(); }

    std::unique_ptr<VirtualRig> rig;
    std::unique_ptr<FakeShell> shell;
};

}  // namespace tarvo::test
