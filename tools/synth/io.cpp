// Writes the finished samples: 16-bit WAV for listening checks, OGG Vorbis for the demo.
#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

#include "tools/synth/synth.h"

namespace gw_synth {

namespace {

using File = std::unique_ptr<FILE, int (*)(FILE*)>;

File Open(const std::string& path) { return File(std::fopen(path.c_str(), "wb"), &std::fclose); }

void Le(std::string& out, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; i++) out.push_back(char((v >> (8 * i)) & 0xff));
}

bool WritePages(FILE* f, ogg_stream_state& os, bool flush) {
  ogg_page page;
  while (flush ? ogg_stream_flush(&os, &page) : ogg_stream_pageout(&os, &page)) {
    if (std::fwrite(page.header, 1, size_t(page.header_len), f) != size_t(page.header_len)) return false;
    if (std::fwrite(page.body, 1, size_t(page.body_len), f) != size_t(page.body_len)) return false;
  }
  return true;
}

// Runs the encoder over whatever blocks are ready and writes the pages they fill.
bool Drain(FILE* f, vorbis_dsp_state& vd, vorbis_block& vb, ogg_stream_state& os) {
  ogg_packet packet;
  bool ok = true;
  while (vorbis_analysis_blockout(&vd, &vb) == 1) {
    vorbis_analysis(&vb, nullptr);
    vorbis_bitrate_addblock(&vb);
    while (vorbis_bitrate_flushpacket(&vd, &packet)) {
      ogg_stream_packetin(&os, &packet);
      ok = ok && WritePages(f, os, false);
    }
  }
  return ok;
}

}  // namespace

bool WriteWav(const std::string& path, const Audio& audio) {
  File f = Open(path);
  if (!f) return false;
  uint32_t frames = uint32_t(audio.left.size()), bytes = frames * 4;
  std::string out;
  out.reserve(44 + bytes);
  out += "RIFF";
  Le(out, 36 + bytes, 4);
  out += "WAVEfmt ";
  Le(out, 16, 4);
  Le(out, 1, 2);  // PCM
  Le(out, 2, 2);
  Le(out, kSampleRate, 4);
  Le(out, kSampleRate * 4, 4);
  Le(out, 4, 2);
  Le(out, 16, 2);
  out += "data";
  Le(out, bytes, 4);
  for (size_t i = 0; i < frames; i++)
    for (float v : {audio.left[i], audio.right[i]})
      Le(out, uint32_t(uint16_t(int16_t(std::lround(std::clamp(v, -1.0f, 1.0f) * 32767.0f)))), 2);
  bool ok = std::fwrite(out.data(), 1, out.size(), f.get()) == out.size();
  return std::fclose(f.release()) == 0 && ok;
}

bool WriteOgg(const std::string& path, const Audio& audio, float quality) {
  File f = Open(path);
  if (!f) return false;
  vorbis_info vi;
  vorbis_info_init(&vi);
  if (vorbis_encode_init_vbr(&vi, 2, kSampleRate, quality) != 0) {
    vorbis_info_clear(&vi);
    return false;
  }
  vorbis_comment vc;
  vorbis_comment_init(&vc);
  vorbis_comment_add_tag(&vc, "TITLE", "Glasswhirligo");
  vorbis_dsp_state vd;
  vorbis_block vb;
  vorbis_analysis_init(&vd, &vi);
  vorbis_block_init(&vd, &vb);
  ogg_stream_state os;
  ogg_stream_init(&os, 0x67770001);  // fixed serial: the same song gives the same file
  ogg_packet header, comments, codebooks;
  vorbis_analysis_headerout(&vd, &vc, &header, &comments, &codebooks);
  ogg_stream_packetin(&os, &header);
  ogg_stream_packetin(&os, &comments);
  ogg_stream_packetin(&os, &codebooks);
  bool ok = WritePages(f.get(), os, true);
  constexpr size_t kChunk = 4096;
  for (size_t at = 0; ok && at < audio.left.size(); at += kChunk) {
    size_t n = std::min(kChunk, audio.left.size() - at);
    float** buffer = vorbis_analysis_buffer(&vd, int(n));
    std::copy_n(audio.left.begin() + long(at), n, buffer[0]);
    std::copy_n(audio.right.begin() + long(at), n, buffer[1]);
    vorbis_analysis_wrote(&vd, int(n));
    ok = Drain(f.get(), vd, vb, os);
  }
  vorbis_analysis_wrote(&vd, 0);
  ok = Drain(f.get(), vd, vb, os) && ok;
  ok = WritePages(f.get(), os, true) && ok;
  ogg_stream_clear(&os);
  vorbis_block_clear(&vb);
  vorbis_dsp_clear(&vd);
  vorbis_comment_clear(&vc);
  vorbis_info_clear(&vi);
  return std::fclose(f.release()) == 0 && ok;
}

}  // namespace gw_synth
