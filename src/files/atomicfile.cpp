#include "files/atomicfile.h"
#include "files/utf8pieces.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qm {

namespace {

// Small writes (a glyph record at a time) are gathered into blocks of this size.
const int kBufferSize = 1 << 16;

QByteArray nativePath(const QString &path)
{
    return QFile::encodeName(path);
}

// A name beside `path` that no other file has; the descriptor of the new file is
// returned in *fd, or -1 with errno set.
QString createBeside(const QString &path, const char *suffix, int *fd)
{
    const QFileInfo info(path);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString candidate = info.absolutePath() + QStringLiteral("/.") + info.fileName()
            + QLatin1Char('.') + QString::number(QRandomGenerator::global()->generate(), 36)
            + QLatin1String(suffix);
        *fd = ::open(nativePath(candidate).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (*fd >= 0)
            return candidate;
        if (errno != EEXIST)
            return QString();
    }
    return QString();
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

} // namespace

AtomicFile::AtomicFile(const QString &target) : m_target(target)
{
}

AtomicFile::~AtomicFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
    if (!m_committed && !m_tempPath.isEmpty())
        ::unlink(nativePath(m_tempPath).constData());
}

bool AtomicFile::fail(int errorNumber, bool opening)
{
    if (m_errno == 0) {
        m_errno = errorNumber != 0 ? errorNumber : EIO;
        m_openFailed = opening;
    }
    return false;
}

bool AtomicFile::open()
{
    // Through a symbolic link the file it names is replaced, not the link.
    QString path = m_target;
    const QFileInfo info(m_target);
    if (info.isSymLink() && !info.symLinkTarget().isEmpty())
        path = info.symLinkTarget();
    if (QFileInfo(path).isDir())
        return fail(EISDIR, true);
    m_tempPath = createBeside(path, ".tmp", &m_fd);
    if (m_fd < 0)
        return fail(errno, true);
    m_renameTo = path;
    // A replaced file keeps its permissions; a new one gets the usual ones (umask).
    struct stat existing;
    if (::stat(nativePath(path).constData(), &existing) == 0)
        ::fchmod(m_fd, existing.st_mode & 07777);
    m_buffer.reserve(kBufferSize);
    return true;
}

bool AtomicFile::flushBuffer()
{
    if (m_buffer.isEmpty())
        return true;
    int error = 0;
    const bool ok = writeFully(m_fd, m_buffer.constData(), m_buffer.size(), &error);
    m_buffer.resize(0);
    return ok || fail(error);
}

bool AtomicFile::write(const char *data, qint64 size)
{
    if (failed() || m_fd < 0)
        return fail(EBADF);
    if (m_buffer.size() + size <= kBufferSize) {
        m_buffer.append(data, int(size));
        return true;
    }
    if (!flushBuffer())
        return false;
    if (size < kBufferSize) {
        m_buffer.append(data, int(size));
        return true;
    }
    int error = 0;
    return writeFully(m_fd, data, size, &error) || fail(error);
}

bool AtomicFile::writeUtf8(const QString &text)
{
    return forEachUtf8Piece(text, [this](const char *data, qint64 size) { return write(data, size); });
}

bool AtomicFile::writeAt(qint64 offset, const char *data, qint64 size)
{
    if (failed() || m_fd < 0)
        return fail(EBADF);
    if (!flushBuffer())
        return false;
    while (size > 0) {
        const ssize_t n = ::pwrite(m_fd, data, size_t(size), off_t(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return fail(n < 0 ? errno : ENOSPC);
        data += n;
        size -= n;
        offset += n;
    }
    return true;
}

bool AtomicFile::finish()
{
    if (failed())
        return false;
    if (m_fd < 0)
        return !m_tempPath.isEmpty() || fail(EBADF);
    if (!flushBuffer())
        return false;
    // Some file systems only report a full disk when the data reach it; and without
    // the sync a crash right after the rename could leave an empty file in its place.
    if (::fsync(m_fd) != 0 && errno != EINVAL && errno != EROFS)
        return fail(errno);
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0 && errno != EINTR)
        return fail(errno);
    return true;
}

bool AtomicFile::renameOntoTarget()
{
    if (::rename(nativePath(m_tempPath).constData(), nativePath(m_renameTo).constData()) != 0)
        return fail(errno);
    m_committed = true;
    return true;
}

bool AtomicFile::commit()
{
    return finish() && renameOntoTarget();
}

QString AtomicFile::reason() const
{
    return qt_error_string(m_errno);
}

QString AtomicFile::errorString() const
{
    return (m_openFailed ? QStringLiteral("The file %1 could not be opened: %2")
                         : QStringLiteral("The file %1 could not be written: %2"))
        .arg(m_target, reason());
}

AtomicFile *AtomicFile::commitAll(std::initializer_list<AtomicFile *> files)
{
    for (AtomicFile *file : files) {
        if (!file->finish())
            return file;
    }
    // The previous content of each replaced target, kept until all are in place: a
    // second name for it where the file system allows, else the file moved aside.
    struct Previous {
        QByteArray target;
        QByteArray kept;   // empty: there was no file
    };
    std::vector<Previous> previous;
    auto restore = [&previous] {
        for (auto it = previous.rbegin(); it != previous.rend(); ++it) {
            if (it->kept.isEmpty())
                ::unlink(it->target.constData());
            else
                ::rename(it->kept.constData(), it->target.constData());
        }
    };
    for (AtomicFile *file : files) {
        Previous p{nativePath(file->m_renameTo), QByteArray()};
        struct stat existing;
        // A folder in the target's place makes the rename fail; it is no file to keep.
        if (::stat(p.target.constData(), &existing) == 0 && !S_ISDIR(existing.st_mode)) {
            int fd = -1;
            const QString aside = createBeside(file->m_renameTo, ".old", &fd);
            if (fd >= 0) {
                ::close(fd);
                p.kept = nativePath(aside);
                ::unlink(p.kept.constData());
                if (::link(p.target.constData(), p.kept.constData()) != 0
                    && ::rename(p.target.constData(), p.kept.constData()) != 0)
                    p.kept.clear();
            }
        }
        const bool renamed = file->renameOntoTarget();
        if (!renamed) {
            // The file moved aside goes back before the earlier ones are undone.
            if (!p.kept.isEmpty() && ::access(p.target.constData(), F_OK) != 0)
                ::rename(p.kept.constData(), p.target.constData());
            else if (!p.kept.isEmpty())
                ::unlink(p.kept.constData());
            restore();
            return file;
        }
        previous.push_back(p);
    }
    for (const Previous &p : previous) {
        if (!p.kept.isEmpty())
            ::unlink(p.kept.constData());
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

} // namespace qm
