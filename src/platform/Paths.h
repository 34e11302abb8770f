#pragma once

#include <QString>

// Where the program's own files and the outside programs' files live on this machine.
class Paths
{
public:
    virtual ~Paths() = default;
    // The data folder holding the option files, the date file and the default ADIF files.
    virtual QString dataFolder() const = 0;
    // The folder holding DXbase's settings file "Dxb2007.ini"; empty when it can't be had.
    virtual QString windowsDirectory() const = 0;
    // TQSL's station data file (on Windows in %APPDATA%; empty when that is not set).
    virtual QString tqslStationFile() const = 0;
    // The logged-on user's name.
    virtual QString userName() const = 0;
    // A text naming the operating system and its version.
    virtual QString osVersionText() const = 0;
    // Joins a folder and a file name with this platform's separator ("\" on Windows).
    virtual QString join(const QString& folder, const QString& name) const = 0;
};

// Paths as this machine has them (environment overrides honoured, see Paths.cpp).
class SystemPaths : public Paths
{
public:
    // dataFolder, when given, is the data folder instead of the machine's own.
    explicit SystemPaths(QString dataFolder = QString());
    QString dataFolder() const override;
    QString windowsDirectory() const override;
    QString tqslStationFile() const override;
    QString userName() const override;
    QString osVersionText() const override;
    QString join(const QString& folder, const QString& name) const override;

private:
    QString m_dataFolder;
};
