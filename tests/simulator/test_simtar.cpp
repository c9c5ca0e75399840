// tar on the controller: the tool's backup and restore commands, their
// listings and statuses, the read-only /zel, and archives that try to
// write outside the card.

#include "controller_harness.h"

#include <archive.h>
#include <archive_entry.h>

#include <QElapsedTimer>
#include <QTest>

#include <map>

namespace {

const QByteArray backupCommand =
    "tar cvzf /media/config.tgz zel/*.conf media/*.conf media/profiles media/sequences media/prv_bmp";

// Name -> content of every member (directories as "<dir>").
std::map<QByteArray, QByteArray> readArchive(const QString& path)
{
    std::map<QByteArray, QByteArray> members;
    archive* a = archive_read_new();
    archive_read_support_filter_gzip(a);
    archive_read_support_format_tar(a);
    if (archive_read_open_filename(a, QFile::encodeName(path).constData(), 10240) != ARCHIVE_OK) {
        archive_read_free(a);
        return members;
    }
    archive_entry* e;
    while (archive_read_next_header(a, &e) == ARCHIVE_OK) {
        QByteArray data;
        if (archive_entry_filetype(e) == AE_IFDIR) {
            data = "<dir>";
        } else {
            char buf[8192];
            la_ssize_t n;
            while ((n = archive_read_data(a, buf, sizeof buf)) > 0)
                data.append(buf, int(n));
        }
        QByteArray name = archive_entry_pathname(e);
        if (name.endsWith('/'))
            name.chop(1);  // tar stores folders with a trailing slash
        members[name] = data;
    }
    archive_read_free(a);
    return members;
}

struct Entry {
    QByteArray name;  // as stored
    qint64 size;
};

// The members in archive order.
QList<Entry> archiveEntries(const QString& path)
{
    QList<Entry> entries;
    archive* a = archive_read_new();
    archive_read_support_filter_gzip(a);
    archive_read_support_format_tar(a);
    if (archive_read_open_filename(a, QFile::encodeName(path).constData(), 10240) == ARCHIVE_OK) {
        archive_entry* e;
        while (archive_read_next_header(a, &e) == ARCHIVE_OK)
            entries.append({archive_entry_pathname(e), archive_entry_size(e)});
    }
    archive_read_free(a);
    return entries;
}

QList<QByteArray> listing(const QList<ControllerHarness::TimedLine>& lines)
{
    QList<QByteArray> names;
    for (const auto& l : lines)
        names.append(l.text);
    return names;
}

QList<QByteArray> names(const QList<Entry>& entries)
{
    QList<QByteArray> n;
    for (const Entry& e : entries)
        n.append(e.name);
    return n;
}

constexpr unsigned hardLink = 1;  // a regular entry that links to another name

struct Member {
    QByteArray name;
    unsigned type;
    QByteArray data;  // file content, or link target
};

bool writeArchive(const QString& path, const QList<Member>& members)
{
    archive* a = archive_write_new();
    archive_write_add_filter_gzip(a);
    archive_write_set_format_pax_restricted(a);
    if (archive_write_open_filename(a, QFile::encodeName(path).constData()) != ARCHIVE_OK)
        return false;
    for (const Member& m : members) {
        archive_entry* e = archive_entry_new();
        archive_entry_set_pathname(e, m.name.constData());
        archive_entry_set_filetype(e, m.type);
        archive_entry_set_perm(e, m.type == AE_IFDIR ? 0755 : 0644);
        if (m.type == AE_IFLNK)
            archive_entry_set_symlink(e, m.data.constData());
        else if (m.type == hardLink)
            archive_entry_set_hardlink(e, m.data.constData()), archive_entry_set_filetype(e, AE_IFREG);
        else if (m.type == AE_IFREG)
            archive_entry_set_size(e, m.data.size());
        archive_write_header(a, e);
        if (m.type == AE_IFREG)
            archive_write_data(a, m.data.constData(), m.data.size());
        archive_entry_free(e);
    }
    archive_write_close(a);
    archive_write_free(a);
    return true;
}

bool isBackedUp(const QString& rel)
{
    const QStringList parts = rel.split(QLatin1Char('/'));
    if (parts.size() >= 2 && parts[0] == QLatin1String("media") &&
        QStringList{QStringLiteral("profiles"), QStringLiteral("sequences"), QStringLiteral("prv_bmp")}.contains(parts[1]))
        return true;
    return parts.size() == 2 && (parts[0] == QLatin1String("zel") || parts[0] == QLatin1String("media")) &&
           rel.endsWith(QLatin1String(".conf"));
}

}  // namespace

