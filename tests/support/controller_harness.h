#pragma once
// Drives an in-process controller in virtual time the way the tool talks to
// it: a connection, lines sent, output read up to the next prompt. On the
// console's terminal (the default) a command's CR LF is two Enters, so its
// output ends in two prompts, the last one followed by the cursor query.

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

    static bool endsWithPrompt(const QByteArray& b) { return b.endsWith("# ") || b.endsWith("# \x1b[6n"); }
    bool plain() const { return engine->options().plainConsole; }
    // The shell waits for the next line: on the terminal, a prompt with
    // the cursor query behind it.
    bool idle() const { return plain() ? received.endsWith("# ") : received.endsWith("# \x1b[6n"); }

    // The echo of a line sent now: on the terminal broken at the right
    // margin, the prompt before it counted.
    QByteArray echoOf(const QByteArray& line) const
    {
        if (plain())
            return line + "\r\n";
        const int columns = engine->options().consoleColumns;
        int column = int(("root@" + engine->options().hostname + ":" + session->cwd() + "# ").size()) % columns;
        QByteArray echo;
        for (char c : line) {
            echo += c;
            if (++column == columns) {
                echo += "\r\r\n";
                column = 0;
            }
        }
        return column != 0 || line.isEmpty() ? echo + "\r\n" : echo;
    }

    bool login()
    {
        sendLine("");
        if (!waitFor("login: "))
            return false;
        received.clear();
        sendLine("root");
        clock.runUntil([&] { return idle() || closed; });
        const bool ok = idle();
        received.clear();
        return ok;
    }

    // Where the last prompt in b starts (-1: none).
    static qsizetype lastPrompt(const QByteArray& b)
    {
        const qsizetype plainAt = b.lastIndexOf("root@");
        const qsizetype colouredAt = b.lastIndexOf("\x1b[1;32mroot@");
        return colouredAt >= 0 && colouredAt + 7 == plainAt ? colouredAt : plainAt;
    }

    // Sends a line and returns what came back up to the prompt, without the
    // echo and without the prompt (on the terminal: without the empty
    // line's prompt either).
    QByteArray command(const QByteArray& line, std::int64_t limitMs = 120000)
    {
        received.clear();
        const QByteArray echo = echoOf(line);
        sendLine(line);
        clock.runUntil([&] { return idle() || closed; }, limitMs);
        QByteArray out = received;
        if (out.startsWith(echo))
            out = out.mid(echo.size());
        if (!idle())
            return out;
        out.truncate(lastPrompt(out));
        if (!plain() && out.endsWith("\r\n")) {
            out.chop(2);
            out.truncate(lastPrompt(out));
        }
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
        const QByteArray echo = echoOf(line);
        sendLine(line);
        QList<TimedLine> lines;
        qsizetype seen = -1;
        auto take = [&] {
            if (seen < 0 && received.size() >= echo.size())
                seen = received.startsWith(echo) ? echo.size() : 0;
            qsizetype end;
            while (seen >= 0 && (end = received.indexOf('\n', seen)) >= 0) {
                QByteArray text = received.mid(seen, end - seen);
                if (text.endsWith('\r'))
                    text.chop(1);
                // The empty line's prompt is no output.
                if (!endsWithPrompt(text) || lastPrompt(text) != 0)
                    lines.append({clock.nowMs(), text});
                seen = end + 1;
            }
            return idle() || closed;
        };
        clock.runUntil(take, limitMs);
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
