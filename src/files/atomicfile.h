#pragma once

#include <QByteArray>
#include <QString>

#include <initializer_list>

namespace qm {

// Replaces one file all or nothing. The content goes to a new file in the target's
// folder (so the final rename stays on one file system), which takes the target's name
// only after every write, the flush to disk and the close succeeded. Until then the
// old file is untouched, and a temporary that never became the target is removed.
// Failures keep the system's reason (errno), which is what the user can act on: a
// full disk, a file size limit, a missing permission.
//
// Through symbolic links (a chain too) the file they end at is replaced. A target that
// exists and is no regular file (a device, a FIFO) is written in place, never renamed
// over; so is a writable file in a folder that takes no new files, where it gets its
// old bytes back when the write fails. A file without write permission is refused, as
// an editor refuses it. Temporaries left by a run that was killed are removed by the
// next write of the same target.
class AtomicFile
{
public:
    explicit AtomicFile(const QString &target);
    ~AtomicFile();
    AtomicFile(const AtomicFile &) = delete;
    AtomicFile &operator=(const AtomicFile &) = delete;

    const QString &target() const { return m_target; }

    // Creates the temporary (or opens the target for writing in place). False when that
    // fails.
    bool open();
    // Each returns false once anything failed; the error is kept for errorString().
    bool write(const char *data, qint64 size);
    bool write(const QByteArray &data) { return write(data.constData(), data.size()); }
    bool writeUtf8(const QString &text);
    // Overwrites bytes already written, e.g. a table that is complete only at the end.
    bool writeAt(qint64 offset, const char *data, qint64 size);
    // Writes out what is buffered and syncs; the target is not touched yet (unless the
    // file is written in place).
    bool finish();
    // finish(), then the temporary takes the target's name.
    bool commit();

    // The target is written where it stands instead of being replaced.
    bool writesInPlace() const { return m_inPlace; }

    bool failed() const { return m_errno != 0; }
    // "The file <target> could not be opened: <reason>" when the temporary could not be
    // made, else "The file <target> could not be written: <reason>".
    QString errorString() const;
    // The system's text for the failure alone, e.g. "File too large".
    QString reason() const;

    // Commits files that belong together (a .bin and the .c that reads it): all are
    // finished first, then renamed; when a rename fails, the targets already replaced
    // get their previous content back, so either every target is new or none is. A
    // journal beside the first file records the files kept aside while the names
    // change hands; when the process dies midway, the next write of any of those
    // targets puts the previous files back, so the pair is never half new.
    // Returns the file that failed, or null when all were committed.
    static AtomicFile *commitAll(std::initializer_list<AtomicFile *> files);

    // For tests of a run that is killed while a pair changes hands: commitAll() ends the
    // process, cleaning up nothing, after this many renames (1 or more; 0: never).
    static void exitAfterRenamesForTesting(int renames);

private:
    bool fail(int errorNumber, bool opening = false);
    bool failWith(const QString &reasonText, bool opening);
    bool openInPlace(const QByteArray &path, bool regular);
    bool flushBuffer();
    bool writeOut(const char *data, qint64 size);
    bool renameOntoTarget();
    void restoreInPlace();
    void closeDescriptor();

    QString m_target;       // as the caller named it
    QString m_renameTo;     // the file replaced: where a chain of symbolic links ends
    QString m_tempPath;
    QString m_reasonText;   // a reason errno has no text for
    int m_fd = -1;
    int m_errno = 0;
    bool m_openFailed = false;
    bool m_committed = false;
    bool m_inPlace = false;
    bool m_seekable = true;     // in place: a device or FIFO is written once, at the end
    bool m_touched = false;     // in place: the target's bytes were changed
    qint64 m_length = 0;        // in place: bytes written so far
    QByteArray m_previous;      // in place, regular file: its bytes before the write
    QByteArray m_buffer;
};

// Follows `path` through every symbolic link to the file it ends at (which need not
// exist). False with *errorNumber set (ELOOP for a loop) when that cannot be done.
bool resolveSymbolicLinks(const QString &path, QString *resolved, int *errorNumber);

// Whether two paths name one file: the same place after symbolic links, or one file
// under two names (hard links).
bool isSameFile(const QString &a, const QString &b);

// Writes `text` as UTF-8 (no byte-order mark) in place of the file at `path`, all or
// nothing. On failure returns false and puts the message of AtomicFile::errorString()
// into *error.
bool writeUtf8File(const QString &path, const QString &text, QString *error);
bool writeWholeFile(const QString &path, const QByteArray &bytes, QString *error);

// Writes `text` as UTF-8 to an open descriptor (standard output), in pieces, so that no
// second copy of a large text is made. False with the system's reason on failure.
bool writeUtf8To(int fd, const QString &text, QString *reason);
// The same for bytes.
bool writeBytesTo(int fd, const QByteArray &bytes, QString *reason);

} // namespace qm
