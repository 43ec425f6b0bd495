#include "speech/audio/PcmSource.h"

#include "speech/audio/PcmQueue.h"

#include <algorithm>
#include <cstdint>

PcmSource::PcmSource(PcmQueue &queue, QObject *parent) : QIODevice(parent), m_queue(queue) {}

void PcmSource::setAheadLimit(std::function<qint64()> playedSamples, qint64 limit)
{
    m_playedSamples = std::move(playedSamples);
    m_aheadLimit = limit;
}

qint64 PcmSource::readData(char *data, qint64 maxSize)
{
    auto *samples = reinterpret_cast<int16_t *>(data);
    qint64 wanted = maxSize / 2;
    if (m_playedSamples)
        wanted = std::min(wanted, std::max<qint64>(0, m_playedSamples() + m_aheadLimit - m_queue.handedOver()));
    const std::size_t count = m_queue.pop(samples, std::size_t(wanted));
    const int volume = m_volume.load();
    if (volume < 100) {
        for (std::size_t i = 0; i < count; ++i)
            samples[i] = int16_t(int(samples[i]) * volume / 100);
    }
    return qint64(count * 2);
}
