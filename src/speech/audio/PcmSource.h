#pragma once

#include <QIODevice>

#include <atomic>
#include <functional>

class PcmQueue;

// The device the audio sink pulls from. It hands over what the synthesis
// thread has queued, scaled by the volume at the moment of hand-over, so a
// volume change is heard after the sink's short buffer rather than after
// whatever the sink's own volume control lags by.
class PcmSource : public QIODevice
{
    Q_OBJECT

public:
    explicit PcmSource(PcmQueue &queue, QObject *parent = nullptr);

    void setVolumePercent(int percent) { m_volume.store(percent); }
    // Hands over no more than limit samples beyond what playedSamples() says
    // has been heard, so that the sound server never holds more than that:
    // what it holds can no longer change volume or be taken back.
    void setAheadLimit(std::function<qint64()> playedSamples, qint64 limit);
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    PcmQueue &m_queue;
    std::atomic<int> m_volume{100};
    std::function<qint64()> m_playedSamples;
    qint64 m_aheadLimit = 0;
};
