// The capture tool's command line: every mistake is caught here, before any work starts, and
// reported in one line.
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "tools/capture/capture.h"

const char* UsageText() {
  return "usage:\n"
         "  glasswhirligo-capture -o demo.mp4             the whole demo as a video (.mp4, .mkv, .webm,\n"
         "                                                 ...) with demosong.ogg, through ffmpeg\n"
         "  glasswhirligo-capture -o frames/%05d.png      the same frames as numbered pictures\n"
         "                                                 (.png, or .raw), numbered from 0\n"
         "  glasswhirligo-capture --seek SECONDS -o moment.png\n"
         "                                                 the frame shown SECONDS after the part clock\n"
         "                                                 starts, simulating every frame before it\n"
         "  glasswhirligo-capture --at PART:T:FRAME -o frame.png\n"
         "                                                 part PART (0-7) drawn once at part clock T ms\n"
         "                                                 with frame counter FRAME, into a black screen\n"
         "  glasswhirligo-capture --bench                 time every frame of the whole demo\n"
         "options:\n"
         "  -o, --output PATH   .png or .raw for one frame (.raw: 153,600 bytes, RGB565 little-endian,\n"
         "                      320x240); a name with %d, %05d ... for a sequence; else a video\n"
         "  --scale N           pixel size 1 to 9 (default 3 for videos and sequences, 1 for one frame)\n"
         "  --fps N             video frames per second, 1 to 1000 (default 50)\n"
         "  --frames N          stop a video or sequence after N frames\n"
         "  -h, --help          this text\n";
}

namespace {

bool ParseUnsigned(const char* s, uint64_t max, uint64_t* out) {
  if (!std::isdigit(static_cast<unsigned char>(s[0]))) return false;
  errno = 0;
  char* end = nullptr;
  unsigned long long v = std::strtoull(s, &end, 10);
  if (errno != 0 || *end != '\0' || v > max) return false;
  *out = v;
  return true;
}

// "PART:T:FRAME", three decimal numbers.
bool ParseAt(const std::string& s, Options* o) {
  size_t a = s.find(':');
  size_t b = a == std::string::npos ? a : s.find(':', a + 1);
  if (b == std::string::npos) return false;
  uint64_t p, t, f;
  if (!ParseUnsigned(s.substr(0, a).c_str(), 7, &p)) return false;
  if (!ParseUnsigned(s.substr(a + 1, b - a - 1).c_str(), UINT32_MAX, &t)) return false;
  if (!ParseUnsigned(s.substr(b + 1).c_str(), UINT32_MAX, &f)) return false;
  o->at_part = static_cast<int>(p);
  o->at_t = static_cast<uint32_t>(t);
  o->at_frame = static_cast<uint32_t>(f);
  return true;
}

bool ParseSeconds(const char* s, uint32_t* ms) {
  if (!std::isdigit(static_cast<unsigned char>(s[0])) && s[0] != '.') return false;
  errno = 0;
  char* end = nullptr;
  double v = std::strtod(s, &end);
  if (errno != 0 || *end != '\0' || !std::isfinite(v) || v < 0 || v > 3600) return false;
  *ms = static_cast<uint32_t>(std::llround(v * 1000));
  return true;
}

struct Parser {
  int argc;
  const char* const* argv;
  int i = 1;
  std::string* error;
  bool seen_scale = false, seen_fps = false, seen_frames = false, seen_seek = false,
       seen_at = false, seen_bench = false, help = false;

  bool Fail(const std::string& msg) {
    *error = msg;
    return false;
  }

  // The value of an option given as "--opt VALUE" or "--opt=VALUE".
  bool Value(const std::string& name, const std::string& inline_value, bool has_inline,
             std::string* out) {
    if (has_inline) {
      *out = inline_value;
      return true;
    }
    if (i + 1 >= argc) return Fail(name + " needs a value (see --help)");
    *out = argv[++i];
    return true;
  }

  bool One(Options* o) {
    std::string arg = argv[i];
    std::string name = arg, value;
    bool has_inline = false;
    if (arg.rfind("--", 0) == 0 && arg.find('=') != std::string::npos) {
      name = arg.substr(0, arg.find('='));
      value = arg.substr(arg.find('=') + 1);
      has_inline = true;
    }
    uint64_t n = 0;
    if (name == "-h" || name == "--help") {
      help = true;
      return true;
    }
    if (name == "--bench" && !has_inline) {
      seen_bench = true;
      return true;
    }
    if (name == "-o" || name == "--output") {
      if (!Value(name, value, has_inline, &o->output)) return false;
      if (o->output.empty()) return Fail("the output name is empty");
      return true;
    }
    if (name == "--scale") {
      if (!Value(name, value, has_inline, &value)) return false;
      if (!ParseUnsigned(value.c_str(), 9, &n) || n < 1)
        return Fail("--scale '" + value + "': give a whole number from 1 to 9");
      o->scale = static_cast<int>(n);
      seen_scale = true;
      return true;
    }
    if (name == "--fps") {
      if (!Value(name, value, has_inline, &value)) return false;
      if (!ParseUnsigned(value.c_str(), 1000, &n) || n < 1)
        return Fail("--fps '" + value + "': give a whole number from 1 to 1000");
      o->fps = static_cast<uint32_t>(n);
      seen_fps = true;
      return true;
    }
    if (name == "--frames") {
      if (!Value(name, value, has_inline, &value)) return false;
      if (!ParseUnsigned(value.c_str(), UINT32_MAX, &n) || n < 1)
        return Fail("--frames '" + value + "': give a whole number of at least 1");
      o->max_frames = n;
      seen_frames = true;
      return true;
    }
    if (name == "--seek") {
      if (!Value(name, value, has_inline, &value)) return false;
      if (!ParseSeconds(value.c_str(), &o->seek_ms))
        return Fail("--seek '" + value + "': give seconds from 0 to 3600, such as 12.5");
      seen_seek = true;
      return true;
    }
    if (name == "--at") {
      if (!Value(name, value, has_inline, &value)) return false;
      if (!ParseAt(value, o))
        return Fail("--at '" + value + "': give PART:T:FRAME, PART 0 to 7, T and FRAME whole numbers");
      seen_at = true;
      return true;
    }
    if (arg.size() > 1 && arg[0] == '-') return Fail("unknown option '" + arg + "' (see --help)");
    return Fail("unexpected argument '" + arg + "' (see --help)");
  }

