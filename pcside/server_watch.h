#pragma once
// Follows the PC's TFTP server through the lines it prints: whether it has
// started listening, why it could not, which uploads it stored, and its
// last words when it ends.

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace tarvo::pcside {

class ServerWatch {
public:
    enum class State { Stopped, Starting, Ready, Failed };

    // An upload the server has written completely.
    struct Stored {
        qint64 bytes = 0;
        QByteArray sha256;  // hex
        QString peer;
        QString path;
    };

    // A transfer that is still running, as the server reports it.
    struct Progress {
        bool upload = true;  // to the PC
        qint64 bytes = 0;
        qint64 size = -1;  // announced; -1 when unknown
        QString peer;
        QString path;
    };
    // Called with every progress report.
    std::function<void(const Progress&)> onProgress;

    // A new start: forgets everything of the last one.
    void begin(const QString& programPath);
    void readLine(const QString& line);
    void exited(int exitCode);
    void stopped() { state_ = State::Stopped; }

    State state() const { return state_; }
    // Why the server failed, for the operator.
    QString failure() const { return failure_; }
    QString lastLine() const { return lastLine_; }
    // The newest upload stored from this peer since begin().
    std::optional<Stored> storedFrom(const QString& peer) const;
    // Every upload stored from this peer since begin(), oldest first.
    std::vector<Stored> uploadsFrom(const QString& peer) const;

private:
    void fail(const QString& text);

    State state_ = State::Stopped;
    QString programPath_;
    QString failure_;
    QString lastLine_;
    std::vector<Stored> stored_;
};

}  // namespace tarvo::pcside
