#include "sound.h"

#include <algorithm>
#include <cmath>

#include <vorbis/vorbisfile.h>

DecodedSound decodeOgg(const std::string& path)
{
    DecodedSound out;
    OggVorbis_File vf;
    if (ov_fopen(path.c_str(), &vf) != 0) {
        out.error = path + ": not an Ogg Vorbis stream";
        return out;
    }
    vorbis_info* vi = ov_info(&vf, -1);
    out.rate = int(vi->rate);
    out.channels = vi->channels;
    out.mono.reserve(size_t(std::max<ogg_int64_t>(0, ov_pcm_total(&vf, -1))));
    int section = 0;
    for (;;) {
        float** pcm = nullptr;
        long n = ov_read_float(&vf, &pcm, 4096, &section);
        if (n < 0) {
            out.error = path + ": decoding failed";
            break;
        }
        if (n == 0)
            break;
        for (long i = 0; i < n; ++i) {
            float sum = 0;
            for (int c = 0; c < out.channels; ++c)
                sum += pcm[c][i];
            out.mono.push_back(sum / float(out.channels));
        }
    }
    ov_clear(&vf);
    return out;
}

namespace {
// Direct-form biquad (RBJ cookbook), Q = 0.707.
struct Biquad {
    double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0, x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    Biquad(double hz, int rate, bool high)
    {
        double w = 2 * 3.141592653589793 * hz / rate, c = std::cos(w),
               alpha = std::sin(w) / (2 * 0.7071);
        double a0 = 1 + alpha;
        if (high) {
            b0 = (1 + c) / 2 / a0;
            b1 = -(1 + c) / a0;
            b2 = (1 + c) / 2 / a0;
        } else {
            b0 = (1 - c) / 2 / a0;
            b1 = (1 - c) / a0;
            b2 = (1 - c) / 2 / a0;
        }
        a1 = -2 * c / a0;
        a2 = (1 - alpha) / a0;
    }
    double run(double x)
    {
        double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        return y;
    }
};
}   // namespace

std::vector<float> bandEnergy(const std::vector<float>& signal, int rate, float lowHz, float highHz,
                              int hop)
{
    std::vector<float> filtered(signal.size());
    Biquad hp(lowHz > 0 ? lowHz : 1, rate, true), lp(highHz > 0 ? highHz : 1, rate, false);
    for (size_t i = 0; i < signal.size(); ++i) {
        double v = signal[i];
        if (lowHz > 0)
            v = hp.run(v);
        if (highHz > 0)
            v = lp.run(v);
        filtered[i] = float(v * v);
    }
    std::vector<float> energy(signal.size() / size_t(hop), 0.0f);
    for (size_t k = 0; k < energy.size(); ++k) {
        double sum = 0;
        size_t end = std::min(filtered.size(), (k + 2) * size_t(hop));
        for (size_t i = k * size_t(hop); i < end; ++i)
            sum += filtered[i];
        energy[k] = float(sum / double(2 * hop));
    }
    return energy;
}

Onset onsetNear(const std::vector<float>& energy, int rate, int hop, double at, double search)
{
    Onset best;
    const double hopSeconds = double(hop) / rate;
    long centre = long(std::lround(at / hopSeconds));
    long reach = long(std::ceil(search / hopSeconds));
    const long span =
        long(std::lround(0.02 / hopSeconds));   // compare 20 ms after with 20 ms before
    for (long k = centre - reach; k <= centre + reach; ++k) {
        if (k - span < 0 || k + span >= long(energy.size()))
            continue;
        double before = 1e-12, after = 0;
        for (long j = k - span; j < k - 1; ++j)
            before += energy[size_t(j)];
        for (long j = k; j < k + span; ++j)
            after += energy[size_t(j)];
        float rise = float(after / before);
        if (rise > best.rise) {
            best.found = true;
            best.rise = rise;
            best.time = double(k) * hopSeconds;
        }
    }
    return best;
}
