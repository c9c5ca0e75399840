#include "serversettings.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include "generated/version.h"

namespace {
constexpr char SettingsFileName[] = "OpenTFTPServerMT.ini";

// What the desktop tool reads from the first line of stdout.
constexpr char StatusHelp[] =
    "\nFirst line on stdout, without a time stamp:\n"
    "  READY <port> <root>                 request socket bound, folder writable\n"
    "  FAILED port-in-use <port>           another program holds the port (exit 1)\n"
    "  FAILED permission <port>            not allowed to bind the port (exit 1)\n"
    "  FAILED folder-not-writable <folder> folder missing and not creatable, or read-only (exit 1)\n"
    "  FAILED other <text>                 anything else; bad arguments exit 2\n"
    "\nWith -v, after the time stamp, for each completed transfer:\n"
    "  STORED <bytes> <sha256-hex> <peer-address> <full path>\n"
    "  SENT <bytes> <peer-address> <full path>\n"
    "and about once a second for each transfer running longer than a second that\n"
    "moved since its last such line (put: upload to this PC, get: download from it;\n"
    "size: the announced tsize, or the file's size for a get; - when unknown):\n"
    "  PROGRESS <put|get> <bytes> <size|-> <peer-address> <full path>\n"
    "\n--exit-with-parent: the server ends (\"parent ended; stopping\", temporary files\n"
    "removed as on SIGTERM) when its parent process is gone (checked every 250 ms)\n"
    "or, if standard input is a pipe, when it reaches end-of-file. Not on Windows yet.\n"
    "\n--only-from: a read or write request from any other address is refused with\n"
    "error 2 (access violation) and, with -v, a \"refused RRQ|WRQ ...\" line.\n"
    "--max-stored: once the completed uploads of this run of the server add up to\n"
    "BYTES, every further write request is refused with error 3 (disk full); one\n"
    "announcing more than is left is refused at once, one without tsize is cut there.\n"
    "\nSettings file keys: Port, Bind, Root, AllowedNames, MaxWriteBytes, KeepBackups,\n"
    "MaxTransfers, RetryTimeoutMs, RetryBackoff, RetryMaxTimeoutMs, RetryMaxTries,\n"
    "MaxBlockSize, MaxWindowSize, DallyMs, PerClient, OnlyFrom, MaxStoredBytes,\n"
    "MemoryBudgetBytes, TransferBufferBytes, MaxSilenceMs (see README).\n";

QString versionText()
{
    return QStringLiteral("OpenTFTPServerMT %1.%2.%3\n")
        .arg(tarvo::kVersionMajor).arg(tarvo::kVersionMinor).arg(tarvo::kVersionRevision);
}

bool readNumber(const QVariant& v, qint64 min, qint64 max, qint64* out)
{
    bool ok = false;
    const qint64 n = v.toString().trimmed().toLongLong(&ok);
    if (!ok || n < min || n > max)
        return false;
    *out = n;
    return true;
}

bool readInto(QSettings& s, const char* key, qint64 min, qint64 max, qint64* out, QString* error)
{
    if (!s.contains(QLatin1String(key)))
        return true;
    if (readNumber(s.value(QLatin1String(key)), min, max, out))
        return true;
    *error = QStringLiteral("%1: %2 must be a number from %3 to %4").arg(s.fileName(), QLatin1String(key)).arg(min).arg(max);
    return false;
}

QStringList nameList(const QVariant& v)
{
    QStringList names;
    const QStringList raw = v.typeId() == QMetaType::QStringList ? v.toStringList()
                                                                  : v.toString().split(QLatin1Char(','));
    for (const QString& n : raw) {
        if (!n.trimmed().isEmpty())
            names.append(n.trimmed());
    }
    return names;
}

// Comma-separated IP addresses, at least one; IPv4-mapped IPv6 reads as IPv4.
bool addressList(const QStringList& texts, QList<QHostAddress>* out, QString* wrong)
{
    QList<QHostAddress> addresses;
    for (const QString& text : texts) {
        for (const QString& part : text.split(QLatin1Char(','))) {
            const QString trimmed = part.trimmed();
            if (trimmed.isEmpty())
                continue;
            QHostAddress a;
            if (!a.setAddress(trimmed)) {
                *wrong = trimmed;
                return false;
            }
            bool isV4 = false;
            const quint32 v4 = a.toIPv4Address(&isV4);
            addresses.append(isV4 ? QHostAddress(v4) : a);
        }
    }
    if (addresses.isEmpty()) {
        wrong->clear();
        return false;
    }
    *out = addresses;
    return true;
}

QString addressListError(const QString& what, const QString& wrong)
{
    return wrong.isEmpty() ? QStringLiteral("%1 needs at least one IP address").arg(what)
                           : QStringLiteral("%1: '%2' is not an IP address").arg(what, wrong);
}

bool readFile(const QString& path, tarvo::tftp::ServerConfig* c, QString* error)
{
    QSettings s(path, QSettings::IniFormat);
    if (s.status() != QSettings::NoError) {
        *error = QStringLiteral("cannot read %1").arg(path);
        return false;
    }
    qint64 n = c->port;
    if (!readInto(s, "Port", 0, 65535, &n, error))
        return false;
    c->port = quint16(n);
    if (s.contains(QStringLiteral("Bind")) && !s.value(QStringLiteral("Bind")).toString().isEmpty()
        && !c->bindAddress.setAddress(s.value(QStringLiteral("Bind")).toString())) {
        *error = QStringLiteral("%1: Bind is not an address").arg(path);
        return false;
    }
    if (!s.value(QStringLiteral("Root")).toString().isEmpty())
        c->root = QDir(QFileInfo(path).absolutePath()).absoluteFilePath(s.value(QStringLiteral("Root")).toString());
    if (s.contains(QStringLiteral("AllowedNames")))
        c->allowedNames = nameList(s.value(QStringLiteral("AllowedNames")));
    struct IntKey { const char* key; qint64 min; qint64 max; int* field; };
    const IntKey ints[] = {
        {"KeepBackups", 0, 10000, &c->keepBackups},
        {"MaxTransfers", 1, 10000, &c->maxTransfers},
        {"DallyMs", 0, 60000, &c->dallyMs},
        {"RetryTimeoutMs", 10, 255000, &c->retry.initialTimeoutMs},
        {"RetryMaxTimeoutMs", 10, 255000, &c->retry.maxTimeoutMs},
        {"RetryMaxTries", 1, 1000, &c->retry.maxTries},
        {"MaxSilenceMs", 100, 3600000, &c->retry.maxSilenceMs},
        {"MaxBlockSize", 8, 65464, &c->limits.maxBlksize},
        {"MaxWindowSize", 1, 65535, &c->limits.maxWindowsize},
    };
    for (const IntKey& k : ints) {
        n = *k.field;
        if (!readInto(s, k.key, k.min, k.max, &n, error))
            return false;
        *k.field = int(n);
    }
    if (s.contains(QStringLiteral("PerClient")))
        c->perClient = s.value(QStringLiteral("PerClient")).toString().trimmed() == QLatin1String("1");
    if (!readInto(s, "MaxWriteBytes", 0, std::numeric_limits<qint64>::max(), &c->maxWriteBytes, error))
        return false;
    if (!readInto(s, "MaxStoredBytes", 0, std::numeric_limits<qint64>::max(), &c->maxStoredBytes, error))
        return false;
    if (s.contains(QStringLiteral("OnlyFrom"))) {
        const QVariant v = s.value(QStringLiteral("OnlyFrom"));
        QString wrong;
        if (!addressList(v.typeId() == QMetaType::QStringList ? v.toStringList() : QStringList{v.toString()},
                         &c->onlyFrom, &wrong)) {
            *error = addressListError(QStringLiteral("%1: OnlyFrom").arg(path), wrong);
            return false;
        }
    }
    if (!readInto(s, "MemoryBudgetBytes", 1 << 20, qint64(1) << 40, &c->memoryBudgetBytes, error))
        return false;
    if (!readInto(s, "TransferBufferBytes", 4096, qint64(1) << 32, &c->transferBufferBytes, error))
        return false;
    if (s.contains(QStringLiteral("RetryBackoff"))) {
        bool ok = false;
        const double b = s.value(QStringLiteral("RetryBackoff")).toString().toDouble(&ok);
        if (!ok || b < 1.0 || b > 10.0) {
            *error = QStringLiteral("%1: RetryBackoff must be from 1 to 10").arg(path);
            return false;
        }
        c->retry.backoff = b;
    }
    return true;
}
} // namespace

