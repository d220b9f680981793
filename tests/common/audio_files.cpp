// tests/common/audio_files.cpp - synthesised test audio (see audio_files.h).
//
// The Ogg encoder follows libvorbisenc's usual sequence: one logical stream,
// three header packets flushed onto their own pages, then the analysis loop
// that turns submitted blocks into packets and pages. The serial number is
// fixed so that the same signal always gives the same bytes.
#include "audio_files.h"

#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>

#include "process.h"

// --- internal helpers ---------------------------------------------------------
static void audio_put_le(std::string& out, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; i++)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

static void audio_append_page(std::string& out, const ogg_page& page)
{
    out.append(reinterpret_cast<const char*>(page.header), page.header_len);
    out.append(reinterpret_cast<const char*>(page.body), page.body_len);
}

// Runs the encoder over everything submitted so far and appends the pages.
static void audio_drain(vorbis_dsp_state& dsp, vorbis_block& block, ogg_stream_state& os, std::string& out)
{
    ogg_packet packet;
    ogg_page   page;
    while (vorbis_analysis_blockout(&dsp, &block) == 1) {
        vorbis_analysis(&block, nullptr);
        vorbis_bitrate_addblock(&block);
        while (vorbis_bitrate_flushpacket(&dsp, &packet)) {
            ogg_stream_packetin(&os, &packet);
            while (ogg_stream_pageout(&os, &page))
                audio_append_page(out, page);
        }
    }
}

// --- public functions ---------------------------------------------------------
std::vector<float> audio_tone(double seconds, double hz, double amplitude, int rate)
{
    size_t             n = static_cast<size_t>(seconds * rate);
    size_t             fade = std::min<size_t>(n / 2, static_cast<size_t>(rate / 200));  // 5 ms
    std::vector<float> out(n);
    for (size_t i = 0; i < n; i++) {
        double env = 1.0;
        if (i < fade)
            env = static_cast<double>(i) / fade;
        else if (n - i <= fade)
            env = static_cast<double>(n - i - 1) / fade;
        out[i] = static_cast<float>(amplitude * env * std::sin(2.0 * M_PI * hz * i / rate));
    }
    return out;
}

std::vector<float> audio_silence(double seconds, int rate)
{
    return std::vector<float>(static_cast<size_t>(seconds * rate), 0.0f);
}

std::string audio_ogg_bytes(const std::vector<float>& mono, int rate)
{
    vorbis_info info;
    vorbis_info_init(&info);
    if (vorbis_encode_init_vbr(&info, 1, rate, 0.4f) != 0) {
        vorbis_info_clear(&info);
        throw std::runtime_error("vorbis encoder refused the format");
    }
    vorbis_comment comment;
    vorbis_comment_init(&comment);
    vorbis_dsp_state dsp;
    vorbis_block     block;
    ogg_stream_state os;
    vorbis_analysis_init(&dsp, &info);
    vorbis_block_init(&dsp, &block);
    ogg_stream_init(&os, 0x51761);

    std::string out;
    ogg_packet  header, header_comm, header_code;
    vorbis_analysis_headerout(&dsp, &comment, &header, &header_comm, &header_code);
    ogg_stream_packetin(&os, &header);
    ogg_stream_packetin(&os, &header_comm);
    ogg_stream_packetin(&os, &header_code);
    ogg_page page;
    while (ogg_stream_flush(&os, &page))
        audio_append_page(out, page);

    const size_t chunk = 4096;
    for (size_t at = 0; at < mono.size(); at += chunk) {
        size_t  n = std::min(chunk, mono.size() - at);
        float** buffer = vorbis_analysis_buffer(&dsp, static_cast<int>(n));
        std::memcpy(buffer[0], mono.data() + at, n * sizeof(float));
        vorbis_analysis_wrote(&dsp, static_cast<int>(n));
        audio_drain(dsp, block, os, out);
    }
    vorbis_analysis_wrote(&dsp, 0);  // end of stream
    audio_drain(dsp, block, os, out);
    while (ogg_stream_flush(&os, &page))
        audio_append_page(out, page);

    ogg_stream_clear(&os);
    vorbis_block_clear(&block);
    vorbis_dsp_clear(&dsp);
    vorbis_comment_clear(&comment);
    vorbis_info_clear(&info);
    return out;
}

std::string audio_wav_bytes(const std::vector<float>& mono, int rate)
{
    uint32_t    data_bytes = static_cast<uint32_t>(mono.size() * 2);
    std::string out = "RIFF";
    audio_put_le(out, 36 + data_bytes, 4);
    out += "WAVEfmt ";
    audio_put_le(out, 16, 4);             // fmt chunk size
    audio_put_le(out, 1, 2);              // PCM
    audio_put_le(out, 1, 2);              // mono
    audio_put_le(out, rate, 4);
    audio_put_le(out, rate * 2, 4);       // bytes per second
    audio_put_le(out, 2, 2);              // block align
    audio_put_le(out, 16, 2);             // bits per sample
    out += "data";
    audio_put_le(out, data_bytes, 4);
    for (float s : mono) {
        long v = std::lround(std::clamp(s, -1.0f, 1.0f) * 32767.0f);
        audio_put_le(out, static_cast<uint32_t>(v) & 0xFFFF, 2);
    }
    return out;
}

void audio_write_ogg(const std::string& path, const std::vector<float>& mono, int rate)
{
    write_file(path, audio_ogg_bytes(mono, rate));
}

void audio_write_wav(const std::string& path, const std::vector<float>& mono, int rate)
{
    write_file(path, audio_wav_bytes(mono, rate));
}

std::vector<int16_t> audio_read_s16(const std::string& path)
{
    std::string          bytes = read_file(path);
    std::vector<int16_t> out(bytes.size() / 2);
    std::memcpy(out.data(), bytes.data(), out.size() * 2);
    return out;
}

int audio_loud_blocks(const std::vector<int16_t>& samples, int block, int threshold)
{
    int count = 0;
    for (size_t at = 0; block > 0 && at + block <= samples.size(); at += block) {
        int peak = 0;
        for (int i = 0; i < block; i++)
            peak = std::max(peak, std::abs(static_cast<int>(samples[at + i])));
        count += peak >= threshold ? 1 : 0;
    }
    return count;
}