class TestSimTar : public QObject {
    Q_OBJECT
private slots:
    void backupListsEveryMemberAndTakesTime();
    void backupWithoutTheTreesAndTrailingBlank();
    void roundTripIsByteIdentical();
    void missingMemberFinishesTheArchive();
    void extractBeforeRemountHitsReadOnlyZel();
    void missingArchiveIsUnrecoverable();
    void hostileMembersStayOnTheCard();
    void deepMembersAreRefusedAtOnce_data();
    void deepMembersAreRefusedAtOnce();
    void listingIsTheArchiveInOrder();
    void slowPackTricklesTheListing();
    void slowUnpackTakesItsTime();
};

void TestSimTar::listingIsTheArchiveInOrder()
{
    ControllerHarness a;
    QDir card(a.cardDir.path());
    QVERIFY(card.mkpath(QStringLiteral("media/profiles/Prüfung ✓")));
    QVERIFY(card.mkpath(QStringLiteral("media/sequences/empty one")));
    for (const QString& rel : {QStringLiteral("media/profiles/job one.conf"),
                               QStringLiteral("media/profiles/Prüfung ✓/teil 2 ä.txt")}) {
        QFile f(card.filePath(rel));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("x\n");
    }
    QVERIFY(a.connect());
    QVERIFY(a.login());
    a.command("cd /");
    const QList<QByteArray> packed = listing(a.commandLines(backupCommand));
    QCOMPARE(a.status(), 0);
    const QString archivePath = a.cardPath(QStringLiteral("media/config.tgz"));
    const QList<QByteArray> members = names(archiveEntries(archivePath));
    QCOMPARE(packed, members);
    QVERIFY(packed.contains("media/profiles/"));
    QVERIFY(packed.contains("media/sequences/empty one/"));
    QVERIFY(packed.contains("media/profiles/job one.conf"));
    QVERIFY(packed.contains(QStringLiteral("media/profiles/Prüfung ✓/teil 2 ä.txt").toUtf8()));

    ControllerHarness b({}, QStringLiteral("B"));
    QVERIFY(QFile::copy(archivePath, b.cardPath(QStringLiteral("media/config.tgz"))));
    QVERIFY(b.connect());
    QVERIFY(b.login());
    b.command("mount -o remount /dev/mmcblk0p2 /zel");
    b.command("cd /");
    QCOMPARE(listing(b.commandLines("tar xvzf /media/config.tgz")), members);
    QCOMPARE(b.status(), 0);
}

void TestSimTar::slowPackTricklesTheListing()
{
    constexpr qint64 rate = 500'000;
    tarvo::simulator::EngineOptions slow;
    slow.packBytesPerSecond = rate;
    ControllerHarness h({}, QString(), slow);
    QVERIFY(makeBigCard(h.cardDir.path(), 16));
    QVERIFY(h.connect());
    QVERIFY(h.login());
    h.command("cd /");
    const auto start = h.clock.nowMs();
    const auto lines = h.commandLines(backupCommand);
    const auto elapsed = h.clock.nowMs() - start;
    QCOMPARE(h.status(), 0);

    // Each line comes once its member is packed at the rate, in archive
    // order, and the status once all of it is.
    const QString archivePath = h.cardPath(QStringLiteral("media/config.tgz"));
    const QList<Entry> entries = archiveEntries(archivePath);
    QCOMPARE(listing(lines), names(entries));
    qint64 packed = 0;
    for (int i = 0; i < entries.size(); ++i) {
        packed += entries[i].size;
        const qint64 due = packed * 1000 / rate;
        QVERIFY2(qAbs(lines[i].atMs - start - due) <= 1000, entries[i].name.constData());
    }
    QVERIFY(packed > 16'000'000);
    QVERIFY2(qAbs(elapsed - packed * 1000 / rate) <= 1000, QByteArray::number(elapsed).constData());

    // The same card packed at the usual pace gives the same archive.
    ControllerHarness quick({}, QString());
    QVERIFY(makeBigCard(quick.cardDir.path(), 16));
    QVERIFY(quick.connect());
    QVERIFY(quick.login());
    quick.command("cd /");
    quick.command(backupCommand);
    QCOMPARE(quick.status(), 0);
    const QString quickPath = quick.cardPath(QStringLiteral("media/config.tgz"));
    QCOMPARE(names(archiveEntries(quickPath)), names(entries));
    QVERIFY(readArchive(quickPath) == readArchive(archivePath));
}