bool loadServerSettings(const QStringList& arguments, ServerSettings* settings, QString* error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("TFTP server for the configuration archive"));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Print this help and exit."));
    const QCommandLineOption version(QStringLiteral("version"), QStringLiteral("Print the version and exit."));
    const QCommandLineOption verbose(QStringLiteral("v"), QStringLiteral("Print one line per request and transfer."));
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("UDP port (default 69; 0: any free port)."), QStringLiteral("N"));
    const QCommandLineOption bind(QStringLiteral("bind"), QStringLiteral("Address to listen on (default: all)."), QStringLiteral("ADDRESS"));
    const QCommandLineOption root(QStringLiteral("root"), QStringLiteral("Folder to serve (default: the program's own)."), QStringLiteral("FOLDER"));
    const QCommandLineOption allow(QStringLiteral("allow"), QStringLiteral("Comma-separated names that may be read or written."), QStringLiteral("NAMES"));
    const QCommandLineOption maxSize(QStringLiteral("max-size"), QStringLiteral("Largest file a client may write, in bytes."), QStringLiteral("BYTES"));
    const QCommandLineOption config(QStringLiteral("config"), QStringLiteral("Settings file (default: OpenTFTPServerMT.ini beside the program)."), QStringLiteral("FILE"));
    const QCommandLineOption perClient(QStringLiteral("per-client"), QStringLiteral("Keep each controller's files in <root>/<its address>/."));
    const QCommandLineOption exitWithParent(QStringLiteral("exit-with-parent"),
                                            QStringLiteral("End when the program that started this one ends, or when a piped stdin closes."));
    const QCommandLineOption noUploads(QStringLiteral("no-uploads"),
                                       QStringLiteral("Serve files only: refuse every write request."));
    const QCommandLineOption onlyFrom(QStringLiteral("only-from"),
                                      QStringLiteral("Comma-separated addresses whose requests are served; any other "
                                                     "peer is refused (default: anyone)."),
                                      QStringLiteral("ADDRESSES"));
    const QCommandLineOption maxStored(QStringLiteral("max-stored"),
                                       QStringLiteral("Bytes all completed uploads may add up to while the server "
                                                      "runs; further uploads are refused (default: no limit)."),
                                       QStringLiteral("BYTES"));
    parser.addOptions({help, version, verbose, port, bind, root, allow, maxSize, config, perClient, exitWithParent,
                       noUploads, onlyFrom, maxStored});
    if (!parser.parse(arguments)) {
        *error = parser.errorText() + QLatin1Char('\n') + parser.helpText();
        return false;
    }
    if (parser.isSet(help)) {
        settings->exitText = versionText() + parser.helpText() + QLatin1String(StatusHelp);
        return true;
    }
    if (parser.isSet(version)) {
        settings->exitText = versionText();
        return true;
    }
    if (!parser.positionalArguments().isEmpty()) {
        *error = QStringLiteral("unexpected argument %1\n").arg(parser.positionalArguments().first()) + parser.helpText();
        return false;
    }

    const QString ownFolder = QCoreApplication::applicationDirPath();
    tarvo::tftp::ServerConfig& c = settings->config;
    c.root = ownFolder;
    settings->verbose = parser.isSet(verbose);
    settings->exitWithParent = parser.isSet(exitWithParent);
    settings->settingsFile = parser.isSet(config) ? parser.value(config)
                                                  : ownFolder + QLatin1Char('/') + QLatin1String(SettingsFileName);
    if (QFileInfo::exists(settings->settingsFile)) {
        if (!readFile(settings->settingsFile, &c, error))
            return false;
    } else if (parser.isSet(config)) {
        *error = QStringLiteral("settings file %1 not found").arg(settings->settingsFile);
        return false;
    }

    qint64 n = 0;
    if (parser.isSet(port)) {
        if (!readNumber(parser.value(port), 0, 65535, &n)) {
            *error = QStringLiteral("--port must be from 0 to 65535");
            return false;
        }
        c.port = quint16(n);
    }
    if (parser.isSet(bind) && !c.bindAddress.setAddress(parser.value(bind))) {
        *error = QStringLiteral("--bind needs an IP address");
        return false;
    }
    if (parser.isSet(root))
        c.root = QDir(parser.value(root)).absolutePath();
    if (parser.isSet(perClient))
        c.perClient = true;
    if (parser.isSet(noUploads))
        c.readOnly = true;
    if (parser.isSet(allow))
        c.allowedNames = nameList(parser.value(allow));
    if (parser.isSet(maxSize)) {
        if (!readNumber(parser.value(maxSize), 0, std::numeric_limits<qint64>::max(), &n)) {
            *error = QStringLiteral("--max-size needs a number of bytes");
            return false;
        }
        c.maxWriteBytes = n;
    }
    if (parser.isSet(maxStored)) {
        if (!readNumber(parser.value(maxStored), 0, std::numeric_limits<qint64>::max(), &n)) {
            *error = QStringLiteral("--max-stored needs a number of bytes");
            return false;
        }
        c.maxStoredBytes = n;
    }
    if (parser.isSet(onlyFrom)) {
        QString wrong;
        if (!addressList(parser.values(onlyFrom), &c.onlyFrom, &wrong)) {
            *error = addressListError(QStringLiteral("--only-from"), wrong);
            return false;
        }
    }
    c.root = QDir(c.root).absolutePath();
    return true;
}
