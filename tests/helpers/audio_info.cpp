// SPDX-License-Identifier: GPL-3.0-or-later
// Reads an audio file back with libsndfile, a reader that is not ours, and
// prints what a player would find in it:
//   audio_info FILE   ->   "FRAMES RATE CHANNELS SECONDS RMS"
// Exit status 1 when the file cannot be read as audio.
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <vector>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: audio_info FILE\n");
        return 2;
    }
    SF_INFO info{};
    SNDFILE *file = sf_open(argv[1], SFM_READ, &info);
    if (!file) {
        std::fprintf(stderr, "audio_info: %s: %s\n", argv[1], sf_strerror(nullptr));
        return 1;
    }
    // Every frame is decoded (a header may promise what the data lacks).
    std::vector<float> block(4096 * std::size_t(info.channels > 0 ? info.channels : 1));
    double sum = 0;
    long long frames = 0;
    for (sf_count_t n; (n = sf_readf_float(file, block.data(), 4096)) > 0;) {
        for (sf_count_t i = 0; i < n * info.channels; ++i)
            sum += double(block[std::size_t(i)]) * block[std::size_t(i)];
        frames += n;
    }
    sf_close(file);
    const double samples = double(frames) * info.channels;
    std::printf("%lld %d %d %.2f %.4f\n", frames, info.samplerate, info.channels,
                info.samplerate > 0 ? double(frames) / info.samplerate : 0.0, samples > 0 ? std::sqrt(sum / samples) : 0.0);
    return frames > 0 ? 0 : 1;
}
