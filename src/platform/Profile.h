#pragma once

#include <QString>

// Reads one value of an INI-style settings file.
class Profile
{
public:
    virtual ~Profile() = default;
    // The value of key in section of the file at path; defaultValue when the file, the
    // section or the key is missing. At most 511 characters are returned.
    virtual QString readString(const QString& path, const QString& section, const QString& key,
                               const QString& defaultValue) const = 0;
};

class IniProfile : public Profile
{
public:
    QString readString(const QString& path, const QString& section, const QString& key,
                       const QString& defaultValue) const override;
};
