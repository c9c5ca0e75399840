#pragma once
// The tool in virtual time wired to the simulated controller's engine
// in-process: a program folder standing for the PC (with the TFTP server
// program present), a fresh copy of a sample card, and the engine's
// in-memory TFTP transport, which answers only while the tool's server runs.

#include "pcside/tftp_server_control.h"
#include "card_copy.h"
#include "virtual_rig.h"

#include "simulator/controllerengine.h"
#include "simulator/memorytftptransport.h"
#include "virtual_socket_adapter.h"

#include <QFile>
#include <QTemporaryDir>

#include <memory>

namespace tarvo::test {

struct EngineRig {
    explicit EngineRig(const QString& card = QStringLiteral("A"), const simulator::FaultOptions& faults = {},
                       const simulator::EngineOptions& engineOptions = {})
        : options(engineOptions)
    {
        cardPath = cards.filePath(card);
        copied = copyTree(sampleCard(card), cardPath);
        rig = std::make_unique<VirtualRig>();
        rig->platform.appPathValue = QDir::toNativeSeparators(pc.path());
        rig->platform.dataFolderValue = pc.path();
        rig->platform.useRealFiles = true;
        QDir(pc.path()).mkpath(kController);
        rig->updater->load();
        QFile exe(pc.filePath(pcside::tftpServerProgramName()));
        exe.open(QIODevice::WriteOnly);
        // The server files the controller's upload under its address.
        transport = std::make_unique<simulator::MemoryTftpTransport>(rig->platform, pc.filePath(kController));
        transport->serverRunning = [this](const QString&, quint16) { return serverRunning(); };
        transport->onStored = [this](const QString& path) { rig->server.reportStored(kController, path); };
        restartController(faults);
        rig->controls.setTargetAddress(kController);
    }

    ~EngineRig()
    {
        engine.reset();
        transport.reset();
        rig.reset();
    }

    // A new run of the controller (the same card) with these faults, and
    // the board's speeds in options.
    void restartController(const simulator::FaultOptions& faults)
    {
        auto next = std::make_unique<simulator::ControllerEngine>(rig->platform, *transport, cardPath, options, faults);
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

    // A file where the server keeps the controller's archive.
    QString pcFile(const QString& name) const { return pc.filePath(kController + QLatin1Char('/') + name); }
    QByteArray pcArchive() const
    {
        QFile f(pcFile(QStringLiteral("config.tgz")));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void click() { rig->click(); }

    const QString kController = QStringLiteral("10.0.0.7");
    simulator::EngineOptions options;
    QTemporaryDir pc, cards;
    QString cardPath;
    bool copied = false;
    std::unique_ptr<VirtualRig> rig;
    std::unique_ptr<simulator::MemoryTftpTransport> transport;
    std::unique_ptr<simulator::ControllerEngine> engine;
};

}  // namespace tarvo::test
