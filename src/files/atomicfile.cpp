#include "files/atomicfile.h"
#include "files/utf8pieces.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qm {

namespace {

// Small writes (a glyph record at a time) are gathered into blocks of this size.
const int kBufferSize = 1 << 16;

// Written in place, a file's old bytes are held in memory to be put back on failure;
// far larger than any generated font.
const qint64 kMaxInPlaceSize = qint64(256) << 20;

// The kernel gives up after 40 links; so do we.
const int kMaxLinks = 40;

QByteArray nativePath(const QString &path)
{
    return QFile::encodeName(path);
}

QByteArray folderOf(const QByteArray &path)
{
    const int slash = path.lastIndexOf('/');
    return slash <= 0 ? QByteArray(slash == 0 ? "/" : ".") : path.left(slash);
}

QByteArray fileNameOf(const QByteArray &path)
{
    return path.mid(path.lastIndexOf('/') + 1);
}

// Every helper file of a target starts with this: short whatever the target's name is
// (a name near the 255-byte limit leaves no room for a longer one), hidden, and the
// same for every run, so that the next run finds what a killed one left.
QByteArray helperPrefix(const QByteArray &targetPath)
{
    quint32 hash = 2166136261u;   // FNV-1a
    for (const char c : fileNameOf(targetPath)) {
        hash ^= quint8(c);
        hash *= 16777619u;
    }
    return ".qm" + QByteArray::number(hash, 16).rightJustified(8, '0');
}

// A helper file beside `targetPath` that no other file has, created and locked; the
// lock tells later runs that a live process owns it. The descriptor is returned in
// *fd, or -1 with errno set.
QByteArray createHelper(const QByteArray &targetPath, const char *suffix, int *fd)
{
    const QByteArray base = folderOf(targetPath) + '/' + helperPrefix(targetPath) + '.';
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray candidate =
            base + QByteArray::number(QRandomGenerator::global()->generate(), 36) + suffix;
        *fd = ::open(candidate.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (*fd >= 0) {
            ::flock(*fd, LOCK_EX | LOCK_NB);
            return candidate;
        }
        if (errno != EEXIST)
            return QByteArray();
    }
    return QByteArray();
}

// Whether a live process holds the helper file open (and locked).
bool isOwned(const QByteArray &path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return true;   // gone, or not ours to judge
    const bool owned = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    ::close(fd);
    return owned;
}

bool writeFully(int fd, const char *data, qint64 size, int *errorNumber)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(size));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            *errorNumber = errno;
            return false;
        }
        if (n == 0) {
            *errorNumber = ENOSPC;
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

bool pwriteFully(int fd, const char *data, qint64 size, qint64 offset, int *errorNumber)
{
    while (size > 0) {
        const ssize_t n = ::pwrite(fd, data, size_t(size), off_t(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            *errorNumber = n < 0 ? errno : ENOSPC;
            return false;
        }
        data += n;
        size -= n;
        offset += n;
    }
    return true;
}

bool readAll(int fd, QByteArray *out)
{
    char block[1 << 16];
    for (;;) {
        const ssize_t n = ::read(fd, block, sizeof block);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        out->append(block, int(n));
    }
}

// The journal of a pair being committed: which target got which file kept aside.
// An empty kept name: the target did not exist before.
struct JournalEntry {
    QByteArray target;
    QByteArray kept;
};

const char kJournalMagic[] = "quillmark pair journal 1";
const char kJournalEnd[] = "end";
// Two paths a file; anything larger is no journal of ours.
const qint64 kMaxJournalSize = 64 << 10;

QByteArray journalBytes(const std::vector<JournalEntry> &entries)
{
    QByteArray bytes(kJournalMagic);
    bytes += '\0';
    for (const JournalEntry &e : entries)
        bytes += e.target + '\0' + e.kept + '\0';
    bytes += kJournalEnd;
    bytes += '\0';
    return bytes;
}

// False for a journal cut short: its writer died before any name changed hands.
bool parseJournal(const QByteArray &bytes, std::vector<JournalEntry> *entries)
{
    const QList<QByteArray> fields = bytes.split('\0');
    // The last field is what follows the final separator: empty.
    if (fields.size() < 3 || fields.first() != kJournalMagic || fields.last() != QByteArray()
        || fields.at(fields.size() - 2) != kJournalEnd || (fields.size() - 3) % 2 != 0)
        return false;
    for (int i = 1; i + 1 < fields.size() - 2; i += 2)
        entries->push_back({fields.at(i), fields.at(i + 1)});
    return true;
}

// Puts back the files a journal kept aside; the targets that did not exist before go.
void rollBack(const std::vector<JournalEntry> &entries)
{
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        if (it->kept.isEmpty()) {
            ::unlink(it->target.constData());
            continue;
        }
        struct stat kept;
        if (::lstat(it->kept.constData(), &kept) != 0)
            continue;   // never made (nothing changed hands yet), or put back already
        // A kept second name of the target itself makes rename() do nothing.
        ::rename(it->kept.constData(), it->target.constData());
        ::unlink(it->kept.constData());
    }
}

// Whether a journal's target is this one, whichever way either reached the folder.
bool isSameTarget(const QByteArray &a, const QByteArray &b)
{
    if (fileNameOf(a) != fileNameOf(b))
        return false;
    struct stat sa, sb;
    return a == b
        || (::stat(folderOf(a).constData(), &sa) == 0 && ::stat(folderOf(b).constData(), &sb) == 0
            && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino);
}

// Before a target is written: a pair left half replaced by a run that died is put
// back, and the temporaries and kept files such runs left of this target are removed.
// Files a live run holds are left alone.
// A helper file this user may judge: a regular file of their own (in a shared folder,
// another user's files are not ours to remove or to follow).
bool isOwnRegularFile(int fd)
{
    struct stat st;
    return ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid();
}

bool isOwnRegularFile(const QByteArray &path)
{
    struct stat st;
    return ::lstat(path.constData(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid();
}

// A journal only ever names files in its own folder; one that names others was not
// written by this program and is left alone.
bool staysInFolder(const std::vector<JournalEntry> &entries, const QByteArray &journalPath)
{
    for (const JournalEntry &e : entries) {
        if (!isSameTarget(folderOf(journalPath) + '/' + fileNameOf(e.target), e.target))
            return false;
        if (!e.kept.isEmpty()
            && (!isSameTarget(folderOf(journalPath) + '/' + fileNameOf(e.kept), e.kept)
                || !fileNameOf(e.kept).startsWith(".qm") || !e.kept.endsWith(".old")))
            return false;
    }
    return true;
}

void cleanUpAfterKilledRuns(const QByteArray &targetPath)
{
    const QByteArray folder = folderOf(targetPath);
    const QByteArray prefix = helperPrefix(targetPath);
    DIR *dir = ::opendir(folder.constData());
    if (!dir)
        return;
    std::vector<QByteArray> journals, ours;
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (!name.startsWith(".qm"))
            continue;
        if (name.endsWith(".pair"))
            journals.push_back(folder + '/' + name);
        else if (name.startsWith(prefix + '.') && (name.endsWith(".tmp") || name.endsWith(".old")))
            ours.push_back(folder + '/' + name);
    }
    ::closedir(dir);

    // Kept files named by journals that stay: compared by name, all are in this folder.
    std::vector<QByteArray> stillKept;
    for (const QByteArray &journal : journals) {
        const int fd = ::open(journal.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (fd < 0)
            continue;
        struct stat st;
        if (!isOwnRegularFile(fd) || ::fstat(fd, &st) != 0 || st.st_size > kMaxJournalSize) {
            ::close(fd);
            continue;
        }
        const bool live = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
        QByteArray bytes;
        const bool read = readAll(fd, &bytes);
        std::vector<JournalEntry> entries;
        const bool complete = read && parseJournal(bytes, &entries);
        bool concernsUs = false;
        for (const JournalEntry &e : entries)
            concernsUs = concernsUs || isSameTarget(e.target, targetPath);
        if (!live && complete && concernsUs && staysInFolder(entries, journal)) {
            rollBack(entries);
            ::unlink(journal.constData());
        } else if (!live && read && !complete) {
            // Cut short while it was written: no name had changed hands yet.
            ::unlink(journal.constData());
        } else {
            for (const JournalEntry &e : entries)
                stillKept.push_back(fileNameOf(e.kept));
        }
        ::close(fd);
    }
    for (const QByteArray &path : ours) {
        if (!isOwnRegularFile(path))
            continue;
        if (path.endsWith(".old")) {
            if (std::find(stillKept.begin(), stillKept.end(), fileNameOf(path)) == stillKept.end())
                ::unlink(path.constData());
        } else if (!isOwned(path)) {
            ::unlink(path.constData());
        }
    }
}

// Whether the user lets this file be written. Root may write anything, but a file
// without any write permission was made read-only on purpose.
bool mayWrite(const QByteArray &path, const struct stat &st, QString *why, int *errorNumber)
{
    if ((st.st_mode & 0222) == 0) {
        *why = QStringLiteral("it is read-only");
        return false;
    }
    if (::access(path.constData(), W_OK) != 0) {
        *errorNumber = errno;
        return false;
    }
    return true;
}

} // namespace

namespace {

// /dev/stdout ends at /proc/self/fd/1, a link the kernel makes up ("pipe:[4242]" is
// no path): it names the descriptor itself.
bool isDescriptorLink(const QByteArray &path)
{
    static const QRegularExpression pattern(QStringLiteral("^/proc/(self|thread-self|\\d+)/fd/\\d+$"));
    return pattern.match(QString::fromLatin1(path)).hasMatch();
}

} // namespace

bool resolveSymbolicLinks(const QString &path, QString *resolved, int *errorNumber)
{
    QByteArray current = nativePath(QFileInfo(path).absoluteFilePath());
    for (int links = 0;; ++links) {
        struct stat st;
        if (isDescriptorLink(current) || ::lstat(current.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
            break;
        if (links == kMaxLinks) {
            *errorNumber = ELOOP;
            return false;
        }
        QByteArray target(int(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
        const ssize_t n = ::readlink(current.constData(), target.data(), size_t(target.size()));
        if (n < 0) {
            *errorNumber = errno;
            return false;
        }
        target.truncate(int(n));
        current = target.startsWith('/') ? target : folderOf(current) + '/' + target;
    }
    *resolved = QFile::decodeName(current);
    return true;
}

bool isSameFile(const QString &a, const QString &b)
{
    QString ra, rb;
    int error = 0;
    if (!resolveSymbolicLinks(a, &ra, &error) || !resolveSymbolicLinks(b, &rb, &error))
        return false;
    if (QDir::cleanPath(ra) == QDir::cleanPath(rb))
        return true;
    struct stat sa, sb;
    return ::stat(nativePath(ra).constData(), &sa) == 0 && ::stat(nativePath(rb).constData(), &sb) == 0
        && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

AtomicFile::AtomicFile(const QString &target) : m_target(target)
{
}

AtomicFile::~AtomicFile()
{
    if (!m_committed && m_inPlace)
        restoreInPlace();
    // The temporary goes while its lock is held, so no other run mistakes it for one
    // left behind.
    if (!m_committed && !m_tempPath.isEmpty())
        ::unlink(nativePath(m_tempPath).constData());
    closeDescriptor();
}

void AtomicFile::closeDescriptor()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

bool AtomicFile::fail(int errorNumber, bool opening)
{
    if (m_errno == 0) {
        m_errno = errorNumber != 0 ? errorNumber : EIO;
        m_openFailed = opening;
    }
    return false;
}

bool AtomicFile::failWith(const QString &reasonText, bool opening)
{
    if (m_errno == 0)
        m_reasonText = reasonText;
    return fail(EPERM, opening);
}

bool AtomicFile::open()
{
    QString resolved;
    int error = 0;
    if (!resolveSymbolicLinks(m_target, &resolved, &error))
        return fail(error, true);
    const QByteArray path = nativePath(resolved);
    m_renameTo = resolved;

    struct stat existing;
    const bool exists = ::stat(path.constData(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode))
        return fail(EISDIR, true);
    // A device or a FIFO is what the user writes to; putting a file in its place would
    // break it (and /dev/full would report success). A descriptor (/dev/stdout) is
    // written where it stands as well.
    if (exists && (!S_ISREG(existing.st_mode) || isDescriptorLink(path)))
        return openInPlace(path, false);
    if (exists) {
        QString why;
        if (!mayWrite(path, existing, &why, &error))
            return why.isEmpty() ? fail(error, true) : failWith(why, true);
    }

    cleanUpAfterKilledRuns(path);
    const QByteArray temp = createHelper(path, ".tmp", &m_fd);
    if (m_fd < 0) {
        error = errno;
        // The folder takes no new file, but the file itself may be written; its old
        // bytes are kept in memory meanwhile, which a font file's size allows.
        if (exists && (error == EACCES || error == EPERM || error == EROFS)
            && existing.st_size <= kMaxInPlaceSize)
            return openInPlace(path, true);
        return fail(error, true);
    }
    m_tempPath = QFile::decodeName(temp);
    // A replaced file keeps its permissions and, where allowed, its owner; a new one
    // gets the usual ones (umask).
    if (exists) {
        ::fchmod(m_fd, existing.st_mode & 07777);
        if (::fchown(m_fd, existing.st_uid, existing.st_gid) != 0)
            ::fchmod(m_fd, existing.st_mode & 0777);
    }
    m_buffer.reserve(kBufferSize);
    return true;
}

bool AtomicFile::openInPlace(const QByteArray &path, bool regular)
{
    m_inPlace = true;
    m_seekable = regular;
    if (regular) {
        // Its bytes are kept, to be put back if the write fails halfway.
        m_fd = ::open(path.constData(), O_RDWR | O_CLOEXEC);
        if (m_fd < 0)
            return fail(errno, true);
        if (!readAll(m_fd, &m_previous) || ::lseek(m_fd, 0, SEEK_SET) != 0)
            return fail(errno, true);
    } else {
        // Opening a FIFO waits for its reader, as the shell's redirection does.
        m_fd = ::open(path.constData(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
        if (m_fd < 0)
            return fail(errno, true);
    }
    m_buffer.reserve(kBufferSize);
    return true;
}

bool AtomicFile::writeOut(const char *data, qint64 size)
{
    int error = 0;
    m_touched = true;
    if (!writeFully(m_fd, data, size, &error))
        return fail(error);
    m_length += size;
    return true;
}

bool AtomicFile::flushBuffer()
{
    // A device or FIFO cannot go back for the header of a table: all of it waits here.
    if (m_buffer.isEmpty() || (m_inPlace && !m_seekable))
        return true;
    const bool ok = writeOut(m_buffer.constData(), m_buffer.size());
    m_buffer.resize(0);
    return ok;
}

bool AtomicFile::write(const char *data, qint64 size)
{
    if (failed() || m_fd < 0)
        return fail(EBADF);
    if ((m_inPlace && !m_seekable) || m_buffer.size() + size <= kBufferSize) {
        if (m_buffer.size() + size > std::numeric_limits<int>::max() - 32)
            return fail(EFBIG);
        m_buffer.append(data, int(size));
        return true;
    }
    if (!flushBuffer())
        return false;
    if (size < kBufferSize) {
        m_buffer.append(data, int(size));
        return true;
    }
    return writeOut(data, size);
}

bool AtomicFile::writeUtf8(const QString &text)
{
    return forEachUtf8Piece(text, [this](const char *data, qint64 size) { return write(data, size); });
}

bool AtomicFile::writeAt(qint64 offset, const char *data, qint64 size)
{
    if (failed() || m_fd < 0)
        return fail(EBADF);
    if (m_inPlace && !m_seekable) {
        if (offset < 0 || offset + size > m_buffer.size())
            return fail(EINVAL);
        std::memcpy(m_buffer.data() + offset, data, size_t(size));
        return true;
    }
    if (!flushBuffer())
        return false;
    int error = 0;
    m_touched = true;
    return pwriteFully(m_fd, data, size, offset, &error) || fail(error);
}

bool AtomicFile::finish()
{
    if (failed())
        return false;
    if (m_fd < 0)
        return !m_tempPath.isEmpty() || m_committed || fail(EBADF);
    if (m_inPlace && !m_seekable) {
        const QByteArray all = std::exchange(m_buffer, QByteArray());
        return writeOut(all.constData(), all.size());
    }
    if (!flushBuffer())
        return false;
    // What an earlier, longer content left after the new end goes.
    if (m_inPlace && ::ftruncate(m_fd, off_t(m_length)) != 0)
        return fail(errno);
    // Some file systems only report a full disk when the data reach it; and without
    // the sync a crash right after the rename could leave an empty file in its place.
    if (::fsync(m_fd) != 0 && errno != EINVAL && errno != EROFS)
        return fail(errno);
    return true;
}

void AtomicFile::restoreInPlace()
{
    if (!m_inPlace || !m_seekable || !m_touched || m_fd < 0)
        return;
    int error = 0;
    if (pwriteFully(m_fd, m_previous.constData(), m_previous.size(), 0, &error))
        ::ftruncate(m_fd, off_t(m_previous.size()));
    ::fsync(m_fd);
    m_touched = false;
}

bool AtomicFile::renameOntoTarget()
{
    if (m_inPlace) {
        m_committed = true;
        closeDescriptor();
        return true;
    }
    if (::rename(nativePath(m_tempPath).constData(), nativePath(m_renameTo).constData()) != 0)
        return fail(errno);
    m_committed = true;
    // Held open until now: the lock tells other runs the temporary is not left over.
    closeDescriptor();
    return true;
}

bool AtomicFile::commit()
{
    return finish() && renameOntoTarget();
}

QString AtomicFile::reason() const
{
    return m_reasonText.isEmpty() ? qt_error_string(m_errno) : m_reasonText;
}

QString AtomicFile::errorString() const
{
    return (m_openFailed ? QStringLiteral("The file %1 could not be opened: %2")
                         : QStringLiteral("The file %1 could not be written: %2"))
        .arg(m_target, reason());
}

namespace {

int g_exitAfterRenames = -1;

// The journal goes to disk, folder entry and all, before any name changes hands.
bool writeJournal(const QByteArray &path, int fd, const QByteArray &bytes, int *errorNumber)
{
    if (!writeFully(fd, bytes.constData(), bytes.size(), errorNumber))
        return false;
    if (::fsync(fd) != 0 && errno != EINVAL) {
        *errorNumber = errno;
        return false;
    }
    const int dir = ::open(folderOf(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

} // namespace

void AtomicFile::exitAfterRenamesForTesting(int renames)
{
    g_exitAfterRenames = renames;
}

AtomicFile *AtomicFile::commitAll(std::initializer_list<AtomicFile *> files)
{
    std::vector<AtomicFile *> replaced, inPlace;
    for (AtomicFile *file : files)
        (file->m_inPlace ? inPlace : replaced).push_back(file);
    // Nothing changes until every replacement is complete on disk.
    for (AtomicFile *file : replaced) {
        if (!file->finish())
            return file;
    }
    // Files written in place (a device, a folder that takes no new files) change now;
    // when one fails, those already written get their old bytes back.
    const auto undoInPlace = [&inPlace] {
        for (AtomicFile *file : inPlace)
            file->restoreInPlace();
    };
    for (AtomicFile *file : inPlace) {
        if (!file->finish()) {
            undoInPlace();
            return file;
        }
    }
    if (replaced.empty()) {
        for (AtomicFile *file : inPlace)
            file->renameOntoTarget();
        return nullptr;
    }

    // The previous content of each replaced target is kept under a second name until
    // all are in place; the journal names them first, so that a run killed anywhere in
    // between is undone by the next one.
    std::vector<JournalEntry> entries;
    for (AtomicFile *file : replaced) {
        JournalEntry entry{nativePath(file->m_renameTo), QByteArray()};
        struct stat existing;
        // A folder in the target's place makes the rename fail; it is no file to keep.
        if (::stat(entry.target.constData(), &existing) == 0 && !S_ISDIR(existing.st_mode)) {
            int fd = -1;
            entry.kept = createHelper(entry.target, ".old", &fd);
            if (fd < 0) {
                file->fail(errno);
                undoInPlace();
                return file;
            }
            ::close(fd);
            ::unlink(entry.kept.constData());
        }
        entries.push_back(entry);
    }
    AtomicFile *first = replaced.front();
    int journalFd = -1;
    const QByteArray journal = createHelper(entries.front().target, ".pair", &journalFd);
    int error = journalFd < 0 ? errno : 0;
    const auto abandon = [&](AtomicFile *file, int errorNumber) {
        rollBack(entries);
        if (!journal.isEmpty())
            ::unlink(journal.constData());
        if (journalFd >= 0)
            ::close(journalFd);
        file->fail(errorNumber);
        undoInPlace();
        return file;
    };
    if (journalFd < 0 || !writeJournal(journal, journalFd, journalBytes(entries), &error))
        return abandon(first, error);

    for (size_t i = 0; i < replaced.size(); ++i) {
        const JournalEntry &entry = entries[i];
        if (!entry.kept.isEmpty() && ::link(entry.target.constData(), entry.kept.constData()) != 0
            && ::rename(entry.target.constData(), entry.kept.constData()) != 0)
            return abandon(replaced[i], errno);
    }
    for (AtomicFile *file : replaced) {
        if (::rename(nativePath(file->m_tempPath).constData(), nativePath(file->m_renameTo).constData()) != 0) {
            const int renameError = errno;
            // The ones renamed already are not committed after all: theirs are the
            // targets the journal puts back.
            for (AtomicFile *done : replaced) {
                if (done->m_committed) {
                    done->m_committed = false;
                    done->m_tempPath.clear();
                }
            }
            return abandon(file, renameError);
        }
        file->m_committed = true;
        if (g_exitAfterRenames > 0 && --g_exitAfterRenames == 0)
            ::_exit(0);
    }
    // Every target is new: the journal goes first, then what it kept.
    ::unlink(journal.constData());
    ::close(journalFd);
    for (const JournalEntry &entry : entries) {
        if (!entry.kept.isEmpty())
            ::unlink(entry.kept.constData());
    }
    for (AtomicFile *file : files) {
        file->m_committed = true;
        file->closeDescriptor();
    }
    return nullptr;
}

namespace {

template <typename Write>
bool replaceFile(const QString &path, QString *error, Write write)
{
    AtomicFile file(path);
    if (file.open() && write(file) && file.commit())
        return true;
    if (error)
        *error = file.errorString();
    return false;
}

} // namespace

bool writeWholeFile(const QString &path, const QByteArray &bytes, QString *error)
{
    return replaceFile(path, error, [&bytes](AtomicFile &file) { return file.write(bytes); });
}

bool writeUtf8File(const QString &path, const QString &text, QString *error)
{
    return replaceFile(path, error, [&text](AtomicFile &file) { return file.writeUtf8(text); });
}

bool writeUtf8To(int fd, const QString &text, QString *reason)
{
    int error = 0;
    const bool ok = forEachUtf8Piece(text, [fd, &error](const char *data, qint64 size) {
        return writeFully(fd, data, size, &error);
    });
    if (!ok && reason)
        *reason = qt_error_string(error);
    return ok;
}

bool writeBytesTo(int fd, const QByteArray &bytes, QString *reason)
{
    int error = 0;
    const bool ok = writeFully(fd, bytes.constData(), bytes.size(), &error);
    if (!ok && reason)
        *reason = qt_error_string(error);
    return ok;
}

} // namespace qm