void TestSimTar::slowUnpackTakesItsTime()
{
    ControllerHarness a({}, QString());
    QVERIFY(makeBigCard(a.cardDir.path(), 8));
    QVERIFY(a.connect());
    QVERIFY(a.login());
    a.command("cd /");
    a.command(backupCommand);
    QCOMPARE(a.status(), 0);
    const QString archivePath = a.cardPath(QStringLiteral("media/config.tgz"));
    qint64 total = 0;
    for (const Entry& e : archiveEntries(archivePath))
        total += e.size;

    constexpr qint64 rate = 1'000'000;
    tarvo::simulator::EngineOptions slow;
    slow.unpackBytesPerSecond = rate;
    ControllerHarness b({}, QStringLiteral("B"), slow);
    QVERIFY(QFile::copy(archivePath, b.cardPath(QStringLiteral("media/config.tgz"))));
    QVERIFY(b.connect());
    QVERIFY(b.login());
    b.command("mount -o remount /dev/mmcblk0p2 /zel");
    b.command("cd /");
    const auto start = b.clock.nowMs();
    const auto lines = b.commandLines("tar xvzf /media/config.tgz");
    QCOMPARE(b.status(), 0);
    QVERIFY(lines.size() > 10);
    QVERIFY(lines.first().atMs - start < 1000);
    QVERIFY2(qAbs(b.clock.nowMs() - start - total * 1000 / rate) <= 1000 + 200, "unpack time");
}

void TestSimTar::backupListsEveryMemberAndTakesTime()
{
    ControllerHarness h;
    QVERIFY(h.connect());
    QVERIFY(h.login());
    h.command("cd /");
    const auto before = h.clock.nowMs();
    const QByteArray out = h.command(backupCommand);
    QVERIFY(h.clock.nowMs() - before >= 100);
    QCOMPARE(h.status(), 0);
    const QList<QByteArray> lines = out.split('\n');
    QVERIFY(lines.contains("zel/laser.conf\r"));
    QVERIFY(lines.contains("media/machine.conf\r"));
    QVERIFY(lines.contains("media/profiles/\r"));
    QVERIFY(lines.contains("media/prv_bmp/jobs/2024/bracket_17.bmp\r"));
    QVERIFY(!out.contains("firmware.bin"));
    QVERIFY(!out.contains("logs"));
    QVERIFY(!out.contains("tar:"));
    QVERIFY(QFileInfo(h.cardPath(QStringLiteral("media/config.tgz"))).size() > 1000);
}

void TestSimTar::backupWithoutTheTreesAndTrailingBlank()
{
    ControllerHarness h;
    QVERIFY(h.connect());
    QVERIFY(h.login());
    h.command("cd /");
    const QByteArray out = h.command("tar cvzf /media/config.tgz zel/*.conf media/*.conf ");
    QCOMPARE(h.status(), 0);
    QCOMPARE(out.count('\n'), 8);
    const auto members = readArchive(h.cardPath(QStringLiteral("media/config.tgz")));
    QCOMPARE(int(members.size()), 8);
}

