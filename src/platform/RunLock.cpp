#include "RunLock.h"

#include <QByteArrayList>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>

#include <cerrno>
#include <cstring>

#ifdef Q_OS_WIN
#include <string>
#include <vector>
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

const char kLockName[] = "quorvane.lock";
// A lock file is written under this name (with the writer's process number) and then linked
// into place.
const char kNewSuffix[] = ".new";

// Who a lock file names, as far as it can be read.
struct Owner
{
    bool named = false; // a process number could be read
    qint64 pid = 0;
    QString program;
    QString host;
    QByteArray hostId;
    QByteArray bootId;
    bool empty = true;
};

Owner parseOwner(const QByteArray& bytes)
{
    Owner owner;
    owner.empty = bytes.isEmpty();
    const QByteArrayList lines = bytes.split('\n');
    bool ok = false;
    const qint64 pid = lines.value(0).trimmed().toLongLong(&ok);
    if (!ok || pid <= 0)
        return owner;
    owner.named = true;
    owner.pid = pid;
    owner.program = QString::fromUtf8(lines.value(1));
    owner.host = QString::fromUtf8(lines.value(2));
    owner.hostId = lines.value(3);
    owner.bootId = lines.value(4);
    return owner;
}

bool sameHost(const Owner& owner)
{
    const QByteArray ourId = QSysInfo::machineUniqueId();
    if (!owner.hostId.isEmpty() && !ourId.isEmpty())
        return owner.hostId == ourId;
    return owner.host.isEmpty() || owner.host == QSysInfo::machineHostName();
}

QString nativePath(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

// A lock file that another process kept replacing while this one looked at it.
QString keptChangingText(const QString& path)
{
    return QStringLiteral("The run lock %1 could not be taken: it changed again and again while it was looked at. "
                          "Check that no other Quorvane window or quorvane-cli runs on this data folder. Nothing "
                          "was changed")
        .arg(nativePath(path));
}

#ifndef Q_OS_WIN
// The system's words for an error number.
QString systemText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}
#endif

// The line that says what a lock left behind held.
QString takeOverText(const Owner& owner, const QString& path)
{
    if (owner.empty)
        return QStringLiteral("An empty run lock %1 (left by a run that ended as it took the lock, or by a power "
                              "cut) was taken over.")
            .arg(nativePath(path));
    if (!owner.named)
        return QStringLiteral("A damaged run lock %1 (it names no process) was taken over.").arg(nativePath(path));
    return QStringLiteral("The run lock %1 of process %2%3, which no longer holds it (it ended without letting "
                          "go), was taken over.")
        .arg(nativePath(path))
        .arg(owner.pid)
        .arg(owner.program.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(owner.program));
}

QString heldText(const Owner& owner, const QString& path)
{
    if (owner.named)
        return QStringLiteral("Another Quorvane run is using this data folder (process %1)").arg(owner.pid);
    return QStringLiteral("Another Quorvane run is using this data folder: its run lock %1 is held, but does not "
                          "name its process yet. Check that no other Quorvane window or quorvane-cli runs on "
                          "this data folder, and try again")
        .arg(nativePath(path));
}

QString otherHostText(const Owner& owner, const QString& path)
{
    return QStringLiteral("Another Quorvane run, on the computer %1, is using this data folder (process %2). If "
                          "Quorvane no longer runs there, delete %3 and start again")
        .arg(owner.host.isEmpty() ? QStringLiteral("?") : owner.host)
        .arg(owner.pid)
        .arg(nativePath(path));
}

QString folderText(const QString& path)
{
    return QStringLiteral("%1 is a folder, not Quorvane's run lock: no run can start until it is moved away. "
                          "Nothing was changed")
        .arg(nativePath(path));
}

QString cannotWriteText(const QString& folder, int error)
{
#ifdef Q_OS_WIN
    const bool missing = error == ERROR_PATH_NOT_FOUND || error == ERROR_FILE_NOT_FOUND;
    const bool denied = error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT;
    const QString text = qt_error_string(error);
#else
    const bool missing = error == ENOENT || error == ENOTDIR;
    const bool denied = error == EACCES || error == EPERM || error == EROFS;
    const QString text = systemText(error);
#endif
    if (missing)
        return QStringLiteral("The data folder %1 does not exist: no run can start. Nothing was changed")
            .arg(nativePath(folder));
    if (denied)
        return QStringLiteral("The data folder %1 cannot be written (%2): no run can start. Nothing was changed")
            .arg(nativePath(folder), text);
    return QStringLiteral("The run lock cannot be written in the data folder %1 (%2): no run can start. Nothing "
                          "was changed")
        .arg(nativePath(folder), text);
}

