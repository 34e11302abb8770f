#include "HeldMonitor.h"

#include <cstring>

void HeldMonitor::AddDownloadEvent(const QString& text)
{
    const qint32 size = qint32(text.size());
    m_lines.append(reinterpret_cast<const char*>(&size), sizeof size);
    // Most lines are Latin-1; they are kept one byte a character, a line with other
    // characters as UTF-16 (a negative length says which).
    bool latin1 = true;
    for (QChar c : text) {
        if (c.unicode() > 0xff) {
            latin1 = false;
            break;
        }
    }
    if (latin1) {
        const qsizetype at = m_lines.size();
        m_lines.resize(at + text.size());
        char* out = m_lines.data() + at;
        for (QChar c : text)
            *out++ = static_cast<char>(c.unicode());
    } else {
        const qint32 marked = -size - 1;
        std::memcpy(m_lines.data() + m_lines.size() - qsizetype(sizeof size), &marked, sizeof marked);
        m_lines.append(reinterpret_cast<const char*>(text.constData()), text.size() * qsizetype(sizeof(QChar)));
    }
}

void HeldMonitor::ShowCounters(const RunCounters& counters)
{
    // A few times a second: a run decides thousands of records a second.
    if (m_sinceShown.isValid() && m_sinceShown.elapsed() < 250)
        return;
    m_sinceShown.start();
    m_real.ShowCounters(counters);
}

void HeldMonitor::release(const RunCounters& counters)
{
    const char* in = m_lines.constData();
    const char* end = in + m_lines.size();
    qint64 n = 0;
    QString line;
    while (in < end) {
        qint32 size;
        std::memcpy(&size, in, sizeof size);
        in += sizeof size;
        if (size >= 0) {
            line = QString::fromLatin1(in, size);
            in += size;
        } else {
            const qint32 chars = -size - 1;
            line.resize(chars);
            std::memcpy(line.data(), in, std::size_t(chars) * sizeof(QChar));
            in += qsizetype(chars) * qsizetype(sizeof(QChar));
        }
        m_real.AddDownloadEvent(line);
        if ((++n & 0x3ff) == 0)
            m_real.PumpMessages();
    }
    for (const auto& [step, icon] : m_icons)
        m_real.SetStepIcon(step, icon);
    m_real.ShowCounters(counters);
    m_lines.clear();
    m_icons.clear();
}

void HeldMonitor::discard(RunCounters& counters)
{
    m_lines.clear();
    m_icons.clear();
    counters.zero();
    m_real.ShowCounters(counters);
    m_sinceShown.invalidate();
}
