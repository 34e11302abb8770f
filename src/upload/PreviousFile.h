#pragma once

#include <QString>
#include <filesystem>

// Keeps the file at a path aside under a second name ("...previous") for as long as a run may
// still need to put it back.
class PreviousFile
{
public:
    // How the file is kept aside: linked (the file stays in place, for a writer that puts a new
    // file in its place by renaming) or moved (for a writer that overwrites the file itself).
    enum class Way { Link, Move };

    PreviousFile(const QString& path, Way way);
    ~PreviousFile() { discard(); }
    PreviousFile(const PreviousFile&) = delete;
    PreviousFile& operator=(const PreviousFile&) = delete;

    // Keeps the present file aside (nothing when there is none). False with error set when it
    // can't be.
    bool keep(QString& error);
    // Puts the kept file back in place of whatever is at the path now (or, when there was none,
    // removes what is there).
    bool restore();
    // The new file stays; the kept one is removed.
    void discard();
    // Whether there was a file at the path when it was kept aside.
    bool hadFile() const { return m_had; }

private:
    std::filesystem::path m_path;
    std::filesystem::path m_kept;
    Way m_way;
    bool m_had = false;
    bool m_keeping = false;
};
