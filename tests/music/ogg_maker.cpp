// Encodes test streams with libvorbisenc.
#include "ogg_maker.h"

#include <vorbis/vorbisenc.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

static void appendPage(std::vector<unsigned char>& out, const ogg_page& page)
{
    out.insert(out.end(), page.header, page.header + page.header_len);
    out.insert(out.end(), page.body, page.body + page.body_len);
}

std::vector<unsigned char> makeStream(const StreamRecipe& recipe)
{
    const long rate = recipe.rate;
    const int channels = recipe.channels;
    vorbis_info info;
    vorbis_info_init(&info);
    if (vorbis_encode_init_vbr(&info, channels, rate, recipe.quality) != 0)
        std::abort();
    vorbis_comment comment;
    vorbis_comment_init(&comment);
    vorbis_dsp_state dsp;
    vorbis_analysis_init(&dsp, &info);
    vorbis_block block;
    vorbis_block_init(&dsp, &block);
    ogg_stream_state os;
    ogg_stream_init(&os, 1234);

    std::vector<unsigned char> out;
    ogg_packet header, commentHeader, codeHeader;
    vorbis_analysis_headerout(&dsp, &comment, &header, &commentHeader, &codeHeader);
    ogg_stream_packetin(&os, &header);
    ogg_stream_packetin(&os, &commentHeader);
    ogg_stream_packetin(&os, &codeHeader);
    ogg_page page;
    while (ogg_stream_flush(&os, &page))
        appendPage(out, page);

    long total = (long)std::lround(recipe.seconds * rate);
    long beat = rate / 2;   // a click every half second
    const long chunk = 1024;
    bool eos = false;
    bool finished = false;
    for (long done = 0; !eos;) {
        long n = std::min(chunk, total - done);
        if (n > 0) {
            float** buffer = vorbis_analysis_buffer(&dsp, (int)n);
            for (long i = 0; i < n; i++) {
                long t = done + i;
                float v = recipe.toneHz > 0.0
                              ? 0.5f * (float)std::sin(2 * M_PI * recipe.toneHz * t / rate)
                          : (t % beat) < rate / 100 ? 0.5f * (float)std::sin(t * 0.3)
                                                    : 0.0f;
                for (int c = 0; c < channels; c++)
                    buffer[c][i] = (recipe.soundChannels >> c & 1) ? v : 0.0f;
            }
            vorbis_analysis_wrote(&dsp, (int)n);
            done += n;
        } else if (!finished) {
            vorbis_analysis_wrote(&dsp, 0);
            finished = true;
        }
        while (vorbis_analysis_blockout(&dsp, &block) == 1) {
            vorbis_analysis(&block, nullptr);
            vorbis_bitrate_addblock(&block);
            ogg_packet packet;
            while (vorbis_bitrate_flushpacket(&dsp, &packet)) {
                ogg_stream_packetin(&os, &packet);
                while (ogg_stream_pageout(&os, &page)) {
                    appendPage(out, page);
                    if (ogg_page_eos(&page))
                        eos = true;
                }
            }
        }
    }
    ogg_stream_clear(&os);
    vorbis_block_clear(&block);
    vorbis_dsp_clear(&dsp);
    vorbis_comment_clear(&comment);
    vorbis_info_clear(&info);
    return out;
}

int64_t streamFrames(const std::vector<unsigned char>& bytes)
{
    FILE* f = fmemopen(const_cast<unsigned char*>(bytes.data()), bytes.size(), "rb");
    OggVorbis_File vf;
    if (!f || ov_open(f, &vf, nullptr, 0) != 0)
        std::abort();
    int64_t frames = ov_pcm_total(&vf, -1);
    ov_clear(&vf);   // closes the file
    return frames;
}

std::string writeFile(const std::string& path, const std::vector<unsigned char>& bytes)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        std::abort();
    if (!bytes.empty())
        std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    return path;
}
