#include "settings/SafeSave.h"

#include "settings/UserFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSaveFile>
#include <QTemporaryFile>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <unistd.h>
#endif

Q_LOGGING_CATEGORY(lcSave, "kx.settings.save")

namespace kx {
namespace {

bool fail(const QString& path, const QString& why, QString* error)
{
    const QString text = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), why);
    qCWarning(lcSave).noquote() << "not saved:" << text;
    if (error)
        *error = text;
    return false;
}

} // namespace

bool isReadOnly(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return false;
    // The mode bits, not the effective access: that is what an administrator sees too.
    constexpr QFileDevice::Permissions anyWrite =
        QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    return !info.isWritable() || !(info.permissions() & anyWrite);
}

bool saveFile(const QString& path, const QByteArray& bytes, QString* error)
{
    return saveFile(path, bytes, error, nullptr);
}

bool saveFile(const QString& path, const QByteArray& bytes, QString* error, SaveFailure* stage)
{
    SaveFailure ignored = SaveFailure::None;
    SaveFailure& at = stage ? *stage : ignored;
    // Until the temporary file is open, any refusal means the file could not be created.
    at = SaveFailure::Create;
    // The rename at the end would put a regular file where a device, FIFO or socket stood
    // (as root even /dev/null); writing into one instead would never give a whole copy.
    if (const QString kind = notARegularFile(path); !kind.isEmpty())
        return fail(path, kind, error);
    if (isReadOnly(path))
        return fail(path, QStringLiteral("the file is read-only"), error);
    const QFileInfo info(path);
    if (!info.absoluteDir().exists())
        return fail(path, QStringLiteral("the folder does not exist"), error);

    QSaveFile file(path);
    // Writing in place would lose the old content on the first failed write.
    file.setDirectWriteFallback(false);
    // Unbuffered, so a full disk or a size limit is reported by the write that meets it; a
    // buffered small file would only be written inside commit(), where such a failure is lost.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return fail(path, file.errorString(), error);
    at = SaveFailure::Write;
    for (qsizetype done = 0; done < bytes.size();) {
        const qint64 n = file.write(bytes.constData() + done, bytes.size() - done);
        if (n <= 0) {
            const QString why = file.errorString();
            file.cancelWriting();
            return fail(path, why.isEmpty() ? QStringLiteral("write failed") : why, error);
        }
        done += n;
    }
#ifdef Q_OS_UNIX
    // Space the file system only promised (delayed allocation, network folders) is claimed
    // here; a failure now still leaves the old file in place.
    if (::fsync(file.handle()) != 0) {
        const QString why = QString::fromLocal8Bit(std::strerror(errno));
        file.cancelWriting();
        return fail(path, why, error);
    }
#endif
    if (!file.commit())
        return fail(path, file.errorString(), error);
    at = SaveFailure::None;
    return true;
}

bool saveNewFile(const QString& path, const QByteArray& bytes, QString* error)
{
    const QFileInfo info(path);
    const auto taken = [&] {
        return fail(path, QStringLiteral("already exists; nothing was overwritten"), error);
    };
    if (info.exists() || info.isSymLink())
        return taken();
    if (!info.absoluteDir().exists())
        return fail(path, QStringLiteral("the folder does not exist"), error);
    QTemporaryFile file(
        info.absoluteDir().filePath(QStringLiteral(".%1.XXXXXX").arg(info.fileName())));
    if (!file.open())
        return fail(path, file.errorString(), error);
    for (qsizetype done = 0; done < bytes.size();) {
        const qint64 n = file.write(bytes.constData() + done, bytes.size() - done);
        if (n <= 0)
            return fail(path,
                        file.errorString().isEmpty() ? QStringLiteral("write failed")
                                                     : file.errorString(),
                        error);
        done += n;
    }
    if (!file.flush())
        return fail(path, file.errorString(), error);
#ifdef Q_OS_UNIX
    if (::fsync(file.handle()) != 0)
        return fail(path, QString::fromLocal8Bit(std::strerror(errno)), error);
#endif
    // Readable as any file the user makes; a temporary file is the owner's alone.
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                        QFileDevice::ReadOther);
    // The rename never replaces a file that appeared meanwhile: Qt refuses an existing name
    // (on Linux in the one system call), and the temporary file is then removed.
    if (!file.rename(path))
        return QFileInfo::exists(path) ? taken() : fail(path, file.errorString(), error);
    file.setAutoRemove(false);
    return true;
}

namespace {

// Writes all of bytes to file from where it stands and syncs it; false with why.
bool writeAndSync(QFile& file, const QByteArray& bytes, QString* why)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const qint64 n = file.write(bytes.constData() + done, bytes.size() - done);
        if (n <= 0) {
            *why =
                file.errorString().isEmpty() ? QStringLiteral("write failed") : file.errorString();
            return false;
        }
        done += n;
    }
#ifdef Q_OS_UNIX
    if (::fsync(file.handle()) != 0) {
        *why = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
#else
    if (!file.flush()) {
        *why = file.errorString();
        return false;
    }
#endif
    return true;
}

} // namespace

std::optional<QString> saveNewFile(const QString& folder, const QString& stem, const QString& ext,
                                   const QByteArray& bytes, QString* error)
{
    if (!QDir().mkpath(folder)) {
        fail(folder, QStringLiteral("the folder cannot be made"), error);
        return std::nullopt;
    }
    // Far more than writers in one second; a folder that refuses every name refuses for
    // another reason, said by the last open.
    constexpr int MostNames = 1000;
    QString why;
    for (int n = 1; n <= MostNames; ++n) {
        const QString path = QDir(folder).filePath(
            n == 1 ? stem + ext : QStringLiteral("%1-%2%3").arg(stem).arg(n).arg(ext));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered)) {
            why = file.errorString();
            if (QFileInfo::exists(path) || QFileInfo(path).isSymLink())
                continue;
            fail(path, why, error);
            return std::nullopt;
        }
        if (!writeAndSync(file, bytes, &why)) {
            file.close();
            file.remove();
            fail(path, why, error);
            return std::nullopt;
        }
        file.close();
        if (file.error() != QFileDevice::NoError) {
            why = file.errorString();
            file.remove();
            fail(path, why, error);
            return std::nullopt;
        }
        return path;
    }
    fail(QDir(folder).filePath(stem + ext), why, error);
    return std::nullopt;
}

bool appendWhole(const QString& path, const QByteArray& bytes, QString* error)
{
    if (const QString kind = notARegularFile(path); !kind.isEmpty())
        return fail(path, kind, error);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return fail(path, file.errorString(), error);
    const qint64 before = file.size();
    QString why;
    if (!writeAndSync(file, bytes, &why)) {
        // A cut line would break every line after it.
        if (!file.resize(before))
            why += QStringLiteral("; the part written could not be taken back");
        file.close();
        return fail(path, why, error);
    }
    file.close();
    if (file.error() != QFileDevice::NoError)
        return fail(path, file.errorString(), error);
    return true;
}

bool keepBackup(const QString& path, const QString& backup, QString* error)
{
    if (!QFileInfo::exists(path) || QFileInfo::exists(backup))
        return true;
    const auto bytes = readUserFile(path, SettingsFileLimit, error);
    if (!bytes) {
        if (error)
            qCWarning(lcSave).noquote() << "no backup:" << *error;
        return false;
    }
    return saveFile(backup, *bytes, error);
}

} // namespace kx