void TestSimTar::roundTripIsByteIdentical()
{
    ControllerHarness a;
    QVERIFY(a.connect());
    QVERIFY(a.login());
    a.command("cd /");
    a.command(backupCommand);
    QCOMPARE(a.status(), 0);
    const QString archivePath = a.cardPath(QStringLiteral("media/config.tgz"));

    // The archive itself holds the card's files byte for byte.
    const auto members = readArchive(archivePath);
    const auto source = snapshot(a.cardDir.path());
    int files = 0;
    for (const auto& [rel, bytes] : source) {
        if (!isBackedUp(rel))
            continue;
        const auto it = members.find(rel.toUtf8());
        QVERIFY2(it != members.end(), qPrintable(rel));
        QCOMPARE(it->second, bytes);
        ++files;
    }
    for (const auto& [name, bytes] : members)
        QVERIFY2(source.count(QString::fromUtf8(name)), name.constData());
    QCOMPARE(int(members.size()), files);

    // And a restore onto card B gives them back.
    ControllerHarness b({}, QStringLiteral("B"));
    QVERIFY(QFile::copy(archivePath, b.cardPath(QStringLiteral("media/config.tgz"))));
    const auto notes = snapshot(b.cardDir.path())["media/operator-notes.txt"];
    QVERIFY(b.connect());
    QVERIFY(b.login());
    b.command("mount -o remount /dev/mmcblk0p2 /zel");
    b.command("cd /");
    b.command("tar xvzf /media/config.tgz");
    QCOMPARE(b.status(), 0);
    const auto restored = snapshot(b.cardDir.path());
    for (const auto& [rel, bytes] : source) {
        if (isBackedUp(rel))
            QCOMPARE(restored.at(rel), bytes);
    }
    QCOMPARE(restored.at(QStringLiteral("media/operator-notes.txt")), notes);
}

void TestSimTar::missingMemberFinishesTheArchive()
{
    ControllerHarness h;
    QVERIFY(h.connect());
    QVERIFY(h.login());
    h.command("cd /");
    const QByteArray out = h.command("tar cvzf /media/config.tgz zel/*.conf media/nothing media/*.conf");
    QCOMPARE(h.status(), 1);
    QVERIFY(out.contains("tar: media/nothing: No such file or directory\r\n"));
    QVERIFY(out.endsWith("tar: error exit delayed from previous errors\r\n"));
    const auto members = readArchive(h.cardPath(QStringLiteral("media/config.tgz")));
    QCOMPARE(int(members.size()), 8);
}

void TestSimTar::extractBeforeRemountHitsReadOnlyZel()
{
    ControllerHarness h;
    QVERIFY(h.connect());
    QVERIFY(h.login());
    h.command("cd /");
    h.command(backupCommand);
    QCOMPARE(h.status(), 0);
    QFile::remove(h.cardPath(QStringLiteral("media/machine.conf")));
    const QByteArray out = h.command("tar xvzf /media/config.tgz");
    QVERIFY(h.status() != 0);
    QVERIFY(out.contains("tar: zel/laser.conf: Cannot open: Read-only file system\r\n"));
    QVERIFY(QFileInfo::exists(h.cardPath(QStringLiteral("media/machine.conf"))));
}

void TestSimTar::missingArchiveIsUnrecoverable()
{
    ControllerHarness h;
    QVERIFY(h.connect());
    QVERIFY(h.login());
    const QByteArray out = h.command("tar xvzf /media/config.tgz");
    QCOMPARE(out, QByteArray("tar: /media/config.tgz: Cannot open: No such file or directory\r\n"
                             "tar: Error is not recoverable: exiting now\r\n"));
    QCOMPARE(h.status(), 2);
}

