#include "OptionsStore.h"

#include "FieldFile.h"
#include "platform/Desktop.h"
#include "platform/Paths.h"
#include "platform/Profile.h"
#include "platform/Strings.h"
#include "platform/TqslLocator.h"

#include "platform/Errors.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cerrno>
#include <functional>

namespace {
// The fields of "quorvane.dat" in file order.
std::array<QString*, kOptionsFieldCount> optionsFields(Options& o)
{
    return {&o.logins[0].passwordField, &o.logins[1].passwordField, &o.logins[2].passwordField,
            &o.logins[3].passwordField, &o.uploadAdifPath,           &o.reportAdifPath,
            &o.stations[0].oprCall,     &o.stations[0].location,     &o.stations[1].oprCall,
            &o.stations[1].location,    &o.stations[2].oprCall,      &o.stations[2].location,
            &o.stations[3].oprCall,     &o.stations[3].location,     &o.stations[4].oprCall,
            &o.stations[4].location,    &o.logins[0].loginCall,      &o.logins[1].loginCall,
            &o.logins[2].loginCall,     &o.logins[3].loginCall,      &o.logins[4].loginCall,
            &o.logins[4].passwordField, &o.sourceMdbPath,            &o.refdataMdbPath,
            &o.dxbaseDataFolder};
}

// Writes a state file through a temporary file that replaces the old one only when complete.
bool writeStateFile(const QString& path, const std::function<bool(QIODevice&)>& write, QString* reason)
{
    QSaveFile file(path);
    errno = 0;
    const auto failed = [&] {
        if (reason)
            *reason = FileErrorText(file, errno);
        file.cancelWriting();
        return false;
    };
    if (!file.open(QIODevice::WriteOnly))
        return failed();
#ifndef Q_OS_WIN
    // The files hold the LoTW passwords in a reversible form: keep them from other users.
    if (!file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return failed();
#endif
    if (!WriteNumberLine(file, 1) || !write(file))
        return failed();
    if (!file.commit()) {
        if (reason)
            *reason = FileErrorText(file, errno);
        return false;
    }
#ifndef Q_OS_WIN
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
#endif
    return true;
}

QString separatorOf(const Paths& paths)
{
    return paths.join(QStringLiteral("a"), QStringLiteral("b")).mid(1, 1);
}

bool isWhiteSpace(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\r') || c == QLatin1Char('\n')
           || c == QLatin1Char('\v') || c == QLatin1Char('\f');
}
}

QString OptionsFilePath(const Paths& paths) { return paths.join(paths.dataFolder(), QStringLiteral("quorvane.dat")); }
QString PasswordFilePath(const Paths& paths) { return paths.join(paths.dataFolder(), QStringLiteral("quorvane3.dat")); }
QString QslDateFilePath(const Paths& paths) { return paths.join(paths.dataFolder(), QStringLiteral("quorvane2.dat")); }
QString DefaultUploadAdifPath(const Paths& paths) { return paths.join(paths.dataFolder(), QStringLiteral("LoTWUpload.adi")); }
QString DefaultReportAdifPath(const Paths& paths) { return paths.join(paths.dataFolder(), QStringLiteral("lotwreport.adi")); }
QString ErrorFilePath(const Paths& paths) { return paths.join(paths.dataFolder(), QStringLiteral("SemiQuorvaneErrors.txt")); }
QString ImportedListPath(const Paths& paths)
{
    return paths.join(paths.dataFolder(), QStringLiteral("SemiQuorvaneImportedQSOs.txt"));
}

QString DxbaseSettingsPath(const Paths& paths)
{
    const QString folder = paths.windowsDirectory();
    if (folder.isEmpty())
        return QString();
    return paths.join(folder, QStringLiteral("Dxb2007.ini"));
}

QString EncodePassword(const QString& typed)
{
    const QByteArray bytes = typed.left(kMaxPasswordLength).toLatin1();
    QString encoded;
    encoded.reserve(bytes.size() * 3);
    for (char c : bytes) {
        encoded += QLatin1Char('%');
        encoded += QStringLiteral("%1").arg(static_cast<unsigned char>(c), 2, 16, QLatin1Char('0'));
    }
    return encoded;
}

QString PasswordMask(const QString& encoded)
{
    const int length = encoded.size();
    if (length < 12 || length % 3 != 0 || encoded.startsWith(QLatin1String("**")))
        return QString();
    return QString(length / 3, QLatin1Char('*'));
}

bool LoadOptionsFile(const QString& path, Options& options, int* damagedAt)
{
    int at = -1;
    const auto fail = [&] {
        if (damagedAt)
            *damagedAt = at;
        return false;
    };
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail();
    at = 0;
    if (!ReadNumberLine(file))
        return fail();
    for (QString* field : optionsFields(options)) {
        ++at;
        if (!ReadField(file, *field))
            return fail();
    }
    return true;
}

bool LoadPasswordFile(const QString& path, std::array<QString, kSlotCount>& passwords, int* damagedAt)
{
    int at = -1;
    const auto fail = [&] {
        if (damagedAt)
            *damagedAt = at;
        return false;
    };
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail();
    at = 0;
    if (!ReadNumberLine(file))
        return fail();
    for (QString& password : passwords) {
        ++at;
        if (!ReadField(file, password))
            return fail();
    }
    QString reserved;
    for (int i = kSlotCount; i < kPasswordFieldCount; ++i) {
        ++at;
        if (!ReadField(file, reserved))
            return fail();
    }
    return true;
}

QString DamagedFileText(const QString& path, int damagedAt)
{
    const QString name = QFileInfo(path).fileName();
    if (damagedAt <= 0)
        return QStringLiteral("%1 is damaged (its first line)").arg(name);
    return QStringLiteral("%1 is damaged (field %2)").arg(name).arg(damagedAt);
}

bool SaveOptionsFile(const QString& path, const Options& options, QString* reason)
{
    Options copy = options;
    return writeStateFile(path, [&copy](QIODevice& file) {
        for (QString* field : optionsFields(copy)) {
            if (!WriteField(file, *field))
                return false;
        }
        return true;
    }, reason);
}

bool SavePasswordFile(const QString& path, const Options& options, QString* reason)
{
    return writeStateFile(path, [&options](QIODevice& file) {
        for (const LotwLogin& login : options.logins) {
            if (!WriteField(file, login.password))
                return false;
        }
        for (int i = kSlotCount; i < kPasswordFieldCount; ++i) {
            if (!WriteField(file, QString()))
                return false;
        }
        return true;
    }, reason);
}

void ReadDxbaseDataPath(const Paths& paths, const Profile& profile, Options& options)
{
    const QString settings = DxbaseSettingsPath(paths);
    options.sourceMdbPath = settings.isEmpty()
                                ? QString()
                                : profile.readString(settings, QStringLiteral("Dir"), QStringLiteral("DATAPATH"), QString());
    const int cut = options.sourceMdbPath.lastIndexOf(QLatin1Char('\\'));
    options.dxbaseDataFolder = cut < 0 ? QString() : options.sourceMdbPath.left(cut);
}

void ReadDxbaseProgramPath(const Paths& paths, const Profile& profile, Options& options)
{
    const QString settings = DxbaseSettingsPath(paths);
    const QString programFolder = settings.isEmpty()
                                      ? QString()
                                      : profile.readString(settings, QStringLiteral("Dir"), QStringLiteral("PGMPATH"), QString());
    // DXbase writes Windows paths; keep its backslash when the folder is written that way. No
    // program folder known: no path is suggested (not "Refdata.mdb" at the file system's root).
    const QString separator = programFolder.contains(QLatin1Char('\\')) ? QStringLiteral("\\") : separatorOf(paths);
    options.refdataMdbPath = programFolder.trimmed().isEmpty() ? QString()
                                                               : programFolder + separator + QStringLiteral("Refdata.mdb");
    options.errorFilePath = ErrorFilePath(paths);
    options.uploadAdifPath = DefaultUploadAdifPath(paths);
    options.reportAdifPath = DefaultReportAdifPath(paths);
    options.importedListPath = ImportedListPath(paths);
}

void ReadTqslInstallPath(const TqslLocator& locator, MessageBox* messages, Options& options)
{
    const TqslInstall install = locator.locate();
    options.tqslFolder.clear();
    if (!install.keyFound) {
        if (messages)
            messages->show(Strings::text(Strings::TqslNotFound));
    } else {
        options.tqslFolder = install.folder;
    }
    options.tqslExePath = locator.programPath(options.tqslFolder);
}

QString GetSourceMdbPath(const Options& options) { return options.sourceMdbPath; }
QString GetRefdataMdbPath(const Options& options) { return options.refdataMdbPath; }

QString CutTrailingWhiteSpace(const QString& text)
{
    int end = text.size();
    while (end > 0 && isWhiteSpace(text.at(end - 1)))
        --end;
    return text.left(end);
}

bool LoadOptionsForBatch(const Paths& paths, const Profile& profile, const TqslLocator& locator, Options& options,
                         QString* problem)
{
    const QString optionsFile = OptionsFilePath(paths);
    const bool present = QFileInfo::exists(optionsFile);
    if (!present) {
        ReadDxbaseDataPath(paths, profile, options);
        ReadDxbaseProgramPath(paths, profile, options);
    }
    int damagedAt = -1;
    const bool loaded = LoadOptionsFile(optionsFile, options, &damagedAt);
    if (present && !loaded && problem)
        *problem = damagedAt >= 0 ? DamagedFileText(optionsFile, damagedAt)
                                  : QStringLiteral("%1 cannot be read").arg(optionsFile);
    options.errorFilePath = ErrorFilePath(paths);
    options.importedListPath = ImportedListPath(paths);
    options.sourceMdbPath = CutTrailingWhiteSpace(options.sourceMdbPath);
    options.refdataMdbPath = CutTrailingWhiteSpace(options.refdataMdbPath);
    options.uploadAdifPath = CutTrailingWhiteSpace(options.uploadAdifPath);
    ReadTqslInstallPath(locator, nullptr, options);
    options.tqslFolder = CutTrailingWhiteSpace(options.tqslFolder);
    options.tqslExePath = locator.programPath(options.tqslFolder);
    options.reportAdifPath = CutTrailingWhiteSpace(options.reportAdifPath);

    std::array<QString, kSlotCount> passwords;
    int passwordsDamagedAt = -1;
    if (!LoadPasswordFile(PasswordFilePath(paths), passwords, &passwordsDamagedAt) && passwordsDamagedAt >= 0
        && problem && problem->isEmpty())
        *problem = DamagedFileText(PasswordFilePath(paths), passwordsDamagedAt);
    for (int k = 0; k < kSlotCount; ++k) {
        options.logins[k].passwordLoaded = passwords[k];
        options.logins[k].password = passwords[k];
    }
    return loaded;
}
