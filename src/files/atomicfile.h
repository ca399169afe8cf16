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
class AtomicFile
{
public:
    explicit AtomicFile(const QString &target);
    ~AtomicFile();
    AtomicFile(const AtomicFile &) = delete;
    AtomicFile &operator=(const AtomicFile &) = delete;

    const QString &target() const { return m_target; }

    // Creates the temporary. False when that fails.
    bool open();
    // Each returns false once anything failed; the error is kept for errorString().
    bool write(const char *data, qint64 size);
    bool write(const QByteArray &data) { return write(data.constData(), data.size()); }
    bool writeUtf8(const QString &text);
    // Overwrites bytes already written, e.g. a table that is complete only at the end.
    bool writeAt(qint64 offset, const char *data, qint64 size);
    // Writes out what is buffered, syncs and closes the temporary; the target is
    // not touched yet.
    bool finish();
    // finish(), then the temporary takes the target's name.
    bool commit();

    bool failed() const { return m_errno != 0; }
    // "The file <target> could not be opened: <reason>" when the temporary could not be
    // made, else "The file <target> could not be written: <reason>".
    QString errorString() const;
    // The system's text for the failure alone, e.g. "File too large".
    QString reason() const;

    // Commits files that belong together (a .bin and the .c that reads it): all are
    // finished first, then renamed; when a rename fails, the targets already replaced
    // get their previous content back, so either every target is new or none is.
    // Returns the file that failed, or null when all were committed.
    static AtomicFile *commitAll(std::initializer_list<AtomicFile *> files);

private:
    bool fail(int errorNumber, bool opening = false);
    bool flushBuffer();
    bool renameOntoTarget();

    QString m_target;       // as the caller named it
    QString m_renameTo;     // the file replaced: a symbolic link's target
    QString m_tempPath;
    int m_fd = -1;
    int m_errno = 0;
    bool m_openFailed = false;
    bool m_committed = false;
    QByteArray m_buffer;
};

// Writes `text` as UTF-8 (no byte-order mark) in place of the file at `path`, all or
// nothing. On failure returns false and puts the message of AtomicFile::errorString()
// into *error.
bool writeUtf8File(const QString &path, const QString &text, QString *error);
bool writeWholeFile(const QString &path, const QByteArray &bytes, QString *error);

// Writes `text` as UTF-8 to an open descriptor (standard output), in pieces, so that no
// second copy of a large text is made. False with the system's reason on failure.
bool writeUtf8To(int fd, const QString &text, QString *reason);

} // namespace qm
