// The members a controller's tar listed, picked out of what its shell
// printed while tar ran; and the doubts that keep a backup from counting.
#include "workflow/tar_listing.h"

#include <QtTest>

using Lines = QList<QByteArray>;

namespace {
const QByteArray kTar = "tar cvzf /media/config.tgz zel/*.conf media/*.conf media/profiles media/sequences media/prv_bmp";
const QByteArray kTarShort = "tar cvzf /media/config.tgz zel/*.conf media/*.conf ";
const QByteArray kPrompt = "root@laser:/# ";
// A terminal 80 columns wide breaks the echo behind the prompt there.
const QByteArray kWrapped1 = kPrompt + kTar.left(80 - kPrompt.size());
const QByteArray kWrapped2 = kTar.mid(80 - kPrompt.size());
const QString kStrange = QStringLiteral("while its tar packed, the laser printed a line that is neither a file it packed "
                                        "nor the shell's own: \"%1\"");
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
        QTest::newRow("an echo wrapped at the terminal's width is no member")
            << kTar << Lines{kWrapped1, kWrapped2, "zel/a.conf", kPrompt, kPrompt + "echo CMDVAL: $?", "CMDVAL: 0"}
            << QStringList{"zel/a.conf"};
        QTest::newRow("the status request typed ahead, echoed amid the listing")
            << kTar
            << Lines{kPrompt + kTar, "zel/a.conf", "echo CMDVAL: $?", "", "zel/b.conf", kPrompt + "echo CMDVAL: $?",
                     "CMDVAL: 0", kPrompt}
            << QStringList{"zel/a.conf", "zel/b.conf"};
        QTest::newRow("blanks, UTF-8, folders and a name ending in Handle stay as printed")
            << kTar
            << Lines{kPrompt + kTar, "media/profiles/Stahl d\xc3\xbcnn/", "media/profiles/Stahl d\xc3\xbcnn/s 1.prf",
                     "media/a  b.conf ", "media/\xe6\xbf\x80\xe5\x85\x89.conf", "media/profiles/Lost Handle",
                     "CMDVAL: 0"}
            << QStringList{QStringLiteral("media/profiles/Stahl dünn/"), QStringLiteral("media/profiles/Stahl dünn/s 1.prf"),
                           QStringLiteral("media/a  b.conf "), QStringLiteral("media/激光.conf"),
                           QStringLiteral("media/profiles/Lost Handle")};
        QTest::newRow("tar's messages and the firmware's complaints are no members")
            << kTar
            << Lines{kPrompt + kTar, "tar: removing leading '/' from member names", "zel/a.conf",
                     "laser.elf: Invalid Handle", "tftp: stale", "RFV: 1.2", "CMDVAL: 0"}
            << QStringList{"zel/a.conf"};
        QTest::newRow("the short command, echoed without its trailing blank")
            << kTarShort << Lines{kPrompt + kTarShort.trimmed(), "zel/a.conf", "media/machine.conf", "CMDVAL: 0"}
            << QStringList{"zel/a.conf", "media/machine.conf"};
        QTest::newRow("what came before the echo belongs to the step before")
            << kTar << Lines{"late output", "CMDVAL: 0", kPrompt + kTar, "zel/a.conf", "CMDVAL: 0"}
            << QStringList{"zel/a.conf"};
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
        const auto listing = tarvo::workflow::tarListing(printed, command);
        QCOMPARE(listing.doubt, QString());
        QCOMPARE(listing.members, members);
    }

    void linesThatCannotBeReadWithCertainty_data()
    {
        QTest::addColumn<Lines>("printed");
        QTest::addColumn<QString>("doubt");
        QTest::newRow("a line neither a member nor the shell's")
            << Lines{kPrompt + kTar, "zel/a.conf", "Segmentation fault", "CMDVAL: 0"} << kStrange.arg("Segmentation fault");
        QTest::newRow("a piece of a line cut short")
            << Lines{kPrompt + kTar, "zel/a.conf", "a.conf", "CMDVAL: 0"} << kStrange.arg("a.conf");
        QTest::newRow("a prompt of another shell")
            << Lines{kPrompt + kTar, "zel/a.conf", "sh-5.2# ", "CMDVAL: 0"} << kStrange.arg("sh-5.2# ");
        QTest::newRow("an echoing shell without the command's echo")
            << Lines{"zel/a.conf", kPrompt + "echo CMDVAL: $?", "CMDVAL: 0"}
            << QStringLiteral("the laser's shell echoed the tool's other commands but not its tar command, so the "
                              "list of the files it packed cannot be told apart from the shell's own lines");
        QTest::newRow("a listing that never reached its status")
            << Lines{kPrompt + kTar, "zel/a.conf"}
            << QStringLiteral("the list of the files the laser packed ended before its tar reported its exit status");
    }

    void linesThatCannotBeReadWithCertainty()
    {
        QFETCH(Lines, printed);
        QFETCH(QString, doubt);
        QCOMPARE(tarvo::workflow::tarListing(printed, kTar).doubt, doubt);
    }
};

QTEST_APPLESS_MAIN(TestTarListing)
#include "test_tar_listing.moc"
