// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "synth/mandarin/MappedFile.h"
#include "synth/mandarin/PolyphoneFeatures.h"

#include <QByteArray>
#include <QLatin1StringView>
#include <QList>
#include <QString>

#include <bitset>
#include <memory>
#include <vector>

// The reading model of polyphonic characters: for each character it knows,
// the readings it may have and a linear score of each reading from the
// context's features (PolyphoneFeatures); the best-scoring reading wins.
// Learned from labelled sentences by tools/train-polyphones.py, which
// also describes the file (data/mandarin/polyphones.bin). The file is
// mapped, not parsed, before the helper confines itself.
//
// A character keeps the reading it has when that reading is not one the
// model knows for it (a rare word's reading the data never showed), and
// ties go to the reading the data showed most often: the model never
// gives a character a reading it cannot have, and the same text always
// reads the same.
class PolyphoneModel : public ReadingChooser
{
public:
    PolyphoneModel() = default;
    ~PolyphoneModel() override;
    PolyphoneModel(const PolyphoneModel &) = delete;
    PolyphoneModel &operator=(const PolyphoneModel &) = delete;

    // Empty on success, else why the file cannot be used.
    QString open(const QString &path);
    bool isOpen() const { return m_file.data() != nullptr; }

    // A character the model knows, unless the data showed it one reading
    // only and it has that one already (nothing to choose between).
    bool considers(QChar character, QStringView reading) const override;
    bool knows(QChar character) const;
    void choose(const PolyphoneContext &context, QString &syllable) const override;

    struct Score
    {
        QLatin1StringView reading;
        double score = 0;
    };
    // Each reading the model knows for the context's character, with its
    // score, in the file's order (the most frequent reading first); then,
    // when the reading it has (the context's rule reading) is not one of
    // them, that reading with the score of keeping it.
    QList<Score> scores(const PolyphoneContext &context) const;
    // The readings the model knows for a character; empty if none.
    QList<QLatin1StringView> readings(QChar character) const;

private:
    struct CharacterEntry;
    struct Slot;
    const CharacterEntry *entryOf(QChar character) const;
    QLatin1StringView syllableAt(quint32 classEntry) const;
    qint32 sharedWeight(std::string_view feature) const;
    qint32 agreement(const PolyphoneContext &context, QLatin1StringView reading) const;
    // The weights of one feature of a character by its key, or null.
    const qint16 *weightsOf(std::uint64_t key) const;
    // The score of keeping a reading the data never showed for the character.
    qint32 keepScore(const PolyphoneContext &context, QLatin1StringView kept) const;
    // Each class's score of the context, as stored (before the scale).
    void sumWeights(const PolyphoneContext &context, const CharacterEntry &entry, qint32 *sums) const;
    // More readings than any character has: a file with more is damaged.
    static constexpr quint32 MaxClasses = 32;

    MappedFile m_file;
    const CharacterEntry *m_characters = nullptr;
    quint32 m_characterCount = 0;
    const char *m_syllables = nullptr;
    quint32 m_syllableCount = 0;
    const quint16 *m_classes = nullptr;
    quint32 m_classCount = 0;
    const Slot *m_slots = nullptr;
    quint32 m_slotMask = 0;
    const qint16 *m_weights = nullptr;
    quint32 m_weightCount = 0;
    float m_scale = 1;
    std::unique_ptr<std::bitset<65536>> m_known;
    std::uint64_t m_sharedPrefix = 0; // the key prefix of the weights all characters share
    // The kept reading a Score points at, until the next call; like the
    // front end, the model is not for two threads at once.
    mutable QByteArray m_keptReading;
    QList<QString> m_syllableTexts; // each syllable once, for the readings chosen to share
    mutable std::vector<std::uint64_t> m_keys; // the features of the context being scored
};
