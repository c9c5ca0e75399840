#include "simulator/card.h"
#include "simulator/posix_compat.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvo::simulator {

namespace {

constexpr int maxLinkHops = 40;  // as Linux's ELOOP limit

QList<QByteArray> components(const QByteArray& path)
{
    QList<QByteArray> out;
    for (const QByteArray& c : path.split('/'))
        if (!c.isEmpty())
            out << c;
    return out;
}

QByteArray unescape(const QByteArray& word)
{
    QByteArray out;
    for (int i = 0; i < word.size(); ++i) {
        if (word[i] == '\\' && i + 1 < word.size())
            ++i;
        out += word[i];
    }
    return out;
}

}  // namespace

QString CardPath::hostPath() const
{
    return QFile::decodeName(native);
}

QByteArray CardPath::parentPath() const
{
    const int slash = path.lastIndexOf('/');
    return slash <= 0 ? QByteArray("/") : path.left(slash);
}

Card::Card(const QString& folder) : folder_(QDir::cleanPath(QDir(folder).absolutePath()))
{
    root_ = QFile::encodeName(folder_);
    while (root_.endsWith('/'))
        root_.chop(1);
}

CardPath Card::resolve(const QByteArray& cwd, const QByteArray& path, bool followLast) const
{
    QList<QByteArray> todo = components(path.startsWith('/') ? path : cwd + '/' + path);
    // The resolved prefix, kept as a path and as the offsets where each of
    // its components starts, so that each step costs only its own name.
    QByteArray done;
    QList<qsizetype> starts;
    const auto push = [&](const QByteArray& c) {
        starts << done.size();
        done += '/';
        done += c;
    };
    CardPath r;
    int hops = 0;
    while (!todo.isEmpty()) {
        const QByteArray c = todo.takeFirst();
        if (c == ".")
            continue;
        if (c == "..") {
            if (!starts.isEmpty())
                done.truncate(starts.takeLast());
            continue;
        }
        const QByteArray native = root_ + done + '/' + c;
        struct stat st;
        if (::lstat(native.constData(), &st) != 0) {
            push(c);
            // Only the last component may be missing (a file to create).
            bool onlyDots = std::all_of(todo.begin(), todo.end(),
                                        [](const QByteArray& t) { return t == "."; });
            if (!todo.isEmpty() && !onlyDots) {
                r.error = ENOENT;
                for (const QByteArray& t : todo)
                    push(t);
                todo.clear();
            }
            break;
        }
        if (S_ISLNK(st.st_mode) && (!todo.isEmpty() || followLast)) {
            if (++hops > maxLinkHops) {
                r.error = ELOOP;
                push(c);
                break;
            }
            QByteArray target(PATH_MAX, '\0');
            const ssize_t n = ::readlink(native.constData(), target.data(), target.size());
            if (n < 0) {
                r.error = errno;
                push(c);
                break;
            }
            target.truncate(n);
            if (target.startsWith('/')) {
                done.clear();
                starts.clear();
            }
            todo = components(target) + todo;
            continue;
        }
        if (!S_ISDIR(st.st_mode) && !todo.isEmpty()) {
            r.error = ENOTDIR;
            push(c);
            for (const QByteArray& t : todo)
                push(t);
            break;
        }
        push(c);
    }
    r.path = done.isEmpty() ? QByteArray("/") : done;
    r.native = root_ + done;
    fillType(r);
    return r;
}

CardPath Card::child(const CardPath& dir, const QByteArray& name, bool followLast) const
{
    if (dir.error || !dir.exists || !dir.isDir || name.isEmpty() || name.contains('/') || name == "." ||
        name == "..")
        return resolve(dir.path, name, followLast);
    CardPath r;
    r.path = dir.path == "/" ? "/" + name : dir.path + '/' + name;
    r.native = dir.native + '/' + name;
    fillType(r);
    // A link to follow is resolved from scratch, as any other path.
    if (r.isSymLink && followLast)
        return resolve(dir.path, name, true);
    return r;
}

void Card::fillType(CardPath& r)
{
    if (r.error)
        return;
    struct stat st;
    if (::lstat(r.native.constData(), &st) == 0) {
        r.exists = true;
        r.isDir = S_ISDIR(st.st_mode);
        r.isFile = S_ISREG(st.st_mode);
        r.isSymLink = S_ISLNK(st.st_mode);
    }
}

QByteArray Card::linkTarget(const CardPath& link) const
{
    QByteArray target(PATH_MAX, '\0');
    const ssize_t n = ::readlink(link.native.constData(), target.data(), target.size());
    if (n < 0)
        return {};
    target.truncate(n);
    if (target == root_)
        return "/";
    if (target.startsWith(root_ + '/'))
        return target.mid(root_.size());
    return target;
}

QList<QByteArray> Card::list(const CardPath& dir, bool includeHidden)
{
    QList<QByteArray> names;
    DIR* d = ::opendir(dir.native.constData());
    if (!d)
        return names;
    while (dirent* e = ::readdir(d)) {
        const QByteArray name(e->d_name);
        if (name == "." || name == "..")
            continue;
        if (!includeHidden && name.startsWith('.'))
            continue;
        names << name;
    }
    ::closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

bool Card::hasGlobChars(const QByteArray& word)
{
    for (int i = 0; i < word.size(); ++i) {
        if (word[i] == '\\') {
            ++i;
            continue;
        }
        if (word[i] == '*' || word[i] == '?' || word[i] == '[')
            return true;
    }
    return false;
}

QList<QByteArray> Card::glob(const QByteArray& cwd, const QByteArray& pattern) const
{
    const bool absolute = pattern.startsWith('/');
    QList<QByteArray> candidates{absolute ? QByteArray("/") : QByteArray()};
    const auto join = [](const QByteArray& base, const QByteArray& name) {
        if (base.isEmpty())
            return name;
        return base.endsWith('/') ? base + name : base + '/' + name;
    };
    for (const QByteArray& comp : components(pattern)) {
        QList<QByteArray> next;
        if (!hasGlobChars(comp)) {
            for (const QByteArray& c : candidates)
                next << join(c, unescape(comp));
        } else {
            for (const QByteArray& c : candidates) {
                const CardPath dir = resolve(cwd, c.isEmpty() ? QByteArray(".") : c);
                if (dir.error || !dir.isDir)
                    continue;
                for (const QByteArray& name : list(dir, true)) {
                    if (::fnmatch(comp.constData(), name.constData(), FNM_PERIOD) == 0)
                        next << join(c, name);
                }
            }
        }
        candidates = next;
        if (candidates.isEmpty())
            break;
    }
    QList<QByteArray> found;
    for (const QByteArray& c : candidates) {
        const CardPath p = resolve(cwd, c, false);
        if (!p.error && p.exists)
            found << c;
    }
    std::sort(found.begin(), found.end());
    return found;
}

QByteArray Card::errorText(int error)
{
    return QByteArray(std::strerror(error));
}

}  // namespace tarvo::simulator
