#pragma once
// The tool in virtual time wired to the simulated controller's engine
// in-process: a program folder standing for the PC (with the TFTP server
// program present), a fresh copy of a sample card, and the engine's
// in-memory TFTP transport, which answers only while the tool's server runs.

#include "cardcopy.h"
#include "virtual_rig.h"

#include "simulator/controllerengine.h"
#include "simulator/memorytftptransport.h"
#include "simulator/virtualsocketadapter.h"

#include <QFile>
#include <QTemporaryDir>

#include <memory>

namespace tarvo::test {

struct EngineRig {
    explicit EngineRig(const QString& card = QStringLiteral("A"), const simulator::FaultOptions& faults = {})
    {
        cardPath = cards.filePath(card);
        copied = copyTree(sampleCard(card), cardPath);
        rig = std::make_unique<VirtualRig>();
        rig->platform.appPathValue = pc.path();
        rig->platform.useRealFiles = true;
        rig->updater->load();
        QFile exe(pc.filePath(QStringLiteral("OpenTFTPServerMT")));
        exe.open(QIODevice::WriteOnly);
        transport = std::make_unique<simulator::MemoryTftpTransport>(rig->platform, pc.path());
        transport->serverRunning = [this](const QString&, quint16) { return serverRunning(); };
        restartController(faults);
        rig->controls.setTargetAddress(QStringLiteral("10.0.0.7"));
    }

    ~EngineRig()
    {
        engine.reset();
        transport.reset();
        rig.reset();
    }

    // A new run of the controller (the same card) with these faults.
    void restartController(const simulator::FaultOptions& faults)
    {
        auto next = std::make_unique<simulator::ControllerEngine>(rig->platform, *transport, cardPath,
                                                                  simulator::EngineOptions{}, faults);
        simulator::attachToVirtualSocket(rig->socket(), *next);
        engine = std::move(next);
    }

    bool serverRunning() const
    {
        for (const auto& p : rig->platform.processes)
            if (!p.closed)
                return true;
        return false;
    }

    QString pcFile(const QString& name) const { return pc.filePath(name); }
    QByteArray pcArchive() const
    {
        QFile f(pc.filePath(QStringLiteral("config.tgz")));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void click() { rig->updater->startOrContinue(); }

    QTemporaryDir pc, cards;
    QString cardPath;
    bool copied = false;
    std::unique_ptr<VirtualRig> rig;
    std::unique_ptr<simulator::MemoryTftpTransport> transport;
    std::unique_ptr<simulator::ControllerEngine> engine;
};

}  // namespace tarvo::test
