// SPDX-License-Identifier: GPL-3.0-or-later
#include "dispatcher/ModuleOutput.h"

#include <QString>

#include <QtEndian>

#include <cerrno>
#include <unistd.h>

ModuleOutput::ModuleOutput(int fd) : m_fd(fd) { }

void ModuleOutput::event(const QByteArray &lines, const std::atomic<quint64> &current, quint64 serial)
{
    std::lock_guard lock(m_mutex);
    if (current.load() == serial)
        writeAll(lines);
}

bool ModuleOutput::lost() const { return m_lost.load(); }

// Called with the mutex held.
void ModuleOutput::writeAll(const QByteArray &bytes)
{
    for (qsizetype done = 0; !m_lost && done < bytes.size();) {
        const ssize_t n = ::write(m_fd, bytes.constData() + done, std::size_t(bytes.size() - done));
        if (n > 0)
            done += n;
        else if (n < 0 && errno != EINTR)
            m_lost = true;
    }
}

QByteArray audioEvent(const int16_t *samples, std::size_t count, int sampleRate)
{
    // The escape byte and the bit it flips are the protocol's (as in HDLC framing).
    constexpr char Escape = 0x7d;
    constexpr char Flip = 0x20;
    QByteArray out = "705-bits=16\n705-num_channels=1\n705-sample_rate=" + QByteArray::number(sampleRate)
        + "\n705-num_samples=" + QByteArray::number(qulonglong(count))
        + "\n705-big_endian=" + QByteArray(QSysInfo::ByteOrder == QSysInfo::BigEndian ? "1" : "0") + "\n705-AUDIO";
    out.append('\0');
    const char *bytes = reinterpret_cast<const char *>(samples);
    const std::size_t size = count * sizeof(int16_t);
    out.reserve(out.size() + qsizetype(size + size / 64 + 16));
    for (std::size_t i = 0; i < size; ++i) {
        const char b = bytes[i];
        if (b == '\n' || b == Escape) {
            out.append(Escape);
            out.append(char(b ^ Flip));
        } else {
            out.append(b);
        }
    }
    out.append("\n705 AUDIO\n");
    return out;
}

QByteArray markEvent(const QString &name)
{
    // A name cannot break the line it is sent on.
    QByteArray utf8 = name.toUtf8();
    utf8.replace('\n', ' ').replace('\r', ' ');
    return "700-" + utf8 + "\n700 INDEX MARK\n";
}
