// SPDX-License-Identifier: GPL-3.0-or-later
#include "synth/mandarin/MappedFile.h"

#include <QFile>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

MappedFile::Result MappedFile::map(const QString &path, qsizetype minimumSize)
{
    unmap();
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return Result::Missing;
    struct stat status;
    const bool sized = fstat(fd, &status) == 0 && status.st_size >= minimumSize;
    void *mapped = sized ? mmap(nullptr, size_t(status.st_size), PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0) : MAP_FAILED;
    ::close(fd);
    if (mapped == MAP_FAILED)
        return Result::Unreadable;
    m_data = static_cast<const uchar *>(mapped);
    m_size = qsizetype(status.st_size);
    return Result::Mapped;
}

void MappedFile::unmap()
{
    if (m_data)
        munmap(const_cast<uchar *>(m_data), size_t(m_size));
    m_data = nullptr;
    m_size = 0;
}
