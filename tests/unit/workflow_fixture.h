#pragma once
// A tool in virtual time wired to a scripted controller shell, with the
// TFTP server program and the archive present in the tool's folder.

#include "fake_shell.h"
#include "virtual_rig.h"

#include <QCryptographicHash>

#include <memory>

namespace tarvo::test {

struct WorkflowFixture {
    WorkflowFixture()
    {
        rig = std::make_unique<VirtualRig>();
        shell = std::make_unique<FakeShell>(rig->platform, rig->socket());
        rig->controls.setTargetAddress(QStringLiteral("10.0.0.5"));
        rig->platform.files.insert(platform::virtualProgramPath(QStringLiteral("OpenTFTPServerMT")));
        // The controller's last upload, and the verified backup a restore
        // sends.
        rig->platform.fileData.insert(archivePath(), sampleArchive());
        rig->platform.fileData.insert(keptPath(), sampleArchive());
        rig->platform.fileData.insert(keptPath() + QStringLiteral(".json"),
                                      R"({"controller": "10.0.0.5", "time": "2026-12-01T12:00:00.000",)"
                                      R"( "identity": "02:00:0a:00:00:05", "sha256": ")"
                                          + QCryptographicHash::hash(sampleArchive(), QCryptographicHash::Sha256).toHex()
                                          + R"("})");
        // A controller that uploads a sound archive.
        shell->onUpload = [this] { rig->server.receiveUpload(QStringLiteral("10.0.0.5"), sampleArchive()); };
    }

    QString archivePath() const { return rig->platform.dataFolderValue + QStringLiteral("/10.0.0.5/config.tgz"); }
    QString keptPath() const
    {
        return rig->platform.dataFolderValue
               + QStringLiteral("/history/mac-02-00-0a-00-00-05/n000000001-20261201-120000-000_config.tgz");
    }

    // The verified backups of the fixture's laser, oldest first.
    QStringList history() const
    {
        const QString laser = QStringLiteral("10.0.0.5");
        return rig->updater->store().history(laser, platform::VirtualPlatform::onLink(laser));
    }

    QStringList messageTexts() const
    {
        QStringList l;
        for (const auto& m : rig->prompts.messages)
            l << m.text;
        return l;
    }
    // The first line of each: a box's own text, before the reason.
    QStringList messageHeadlines() const
    {
        QStringList l;
        for (const auto& m : rig->prompts.messages)
            l << m.text.section(QLatin1Char('\n'), 0, 0);
        return l;
    }

    platform::VirtualPlatform& platform() { return rig->platform; }
    RecordingPrompts& prompts() { return rig->prompts; }
    RecordingView& controls() { return rig->controls; }
    workflow::Workflow& workflow() { return rig->updater->workflow(); }
    pcside::BackupStore& store() { return rig->updater->store(); }
    link::ControllerLink& link() { return rig->link(); }

    std::unique_ptr<VirtualRig> rig;
    std::unique_ptr<FakeShell> shell;
};

}  // namespace tarvo::test
