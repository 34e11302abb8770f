#pragma once

#include <QString>

// Finds the TQSL install folder: the registry entry on Windows, the folder of "tqsl" on PATH
// elsewhere.
struct TqslInstall
{
    bool keyFound = false; // false: the registry key (or the program on PATH) is missing
    QString folder;        // empty when the key exists but the value can't be read
};

class TqslLocator
{
public:
    virtual ~TqslLocator() = default;
    virtual TqslInstall locate() const = 0;
    // The program inside an install folder: folder + "\tqsl.exe" on Windows, "/tqsl" elsewhere;
    // empty when the folder is.
    virtual QString programPath(const QString& folder) const = 0;
};

class SystemTqslLocator : public TqslLocator
{
public:
    TqslInstall locate() const override;
    QString programPath(const QString& folder) const override;
};
