#pragma once
// controller-sim as a separate program for the end-to-end tests: started
// headless on a free console port, controlled through its standard input,
// and a TCP client that talks to its console the way the tool does.

#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>

class SimulatorProcess {
public:
    ~SimulatorProcess() { stop(); }

    static QString program()
    {
        return QStringLiteral(TARVO_SIMULATOR_PROGRAM);
    }

    // launcher: a command line that runs the program, e.g. inside a
    // network namespace (NetworkNamespace::commandLine); the program
    // itself when empty.
    bool start(const QStringList& arguments, const QStringList& launcher = {})
    {
        const QStringList own = QStringList{QStringLiteral("--headless"), QStringLiteral("--port"), QStringLiteral("0")} +
                                arguments;
        if (launcher.isEmpty()) {
            process_.setProgram(program());
            process_.setArguments(own);
        } else {
            process_.setProgram(launcher.first());
            process_.setArguments(launcher.mid(1) + QStringList{program()} + own);
        }
        process_.start();
        if (!process_.waitForStarted(5000))
            return false;
        static const QRegularExpression listening(QStringLiteral("listening on ([0-9.]+):(\\d+)"));
        QDeadlineTimer deadline(10000);
        while (!deadline.hasExpired() && process_.state() == QProcess::Running) {
            out_ += process_.readAllStandardOutput();
            const auto m = listening.match(QString::fromLocal8Bit(out_));
            if (m.hasMatch()) {
                address_ = m.captured(1);
                port_ = quint16(m.captured(2).toUInt());
                out_.clear();
                return true;
            }
            process_.waitForReadyRead(50);
        }
        return false;
    }

    // One control command; its answer (first line).
    QString control(const QString& command, int timeoutMs = 5000)
    {
        process_.write(command.toLocal8Bit() + '\n');
        process_.waitForBytesWritten(1000);
        return readLine(timeoutMs);
    }
    // The next line the program printed.
    QString readLine(int timeoutMs = 5000)
    {
        QDeadlineTimer deadline(timeoutMs);
        while (!deadline.hasExpired()) {
            out_ += process_.readAllStandardOutput();
            const int end = out_.indexOf('\n');
            if (end >= 0) {
                const QString line = QString::fromLocal8Bit(out_.left(end));
                out_.remove(0, end + 1);
                return line;
            }
            process_.waitForReadyRead(50);
        }
        return QString();
    }

    quint16 port() const { return port_; }
    const QString& address() const { return address_; }
    QByteArray errors() { return process_.readAllStandardError(); }

    void stop()
    {
        if (process_.state() == QProcess::NotRunning)
            return;
        process_.write("quit\n");
        if (!process_.waitForFinished(3000)) {
            process_.terminate();  // this PID only
            if (!process_.waitForFinished(3000)) {
                process_.kill();
                process_.waitForFinished(3000);
            }
        }
    }
    QProcess& process() { return process_; }

private:
    QProcess process_;
    QByteArray out_;
    QString address_;
    quint16 port_ = 0;
};

// The tool's side of the console: what it keeps of the bytes (no CR, no
// escape sequences, none of the control characters 14 to 31), lines at LF.
class ConsoleClient {
public:
    // Started with --plain-console: its prompts carry no cursor query.
    bool plainConsole = false;

    bool connect(quint16 port)
    {
        socket_.abort();
        text_.clear();
        socket_.connectToHost(QHostAddress::LocalHost, port);
        return socket_.waitForConnected(5000);
    }
    QAbstractSocket::SocketError error() const { return socket_.error(); }
    bool isOpen() const { return socket_.state() == QAbstractSocket::ConnectedState; }

    void send(const QByteArray& line)
    {
        socket_.write(line + "\r\n");
        socket_.waitForBytesWritten(1000);
    }
    // Reads until the kept text ends with needle; false on timeout or close.
    bool waitForEnd(const QByteArray& needle, int timeoutMs)
    {
        QDeadlineTimer deadline(timeoutMs);
        while (!text_.endsWith(needle)) {
            if (deadline.hasExpired() || socket_.state() != QAbstractSocket::ConnectedState)
                return false;
            if (socket_.waitForReadyRead(50))
                keep(socket_.readAll());
        }
        return true;
    }
    bool waitForClose(int timeoutMs)
    {
        QDeadlineTimer deadline(timeoutMs);
        while (socket_.state() == QAbstractSocket::ConnectedState && !deadline.hasExpired()) {
            if (socket_.waitForReadyRead(50))
                keep(socket_.readAll());
        }
        return socket_.state() != QAbstractSocket::ConnectedState;
    }
    // Reads until the shell waits at its prompt: on the terminal, the
    // cursor query behind the prompt came last.
    bool waitForPrompt(int timeoutMs)
    {
        QDeadlineTimer deadline(timeoutMs);
        while (!(text_.endsWith("# ") && (plainConsole || queried_))) {
            if (deadline.hasExpired() || socket_.state() != QAbstractSocket::ConnectedState)
                return false;
            if (socket_.waitForReadyRead(50))
                keep(socket_.readAll());
        }
        return true;
    }
    bool login()
    {
        send("");
        if (!waitForEnd("login: ", 5000))
            return false;
        send("root");
        return waitForPrompt(5000);
    }
    // Sends a line and returns the kept text up to the next prompt.
    QByteArray command(const QByteArray& line, int timeoutMs = 30000)
    {
        text_.clear();
        queried_ = false;
        send(line);
        waitForPrompt(timeoutMs);
        return text_;
    }
    // The status from "echo CMDVAL: $?"'s answer line, or -1000.
    int status()
    {
        const QByteArray out = command("echo CMDVAL: $?");
        for (const QByteArray& line : out.split('\n'))
            if (line.startsWith("CMDVAL: "))
                return line.mid(8).toInt();
        return -1000;
    }
    const QByteArray& text() const { return text_; }

private:
    void keep(const QByteArray& bytes)
    {
        for (char c : bytes) {
            const uchar u = uchar(c);
            if (escape_ == Escape::Start) {
                escape_ = c == '[' ? Escape::Csi : Escape::None;
                sequence_.clear();
                continue;
            }
            if (escape_ == Escape::Csi) {
                if (u >= 0x40 && u <= 0x7e) {
                    escape_ = Escape::None;
                    queried_ = queried_ || (sequence_ == "6" && c == 'n');
                } else {
                    sequence_ += c;
                }
                continue;
            }
            if (c == '\x1b') {
                escape_ = Escape::Start;
                continue;
            }
            if (c == '\r' || (u >= 14 && u <= 31))
                continue;
            text_ += c;
            queried_ = false;
        }
    }
    QTcpSocket socket_;
    QByteArray text_;
    enum class Escape { None, Start, Csi };
    Escape escape_ = Escape::None;
    QByteArray sequence_;
    bool queried_ = false;  // a cursor query came after the last kept text
};