QByteArray ownContents()
{
#ifdef Q_OS_WIN
    const qint64 pid = qint64(GetCurrentProcessId());
    wchar_t name[MAX_PATH];
    const DWORD size = GetModuleFileNameW(nullptr, name, MAX_PATH);
    const QString program = QFileInfo(QString::fromWCharArray(name, int(size))).fileName();
#else
    const qint64 pid = qint64(getpid());
    const QString program = QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).fileName();
#endif
    return QByteArray::number(pid) + '\n' + program.toUtf8() + '\n' + QSysInfo::machineHostName().toUtf8() + '\n'
           + QSysInfo::machineUniqueId() + '\n' + QSysInfo::bootUniqueId() + '\n';
}

QString newName(const QString& path, int attempt)
{
#ifdef Q_OS_WIN
    const qint64 pid = qint64(GetCurrentProcessId());
#else
    const qint64 pid = qint64(getpid());
#endif
    return path + QStringLiteral(".%1-%2").arg(pid).arg(attempt) + QLatin1String(kNewSuffix);
}

} // namespace

RunLock::RunLock(const QString& dataFolder)
    : m_folder(dataFolder), m_path(QDir(dataFolder).filePath(QLatin1String(kLockName)))
{
}

RunLock::~RunLock()
{
    release();
}

#ifndef Q_OS_WIN

namespace {

QByteArray readAll(int fd)
{
    QByteArray bytes;
    char buffer[512];
    while (bytes.size() < 4096) {
        const ssize_t n = ::pread(fd, buffer, sizeof buffer, off_t(bytes.size()));
        if (n <= 0)
            break;
        bytes.append(buffer, qsizetype(n));
    }
    return bytes;
}

bool writeAll(int fd, const QByteArray& bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            return false;
        }
        done += n;
    }
    return true;
}

// Removes lock files a run left half made (killed between writing one and linking it into
// place): nobody holds them any more.
void removeLeftovers(const QString& folder)
{
    const QDir dir(folder);
    const QStringList names =
        dir.entryList({QLatin1String(kLockName) + QStringLiteral(".*") + QLatin1String(kNewSuffix)}, QDir::Files | QDir::Hidden);
    for (const QString& name : names) {
        const QByteArray path = QFile::encodeName(dir.filePath(name));
        const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            ::unlink(path.constData());
        ::close(fd);
    }
}

} // namespace

bool RunLock::held() const
{
    return m_fd >= 0;
}

