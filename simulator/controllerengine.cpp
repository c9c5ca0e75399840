#include "simulator/controllerengine.h"

#include "simulator/floodprofiles.h"
#include "simulator/shellsession.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

namespace tarvo::simulator {

ControllerEngine::ControllerEngine(platform::EventLoop& platform, TftpTransport& tftp, const QString& cardFolder,
                                   const EngineOptions& options, const FaultOptions& faults, QObject* parent)
    : QObject(parent),
      platform_(platform),
      options_(options),
      faults_(faults),
      card_(cardFolder),
      device_(faults_),
      controller_{platform, card_, device_, faults_, options_, tftp},
      later_(platform)
{
    device_.onChanged = [this] { notifyChanged(); };
    device_.boot();
    prepareCard();
}

ControllerEngine::~ControllerEngine()
{
    for (const auto& s : liveSessions())
        s->disconnect();
}

std::shared_ptr<ShellSession> ControllerEngine::accept(std::function<void(const QByteArray&)> sendToTool,
                                                       std::function<void()> closeConnection,
                                                       std::function<void()> resetConnection)
{
    if (!isAccepting())
        return nullptr;
    auto session = std::make_shared<ShellSession>(*this, std::move(sendToTool), std::move(closeConnection),
                                                  std::move(resetConnection));
    sessions_.push_back(session);
    session->greet();
    notifyChanged();
    return session;
}

std::vector<std::shared_ptr<ShellSession>> ControllerEngine::liveSessions() const
{
    std::vector<std::shared_ptr<ShellSession>> live;
    for (const auto& w : sessions_)
        if (auto s = w.lock(); s && s->isOpen())
            live.push_back(s);
    return live;
}

void ControllerEngine::powerOff()
{
    if (!poweredOn_)
        return;
    const bool wasAccepting = isAccepting();
    poweredOn_ = false;
    booting_ = false;
    later_.cancelAll();
    for (const auto& s : liveSessions())
        s->disconnect();
    sessions_.clear();
    emit powerChanged(false);
    if (wasAccepting)
        emit acceptingChanged(false);
    notifyChanged();
}

void ControllerEngine::powerOn()
{
    if (poweredOn_)
        return;
    poweredOn_ = true;
    device_.boot();
    emit powerChanged(true);
    if (options_.bootMs > 0) {
        booting_ = true;
        later_.after(options_.bootMs, [this] {
            booting_ = false;
            emit acceptingChanged(true);
            notifyChanged();
        });
    } else {
        emit acceptingChanged(true);
    }
    notifyChanged();
}

bool ControllerEngine::insertCard(const QString& folder, QString* error)
{
    if (poweredOn_) {
        if (error)
            *error = QStringLiteral("power off first");
        return false;
    }
    if (!QFileInfo(folder).isDir()) {
        if (error)
            *error = QStringLiteral("no such folder: %1").arg(folder);
        return false;
    }
    card_ = Card(folder);
    prepareCard();
    notifyChanged();
    return true;
}

bool ControllerEngine::insertBlankCard(QString* error)
{
    if (poweredOn_) {
        if (error)
            *error = QStringLiteral("power off first");
        return false;
    }
    auto dir = std::make_unique<QTemporaryDir>();
    if (!dir->isValid()) {
        if (error)
            *error = QStringLiteral("cannot make a blank card: %1").arg(dir->errorString());
        return false;
    }
    // A freshly imaged card: the partitions' mount points, nothing else.
    QDir(dir->path()).mkpath(QStringLiteral("zel"));
    QDir(dir->path()).mkpath(QStringLiteral("media"));
    card_ = Card(dir->path());
    blankCards_.push_back(std::move(dir));
    prepareCard();
    notifyChanged();
    return true;
}

void ControllerEngine::prepareCard()
{
    if (faults_.floodProfiles > 0)
        writeFloodProfiles(card_.folder(), faults_.floodProfiles);
}

int ControllerEngine::connectionCount() const
{
    return int(liveSessions().size());
}

bool ControllerEngine::isLoggedIn() const
{
    for (const auto& s : liveSessions())
        if (s->isLoggedIn())
            return true;
    return false;
}

QString ControllerEngine::statusLine() const
{
    QString line = QStringLiteral("power=%1 connections=%2 login=%3 firmware=%4 relay=%5 zel=%6")
                       .arg(!poweredOn_ ? QStringLiteral("off") : booting_ ? QStringLiteral("booting") : QStringLiteral("on"))
                       .arg(connectionCount())
                       .arg(isLoggedIn() ? QStringLiteral("yes") : QStringLiteral("no"))
                       .arg(device_.firmwareRunning() ? QStringLiteral("running") : QStringLiteral("stopped"))
                       .arg(device_.relayOpen() ? QStringLiteral("open") : QStringLiteral("closed"))
                       .arg(device_.zelWritable() ? QStringLiteral("rw") : QStringLiteral("ro"));
    const QStringList faults = faults_.describe();
    if (!faults.isEmpty())
        line += QStringLiteral(" faults=") + faults.join(QLatin1Char(','));
    // The card's folder comes last: it may hold blanks.
    return line + QStringLiteral(" card=") + card_.folder();
}

void ControllerEngine::notifyChanged()
{
    emit stateChanged();
}

}  // namespace tarvo::simulator
