#pragma once

#include "FieldFile.h"
#include "Options.h"

#include <QString>
#include <array>

class Keyring;
class MessageBox;
class Paths;
class Profile;
class TqslLocator;

// The option files of the data folder and the operations that fill and keep Options.
//
// "quorvane.dat": "1" CR LF, then 25 text fields (password fields of logins 1-4, the two ADIF
// paths, the five stations, the five login calls, the password field of login 5, the two
// database paths and the DXbase data folder). "quorvane3.dat": "1" CR LF, the five encoded
// passwords and five reserved empty fields. Each field is ended by the byte 0x05.

constexpr int kOptionsFieldCount = 25;
constexpr int kPasswordFieldCount = 10;
// The longest password kept: its encoded form (three characters for each) must fit a text
// field of the option files.
constexpr int kMaxPasswordLength = kMaxFieldLength / 3;

// Full paths of the program's state files in the data folder.
QString OptionsFilePath(const Paths& paths);   // quorvane.dat
QString PasswordFilePath(const Paths& paths);  // quorvane3.dat
QString QslDateFilePath(const Paths& paths);   // quorvane2.dat
// The fixed files of the data folder.
QString DefaultUploadAdifPath(const Paths& paths);  // LoTWUpload.adi
QString DefaultReportAdifPath(const Paths& paths);  // lotwreport.adi
QString ErrorFilePath(const Paths& paths);          // SemiQuorvaneErrors.txt
QString ImportedListPath(const Paths& paths);       // SemiQuorvaneImportedQSOs.txt
// The settings file of DXbase in the Windows directory; empty when that directory is unknown.
QString DxbaseSettingsPath(const Paths& paths);

// "%" and two lower-case hex digits for each character: "abc" -> "%61%62%63". The whole
// password is encoded (up to kMaxPasswordLength characters).
QString EncodePassword(const QString& typed);
// As many asterisks as the password has characters (4 or more); empty when its encoded length
// is under 12 or not a multiple of 3, or when it begins with "**".
QString PasswordMask(const QString& encoded);

// Read the files field by field into options and stop at the first field that fails; fields
// read before keep the file's values, the others keep theirs. True when every field was read.
// damagedAt, when given, tells where a file that opened failed: 0 for its first line, N for
// its N-th text field; -1 when the file could not be opened or loaded whole.
bool LoadOptionsFile(const QString& path, Options& options, int* damagedAt = nullptr);
// Fills the five encoded passwords (fields 1 to 5); the reserved fields are read and ignored.
bool LoadPasswordFile(const QString& path, std::array<QString, kSlotCount>& passwords, int* damagedAt = nullptr);
// Write the files whole (replacing the old one only when all was written). On Linux and macOS
// they are readable by their owner only. False when the file can't be opened or written;
// reason, when given, then holds the system's text for why ("No space left on device").
// An entry that the files' encoding cannot hold (a path with a character outside the ANSI
// code page on Windows) is not written as another path: nothing is written, and reason says so.
bool SaveOptionsFile(const QString& path, const Options& options, QString* reason = nullptr);
bool SavePasswordFile(const QString& path, const Options& options, QString* reason = nullptr);
// The operator's text for the first entry of "quorvane.dat" that the files' encoding cannot
// hold, naming the characters; empty when the encoding holds every entry (always where it is
// UTF-8).
QString EntryOutsideFieldEncodingText(const Options& options);

// The operator's text for a state file that opened but did not load whole: "quorvane.dat is
// damaged (field 7)", or "(its first line)" for damagedAt 0.
QString DamagedFileText(const QString& path, int damagedAt);

// Defaults from DXbase's settings file (section "Dir"): DATAPATH into sourceMdbPath and the
// part before its last backslash into dxbaseDataFolder.
void ReadDxbaseDataPath(const Paths& paths, const Profile& profile, Options& options);
// PGMPATH followed by "Refdata.mdb" into refdataMdbPath, and the fixed files of the data folder
// into the two ADIF paths, errorFilePath and importedListPath.
void ReadDxbaseProgramPath(const Paths& paths, const Profile& profile, Options& options);
// TQSL's install folder into tqslFolder and its program into tqslExePath. When TQSL can't be
// found, message 61455 (when messages is given) and an empty folder.
void ReadTqslInstallPath(const TqslLocator& locator, MessageBox* messages, Options& options);

QString GetSourceMdbPath(const Options& options);
QString GetRefdataMdbPath(const Options& options);

// Cuts trailing blanks, tabs, CR and LF.
QString CutTrailingWhiteSpace(const QString& text);

// Loads the options of a data folder without any dialog, as the dialog's initialisation does:
// DXbase defaults when "quorvane.dat" is missing, then "quorvane.dat", the fixed error file
// and imported-QSO list, TQSL's paths (no message) and the passwords of "quorvane3.dat", which
// become both the loaded and the passwords in force. True when "quorvane.dat" loaded whole.
// problem, when given, is set to the text of a state file that is there but damaged.
// keyring, when given, is asked for the passwords the file does not hold; keyringProblem is then
// set to what it said when it did not answer.
bool LoadOptionsForBatch(const Paths& paths, const Profile& profile, const TqslLocator& locator,
                         Options& options, QString* problem = nullptr, Keyring* keyring = nullptr,
                         QString* keyringProblem = nullptr);