bool RunLock::acquire(QString& message)
{
    release();
    m_note.clear();
    const QByteArray lockPath = QFile::encodeName(m_path);
    const QByteArray contents = ownContents();
    for (int attempt = 0; attempt < 8; ++attempt) {
        // The lock is written whole, and locked, under a name of its own first (its process
        // number makes it this process's: one left by an ended process of the same number is
        // written over).
        const QByteArray newPath = QFile::encodeName(newName(m_path, attempt));
        const int fd = ::open(newPath.constData(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) {
            message = cannotWriteText(m_folder, errno);
            return false;
        }
        ::flock(fd, LOCK_EX | LOCK_NB);
        if (!writeAll(fd, contents) || ::fsync(fd) != 0) {
            const int error = errno;
            ::close(fd);
            ::unlink(newPath.constData());
            message = cannotWriteText(m_folder, error);
            return false;
        }
        // Linking fails when a lock is there: then it is looked at.
        const int linked = ::link(newPath.constData(), lockPath.constData());
        const int linkError = errno;
        ::unlink(newPath.constData());
        if (linked == 0) {
            m_fd = fd;
            removeLeftovers(m_folder);
            return true;
        }
        ::close(fd);
        if (linkError != EEXIST) {
            message = cannotWriteText(m_folder, linkError);
            return false;
        }

        struct stat there
        {
        };
        if (::lstat(lockPath.constData(), &there) != 0)
            continue; // gone meanwhile
        if (S_ISDIR(there.st_mode)) {
            // An empty folder in its place is no lock; one with something in it is the
            // operator's to look at.
            if (::rmdir(lockPath.constData()) == 0) {
                m_note = QStringLiteral("An empty folder %1 in the place of the run lock was removed.").arg(nativePath(m_path));
                continue;
            }
            message = folderText(m_path);
            return false;
        }
        const int other = ::open(lockPath.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (other < 0) {
            if (errno == ENOENT)
                continue;
            // A lock nobody can read (another user's) is refused, not removed.
            message = QStringLiteral("The run lock %1 cannot be read (%2): no run can start. Check that no other "
                                     "Quorvane window or quorvane-cli runs on this data folder, then delete it. "
                                     "Nothing was changed")
                          .arg(nativePath(m_path), systemText(errno));
            return false;
        }
        struct stat opened
        {
        };
        if (::fstat(other, &opened) != 0 || !S_ISREG(opened.st_mode)) {
            ::close(other);
            message = QStringLiteral("%1 is not a file (%2): no run can start until it is moved away. Nothing was "
                                     "changed")
                          .arg(nativePath(m_path), QStringLiteral("a pipe, a socket or a device"));
            return false;
        }
        const bool free = ::flock(other, LOCK_EX | LOCK_NB) == 0;
        const int flockError = errno;
        const Owner owner = parseOwner(readAll(other));
        if (!free && (flockError == EWOULDBLOCK || flockError == EAGAIN)) {
            ::close(other);
            message = heldText(owner, m_path);
            return false;
        }
        if (owner.named && !sameHost(owner)) {
            ::close(other);
            message = otherHostText(owner, m_path);
            return false;
        }
        if (!free) {
            // The file system keeps no such locks: the process it names decides.
            const bool running = owner.named && (::kill(pid_t(owner.pid), 0) == 0 || errno == EPERM)
                                 && (owner.bootId.isEmpty() || owner.bootId == QSysInfo::bootUniqueId());
            QString name;
            if (running) {
                const QString exe = QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(owner.pid));
                name = QFileInfo(exe.endsWith(QLatin1String(" (deleted)")) ? exe.chopped(10) : exe).fileName();
            }
            if (running && (name.isEmpty() || owner.program.isEmpty() || name == owner.program)) {
                ::close(other);
                message = heldText(owner, m_path);
                return false;
            }
        }
        // Left behind: taken away, but only while it is still the file just looked at (a run
        // that took it over meanwhile holds a new one).
        struct stat now
        {
        };
        if (::stat(lockPath.constData(), &now) == 0 && now.st_dev == opened.st_dev && now.st_ino == opened.st_ino)
            ::unlink(lockPath.constData());
        ::close(other);
        m_note = takeOverText(owner, m_path);
    }
    message = keptChangingText(m_path);
    return false;
}

void RunLock::release()
{
    if (m_fd < 0)
        return;
    // Removed while it is still held, and only while it is still this lock's own file.
    const QByteArray lockPath = QFile::encodeName(m_path);
    struct stat mine
    {
    };
    struct stat there
    {
    };
    if (::fstat(m_fd, &mine) == 0 && ::stat(lockPath.constData(), &there) == 0 && mine.st_dev == there.st_dev
        && mine.st_ino == there.st_ino)
        ::unlink(lockPath.constData());
    ::close(m_fd);
    m_fd = -1;
}

#else // Windows

namespace {

std::wstring wide(const QString& path)
{
    return QDir::toNativeSeparators(path).toStdWString();
}

QByteArray readShared(const std::wstring& path)
{
    // The owner lets others read its lock while it writes and holds it.
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return QByteArray();
    QByteArray bytes(4096, Qt::Uninitialized);
    DWORD read = 0;
    if (!ReadFile(h, bytes.data(), DWORD(bytes.size()), &read, nullptr))
        read = 0;
    CloseHandle(h);
    bytes.truncate(qsizetype(read));
    return bytes;
}

// Moves the open file to target, failing when something is there.
bool renameOpenFile(HANDLE h, const std::wstring& target);

// Removes lock files a run left half made (killed between writing one and renaming it into
// place); those a run is writing now can't be deleted.
void removeLeftovers(const QString& folder)
{
    const QDir dir(folder);
    const QStringList names =
        dir.entryList({QLatin1String(kLockName) + QStringLiteral(".*") + QLatin1String(kNewSuffix)}, QDir::Files | QDir::Hidden);
    for (const QString& name : names)
        DeleteFileW(wide(dir.filePath(name)).c_str());
}

bool renameOpenFile(HANDLE h, const std::wstring& target)
{
    const size_t bytes = sizeof(FILE_RENAME_INFO) + target.size() * sizeof(wchar_t);
    std::vector<char> buffer(bytes, 0);
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = FALSE;
    info->RootDirectory = nullptr;
    info->FileNameLength = DWORD(target.size() * sizeof(wchar_t));
    memcpy(info->FileName, target.c_str(), target.size() * sizeof(wchar_t));
    return SetFileInformationByHandle(h, FileRenameInfo, info, DWORD(bytes)) != 0;
}

} // namespace

bool RunLock::held() const
{
    return m_handle != nullptr;
}

bool RunLock::acquire(QString& message)
{
    release();
    m_note.clear();
    const std::wstring lockPath = wide(m_path);
    const QByteArray contents = ownContents();
    for (int attempt = 0; attempt < 8; ++attempt) {
        const std::wstring newPath = wide(newName(m_path, attempt));
        // Written whole under its own name, then renamed into place through the same handle:
        // the handle lets others read the lock but neither write nor delete it.
        HANDLE h = CreateFileW(newPath.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr,
                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            message = cannotWriteText(m_folder, int(GetLastError()));
            return false;
        }
        DWORD written = 0;
        if (!WriteFile(h, contents.constData(), DWORD(contents.size()), &written, nullptr)
            || written != DWORD(contents.size()) || !FlushFileBuffers(h)) {
            const int error = int(GetLastError());
            FILE_DISPOSITION_INFO gone{TRUE};
            SetFileInformationByHandle(h, FileDispositionInfo, &gone, sizeof gone);
            CloseHandle(h);
            message = cannotWriteText(m_folder, error);
            return false;
        }
        if (renameOpenFile(h, lockPath)) {
            m_handle = h;
            removeLeftovers(m_folder);
            return true;
        }
        const DWORD renameError = GetLastError();
        FILE_DISPOSITION_INFO gone{TRUE};
        SetFileInformationByHandle(h, FileDispositionInfo, &gone, sizeof gone);
        CloseHandle(h);
        if (renameError != ERROR_ALREADY_EXISTS && renameError != ERROR_FILE_EXISTS) {
            message = cannotWriteText(m_folder, int(renameError));
            return false;
        }

        const DWORD attributes = GetFileAttributesW(lockPath.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES)
            continue; // gone meanwhile
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (RemoveDirectoryW(lockPath.c_str())) {
                m_note = QStringLiteral("An empty folder %1 in the place of the run lock was removed.").arg(nativePath(m_path));
                continue;
            }
            message = folderText(m_path);
            return false;
        }
        const Owner owner = parseOwner(readShared(lockPath));
        if (owner.named && !sameHost(owner)) {
            message = otherHostText(owner, m_path);
            return false;
        }
        // A lock whose owner still runs is open without leave to delete it.
        if (DeleteFileW(lockPath.c_str())) {
            m_note = takeOverText(owner, m_path);
            continue;
        }
        const DWORD deleteError = GetLastError();
        if (deleteError == ERROR_FILE_NOT_FOUND)
            continue;
        if (deleteError == ERROR_SHARING_VIOLATION || deleteError == ERROR_ACCESS_DENIED) {
            message = heldText(owner, m_path);
            return false;
        }
        message = QStringLiteral("The run lock %1 cannot be taken over (%2): no run can start. Nothing was changed")
                      .arg(nativePath(m_path), qt_error_string(int(deleteError)));
        return false;
    }
    message = keptChangingText(m_path);
    return false;
}

void RunLock::release()
{
    if (!m_handle)
        return;
    HANDLE h = static_cast<HANDLE>(m_handle);
    FILE_DISPOSITION_INFO gone{TRUE};
    SetFileInformationByHandle(h, FileDispositionInfo, &gone, sizeof gone);
    CloseHandle(h);
    m_handle = nullptr;
}

#endif
