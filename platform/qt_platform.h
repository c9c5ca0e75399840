#pragma once
// The platform on Qt: the real event loop, QTimer, QTcpSocket, QSettings,
// QProcess and QMessageBox. Waits block on the event loop instead of
// spinning, so a long wait costs almost no processor time while socket
// and timer events and the operator's input are still handled.

#include "platform/platform.h"

#include <QObject>

#include <functional>
#include <map>

class QProcess;
class QTimer;

namespace tarvo::platform {

class QtPlatform final : public QObject, public Platform {
    Q_OBJECT
public:
    explicit QtPlatform(QObject* parent = nullptr);
    ~QtPlatform() override;

    void doEvents() override;
    void processPendingEvents() override;
    std::unique_ptr<Timer> createTimer() override;
    std::unique_ptr<TcpSocket> createSocket() override;
    std::int64_t nowMs() const override;
    QString getSetting(const QString& application, const QString& section, const QString& key,
                       const QString& defaultValue) override;
    bool saveSetting(const QString& application, const QString& section, const QString& key,
                     const QString& value) override;
    QString appPath() const override;
    bool fileExists(const QString& path) override;
    QString dataFolder() const override;
    std::optional<QByteArray> readFile(const QString& path) override;
    bool writeFile(const QString& path, const QByteArray& data) override;
    bool removeFile(const QString& path) override;
    bool pathExists(const QString& path) override;
    std::unique_ptr<QIODevice> openForReading(const QString& path) override;
    bool copyFile(const QString& from, const QString& to) override;
    QStringList fileNames(const QString& folder) override;
    QStringList folderNames(const QString& folder) override;
    std::int64_t startProcess(const QString& program, const QStringList& arguments, ProcessWindow window,
                              std::function<void(const QString& line)> onLine,
                              std::function<void(int exitCode)> onFinished) override;
    void startDetachedDelayed(const QString& program, int delayMs) override;
    void closeProcess(std::int64_t handle) override;
    void closeWindowByTitle(const QString& title) override;
    QString lookUpIPv4(const QString& name, int timeoutMs) override;
    ControllerIdentity controllerIdentity(const QString& peerAddress, const QString& localAddress) override;
    void runAside(std::function<void()> work) override;

    // Overrides appPath() and dataFolder() (tests that stage folders).
    QString appPathOverride;
    QString dataFolderOverride;

private:
    QTimer* heartbeat_;
    std::map<std::int64_t, QProcess*> processes_;
    std::int64_t nextHandle_ = 1;
};

}  // namespace tarvo::platform
