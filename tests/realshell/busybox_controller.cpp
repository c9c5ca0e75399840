// A laser controller whose shell is real: busybox sh on a pseudo-terminal
// behind TCP, as on the lasers. Each connection gets a root of its own (a
// tmpfs with the static busybox and its applets) in mount, PID and UTS
// namespaces of its own, with the card's media/ bound in, its zel/ as a
// read-only tmpfs that "mount -o remount /dev/mmcblk0p2 /zel" makes
// writable (written back to the card when the session ends), /dev/gpio0,
// and a "login: " prompt that takes root. A test peer, never shipped.
//
//   busybox_controller --card DIR [--bind ADDR] [--port 1138]
//                      [--busybox /bin/busybox] [--cols 80] [--hostname laser]
//
// Prints "listening on ADDR:PORT" once it listens and "session ended" when
// a connection's shell has gone and its card is written back. Needs root.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <sched.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Options {
    std::string card;
    std::string bind = "0.0.0.0";
    int port = 1138;
    std::string busybox = "/bin/busybox";
    unsigned short cols = 80;
    std::string hostname = "laser";
};

// The shell's own start: busybox's applets, the login prompt (an empty
// line asks again, root logs in without a password), then an interactive
// shell with the prompt the lasers show.
const char kLoginScript[] = R"sh(/bin/busybox --install -s /bin
while :; do
  printf '%s login: ' "$(hostname)"
  IFS= read -r user || exit 0
  case "$user" in
    root) break ;;
    '') ;;
    *) echo 'Login incorrect' ;;
  esac
done
cd /
export PS1='\u@\h:\w\$ '
exec sh
)sh";

[[noreturn]] void die(const char* what)
{
    std::fprintf(stderr, "busybox_controller: %s: %s\n", what, std::strerror(errno));
    std::exit(2);
}

void check(bool ok, const char* what)
{
    if (!ok)
        die(what);
}

void writeFile(const fs::path& path, const std::string& text)
{
    FILE* f = std::fopen(path.c_str(), "w");
    check(f != nullptr, path.c_str());
    std::fputs(text.c_str(), f);
    std::fclose(f);
}

void bindInto(const char* from, const fs::path& to)
{
    if (fs::is_directory(from))
        fs::create_directories(to);
    else
        writeFile(to, "");
    check(mount(from, to.c_str(), nullptr, MS_BIND, nullptr) == 0, to.c_str());
}

