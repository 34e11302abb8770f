#include "PreviousFile.h"

PreviousFile::PreviousFile(const QString& path, Way way)
    : m_path(path.toStdU16String()), m_kept((path + QStringLiteral(".previous")).toStdU16String()), m_way(way)
{
}

bool PreviousFile::keep(QString& error)
{
    std::error_code ec;
    std::filesystem::remove(m_kept, ec); // left by a run that was killed
    m_had = std::filesystem::exists(m_path, ec);
    if (!m_had)
        return true;
    if (m_way == Way::Move) {
        std::filesystem::rename(m_path, m_kept, ec);
    } else {
        // A second link to the same file where the file system has them, otherwise a copy.
        std::filesystem::create_hard_link(m_path, m_kept, ec);
        if (ec) {
            ec.clear();
            std::filesystem::copy_file(m_path, m_kept, std::filesystem::copy_options::overwrite_existing, ec);
        }
    }
    if (ec) {
        error = QString::fromLocal8Bit(ec.message());
        if (m_way == Way::Link)
            std::filesystem::remove(m_kept, ec);
        return false;
    }
    m_keeping = true;
    return true;
}

bool PreviousFile::restore()
{
    std::error_code ec;
    if (!m_had) {
        std::filesystem::remove(m_path, ec);
        return !ec;
    }
    if (!m_keeping)
        return false;
    std::filesystem::rename(m_kept, m_path, ec);
    m_keeping = ec.operator bool();
    return !ec;
}

void PreviousFile::discard()
{
    if (!m_keeping)
        return;
    std::error_code ec;
    std::filesystem::remove(m_kept, ec);
    m_keeping = false;
}
