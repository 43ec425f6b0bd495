// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// A data file mapped read-only into memory with its pages brought in at
// once, so that the first lookups do not wait for the disk; mapped before
// the helper confines itself, and unmapped with its owner. The phrase
// dictionary and the reading model are both read this way.
class MappedFile
{
public:
    MappedFile() = default;
    ~MappedFile() { unmap(); }
    MappedFile(const MappedFile &) = delete;
    MappedFile &operator=(const MappedFile &) = delete;

    enum class Result { Mapped, Missing, Unreadable };
    // Unreadable also when the file is shorter than minimumSize.
    Result map(const QString &path, qsizetype minimumSize);
    void unmap();

    const uchar *data() const { return m_data; }
    qsizetype size() const { return m_size; }

private:
    const uchar *m_data = nullptr;
    qsizetype m_size = 0;
};
