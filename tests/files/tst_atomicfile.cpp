// The writer of every file the user gets: all or nothing, with the system's reason.
#include "files/atomicfile.h"
#include "filelimit.h"
#include "testfiles.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

using qmtest::filesIn;
using qmtest::readFile;
using qmtest::writeFile;

namespace {

bool isCharDevice(const QString &path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISCHR(st.st_mode);
}

// Runs `body` in a child process, as a run that may end without cleaning up; returns
// the child's exit status.
template <typename Body>
int inChild(Body body)
{
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(body());
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

} // namespace

class TestAtomicFile : public QObject
{
    Q_OBJECT

private slots:
    void writesUtf8()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("out.c"));
        QString error;
        QVERIFY(qm::writeUtf8File(path, QStringLiteral("/* 中 */\n"), &error));
        QCOMPARE(readFile(path), QByteArray("/* \xe4\xb8\xad */\n"));
        QVERIFY(!qm::writeUtf8File(dir.filePath(QStringLiteral("missing/out.c")), QStringLiteral("x"), &error));
        QCOMPARE(error, QStringLiteral("The file %1 could not be opened: No such file or directory")
                            .arg(dir.filePath(QStringLiteral("missing/out.c"))));
    }

    // Each encoding length at both of its ends, checked against bytes worked out by hand,
    // after sixteen ASCII characters and inside a run of Latin-1 ones (what is copied in
    // blocks must be ASCII alone).
    void utf8AtEveryLengthBoundary()
    {
        const ushort units[] = {0x7F, 0x80, 0x7FF, 0x800, 0xD7FF, 0xE000, 0xFFFF, 0xD800, 0xDC00, 0xDBFF, 0xDFFF};
        QString text = QString(16, QLatin1Char('a')) + QChar(0xE9) + QString(15, QLatin1Char('b'));
        for (ushort u : units)
            text += QChar(u);
        QByteArray expected = QByteArray(16, 'a') + "\xC3\xA9" + QByteArray(15, 'b');
        expected += "\x7F" "\xC2\x80" "\xDF\xBF" "\xE0\xA0\x80" "\xED\x9F\xBF" "\xEE\x80\x80" "\xEF\xBF\xBF"
                    "\xF0\x90\x80\x80" "\xF4\x8F\xBF\xBF";   // U+10000 and U+10FFFF from their pairs
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("edges.c"));
        QString error;
        QVERIFY2(qm::writeUtf8File(path, text, &error), qPrintable(error));
        QCOMPARE(readFile(path), expected);
    }

    // Large texts are written in pieces; every kind of character, including pairs that
    // straddle a piece's end and lone surrogates, comes out as QString::toUtf8() gives it.
    void utf8MatchesQtAcrossPieces()
    {
        const QString pair = QString::fromUtf8("\xF0\x9F\x98\x80");
        QString text;
        for (int i = 0; text.size() < 900000; ++i) {
            text += QStringLiteral("0x3f,0x00,  //..@@..\n/* 中 */ ÅßЖ ");
            if (i % 97 == 0)
                text += pair;
            if (i % 1013 == 0)
                text += QChar(0xDC00) + QStringLiteral("x");   // a low half alone
        }
        // Pieces are 2^18 units, one more when a pair would be cut. So: a pair across the
        // first end (the first piece takes one unit more), a high half alone as the last
        // unit of the second piece, and a pair across the third end.
        const int firstEnd = (1 << 18) - 1, secondEnd = 1 << 19, thirdEnd = 3 << 18;
        text.replace(firstEnd, 2, pair);
        text.replace(secondEnd, 2, QString(QChar(0xD800)) + QLatin1Char('x'));
        text.replace(thirdEnd, 2, pair);
        QVERIFY(text.at(firstEnd).isHighSurrogate() && text.at(firstEnd + 1).isLowSurrogate());
        QVERIFY(text.at(thirdEnd).isHighSurrogate() && text.at(thirdEnd + 1).isLowSurrogate());
        text += QChar(0xD800);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("big.c"));
        QString error;
        QVERIFY2(qm::writeUtf8File(path, text, &error), qPrintable(error));
        QVERIFY(readFile(path) == text.toUtf8());
    }

    // A symbolic link is written through: the file it names gets the text, the link stays.
    void writesThroughASymbolicLink()
    {
        QTemporaryDir dir;
        const QString real = dir.filePath(QStringLiteral("real.c"));
        const QString link = dir.filePath(QStringLiteral("link.c"));
        writeFile(real, "old");
        QVERIFY(QFile::link(QStringLiteral("real.c"), link));
        QString error;
        QVERIFY2(qm::writeUtf8File(link, QStringLiteral("new"), &error), qPrintable(error));
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(readFile(real), QByteArray("new"));
        QCOMPARE(filesIn(dir.path()), (QStringList{QStringLiteral("link.c"), QStringLiteral("real.c")}));
    }

    // A full disk (here a file size limit): the old file stays whole, nothing else is
    // left behind, and the message gives the system's reason.
    void failureKeepsTheOldFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("keep.c"));
        writeFile(path, "previous run");
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
        const QString big(20000, QLatin1Char('x'));
        QString error;
        QVERIFY(!qmtest::withFileSizeLimit(8192, [&] { return qm::writeUtf8File(path, big, &error); }));
        QCOMPARE(error, QStringLiteral("The file %1 could not be written: File too large").arg(path));
        QCOMPARE(readFile(path), QByteArray("previous run"));
        QCOMPARE(filesIn(dir.path()), QStringList{QStringLiteral("keep.c")});

        // A limit the data reach only at the end, while the last buffered block goes out.
        QVERIFY(!qmtest::withFileSizeLimit(19999, [&] { return qm::writeUtf8File(path, big, &error); }));
        QCOMPARE(readFile(path), QByteArray("previous run"));

        QVERIFY(qm::writeUtf8File(path, big, &error));
        QCOMPARE(readFile(path), big.toUtf8());
        const QFile::Permissions ownerGroupOther(0xF0FF);
        QCOMPARE(QFile::permissions(path) & ownerGroupOther, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
    }

    // Two files that only work together are replaced together: when the second cannot
    // take its name, the first gets its old content back.
    void pairIsReplacedTogetherOrNotAtAll()
    {
        QTemporaryDir dir;
        const QString bin = dir.filePath(QStringLiteral("f.bin"));
        const QString c = dir.filePath(QStringLiteral("f.c"));
        writeFile(bin, "old bin");
        {
            qm::AtomicFile newBin(bin), newC(c);
            QVERIFY(newBin.open() && newC.open());
            QVERIFY(newBin.write("new bin") && newC.write("new c"));
            // The place of the .c is taken by a folder before the rename.
            QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("f.c")));
            QCOMPARE(qm::AtomicFile::commitAll({&newBin, &newC}), &newC);
            QCOMPARE(newC.errorString(), QStringLiteral("The file %1 could not be written: Is a directory").arg(c));
        }
        QCOMPARE(readFile(bin), QByteArray("old bin"));
        QCOMPARE(filesIn(dir.path()), (QStringList{QStringLiteral("f.bin"), QStringLiteral("f.c")}));

        QVERIFY(QDir(dir.path()).rmdir(QStringLiteral("f.c")));
        {
            qm::AtomicFile newBin(bin), newC(c);
            QVERIFY(newBin.open() && newC.open());
            QVERIFY(newBin.write("new bin") && newBin.writeAt(0, "N", 1) && newC.write("new c"));
            QCOMPARE(qm::AtomicFile::commitAll({&newBin, &newC}), static_cast<qm::AtomicFile *>(nullptr));
        }
        QCOMPARE(readFile(bin), QByteArray("New bin"));
        QCOMPARE(readFile(c), QByteArray("new c"));
        QCOMPARE(filesIn(dir.path()), (QStringList{QStringLiteral("f.bin"), QStringLiteral("f.c")}));
    }

    // A device or FIFO is written where it stands: it stays what it is, and its
    // failures are reported. Private device nodes stand in for /dev/null and /dev/full.
    void devicesAndFifosAreWrittenInPlace()
    {
        QTemporaryDir dir;
        const QString null = dir.filePath(QStringLiteral("null"));
        const QString full = dir.filePath(QStringLiteral("full"));
        if (::mknod(QFile::encodeName(null).constData(), S_IFCHR | 0666, makedev(1, 3)) != 0
            || ::mknod(QFile::encodeName(full).constData(), S_IFCHR | 0666, makedev(1, 7)) != 0)
            QSKIP("making device nodes needs root");
        const QString linkToFull = dir.filePath(QStringLiteral("link"));
        QVERIFY(QFile::link(full, linkToFull));
        QString error;
        QVERIFY2(qm::writeUtf8File(null, QStringLiteral("font"), &error), qPrintable(error));
        QVERIFY(!qm::writeUtf8File(full, QStringLiteral("font"), &error));
        QCOMPARE(error, QStringLiteral("The file %1 could not be written: No space left on device").arg(full));
        QVERIFY(!qm::writeUtf8File(linkToFull, QStringLiteral("font"), &error));
        QVERIFY(isCharDevice(null) && isCharDevice(full));
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
                 (QStringList{QStringLiteral("full"), QStringLiteral("link"), QStringLiteral("null")}));
        QVERIFY(QFileInfo(linkToFull).isSymLink());

        // A table whose header is written last reaches a FIFO whole and in order.
        const QString fifo = dir.filePath(QStringLiteral("fifo"));
        QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0666) == 0);
        QProcess reader;
        reader.start(QStringLiteral("cat"), {fifo});
        QVERIFY(reader.waitForStarted());
        {
            qm::AtomicFile file(fifo);
            QVERIFY(file.open());
            QVERIFY(file.writesInPlace());
            QVERIFY(file.write(QByteArray(4, '\0')) && file.write("body") && file.writeAt(0, "head", 4));
            QVERIFY(file.commit());
        }
        QVERIFY(reader.waitForFinished());
        QCOMPARE(reader.readAllStandardOutput(), QByteArray("headbody"));
    }

    // Links are followed to the end: the file is replaced, every link stays; a loop is
    // an error that creates nothing.
    void symbolicLinkChainsAndLoops()
    {
        QTemporaryDir dir;
        const QString real = dir.filePath(QStringLiteral("real.c"));
        writeFile(real, "old");
        QVERIFY(QFile::link(QStringLiteral("real.c"), dir.filePath(QStringLiteral("b"))));
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("b")), dir.filePath(QStringLiteral("a"))));
        QString error;
        QVERIFY2(qm::writeUtf8File(dir.filePath(QStringLiteral("a")), QStringLiteral("new"), &error), qPrintable(error));
        QCOMPARE(readFile(real), QByteArray("new"));
        QCOMPARE(QFileInfo(dir.filePath(QStringLiteral("a"))).symLinkTarget(), dir.filePath(QStringLiteral("b")));
        QCOMPARE(QFileInfo(dir.filePath(QStringLiteral("b"))).symLinkTarget(), real);

        // A link to a file not yet made makes it.
        QVERIFY(QFile::link(QStringLiteral("new.c"), dir.filePath(QStringLiteral("dangling"))));
        QVERIFY(qm::writeUtf8File(dir.filePath(QStringLiteral("dangling")), QStringLiteral("made"), &error));
        QCOMPARE(readFile(dir.filePath(QStringLiteral("new.c"))), QByteArray("made"));

        const QString loop = dir.filePath(QStringLiteral("x"));
        QVERIFY(QFile::link(QStringLiteral("y"), loop));
        QVERIFY(QFile::link(QStringLiteral("x"), dir.filePath(QStringLiteral("y"))));
        const QStringList before = filesIn(dir.path());
        QVERIFY(!qm::writeUtf8File(loop, QStringLiteral("x"), &error));
        QCOMPARE(error, QStringLiteral("The file %1 could not be opened: Too many levels of symbolic links").arg(loop));
        QCOMPARE(filesIn(dir.path()), before);
        QVERIFY(QFileInfo(loop).isSymLink());
    }

    // A read-only file is refused, even for root. A writable file in a folder that
    // takes no new files is written in place, and gets its bytes back when that fails.
    void filePermissionsDecideNotTheFolders()
    {
        QTemporaryDir dir;
        const QString locked = dir.filePath(QStringLiteral("locked.c"));
        writeFile(locked, "mine");
        QVERIFY(QFile::setPermissions(locked, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        QString error;
        QVERIFY(!qm::writeUtf8File(locked, QStringLiteral("new"), &error));
        QCOMPARE(error, QStringLiteral("The file %1 could not be opened: it is read-only").arg(locked));
        QCOMPARE(readFile(locked), QByteArray("mine"));

        // Root writes into any folder; an ordinary user (nobody) is what finds it closed.
        const QString folder = dir.filePath(QStringLiteral("closed"));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("closed")));
        const QString file = folder + QStringLiteral("/font.c");
        writeFile(file, "previous, longer content");
        QVERIFY(::chmod(QFile::encodeName(file).constData(), 0666) == 0);
        QVERIFY(::chmod(QFile::encodeName(folder).constData(), 0555) == 0);
        QVERIFY(::chmod(QFile::encodeName(dir.path()).constData(), 0755) == 0);
        const auto asUser = [&](const QString &text, rlim_t limit) {
            return inChild([&] {
                if (::getuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
                    return 3;
                return qmtest::withFileSizeLimit(limit, [&] {
                    return qm::writeUtf8File(file, text, nullptr) ? 0 : 1;
                });
            });
        };
        QCOMPARE(asUser(QString(100, QLatin1Char('y')), 50), 1);
        QCOMPARE(readFile(file), QByteArray("previous, longer content"));
        QCOMPARE(asUser(QStringLiteral("new"), RLIM_INFINITY), 0);
        QCOMPARE(readFile(file), QByteArray("new"));
        QCOMPARE(filesIn(folder), QStringList{QStringLiteral("font.c")});
    }

    // A name as long as the file system allows leaves no room for a longer temporary.
    void longestNameIsWritten()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QString(252, QLatin1Char('n')) + QStringLiteral(".c"));
        QString error;
        QVERIFY2(qm::writeUtf8File(path, QStringLiteral("x"), &error), qPrintable(error));
        QCOMPARE(readFile(path), QByteArray("x"));
    }

    // A run killed while writing leaves a temporary, one killed between the renames of
    // a pair a new .bin beside the old .c. The next write of that target removes the
    // one and puts the old pair back, and leaves a live run's temporary alone.
    void nextRunCleansUpAfterAKilledOne()
    {
        QTemporaryDir dir;
        const QString bin = dir.filePath(QStringLiteral("f.bin"));
        const QString c = dir.filePath(QStringLiteral("f.c"));
        writeFile(bin, "old bin");
        writeFile(c, "old c");
        const auto killedRun = [&](int renames) {
            return inChild([&] {
                qm::AtomicFile newBin(bin), newC(c);
                if (!newBin.open() || !newC.open() || !newBin.write("new bin") || !newC.write("new c"))
                    return 1;
                if (renames == 0)
                    ::_exit(0);
                qm::AtomicFile::exitAfterRenamesForTesting(renames);
                qm::AtomicFile::commitAll({&newBin, &newC});
                return 2;
            });
        };
        QCOMPARE(killedRun(0), 0);
        QCOMPARE(filesIn(dir.path()).size(), 4);   // two temporaries left
        QCOMPARE(killedRun(1), 0);
        QCOMPARE(readFile(bin), QByteArray("new bin"));
        QCOMPARE(readFile(c), QByteArray("old c"));

        // The next write of either puts the old pair back, and removes what was left.
        {
            qm::AtomicFile next(c);
            QVERIFY(next.open());
            QCOMPARE(readFile(bin), QByteArray("old bin"));
            QCOMPARE(readFile(c), QByteArray("old c"));
            // Two runs at once: the second leaves the first one's temporary alone.
            qm::AtomicFile other(c);
            QVERIFY(other.open());
            QVERIFY(next.write("next c") && next.commit());
            QVERIFY(other.write("other c") && other.commit());
        }
        QCOMPARE(readFile(c), QByteArray("other c"));
        QCOMPARE(filesIn(dir.path()), (QStringList{QStringLiteral("f.bin"), QStringLiteral("f.c")}));

        // A journal that names a file outside its folder is nothing this program wrote
        // (in a shared folder, someone else's bait): it is not followed.
        QTemporaryDir elsewhere;
        const QString victim = elsewhere.filePath(QStringLiteral("victim"));
        writeFile(victim, "safe");
        const QByteArray bait = QByteArray("quillmark pair journal 1") + '\0' + QFile::encodeName(c) + '\0'
            + QFile::encodeName(victim) + '\0' + "end" + '\0';
        writeFile(dir.filePath(QStringLiteral(".qm00000000.bait.pair")), bait);
        QVERIFY(qm::writeUtf8File(c, QStringLiteral("c again"), nullptr));
        QCOMPARE(readFile(victim), QByteArray("safe"));
        QCOMPARE(readFile(c), QByteArray("c again"));
    }
};

QTEST_GUILESS_MAIN(TestAtomicFile)
#include "tst_atomicfile.moc"
