#include "CommitOptions.h"

#include "PasswordStore.h"

#include "OptionsStore.h"
#include "platform/Desktop.h"
#include "platform/Paths.h"
#include "platform/Strings.h"

#include <QDir>

namespace {
void takeDialogValues(const OptionsDialogResult& result, Options& options)
{
    const Options& v = result.values;
    options.sourceMdbPath = v.sourceMdbPath;
    options.refdataMdbPath = v.refdataMdbPath;
    options.dxbaseDataFolder = v.dxbaseDataFolder;
    options.uploadAdifPath = v.uploadAdifPath;
    options.reportAdifPath = v.reportAdifPath;
    options.errorFilePath = v.errorFilePath;
    options.importedListPath = v.importedListPath;
    options.spareText = v.spareText;
    options.tqslFolder = v.tqslFolder;
    options.tqslExePath = v.tqslExePath;
    options.stations = v.stations;
    for (int k = 0; k < kSlotCount; ++k) {
        options.logins[k].loginCall = v.logins[k].loginCall;
        options.logins[k].passwordField = v.logins[k].passwordField;
        options.logins[k].passwordLoaded = v.logins[k].passwordLoaded;
    }
}

void takePasswords(const OptionsDialogResult& result, Options& options)
{
    for (int k = 0; k < kSlotCount; ++k) {
        LotwLogin& login = options.logins[k];
        const QString field = login.passwordField;
        if (field.startsWith(QLatin1String("**"))) {
            login.password = login.passwordLoaded; // the mask left as shown: unchanged
        } else if (!field.isEmpty()) {
            login.password = EncodePassword(field);
            login.passwordField = login.password;
        }
        // An empty field keeps the password in force.
        if (k > 0 && result.deleted[k])
            login.password.clear();
    }
}
}

QString SaveFailureText(const QString& path, const QString& reason)
{
    return QStringLiteral("The options could not be saved to %1: %2").arg(path, reason.isEmpty() ? QStringLiteral("the file could not be written") : reason);
}

bool RequiredEntryBlank(const Options& o)
{
    return o.sourceMdbPath.isEmpty() || o.refdataMdbPath.isEmpty() || o.uploadAdifPath.isEmpty()
           || o.reportAdifPath.isEmpty() || o.stations[0].oprCall.isEmpty() || o.stations[0].location.isEmpty()
           || o.logins[0].loginCall.isEmpty();
}

bool CommitOptions(OptionsDialogHost& dialog, const Paths& paths, Desktop& desktop, MessageBox& messages,
                   Options& options)
{
    std::array<bool, kSlotCount> inKeyring{};
    for (;;) {
        OptionsDialogResult result;
        // A cancel ends the program, at the first showing as after a blank required entry.
        if (!dialog.showOptionsDialog(result))
            return false;
        takeDialogValues(result, options);
        takePasswords(result, options);
        // A path the option files' code page cannot hold is refused before anything is saved.
        const QString outside = EntryOutsideFieldEncodingText(options);
        if (!outside.isEmpty()) {
            messages.show(outside);
            continue;
        }

        // Created before the first save, so that a first start keeps what was entered.
        QDir().mkpath(paths.dataFolder());
        QString reason;
        if (!SavePasswords(paths, desktop.keyring(), options, &reason, &inKeyring))
            messages.show(SaveFailureText(PasswordFilePath(paths), reason));
        desktop.pause(200);

        if (!RequiredEntryBlank(options))
            break;
        // Shown again: it loads the passwords just saved and "quorvane.dat" as it was.
        messages.show(Strings::text(Strings::RequiredBlank));
    }
    // The program goes on with the options as entered, whether or not they could be kept.
    // A password the keyring took is in no file: the options file's password field of its
    // login (which holds a password typed anew) is left empty.
    Options kept = options;
    for (int k = 0; k < kSlotCount; ++k) {
        if (inKeyring[std::size_t(k)])
            kept.logins[std::size_t(k)].passwordField.clear();
    }
    QString reason;
    if (!SaveOptionsFile(OptionsFilePath(paths), kept, &reason))
        messages.show(SaveFailureText(OptionsFilePath(paths), reason));
    return true;
}
