#pragma once
// Drives an in-process controller in virtual time the way the tool talks to
// it: a connection, lines sent, output read up to the next prompt.

#include "card_copy.h"
#include "test_clock.h"

#include "simulator/controllerengine.h"
#include "simulator/memorytftptransport.h"
#include "simulator/shellsession.h"

#include <QTemporaryDir>
#include <QTest>

#include <memory>

class ControllerHarness {
public:
    explicit ControllerHarness(const tarvo::simulator::FaultOptions& faults = {}, const QString& card = QStringLiteral("A"),
                               const tarvo::simulator::EngineOptions& options = {})
    {
        if (!card.isEmpty())
            copyTree(sampleCard(card), cardDir.path());
        tftp = std::make_unique<tarvo::simulator::MemoryTftpTransport>(clock, pcDir.path());
        engine = std::make_unique<tarvo::simulator::ControllerEngine>(clock, *tftp, cardDir.path(), options, faults);
    }

    QString cardPath(const QString& rel) const { return QDir(cardDir.path()).filePath(rel); }

    bool connect()
    {
        closed = false;
        reset = false;
        received.clear();
        session = engine->accept([this](const QByteArray& b) { received += b; }, [this] { closed = true; },
                                 [this] { closed = reset = true; });
        return session != nullptr;
    }

    void sendRaw(const QByteArray& bytes) { session->receive(bytes); }
    void sendLine(const QByteArray& line) { session->receive(line + "\r\n"); }

    bool waitFor(const QByteArray& needle, std::int64_t limitMs = 60000)
    {
        return clock.runUntil([&] { return received.contains(needle) || closed; }, limitMs) &&
               received.contains(needle);
    }

    static bool endsWithPrompt(const QByteArray& b) { return b.endsWith("# "); }

    bool login()
    {
        sendLine("");
        if (!waitFor("login: "))
            return false;
        received.clear();
        sendLine("root");
        clock.runUntil([&] { return endsWithPrompt(received) || closed; });
        const bool ok = endsWithPrompt(received);
        received.clear();
        return ok;
    }

    // Sends a line and returns what came back up to the prompt, without the
    // echo line and without the prompt.
    QByteArray command(const QByteArray& line, std::int64_t limitMs = 120000)
    {
        received.clear();
        sendLine(line);
        clock.runUntil([&] { return endsWithPrompt(received) || closed; }, limitMs);
        QByteArray out = received;
        const QByteArray echo = line + "\r\n";
        if (out.startsWith(echo))
            out = out.mid(echo.size());
        int prompt = out.lastIndexOf("\x1b[1;32mroot@");
        if (prompt < 0)
            prompt = out.lastIndexOf("root@");
        if (endsWithPrompt(received) && prompt >= 0)
            out.truncate(prompt);
        return out;
    }

    // Sends a line and returns each whole line that came back before the
    // prompt (line end dropped), with the virtual time it arrived, up to
    // limitMs; the echo line is left out.
    struct TimedLine {
        std::int64_t atMs;
        QByteArray text;
    };
    QList<TimedLine> commandLines(const QByteArray& line, std::int64_t limitMs = 600000)
    {
        received.clear();
        sendLine(line);
        QList<TimedLine> lines;
        qsizetype seen = 0;
        auto take = [&] {
            qsizetype end;
            while ((end = received.indexOf('\n', seen)) >= 0) {
                QByteArray text = received.mid(seen, end - seen);
                if (text.endsWith('\r'))
                    text.chop(1);
                lines.append({clock.nowMs(), text});
                seen = end + 1;
            }
            return endsWithPrompt(received) || closed;
        };
        clock.runUntil(take, limitMs);
        if (!lines.isEmpty() && lines.first().text == line)
            lines.removeFirst();
        return lines;
    }

    // The status of the previous command, as the tool asks for it.
    int status()
    {
        const QByteArray out = command("echo CMDVAL: $?");
        if (!out.startsWith("CMDVAL: "))
            return -1000;
        return out.mid(8).trimmed().toInt();
    }

    TestClock clock;
    QTemporaryDir cardDir;
    QTemporaryDir pcDir;
    std::unique_ptr<tarvo::simulator::MemoryTftpTransport> tftp;
    std::unique_ptr<tarvo::simulator::ControllerEngine> engine;
    std::shared_ptr<tarvo::simulator::ShellSession> session;
    QByteArray received;
    bool closed = false;
    bool reset = false;  // closed by a reset rather than an orderly close
};
