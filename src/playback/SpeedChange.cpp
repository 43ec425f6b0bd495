// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/SpeedChange.h"

#include <sonic.h>

std::vector<int16_t> changeSpeed(const std::vector<int16_t> &samples, double factor, int sampleRate)
{
    if (samples.empty() || factor == 1.0)
        return samples;
    sonicStream stream = sonicCreateStream(sampleRate, 1);
    if (!stream)
        return samples;
    sonicSetSpeed(stream, float(factor));
    // libsonic takes non-const buffers but only reads them.
    std::vector<int16_t> input = samples;
    sonicWriteShortToStream(stream, input.data(), int(input.size()));
    sonicFlushStream(stream);
    std::vector<int16_t> output(std::size_t(sonicSamplesAvailable(stream)));
    output.resize(std::size_t(sonicReadShortFromStream(stream, output.data(), int(output.size()))));
    sonicDestroyStream(stream);
    return output;
}