void TestSimTar::hostileMembersStayOnTheCard()
{
    QTemporaryDir outside;
    const QByteArray out = QFile::encodeName(outside.path());
    ControllerHarness h;
    QVERIFY(writeArchive(h.cardPath(QStringLiteral("media/evil.tgz")),
                         {{"../escape.txt", AE_IFREG, "x"},
                          {"media/../../escape2.txt", AE_IFREG, "x"},
                          {out + "/abs.txt", AE_IFREG, "abs"},
                          {"media/esc", AE_IFLNK, out},
                          {"media/esc/through.txt", AE_IFREG, "through"},
                          {"media/up", AE_IFLNK, "../../../../.."},
                          {"media/up/up.txt", AE_IFREG, "up"},
                          {"media/ok.txt", AE_IFREG, "fine"},
                          {"media/hard1", hardLink, "../../../etc/passwd"},
                          {"media/hard2", hardLink, out + "/abs.txt"},
                          {"media/hard3", hardLink, "media/ok.txt"}}));
    QVERIFY(h.connect());
    QVERIFY(h.login());
    h.command("cd /");
    const QByteArray output = h.command("tar xvzf /media/evil.tgz");
    QVERIFY(h.status() != 0);
    QVERIFY(output.contains("tar: ../escape.txt: Member name contains '..'\r\n"));
    QVERIFY(output.contains("tar: media/../../escape2.txt: Member name contains '..'\r\n"));
    QVERIFY(output.contains("tar: Removing leading `/' from member names\r\n"));
    // Nothing outside the card was written; what did land is on the card.
    QCOMPARE(QDir(outside.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
    QVERIFY(!QFileInfo::exists(QDir(h.cardDir.path()).filePath(QStringLiteral("../escape.txt"))));
    QVERIFY(QFileInfo::exists(h.cardPath(QStringLiteral("media/ok.txt"))));
    QVERIFY(QFileInfo::exists(h.cardPath(QStringLiteral("up.txt"))));
    QVERIFY(QFileInfo::exists(h.cardPath(QString::fromLocal8Bit(out.mid(1) + "/abs.txt"))));
    QVERIFY(QFileInfo::exists(h.cardPath(QString::fromLocal8Bit(out.mid(1) + "/through.txt"))));
    // Hard links only ever join two files on the card.
    QVERIFY(output.contains("tar: media/hard1: Cannot hard link to '../../../etc/passwd'"));
    QVERIFY(!QFileInfo::exists(h.cardPath(QStringLiteral("media/hard1"))));
    QVERIFY(QFileInfo::exists(h.cardPath(QStringLiteral("media/hard2"))));  // to the card's copy of abs.txt
    QFile hard3(h.cardPath(QStringLiteral("media/hard3")));
    QVERIFY(hard3.open(QIODevice::ReadOnly));
    QCOMPARE(hard3.readAll(), QByteArray("fine"));
}

void TestSimTar::deepMembersAreRefusedAtOnce_data()
{
    QTest::addColumn<int>("depth");
    QTest::newRow("1000") << 1000;
    QTest::newRow("2000") << 2000;
}

void TestSimTar::deepMembersAreRefusedAtOnce()
{
    QFETCH(int, depth);
    QByteArray deep;
    for (int i = 0; i < depth; ++i)
        deep += "d/";
    ControllerHarness h;
    QVERIFY(writeArchive(h.cardPath(QStringLiteral("media/deep.tgz")),
                         {{deep + "f.txt", AE_IFREG, "deep"}, {"media/ok.txt", AE_IFREG, "fine"}}));
    QVERIFY(h.connect());
    QVERIFY(h.login());
    h.command("cd /");
    QElapsedTimer wall;
    wall.start();
    const QByteArray out = h.command("tar xvzf /media/deep.tgz");
    // Bounded work: walking such a tree member by member took over ten seconds.
    QVERIFY2(wall.elapsed() < 5000, QByteArray::number(wall.elapsed()).constData());
    QVERIFY(out.contains(": path too deep\r\n"));
    QVERIFY(out.contains("tar: d/d/d/"));
    QVERIFY(out.size() < 1000);  // the name is cut short
    QCOMPARE(h.status(), 1);
    QVERIFY(!QFileInfo::exists(h.cardPath(QStringLiteral("d"))));
    QVERIFY(QFileInfo::exists(h.cardPath(QStringLiteral("media/ok.txt"))));

    // Deep but within bounds still lands.
    QByteArray fine;
    for (int i = 0; i < 250; ++i)
        fine += "e/";
    QVERIFY(writeArchive(h.cardPath(QStringLiteral("media/fine.tgz")), {{fine + "f.txt", AE_IFREG, "deep"}}));
    wall.restart();
    h.command("tar xzf /media/fine.tgz");
    QVERIFY2(wall.elapsed() < 5000, QByteArray::number(wall.elapsed()).constData());
    QCOMPARE(h.status(), 0);
    QVERIFY(QFileInfo::exists(h.cardPath(QString::fromLatin1(fine + "f.txt"))));
}

QTEST_GUILESS_MAIN(TestSimTar)
#include "test_simtar.moc"
