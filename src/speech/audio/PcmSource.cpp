#include "speech/audio/PcmSource.h"

#include "speech/audio/PcmQueue.h"

#include <cstdint>

PcmSource::PcmSource(PcmQueue &queue, QObject *parent) : QIODevice(parent), m_queue(queue) {}

qint64 PcmSource::readData(char *data, qint64 maxSize)
{
    auto *samples = reinterpret_cast<int16_t *>(data);
    const std::size_t count = m_queue.pop(samples, std::size_t(maxSize / 2));
    const int volume = m_volume.load();
    if (volume < 100) {
        for (std::size_t i = 0; i < count; ++i)
            samples[i] = int16_t(int(samples[i]) * volume / 100);
    }
    return qint64(count * 2);
}
