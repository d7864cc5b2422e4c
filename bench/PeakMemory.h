#pragma once
#include <QByteArray>
#include <QFile>

// The process's peak resident memory in KiB (VmHWM), or -1 where the system does not say.
inline long peakKiB()
{
    QFile f("/proc/self/status");
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}
