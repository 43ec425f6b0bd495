#pragma once

#include <QIODevice>

#include <atomic>

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
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    PcmQueue &m_queue;
    std::atomic<int> m_volume{100};
};
