// SPDX-License-Identifier: GPL-3.0-or-later
#include "synth/mandarin/ReadingDictionary.h"

#include <QFile>
#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <memory>

struct ReadingDictionary::Entry
{
    quint32 keyOffset;
    quint8 length;
    quint8 cost;
    quint16 reserved;
};

namespace {

constexpr char Magic[8] = {'S', 'A', 'Y', 'M', 'D', 'R', '1', '\0'};
constexpr qsizetype HeaderSize = 24;
constexpr qsizetype SyllableSize = 8;

} // namespace

ReadingDictionary::~ReadingDictionary() = default;

QString ReadingDictionary::open(const QString &path)
{
    switch (m_file.map(path, HeaderSize)) {
    case MappedFile::Result::Missing:
        return QStringLiteral("找不到普通话词典“%1”。").arg(path);
    case MappedFile::Result::Unreadable:
        return QStringLiteral("无法读取普通话词典“%1”。").arg(path);
    case MappedFile::Result::Mapped:
        break;
    }
    const uchar *const bytes = m_file.data();
    const qsizetype size = m_file.size();
    const auto damaged = [&] {
        m_file.unmap();
        return QStringLiteral("普通话词典“%1”已损坏。").arg(path);
    };
    if (std::memcmp(bytes, Magic, sizeof Magic) != 0)
        return damaged();
    const quint32 entries = qFromLittleEndian<quint32>(bytes + 8);
    const quint32 syllables = qFromLittleEndian<quint32>(bytes + 12);
    const quint32 keyUnits = qFromLittleEndian<quint32>(bytes + 16);
    const qint64 expected = HeaderSize + qint64(syllables) * SyllableSize + qint64(entries) * qint64(sizeof(Entry))
        + 4 * qint64(keyUnits);
    if (expected != size)
        return damaged();
    const char *syllableTable = reinterpret_cast<const char *>(bytes + HeaderSize);
    m_syllables.clear();
    m_syllables.reserve(syllables);
    for (quint32 id = 0; id < syllables; ++id) {
        const char *text = syllableTable + qsizetype(id) * SyllableSize;
        m_syllables.append(QString::fromLatin1(text, qsizetype(strnlen(text, SyllableSize))));
    }
    const uchar *table = bytes + HeaderSize + qsizetype(syllables) * SyllableSize;
    m_keys = reinterpret_cast<const quint16 *>(table + qsizetype(entries) * qsizetype(sizeof(Entry)));
    m_readings = m_keys + keyUnits;
    m_keyUnits = keyUnits;
    m_entries = reinterpret_cast<const Entry *>(table);
    m_entryCount = entries;
    // Nothing is walked now: what is read later is checked as it is read
    // (an entry outside the keys is an empty word, an unknown syllable an
    // empty one).
    return {};
}

QStringView ReadingDictionary::keyOf(const Entry &entry) const
{
    if (qint64(entry.keyOffset) + entry.length > m_keyUnits)
        return {};
    return QStringView(reinterpret_cast<const QChar *>(m_keys + entry.keyOffset), entry.length);
}

const QString &ReadingDictionary::syllable(quint16 id) const
{
    static const QString none;
    return id < m_syllables.size() ? m_syllables[id] : none;
}

// Entries sort by their keys' code units, so the words that begin with a
// given prefix stand together; each longer prefix narrows the range found
// for the shorter one, and the word equal to the prefix, if any, leads it.
// Every key in the range already has the shorter prefix, so only the unit
// after it is compared (whole-key comparisons were a tenth of the helper's
// own work while a book was saved).
void ReadingDictionary::wordsAt(QStringView text, qsizetype at, std::vector<Word> &out) const
{
    out.clear();
    if (!m_entries || at >= text.size())
        return;
    const Entry *low = m_entries;
    const Entry *high = m_entries + m_entryCount;
    // Narrows [low, high) from the keys with the prefix of length - 1 to
    // those with the prefix of length ending in unit.
    const auto narrow = [&](int length, int unit) {
        // <0: the key sorts before every key with this prefix (it is the
        // shorter prefix itself); 0: it has the prefix; >0: after.
        const auto compare = [&](const Entry &entry) {
            const QStringView key = keyOf(entry);
            return key.size() < length ? -1 : key[length - 1].unicode() - unit;
        };
        low = std::partition_point(low, high, [&](const Entry &e) { return compare(e) < 0; });
        high = std::partition_point(low, high, [&](const Entry &e) { return compare(e) <= 0; });
    };
    const auto take = [&](int length) {
        if (low < high && low->length == length && keyOf(*low).size() == length)
            out.push_back({length, low->cost, m_readings + low->keyOffset});
    };
    // The first unit's range is looked up once per character: searching all
    // the entries for it was about half of every lookup.
    const int first = text[at].unicode();
    if (first >= CachedFirst && first <= CachedLast) {
        if (!m_firstUnit)
            m_firstUnit = std::make_unique<quint64[]>(std::size_t(CachedLast - CachedFirst + 1));
        quint64 &range = m_firstUnit[std::size_t(first - CachedFirst)];
        if (range == 0) {
            narrow(1, first);
            range = quint64(low - m_entries) << 32 | (quint64(high - m_entries) + 1);
        }
        low = m_entries + (range >> 32);
        high = m_entries + (quint32(range) - 1);
    } else {
        narrow(1, first);
    }
    take(1);
    for (int length = 2; at + length <= text.size() && low < high && length <= 255; ++length) {
        narrow(length, text[at + length - 1].unicode());
        take(length);
    }
}
