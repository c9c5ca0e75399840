#include "simulator/builtincommands.h"
#include "simulator/posix_compat.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace tarvo::simulator {

namespace {

constexpr int quickMs = 2;  // a builtin answers about this fast

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

void echo(Invocation& inv)
{
    bool newline = true;
    bool escapes = false;
    int i = 1;
    // Only words made of n, e and E are options, as in busybox.
    for (; i < inv.argv.size(); ++i) {
        const QByteArray& a = inv.argv[i];
        if (a.size() < 2 || a[0] != '-')
            break;
        bool allFlags = true;
        for (int k = 1; k < a.size(); ++k)
            allFlags = allFlags && QByteArray("neE").contains(a[k]);
        if (!allFlags)
            break;
        for (int k = 1; k < a.size(); ++k) {
            if (a[k] == 'n')
                newline = false;
            else if (a[k] == 'e')
                escapes = true;
            else
                escapes = false;
        }
    }
    QByteArray text;
    bool stop = false;
    for (int first = i; i < inv.argv.size() && !stop; ++i) {
        if (i > first)
            text += ' ';
        text += escapes ? expandEchoEscapes(inv.argv[i], &stop) : inv.argv[i];
    }
    if (newline && !stop)
        text += '\n';
    inv.out(text);
    inv.finishAfter(quickMs, 0);
}

void cd(Invocation& inv)
{
    const QByteArray target = inv.argv.size() > 1 ? inv.argv[1] : QByteArray("/");
    const CardPath p = inv.controller.card.resolve(inv.shell.cwd, target);
    int error = p.error;
    if (!error && !p.exists)
        error = ENOENT;
    else if (!error && !p.isDir)
        error = ENOTDIR;
    if (error) {
        inv.errLine("sh: cd: can't cd to " + target + ": " + Card::errorText(error));
        inv.finishAfter(quickMs, 2);
        return;
    }
    inv.shell.cwd = p.path;
    inv.finishAfter(quickMs, 0);
}

void pwd(Invocation& inv)
{
    inv.out(inv.shell.cwd + '\n');
    inv.finishAfter(quickMs, 0);
}

QByteArray longListing(const Card& card, const CardPath& p, const QByteArray& name)
{
    struct stat st;
    if (::lstat(p.native.constData(), &st) != 0)
        return name + '\n';
    QByteArray mode = S_ISDIR(st.st_mode) ? "d" : S_ISLNK(st.st_mode) ? "l" : "-";
    const char* rwx = "rwxrwxrwx";
    for (int b = 0; b < 9; ++b)
        mode += (st.st_mode & (0400 >> b)) ? rwx[b] : '-';
    const QByteArray when = QDateTime::fromSecsSinceEpoch(st.st_mtime, Qt::UTC)
                                .toString(QStringLiteral("MMM dd HH:mm"))
                                .toLatin1();
    QByteArray line = mode + ' ' + QByteArray::number(qint64(st.st_nlink)).rightJustified(4) +
                      " root     root     " + QByteArray::number(qint64(st.st_size)).rightJustified(9) +
                      ' ' + when + ' ' + name;
    if (S_ISLNK(st.st_mode))
        line += " -> " + card.linkTarget(p);
    return line + '\n';
}

void ls(Invocation& inv)
{
    bool all = false;
    bool longFormat = false;
    QList<QByteArray> paths;
    for (int i = 1; i < inv.argv.size(); ++i) {
        const QByteArray& a = inv.argv[i];
        if (a.startsWith('-') && a.size() > 1) {
            all = all || a.contains('a');
            longFormat = longFormat || a.contains('l');
        } else {
            paths << a;
        }
    }
    if (paths.isEmpty())
        paths << ".";
    int status = 0;
    QList<QByteArray> dirs;
    for (const QByteArray& path : paths) {
        // A link is listed as itself in the long format, as ls -l does.
        const CardPath self = inv.controller.card.resolve(inv.shell.cwd, path, false);
        if (longFormat && !self.error && self.isSymLink) {
            inv.out(longListing(inv.controller.card, self, path));
            continue;
        }
        const CardPath p = inv.controller.card.resolve(inv.shell.cwd, path);
        if (p.error || !p.exists) {
            inv.errLine("ls: " + path + ": " + Card::errorText(p.error ? p.error : ENOENT));
            status = 1;
        } else if (p.isDir) {
            dirs << path;
        } else {
            inv.out(longFormat ? longListing(inv.controller.card, p, path) : path + '\n');
        }
    }
    for (const QByteArray& path : dirs) {
        const CardPath dir = inv.controller.card.resolve(inv.shell.cwd, path);
        if (paths.size() > 1)
            inv.out(path + ":\n");
        QByteArray listing;
        for (const QByteArray& name : Card::list(dir, all)) {
            if (longFormat) {
                const CardPath entry = inv.controller.card.resolve(dir.path, name, false);
                listing += longListing(inv.controller.card, entry, name);
            } else {
                listing += name + '\n';
            }
        }
        inv.out(listing);
    }
    inv.finishAfter(quickMs + 3, status);
}

void cat(Invocation& inv)
{
    int status = 0;
    for (int i = 1; i < inv.argv.size(); ++i) {
        const QByteArray& name = inv.argv[i];
        const CardPath p = inv.controller.card.resolve(inv.shell.cwd, name);
        if (p.error || !p.exists) {
            inv.errLine("cat: can't open '" + name + "': " + Card::errorText(p.error ? p.error : ENOENT));
            status = 1;
            continue;
        }
        if (p.isDir) {
            inv.errLine("cat: read error: Is a directory");
            status = 1;
            continue;
        }
        QFile f(p.hostPath());
        if (!f.open(QIODevice::ReadOnly)) {
            inv.errLine("cat: can't open '" + name + "': Permission denied");
            status = 1;
            continue;
        }
        inv.out(f.readAll());
    }
    inv.finishAfter(quickMs + 3, status);
}

// test's expression: the forms the tool and a person at the console use.
int evaluateTest(Invocation& inv, QList<QByteArray> args)
{
    bool negate = false;
    if (!args.isEmpty() && args.first() == "!") {
        negate = true;
        args.removeFirst();
    }
    bool result = false;
    if (args.isEmpty()) {
        result = false;
    } else if (args.size() == 1) {
        result = !args[0].isEmpty();
    } else if (args.size() == 2) {
        const QByteArray& op = args[0];
        const CardPath p = inv.controller.card.resolve(inv.shell.cwd, args[1]);
        const bool exists = !p.error && p.exists;
        if (op == "-d")
            result = exists && p.isDir;
        else if (op == "-f")
            result = exists && p.isFile;
        else if (op == "-e")
            result = exists;
        else if (op == "-s")
            result = exists && QFileInfo(p.hostPath()).size() > 0;
        else if (op == "-z")
            result = args[1].isEmpty();
        else if (op == "-n")
            result = !args[1].isEmpty();
        else {
            inv.errLine("sh: " + op + ": unknown operand");
            return 2;
        }
    } else if (args.size() == 3) {
        if (args[1] == "=")
            result = args[0] == args[2];
        else if (args[1] == "!=")
            result = args[0] != args[2];
        else if (args[1] == "-eq")
            result = args[0].toLongLong() == args[2].toLongLong();
        else if (args[1] == "-ne")
            result = args[0].toLongLong() != args[2].toLongLong();
        else {
            inv.errLine("sh: " + args[1] + ": unknown operand");
            return 2;
        }
    } else {
        inv.errLine("sh: test: too many arguments");
        return 2;
    }
    return (result != negate) ? 0 : 1;
}

void test(Invocation& inv)
{
    QList<QByteArray> args = inv.argv.mid(1);
    if (inv.argv[0] == "[") {
        if (args.isEmpty() || args.last() != "]") {
            inv.errLine("sh: [: missing ]");
            inv.finishAfter(quickMs, 2);
            return;
        }
        args.removeLast();
    }
    inv.finishAfter(quickMs, evaluateTest(inv, args));
}

}  // namespace

