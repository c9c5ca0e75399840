#include "simulator/commandinterpreter.h"

#include "simulator/builtincommands.h"
#include "simulator/devicecommands.h"
#include "simulator/tarcommand.h"
#include "simulator/tftpcommand.h"

#include <QFile>

namespace tarvo::simulator {

struct CommandInterpreter::Redirect {
    enum Kind { File, Gpio, Null } kind = File;
    std::unique_ptr<QFile> file;
    QByteArray gpioBytes;
};

CommandInterpreter::CommandInterpreter(Controller& controller, DelayedCalls& later,
                                       std::function<void(const QByteArray&)> console)
    : controller_(controller), later_(later), console_(std::move(console))
{
    addBuiltinCommands(commands_);
    addDeviceCommands(commands_);
    addTarCommand(commands_);
    addTftpCommand(commands_);
}

CommandInterpreter::~CommandInterpreter()
{
    *alive_ = false;
}

void CommandInterpreter::abandon()
{
    *alive_ = false;
    busy_ = false;
    finished_ = nullptr;
}

void CommandInterpreter::execute(const QByteArray& line, std::function<void(bool)> finished)
{
    if (!*alive_)
        return;
    finished_ = std::move(finished);
    busy_ = true;
    line_ = CommandParser::parse(line);
    next_ = 0;
    if (!line_.syntaxError.isEmpty()) {
        console_("sh: " + line_.syntaxError + '\n');
        state_.lastStatus = 2;
        line_.commands.clear();
    }
    runNext();
}

void CommandInterpreter::finish(bool exitRequested)
{
    busy_ = false;
    auto f = std::move(finished_);
    finished_ = nullptr;
    if (f)
        f(exitRequested);
}

QByteArray CommandInterpreter::expandVariables(const QByteArray& text) const
{
    QByteArray out;
    for (int i = 0; i < text.size(); ++i) {
        if (text[i] != '$' || i + 1 >= text.size()) {
            out += text[i];
            continue;
        }
        const char c = text[i + 1];
        if (c == '?') {
            out += QByteArray::number(state_.lastStatus);
            ++i;
            continue;
        }
        if (c == '$') {
            out += "812";  // the shell's own pid
            ++i;
            continue;
        }
        QByteArray name;
        int j = i + 1;
        const bool braced = c == '{';
        if (braced)
            ++j;
        while (j < text.size() && (std::isalnum(uchar(text[j])) || text[j] == '_'))
            name += text[j++];
        if (braced) {
            if (j >= text.size() || text[j] != '}') {
                out += text[i];
                continue;
            }
            ++j;
        }
        if (name.isEmpty()) {
            out += text[i];
            continue;
        }
        if (name == "PWD")
            out += state_.cwd;
        else if (name == "HOME")
            out += "/";
        else if (name == "USER" || name == "LOGNAME")
            out += "root";
        else if (name == "HOSTNAME")
            out += controller_.options.hostname;
        else if (name == "PATH")
            out += "/sbin:/usr/sbin:/bin:/usr/bin";
        i = j - 1;
    }
    return out;
}

QList<QByteArray> CommandInterpreter::expandWord(const Word& word) const
{
    QByteArray text;
    QByteArray pattern;
    bool globbing = false;
    bool quoted = false;
    for (const WordPart& part : word) {
        QByteArray t = part.text;
        if (part.quoting == WordPart::Unquoted || part.quoting == WordPart::DoubleQuoted)
            t = expandVariables(t);
        text += t;
        if (part.quoting == WordPart::Unquoted) {
            pattern += t;
            globbing = globbing || Card::hasGlobChars(t);
        } else {
            quoted = true;
            for (char c : t) {
                if (c == '*' || c == '?' || c == '[' || c == '\\')
                    pattern += '\\';
                pattern += c;
            }
        }
    }
    if (globbing) {
        const QList<QByteArray> matches = controller_.card.glob(state_.cwd, pattern);
        if (!matches.isEmpty())
            return matches;
    }
    if (text.isEmpty() && !quoted)
        return {};
    return {text};
}

std::shared_ptr<CommandInterpreter::Redirect> CommandInterpreter::openRedirect(const SimpleCommand& command,
                                                                               bool* ok)
{
    *ok = true;
    if (!command.hasRedirect)
        return nullptr;
    const QList<QByteArray> words = expandWord(command.redirectTarget);
    if (words.size() != 1) {
        console_("sh: " + (words.isEmpty() ? QByteArray() : words.join(' ')) + ": ambiguous redirect\n");
        *ok = false;
        return nullptr;
    }
    const QByteArray target = words.first();
    auto r = std::make_shared<Redirect>();
    const CardPath p = controller_.card.resolve(state_.cwd, target);
    // /dev is the kernel's, not the card's.
    if (p.path == "/dev" || p.path.startsWith("/dev/")) {
        if (p.path == "/dev/gpio0") {
            r->kind = Redirect::Gpio;
            return r;
        }
        if (p.path == "/dev/null") {
            r->kind = Redirect::Null;
            return r;
        }
        console_("sh: can't create " + target + ": Permission denied\n");
        *ok = false;
        return nullptr;
    }
    QByteArray why;
    if (p.error)
        why = "nonexistent directory";
    else if (p.isDir)
        why = Card::errorText(EISDIR);
    else if (controller_.device.isReadOnly(p.path))
        why = Card::errorText(EROFS);
    else if (!controller_.card.resolve("/", p.parentPath()).isDir)
        why = "nonexistent directory";
    if (why.isEmpty()) {
        r->file = std::make_unique<QFile>(p.hostPath());
        const auto mode = QIODevice::WriteOnly | (command.append ? QIODevice::Append : QIODevice::Truncate);
        if (!r->file->open(mode))
            why = r->file->errorString().toLatin1();
    }
    if (!why.isEmpty()) {
        console_("sh: can't create " + target + ": " + why + '\n');
        *ok = false;
        return nullptr;
    }
    return r;
}

void CommandInterpreter::runNext()
{
    while (next_ < line_.commands.size()) {
        const SimpleCommand command = line_.commands[next_++];
        if (command.link == SimpleCommand::IfSuccess && state_.lastStatus != 0)
            continue;
        if (command.link == SimpleCommand::IfFailure && state_.lastStatus == 0)
            continue;
        QList<QByteArray> argv;
        for (const Word& w : command.words)
            argv << expandWord(w);

        bool redirectOk = true;
        std::shared_ptr<Redirect> redirect = openRedirect(command, &redirectOk);
        if (!redirectOk) {
            state_.lastStatus = 1;
            continue;
        }
        if (argv.isEmpty()) {
            state_.lastStatus = 0;
            continue;
        }
        const QByteArray name = argv.first();
        if (name == "exit") {
            if (argv.size() > 1)
                state_.lastStatus = argv[1].toInt() & 0xff;
            finish(true);
            return;
        }
        if (name == "help") {
            QByteArray names;
            for (auto it = commands_.constKeyValueBegin(); it != commands_.constKeyValueEnd(); ++it)
                names += ' ' + it->first;
            console_("Built-in commands:\n------------------\n" + names.mid(1) + " exit help\n");
            state_.lastStatus = 0;
            continue;
        }
        const auto found = commands_.constFind(name);
        if (found == commands_.constEnd()) {
            console_("sh: " + name + ": not found\n");
            state_.lastStatus = 127;
            continue;
        }

        std::weak_ptr<bool> alive = alive_;
        auto console = console_;
        auto err = [alive, console](const QByteArray& bytes) {
            if (alive.lock() && *alive.lock())
                console(bytes);
        };
        std::function<void(const QByteArray&)> out = err;
        if (redirect) {
            out = [alive, redirect](const QByteArray& bytes) {
                if (!alive.lock())
                    return;
                if (redirect->kind == Redirect::File)
                    redirect->file->write(bytes);
                else if (redirect->kind == Redirect::Gpio)
                    redirect->gpioBytes += bytes;
            };
        }
        auto done = [this, alive, redirect](int status) {
            const auto token = alive.lock();
            if (!token || !*token)
                return;
            if (redirect && redirect->kind == Redirect::File)
                redirect->file->close();
            if (redirect && redirect->kind == Redirect::Gpio &&
                !controller_.device.writeGpio(redirect->gpioBytes)) {
                console_("sh: write error: Input/output error\n");
                status = 1;
            }
            state_.lastStatus = status;
            runNext();
        };
        Invocation inv{argv, state_, controller_, later_, out, err, done};
        found.value()(inv);
        return;
    }
    finish(false);
}

}  // namespace tarvo::simulator