// Makes the connection's root below root: the mounts live in this
// process's mount namespace and end with it.
void buildRoot(const Options& options, const fs::path& root)
{
    check(mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0, "private mounts");
    check(mount("tmpfs", root.c_str(), "tmpfs", 0, "mode=0755") == 0, "root tmpfs");
    for (const char* dir : {"bin", "sbin", "usr/bin", "usr/sbin", "dev", "proc", "tmp", "etc", "root", "zel", "media"})
        fs::create_directories(root / dir);
    fs::copy_file(options.busybox, root / "bin/busybox");
    fs::permissions(root / "bin/busybox", fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    fs::create_symlink("busybox", root / "bin/sh");
    for (const char* device : {"/dev/null", "/dev/zero", "/dev/urandom", "/dev/tty"})
        bindInto(device, root / fs::path(device).relative_path());
    writeFile(root / "dev/gpio0", "");
    writeFile(root / "dev/mmcblk0p2", "");
    writeFile(root / "etc/passwd", "root:x:0:0:root:/root:/bin/sh\n");
    writeFile(root / "etc/group", "root:x:0:\n");
    writeFile(root / "etc/hostname", options.hostname + "\n");
    check(mount("proc", (root / "proc").c_str(), "proc", 0, nullptr) == 0, "proc");
    // The configuration partition: read-only until the shell remounts it.
    const fs::path zel = root / "zel";
    check(mount("/dev/mmcblk0p2", zel.c_str(), "tmpfs", 0, "mode=0755") == 0, "zel tmpfs");
    fs::copy(fs::path(options.card) / "zel", zel, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    check(mount(nullptr, zel.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0, "zel read-only");
    bindInto((fs::path(options.card) / "media").c_str(), root / "media");
}

// The card's zel/ becomes what the session left in /zel.
void writeBackZel(const fs::path& session, const fs::path& card)
{
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(card, ec))
        fs::remove_all(entry.path(), ec);
    fs::copy(session, card, fs::copy_options::recursive | fs::copy_options::copy_symlinks, ec);
    if (ec)
        std::fprintf(stderr, "busybox_controller: writing back zel: %s\n", ec.message().c_str());
}

bool writeAll(int fd, const char* data, ssize_t size)
{
    while (size > 0) {
        const ssize_t n = write(fd, data, size_t(size));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= n;
    }
    return true;
}

// Copies bytes between the connection and the terminal until either ends.
void relay(int connection, int terminal)
{
    char buffer[16384];
    pollfd fds[2] = {{connection, POLLIN, 0}, {terminal, POLLIN, 0}};
    for (;;) {
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        for (int i = 0; i < 2; ++i) {
            if (!fds[i].revents)
                continue;
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n <= 0)
                return;
            if (!writeAll(i == 0 ? terminal : connection, buffer, n))
                return;
        }
    }
}

// The first process of the connection's PID namespace: builds the root,
// starts the shell on a terminal of the given width and relays.
[[noreturn]] void runSession(const Options& options, int connection, const fs::path& root)
{
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    check(sethostname(options.hostname.data(), options.hostname.size()) == 0, "hostname");
    buildRoot(options, root);
    winsize size{};
    size.ws_row = 24;
    size.ws_col = options.cols;
    int terminal = -1;
    int shellSide = -1;
    check(openpty(&terminal, &shellSide, nullptr, nullptr, &size) == 0, "openpty");
    const pid_t shell = fork();
    check(shell >= 0, "fork shell");
    if (shell == 0) {
        setsid();
        ioctl(shellSide, TIOCSCTTY, 0);
        for (int fd = 0; fd < 3; ++fd)
            dup2(shellSide, fd);
        closefrom(3);
        check(chroot(root.c_str()) == 0 && chdir("/") == 0, "chroot");
        const char* environment[] = {"PATH=/bin:/sbin:/usr/bin:/usr/sbin", "HOME=/root", "TERM=vt102", nullptr};
        execle("/bin/busybox", "sh", "-c", kLoginScript, static_cast<char*>(nullptr), environment);
        _exit(127);
    }
    close(shellSide);
    relay(connection, terminal);
    shutdown(connection, SHUT_RDWR);
    close(connection);
    // Everything the shell started goes with it.
    kill(-1, SIGKILL);
    while (wait(nullptr) > 0 || errno == EINTR) {
    }
    writeBackZel(root / "zel", fs::path(options.card) / "zel");
    _exit(0);
}

// One connection: namespaces of its own, then its session as their first
// process; says when the session is over.
[[noreturn]] void serveConnection(const Options& options, int connection)
{
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    signal(SIGCHLD, SIG_DFL);
    check(unshare(CLONE_NEWNS | CLONE_NEWPID | CLONE_NEWUTS) == 0, "namespaces");
    // The root is mounted over /mnt in this mount namespace only: nothing
    // of it is seen outside, or left behind, whatever ends the session.
    const fs::path root = "/mnt";
    check(fs::is_directory(root), "/mnt");
    const pid_t session = fork();
    check(session >= 0, "fork session");
    if (session == 0)
        runSession(options, connection, root);
    close(connection);
    int status = 0;
    while (waitpid(session, &status, 0) < 0 && errno == EINTR) {
    }
    std::printf("session ended\n");
    std::fflush(stdout);
    _exit(0);
}

Options parse(int argc, char** argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--card" && hasValue)
            options.card = argv[++i];
        else if (arg == "--bind" && hasValue)
            options.bind = argv[++i];
        else if (arg == "--port" && hasValue)
            options.port = std::atoi(argv[++i]);
        else if (arg == "--busybox" && hasValue)
            options.busybox = argv[++i];
        else if (arg == "--cols" && hasValue)
            options.cols = static_cast<unsigned short>(std::atoi(argv[++i]));
        else if (arg == "--hostname" && hasValue)
            options.hostname = argv[++i];
        else {
            std::fprintf(stderr, "usage: busybox_controller --card DIR [--bind ADDR] [--port N] [--busybox PATH] "
                                 "[--cols N] [--hostname NAME]\n");
            std::exit(2);
        }
    }
    if (options.card.empty() || !fs::is_directory(fs::path(options.card) / "zel")
        || !fs::is_directory(fs::path(options.card) / "media")) {
        std::fprintf(stderr, "busybox_controller: --card must name a folder with zel/ and media/\n");
        std::exit(2);
    }
    options.card = fs::canonical(options.card).string();
    if (options.card.rfind("/mnt/", 0) == 0) {
        std::fprintf(stderr, "busybox_controller: the card must not lie below /mnt, where sessions mount their root\n");
        std::exit(2);
    }
    return options;
}

}  // namespace

int main(int argc, char** argv)
{
    const Options options = parse(argc, argv);
    if (geteuid() != 0) {
        std::fprintf(stderr, "busybox_controller: needs root (namespaces, mounts, chroot)\n");
        return 2;
    }
    // Sessions are reaped as they end; a session ends with this program.
    signal(SIGCHLD, SIG_IGN);
    signal(SIGPIPE, SIG_IGN);
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    check(listener >= 0, "socket");
    const int yes = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(options.port));
    check(inet_pton(AF_INET, options.bind.c_str(), &address.sin_addr) == 1, "address");
    check(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0, "bind");
    check(listen(listener, 4) == 0, "listen");
    std::printf("listening on %s:%d\n", options.bind.c_str(), options.port);
    std::fflush(stdout);
    for (;;) {
        const int connection = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) {
            if (errno == EINTR)
                continue;
            die("accept");
        }
        // The connection must outlive exec's close-on-exec in the session.
        fcntl(connection, F_SETFD, 0);
        const pid_t child = fork();
        if (child == 0) {
            close(listener);
            serveConnection(options, connection);
        }
        close(connection);
    }
}
