#pragma once
// A small scripted controller shell for workflow tests that need a
// particular answer at a particular step: a login prompt after a chosen
// number of empty lines, a status per command, silence where wanted.

#include "fake_tftp_server.h"
#include "virtual_platform.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QSet>

#include <cstdint>
#include <functional>
#include <limits>

namespace tarvo::test {

class FakeShell {
public:
    FakeShell(platform::VirtualPlatform& platform, platform::VirtualSocket& socket);

    // Sends a banner and a login prompt (without a line end) on connection.
    bool promptOnConnect = true;
    // Answers empty lines with a new prompt; false: never a prompt.
    bool answerEmptyLines = true;
    // The status of the next request after login's empty command.
    int confirmationStatus = 0;
    // Exit status by command line; 0 when not listed.
    QMap<QByteArray, int> status;
    // Extra output lines (each ending CR LF) by command line.
    QMap<QByteArray, QByteArray> output;
    // Commands after which the status request is echoed but never
    // answered: they are still at work, so no prompt follows them either.
    QSet<QByteArray> silentAfter;
    // Commands whose whole answer, their echo included, the test delivers
    // itself: the shell says nothing to them, nor to the status request
    // after them.
    QSet<QByteArray> scripted;
    // What "tar cvzf" lists, one member a line, before any output scripted
    // for it: the members of the archive its upload sends.
    QList<QByteArray> packed = sampleMembers();
    // How long the shell takes to answer anything.
    int answerDelayMs = 50;
    // Status for each successive attempt of a command (front first).
    QMap<QByteArray, QList<int>> statusSequence;

    // Called with every line after login, before it is answered.
    std::function<void(const QByteArray& line)> onCommand;
    // Called when an upload ("tftp -p ...") succeeds.
    std::function<void()> onUpload;

    QList<QByteArray> lines;  // every line the tool sent
    QList<std::int64_t> lineTimes;  // when each of them arrived
    bool loggedIn = false;
    // Lines sent after "root", in order.
    QList<QByteArray> afterLogin() const;
    // The lines that arrived from fromMs on, until (not including) untilMs.
    QList<QByteArray> linesFrom(std::int64_t fromMs,
                                std::int64_t untilMs = std::numeric_limits<std::int64_t>::max()) const;

private:
    void onLine(const QByteArray& line);
    void say(const QByteArray& text);

    platform::VirtualPlatform& platform_;
    platform::VirtualSocket& socket_;
    QByteArray buffer_;
    QByteArray lastCommand_;
    int lastStatus_ = 0;
    bool confirmed_ = false;
    int rootIndex_ = -1;
    bool unreadRequest_ = false;
};

}  // namespace tarvo::test
