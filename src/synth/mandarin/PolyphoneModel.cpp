// SPDX-License-Identifier: GPL-3.0-or-later
#include "synth/mandarin/PolyphoneModel.h"

#include <QFile>
#include <QtEndian>

#include <algorithm>
#include <cstring>

struct PolyphoneModel::CharacterEntry
{
    quint16 character;
    quint16 classCount;
    quint32 firstClass;
};

struct PolyphoneModel::Slot
{
    quint32 fingerprint; // 0: empty
    quint32 weights; // index of the first of the character's class weights
};

namespace {

constexpr char ModelMagic[8] = {'S', 'A', 'Y', 'P', 'L', 'Y', '1', '\0'};
constexpr qsizetype ModelHeaderSize = 40;
constexpr qsizetype ModelSyllableSize = 8;

quint32 fingerprintOf(std::uint64_t key) { return quint32(key >> 32) | 1u; }

// Where the weights every character shares are kept: how far the
// dictionary, the rules and the phrases back a reading, and keeping a
// reading the data never showed for the character.
constexpr char16_t KeepCharacter = 0;

} // namespace

PolyphoneModel::~PolyphoneModel() = default;

QString PolyphoneModel::open(const QString &path)
{
    switch (m_file.map(path, ModelHeaderSize)) {
    case MappedFile::Result::Missing:
        return QStringLiteral("找不到多音字模型“%1”。").arg(path);
    case MappedFile::Result::Unreadable:
        return QStringLiteral("无法读取多音字模型“%1”。").arg(path);
    case MappedFile::Result::Mapped:
        break;
    }
    const uchar *const bytes = m_file.data();
    const qsizetype size = m_file.size();
    const auto damaged = [&] {
        m_file.unmap();
        return QStringLiteral("多音字模型“%1”已损坏。").arg(path);
    };
    if (std::memcmp(bytes, ModelMagic, sizeof ModelMagic) != 0)
        return damaged();
    const quint32 characters = qFromLittleEndian<quint32>(bytes + 8);
    const quint32 syllables = qFromLittleEndian<quint32>(bytes + 12);
    const quint32 classes = qFromLittleEndian<quint32>(bytes + 16);
    const quint32 slotCount = qFromLittleEndian<quint32>(bytes + 20);
    const quint32 weights = qFromLittleEndian<quint32>(bytes + 24);
    float scale;
    std::memcpy(&scale, bytes + 28, sizeof scale);
    const qint64 paddedClasses = (qint64(classes) + 1) / 2 * 2; // the slotCount start 4-aligned
    const qint64 expected = ModelHeaderSize + qint64(syllables) * ModelSyllableSize + qint64(characters) * 8 + paddedClasses * 2
        + qint64(slotCount) * 8 + qint64(weights) * 2;
    if (expected != size || slotCount == 0 || (slotCount & (slotCount - 1)) != 0 || !(scale > 0))
        return damaged();
    const uchar *at = bytes + ModelHeaderSize;
    const char *syllableTable = reinterpret_cast<const char *>(at);
    at += qsizetype(syllables) * ModelSyllableSize;
    const auto *characterTable = reinterpret_cast<const CharacterEntry *>(at);
    at += qsizetype(characters) * 8;
    const auto *classTable = reinterpret_cast<const quint16 *>(at);
    at += paddedClasses * 2;
    const auto *slotTable = reinterpret_cast<const Slot *>(at);
    at += qsizetype(slotCount) * 8;
    const auto *weightTable = reinterpret_cast<const qint16 *>(at);
    // The small tables are checked now, so that reading them later needs no
    // check; a slot's weights are checked as they are read.
    auto known = std::make_unique<std::bitset<65536>>();
    for (quint32 i = 0; i < characters; ++i) {
        const CharacterEntry &entry = characterTable[i];
        if ((i > 0 && characterTable[i - 1].character >= entry.character) || entry.classCount == 0
            || entry.classCount > MaxClasses || qint64(entry.firstClass) + entry.classCount > classes)
            return damaged();
        for (quint32 c = 0; c < entry.classCount; ++c)
            if (classTable[entry.firstClass + c] >= syllables)
                return damaged();
        known->set(entry.character);
    }
    m_characters = characterTable;
    m_characterCount = characters;
    m_syllables = syllableTable;
    m_syllableCount = syllables;
    m_syllableTexts.clear();
    for (quint32 id = 0; id < syllables; ++id)
        m_syllableTexts.append(QString::fromLatin1(syllableTable + qsizetype(id) * ModelSyllableSize,
                                                   qsizetype(strnlen(syllableTable + qsizetype(id) * ModelSyllableSize, ModelSyllableSize))));
    m_classes = classTable;
    m_classCount = classes;
    m_slots = slotTable;
    m_slotMask = slotCount - 1;
    m_weights = weightTable;
    m_weightCount = weights;
    m_scale = scale;
    m_known = std::move(known);
    m_sharedPrefix = polyphoneKeyPrefix(KeepCharacter);
    return {};
}

bool PolyphoneModel::knows(QChar character) const { return m_known && m_known->test(character.unicode()); }

bool PolyphoneModel::considers(QChar character, QStringView reading) const
{
    const CharacterEntry *entry = entryOf(character);
    return entry && entry->character != 0 && (entry->classCount > 1 || syllableAt(entry->firstClass) != reading);
}

