// The archive check and copy on a large archive through the real platform:
// an incompressible tar.gz of the size given in MB (default 1024) is made
// in a temporary folder, checked, then copied; wall time, MB/s and the peak
// resident memory (goal: under 100 MB) are printed. --whole reads the file
// whole into memory and writes it back whole instead, for comparison.
// Then a 2 MiB gzip bomb that inflates to 2 GiB is checked, with the
// limits and with them lifted: processor time of each.
#include "fake_tftp_server.h"
#include "platform/qt_platform.h"
#include "pcside/archive_check.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <archive.h>
#include <archive_entry.h>
#include <sys/resource.h>

#include <cstdio>
#include <limits>
#include <memory>

namespace {

constexpr qint64 kMiB = 1 << 20;
constexpr qint64 kMemberMiB = 64;

long peakRssMib()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
           + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// A configuration file, then members of random bytes, written 1 MiB at a
// time; gzip at its fastest level, since random bytes do not shrink.
bool makeArchive(const QString& path, qint64 sizeMib)
{
    std::unique_ptr<archive, decltype(&archive_write_free)> a(archive_write_new(), archive_write_free);
    archive_write_add_filter_gzip(a.get());
    archive_write_set_filter_option(a.get(), "gzip", "compression-level", "1");
    archive_write_set_format_ustar(a.get());
    if (archive_write_open_filename(a.get(), QFile::encodeName(path).constData()) != ARCHIVE_OK)
        return false;
    const auto add = [&](const QByteArray& name, qint64 size) {
        std::unique_ptr<archive_entry, decltype(&archive_entry_free)> e(archive_entry_new(), archive_entry_free);
        archive_entry_set_pathname(e.get(), name.constData());
        archive_entry_set_filetype(e.get(), AE_IFREG);
        archive_entry_set_perm(e.get(), 0644);
        archive_entry_set_size(e.get(), size);
        return archive_write_header(a.get(), e.get()) == ARCHIVE_OK;
    };
    const QByteArray conf = "power=80\n";
    if (!add("zel/laser.conf", conf.size()) || archive_write_data(a.get(), conf.constData(), size_t(conf.size())) < 0)
        return false;
    QByteArray chunk(kMiB, Qt::Uninitialized);
    for (qint64 done = 0, n = 0; done < sizeMib; ++n) {
        const qint64 members = std::min(kMemberMiB, sizeMib - done);
        if (!add("media/profiles/blob-" + QByteArray::number(n), members * kMiB))
            return false;
        for (qint64 i = 0; i < members; ++i) {
            QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(chunk.data()), chunk.size() / 4);
            if (archive_write_data(a.get(), chunk.constData(), size_t(chunk.size())) < 0)
                return false;
        }
        done += members;
    }
    return archive_write_close(a.get()) == ARCHIVE_OK;
}

void report(const char* what, qint64 elapsedMs, qint64 bytes)
{
    std::printf("%-28s %8.2f s  %8.1f MB/s  peak RSS %ld MiB\n", what, double(elapsedMs) / 1000.0,
                double(bytes) / 1e6 / (double(std::max<qint64>(elapsedMs, 1)) / 1000.0), peakRssMib());
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const bool whole = args.removeAll(QStringLiteral("--whole")) > 0;
    const qint64 sizeMib = args.isEmpty() ? 1024 : args.first().toLongLong();
    tarvo::platform::QtPlatform platform;
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("config.tgz"));
    const QString copy = dir.filePath(QStringLiteral("kept/config.tgz"));

    QElapsedTimer clock;
    clock.start();
    if (!makeArchive(source, sizeMib)) {
        std::fprintf(stderr, "could not make the archive in %s\n", qPrintable(dir.path()));
        return 1;
    }
    const qint64 bytes = QFileInfo(source).size();
    report("made", clock.restart(), bytes);

    tarvo::pcside::ArchiveReport checked;
    if (whole) {
        const QByteArray data = platform.readFile(source).value_or(QByteArray());
        checked = tarvo::pcside::checkArchive(data);
        report("checked (read whole)", clock.restart(), bytes);
        platform.writeFile(copy, data);
        report("copied (written whole)", clock.restart(), bytes);
    } else {
        checked = tarvo::pcside::checkArchiveFile(platform, source);
        report("checked (streamed)", clock.restart(), bytes);
        platform.copyFile(source, copy);
        report("copied (streamed)", clock.restart(), bytes);
    }
    std::printf("usable %d, %d files, %lld bytes%s%s\n", checked.usable, checked.files, qint64(checked.bytes),
                checked.problem.isEmpty() ? "" : ": ", qPrintable(checked.problem));

    const QByteArray bomb = tarvo::test::gzipBomb(2048, false);
    tarvo::pcside::ArchiveLimits lifted;
    lifted.maxInflatedBytes = std::numeric_limits<qint64>::max();
    lifted.ratioFloorBytes = std::numeric_limits<qint64>::max();
    for (const auto& [what, limits] : {std::pair{"bomb, limits", tarvo::pcside::ArchiveLimits{}},
                                       std::pair{"bomb, limits lifted", lifted}}) {
        const double before = cpuSeconds();
        const tarvo::pcside::ArchiveReport r = tarvo::pcside::checkArchive(bomb, limits);
        std::printf("%-28s %8.2f s CPU  (%lld KiB archive, usable %d)\n", what, cpuSeconds() - before,
                    qint64(bomb.size()) / 1024, r.usable);
    }
    return 0;
}