QByteArray expandEchoEscapes(const QByteArray& text, bool* stop)
{
    QByteArray out;
    for (int i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 >= text.size()) {
            out += text[i];
            continue;
        }
        const char c = text[++i];
        switch (c) {
        case 'a': out += '\a'; break;
        case 'b': out += '\b'; break;
        case 'e': out += '\x1b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'v': out += '\v'; break;
        case '\\': out += '\\'; break;
        case 'c':
            *stop = true;
            return out;
        case 'x': {
            int value = 0;
            int digits = 0;
            while (digits < 2 && i + 1 < text.size() && hexValue(text[i + 1]) >= 0) {
                value = value * 16 + hexValue(text[++i]);
                ++digits;
            }
            if (digits == 0)
                out += "\\x";
            else
                out += char(value);
            break;
        }
        case '0': {
            int value = 0;
            int digits = 0;
            while (digits < 3 && i + 1 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '7') {
                value = value * 8 + (text[++i] - '0');
                ++digits;
            }
            out += char(value);
            break;
        }
        default:
            out += '\\';
            out += c;
        }
    }
    return out;
}

void addBuiltinCommands(QMap<QByteArray, CommandFunction>& table)
{
    table["echo"] = echo;
    table["cd"] = cd;
    table["pwd"] = pwd;
    table["ls"] = ls;
    table["cat"] = cat;
    table["test"] = test;
    table["["] = test;
    table["true"] = [](Invocation& inv) { inv.finishAfter(quickMs, 0); };
    table["false"] = [](Invocation& inv) { inv.finishAfter(quickMs, 1); };
}

}  // namespace tarvo::simulator