const PolyphoneModel::CharacterEntry *PolyphoneModel::entryOf(QChar character) const
{
    if (!knows(character))
        return nullptr;
    const CharacterEntry *end = m_characters + m_characterCount;
    const CharacterEntry *it = std::lower_bound(
        m_characters, end, character.unicode(), [](const CharacterEntry &e, char16_t c) { return e.character < c; });
    return it != end && it->character == character.unicode() ? it : nullptr;
}

const qint16 *PolyphoneModel::weightsOf(std::uint64_t key) const
{
    const quint32 fingerprint = fingerprintOf(key);
    for (quint32 probe = 0, slot = quint32(key) & m_slotMask; probe <= m_slotMask; ++probe, slot = (slot + 1) & m_slotMask) {
        const Slot &s = m_slots[slot];
        if (s.fingerprint == 0)
            return nullptr;
        if (s.fingerprint == fingerprint)
            return s.weights < m_weightCount ? m_weights + s.weights : nullptr;
    }
    return nullptr;
}

QLatin1StringView PolyphoneModel::syllableAt(quint32 classEntry) const
{
    const char *s = m_syllables + qsizetype(m_classes[classEntry]) * ModelSyllableSize;
    return QLatin1StringView(s, qsizetype(strnlen(s, ModelSyllableSize)));
}

qint32 PolyphoneModel::sharedWeight(std::string_view feature) const
{
    const qint16 *weights = weightsOf(polyphoneFeatureKeyAfter(m_sharedPrefix, feature));
    return weights && weights - m_weights < qint64(m_weightCount) ? *weights : 0;
}

// What every character shares for one candidate: how far the dictionary's
// word (or the character alone), the rules and the longer phrases give it.
qint32 PolyphoneModel::agreement(const PolyphoneContext &context, QLatin1StringView reading) const
{
    qint32 sum = 0;
    if (reading == context.dictionaryReading)
        sum += sharedWeight(context.wordLength > 1 ? "aw" : "a1");
    if (context.ruleReading != context.dictionaryReading && reading == context.ruleReading)
        sum += sharedWeight("ar");
    if (context.covering.contains(reading))
        sum += sharedWeight("ac");
    return sum;
}

qint32 PolyphoneModel::keepScore(const PolyphoneContext &context, QLatin1StringView kept) const
{
    return sharedWeight("kb") + agreement(context, kept);
}

void PolyphoneModel::sumWeights(const PolyphoneContext &context, const CharacterEntry &entry, qint32 *sums) const
{
    std::fill(sums, sums + entry.classCount, 0);
    polyphoneFeatureKeys(context, polyphoneKeyPrefix(entry.character), m_keys);
    for (const std::uint64_t key : m_keys) {
        const qint16 *weights = weightsOf(key);
        if (!weights || qint64(weights - m_weights) + entry.classCount > m_weightCount)
            continue;
        for (quint32 c = 0; c < entry.classCount; ++c)
            sums[c] += weights[c];
    }
    for (quint32 c = 0; c < entry.classCount; ++c)
        sums[c] += agreement(context, syllableAt(entry.firstClass + c));
}

QList<PolyphoneModel::Score> PolyphoneModel::scores(const PolyphoneContext &context) const
{
    const CharacterEntry *entry = entryOf(context.text[context.at]);
    if (!entry || entry->character == KeepCharacter)
        return {};
    std::vector<qint32> sums(entry->classCount);
    sumWeights(context, *entry, sums.data());
    QList<Score> out;
    bool known = false;
    for (quint32 c = 0; c < entry->classCount; ++c) {
        out.append({syllableAt(entry->firstClass + c), sums[c] / double(m_scale)});
        known = known || out.back().reading == context.ruleReading;
    }
    if (!known && !context.ruleReading.isEmpty()) {
        // Keeping a reading the data never showed for this character.
        m_keptReading = context.ruleReading.toLatin1();
        const QLatin1StringView kept(m_keptReading);
        out.append({kept, keepScore(context, kept) / double(m_scale)});
    }
    return out;
}

void PolyphoneModel::choose(const PolyphoneContext &context, QString &syllable) const
{
    // As scores() has it, without making the list: the first of the best,
    // so that ties go to the most frequent reading; a reading the data
    // never showed is kept when keeping it scores best.
    const CharacterEntry *entry = entryOf(context.text[context.at]);
    if (!entry || entry->character == KeepCharacter)
        return;
    qint32 sums[MaxClasses]; // open() saw to it that no character has more
    sumWeights(context, *entry, sums);
    quint32 best = 0;
    bool known = false;
    for (quint32 c = 0; c < entry->classCount; ++c) {
        if (sums[c] > sums[best])
            best = c;
        known = known || syllableAt(entry->firstClass + c) == context.ruleReading;
    }
    if (!known && !context.ruleReading.isEmpty()
        && keepScore(context, QLatin1StringView(context.ruleReading.toLatin1())) > sums[best])
        return;
    syllable = m_syllableTexts[m_classes[entry->firstClass + best]];
}

QList<QLatin1StringView> PolyphoneModel::readings(QChar character) const
{
    QList<QLatin1StringView> out;
    if (const CharacterEntry *entry = entryOf(character))
        for (quint32 c = 0; c < entry->classCount; ++c)
            out.append(syllableAt(entry->firstClass + c));
    return out;
}