  bool ChooseMode(Options* o) {
    if (seen_seek + seen_at + seen_bench > 1) return Fail("choose one of --seek, --at and --bench");
    if (seen_bench) {
      if (!o->output.empty()) return Fail("--bench writes nothing: drop -o");
      if (seen_scale || seen_fps || seen_frames) return Fail("--bench takes no other option");
      o->mode = Mode::kBench;
      return true;
    }
    if (o->output.empty()) return Fail("nothing to do: give -o PATH or --bench (see --help)");
    std::string ext = LowerExtension(o->output);
    NamePattern pattern;
    std::string pattern_error;
    bool numbered = ParseNamePattern(o->output, &pattern, &pattern_error);
    if (!pattern_error.empty()) return Fail(pattern_error);
    o->format = ext == ".png" ? Format::kPng : ext == ".raw" ? Format::kRaw : Format::kContainer;
    if (seen_seek || seen_at) {
      const char* which = seen_seek ? "--seek" : "--at";
      if (numbered || o->format == Format::kContainer)
        return Fail(std::string(which) + " writes one frame: name a .png or .raw file");
      if (seen_fps || seen_frames) return Fail(std::string(which) + " takes no --fps or --frames");
      o->mode = seen_seek ? Mode::kSeek : Mode::kAt;
    } else if (numbered) {
      if (o->format == Format::kContainer)
        return Fail("a numbered output must end in .png or .raw");
      o->mode = Mode::kSequence;
    } else {
      if (o->format != Format::kContainer)
        return Fail("one picture needs --seek SECONDS or --at PART:T:FRAME (see --help)");
      if (ext.empty()) return Fail("'" + o->output + "' has no extension to choose the video format");
      o->mode = Mode::kVideo;
    }
    if (o->format == Format::kRaw && seen_scale && o->scale != 1)
      return Fail(".raw frames are always 320x240: drop --scale");
    if (!seen_scale) o->scale = (o->mode == Mode::kSeek || o->mode == Mode::kAt) ? 1 : 3;
    if (o->format == Format::kRaw) o->scale = 1;
    return true;
  }
};

}  // namespace

bool ParseOptions(int argc, const char* const* argv, Options* opts, std::string* error) {
  Options o;
  Parser p{argc, argv, 1, error};
  for (; p.i < argc; ++p.i) {
    if (!p.One(&o)) return false;
    if (p.help) {
      opts->mode = Mode::kHelp;
      return true;
    }
  }
  if (!p.ChooseMode(&o)) return false;
  *opts = o;
  return true;
}

std::string LowerExtension(const std::string& name) {
  size_t slash = name.find_last_of('/');
  size_t dot = name.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  if (dot == (slash == std::string::npos ? 0 : slash + 1)) return "";  // ".hidden" has none
  std::string ext = name.substr(dot);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

bool ParseNamePattern(const std::string& name, NamePattern* out, std::string* error) {
  error->clear();
  NamePattern p;
  bool found = false;
  std::string* part = &p.head;
  size_t slash = name.find_last_of('/');
  for (size_t i = 0; i < name.size(); ++i) {
    if (name[i] != '%') {
      *part += name[i];
      continue;
    }
    if (i + 1 < name.size() && name[i + 1] == '%') {
      *part += '%';
      ++i;
      continue;
    }
    size_t j = i + 1;
    bool zero = j < name.size() && name[j] == '0';
    if (zero) ++j;
    int width = 0;
    while (j < name.size() && std::isdigit(static_cast<unsigned char>(name[j])) && width < 100)
      width = width * 10 + (name[j++] - '0');
    if (j >= name.size() || name[j] != 'd' || width > 20) {
      *error = "'" + name + "': only %d, %Nd or %0Nd (N up to 20) may number the frames";
      return false;
    }
    if (found) {
      *error = "'" + name + "': only one %d may number the frames";
      return false;
    }
    if (slash != std::string::npos && i < slash) {
      *error = "'" + name + "': the frame number belongs in the file name, not the folder";
      return false;
    }
    found = true;
    p.width = width;
    p.zero_pad = zero;
    part = &p.tail;
    i = j;
  }
  if (found) *out = p;
  return found;
}

std::string NamePattern::Format(uint64_t n) const {
  std::string digits = std::to_string(n);
  if (digits.size() < static_cast<size_t>(width))
    digits.insert(0, static_cast<size_t>(width) - digits.size(), zero_pad ? '0' : ' ');
  return head + digits + tail;
}
