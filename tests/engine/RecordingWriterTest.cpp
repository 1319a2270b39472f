// The capture file's writer: space reserve, existing files, failed writes.

#include "capture/engine/RecordingWriter.h"

#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

using namespace capture;

class RecordingWriterTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_folder;

    static int openFile(const QString& path) { return ::open(path.toLocal8Bit().constData(), O_WRONLY | O_CREAT, 0644); }

    static QByteArray contents(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private slots:
    void followsSeeksAndGivesTheReserveBack()
    {
        const QString path = m_folder.filePath("seek.bin");
        const int fd = openFile(path);
        RecordingWriter writer(fd);
        QCOMPARE(writer.write("HEADERxxxx", 10), RecordingWriter::Result::Written);
        QCOMPARE(writer.write("data", 4), RecordingWriter::Result::Written);
        writer.seek(0);
        QCOMPARE(writer.write("header", 6), RecordingWriter::Result::Written);
        writer.finish();
        struct stat info {};
        QCOMPARE(::fstat(fd, &info), 0);
        ::close(fd);
        QCOMPARE(writer.size(), std::uint64_t(14));
        QCOMPARE(contents(path), QByteArray("headerxxxxdata"));
        QVERIFY2(info.st_blocks * 512 < (1 << 20), "the reserve stayed allocated");
    }

    void replacesAnExistingFileOnlyOnceTheRecordingIsKept()
    {
        const QString path = m_folder.filePath("existing.bin");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("an earlier, longer recording");
        file.close();
        const int fd = openFile(path);
        {
            RecordingWriter failedStart(fd);
            QCOMPARE(failedStart.write("new", 3), RecordingWriter::Result::Written);
            QCOMPARE(failedStart.size(), std::uint64_t(3));
            failedStart.finish();
        }
        QCOMPARE(contents(path), QByteArray("an earlier, longer recording"));

        RecordingWriter writer(fd);
        writer.write("new", 3);
        writer.keep();
        QCOMPARE(contents(path), QByteArray("an earlier, longer recording"));
        writer.write(" one", 4);
        QCOMPARE(contents(path), QByteArray("new one"));
        writer.finish();
        ::close(fd);
        QCOMPARE(contents(path), QByteArray("new one"));
    }

    void stopsBeforeTheMuxerRunsOutOfIndex()
    {
        // The muxer can index 32 parts of 1 GB; past that, a file would hold pictures no reader
        // finds. A sparse file stands in for the 31 GB written so far.
        const QString path = m_folder.filePath("sparse.bin");
        const int fd = openFile(path);
        RecordingWriter writer(fd);
        QCOMPARE(writer.write("header", 6), RecordingWriter::Result::Written);
        writer.seek(RecordingWriter::kLargestSize - 10);
        QCOMPARE(writer.write("0123456789", 10), RecordingWriter::Result::Written);
        QVERIFY(!writer.reachedLargestSize());
        QCOMPARE(writer.write("x", 1), RecordingWriter::Result::Full);
        QVERIFY(writer.reachedLargestSize());
        ::close(fd);
        QFile::remove(path);
    }

    void aFullDiskLeavesRoomToCloseTheFile()
    {
        const QString disk = m_folder.filePath("disk");
        QVERIFY(QDir().mkpath(disk));
        if (::mount("tmpfs", disk.toLocal8Bit().constData(), "tmpfs", 0, "size=8m") != 0)
            QSKIP("mounting a small tmpfs needs root");
        const int fd = openFile(disk + "/full.bin");
        RecordingWriter writer(fd);
        const std::vector<char> chunk(256 * 1024, 'x');
        RecordingWriter::Result result = RecordingWriter::Result::Written;
        int chunks = 0;
        while (result == RecordingWriter::Result::Written && chunks < 100) {
            result = writer.write(chunk.data(), chunk.size());
            ++chunks;
        }
        QCOMPARE(result, RecordingWriter::Result::Full);
        // What is still in flight and the closing index both fit.
        QCOMPARE(writer.write(chunk.data(), chunk.size()), RecordingWriter::Result::Full);
        QCOMPARE(writer.write(chunk.data(), 64 * 1024), RecordingWriter::Result::Full);
        writer.seek(0);
        QCOMPARE(writer.write("header", 6), RecordingWriter::Result::Full);
        const std::uint64_t size = writer.size();
        writer.finish();
        ::close(fd);
        QCOMPARE(static_cast<std::uint64_t>(QFileInfo(disk + "/full.bin").size()), size);

        // Without a reserve, the write that fails is cut off and later appends are dropped.
        const int other = openFile(disk + "/second.bin");
        RecordingWriter second(other);
        while (second.write(chunk.data(), chunk.size()) != RecordingWriter::Result::Failed) {
        }
        const std::uint64_t whole = second.size();
        QCOMPARE(whole % chunk.size(), std::uint64_t(0));
        QCOMPARE(second.write("x", 1), RecordingWriter::Result::Failed);
        ::close(other);
        QCOMPARE(static_cast<std::uint64_t>(QFileInfo(disk + "/second.bin").size()), whole);
        ::umount2(disk.toLocal8Bit().constData(), MNT_DETACH);
    }
};

QTEST_GUILESS_MAIN(RecordingWriterTest)
#include "RecordingWriterTest.moc"
