// The members a controller's tar listed, picked out of what its shell
// printed while tar ran.
#include "workflow/tar_listing.h"

#include <QtTest>

using Lines = QList<QByteArray>;

namespace {
const QByteArray kTar = "tar cvzf /media/config.tgz zel/*.conf media/*.conf media/profiles media/sequences media/prv_bmp";
const QByteArray kTarShort = "tar cvzf /media/config.tgz zel/*.conf media/*.conf ";
const QByteArray kPrompt = "root@laser:/# ";
}  // namespace

class TestTarListing : public QObject {
    Q_OBJECT
private slots:
    void membersAsTarPrintsThem_data()
    {
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<Lines>("printed");
        QTest::addColumn<QStringList>("members");
        QTest::newRow("echo behind the prompt, status answered after tar")
            << kTar
            << Lines{kPrompt + kTar, "zel/laser.conf", "media/profiles/", kPrompt + "echo CMDVAL: $?", "CMDVAL: 0"}
            << QStringList{"zel/laser.conf", "media/profiles/"};
        QTest::newRow("the status request typed ahead, echoed amid the listing")
            << kTar
            << Lines{kPrompt + kTar, "zel/a.conf", "echo CMDVAL: $?", "", "zel/b.conf", kPrompt + "echo CMDVAL: $?",
                     "CMDVAL: 0", kPrompt}
            << QStringList{"zel/a.conf", "zel/b.conf"};
        QTest::newRow("blanks, UTF-8 and folders stay as printed")
            << kTar
            << Lines{kPrompt + kTar, "media/profiles/Stahl d\xc3\xbcnn/", "media/profiles/Stahl d\xc3\xbcnn/s 1.prf",
                     "media/a  b.conf ", "media/\xe6\xbf\x80\xe5\x85\x89.conf"}
            << QStringList{QStringLiteral("media/profiles/Stahl dünn/"), QStringLiteral("media/profiles/Stahl dünn/s 1.prf"),
                           QStringLiteral("media/a  b.conf "), QStringLiteral("media/激光.conf")};
        QTest::newRow("tar's messages and the firmware's complaints are no members")
            << kTar
            << Lines{kPrompt + kTar, "tar: removing leading '/' from member names", "zel/a.conf",
                     "laser.elf: Invalid Handle", "tftp: stale", "CMDVAL: sh: bad number"}
            << QStringList{"zel/a.conf"};
        QTest::newRow("the short command, echoed without its trailing blank")
            << kTarShort << Lines{kPrompt + kTarShort.trimmed(), "zel/a.conf", "media/machine.conf"}
            << QStringList{"zel/a.conf", "media/machine.conf"};
        QTest::newRow("what came before the echo belongs to the step before")
            << kTar << Lines{"late output", "CMDVAL: 0", kPrompt + kTar, "zel/a.conf"} << QStringList{"zel/a.conf"};
        QTest::newRow("a shell that echoes nothing") << kTar << Lines{"zel/a.conf", "CMDVAL: 0"}
                                                     << QStringList{"zel/a.conf"};
        QTest::newRow("nothing listed") << kTar << Lines{kPrompt + kTar, kPrompt + "echo CMDVAL: $?", "CMDVAL: 0"}
                                        << QStringList{};
    }

    void membersAsTarPrintsThem()
    {
        QFETCH(QByteArray, command);
        QFETCH(Lines, printed);
        QFETCH(QStringList, members);
        QCOMPARE(tarvo::workflow::tarListing(printed, command), members);
    }
};

QTEST_APPLESS_MAIN(TestTarListing)
#include "test_tar_listing.moc"
