#pragma once

#include <QString>
#include <array>

// One signing row: the operator call the station signs for and its TQSL location.
struct SigningStation
{
    QString oprCall;
    QString location;
};

// One LoTW login row. Passwords are held only in encoded form (EncodePassword).
struct LotwLogin
{
    QString loginCall;
    QString passwordField;  // the dialog's password field when confirmed (asterisks, encoded or empty)
    QString passwordLoaded; // encoded password as loaded when the dialog opened
    QString password;       // encoded password in force
};

constexpr int kSlotCount = 5;

// The persisted option set, filled once per start by CommitOptions and only read afterwards.
struct Options
{
    QString sourceMdbPath;
    QString refdataMdbPath;
    QString dxbaseDataFolder;
    QString uploadAdifPath;
    QString reportAdifPath;
    QString errorFilePath;
    QString importedListPath;
    QString tqslFolder;
    QString tqslExePath;
    QString spareText;
    std::array<SigningStation, kSlotCount> stations;
    std::array<LotwLogin, kSlotCount> logins;
};
