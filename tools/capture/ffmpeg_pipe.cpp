// The video encoder is Debian's ffmpeg, run as a child that reads raw frames from a pipe.
// Encoder settings favour speed: the pictures are large flat areas scaled up by whole pixels.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tools/capture/capture.h"

namespace {

bool IsH264Container(const std::string& ext) {
  return ext == ".mp4" || ext == ".mkv" || ext == ".mov" || ext == ".m4v" || ext == ".avi" ||
         ext == ".ts";
}

}  // namespace

std::vector<std::string> FfmpegArguments(const std::string& output, const std::string& extension,
                                         uint32_t fps, int scale, const std::string& song,
                                         double song_delay_s) {
  std::vector<std::string> a = {"ffmpeg", "-hide_banner", "-loglevel", "error", "-nostats",
                                "-nostdin", "-y", "-f", "rawvideo", "-pix_fmt", "rgb565le",
                                "-video_size", "320x240", "-framerate", std::to_string(fps),
                                "-i", "pipe:0"};
  if (!song.empty()) a.insert(a.end(), {"-i", song});
  a.insert(a.end(), {"-map", "0:v"});
  if (scale > 1) {
    std::string size = std::to_string(320 * scale) + ":" + std::to_string(240 * scale);
    a.insert(a.end(), {"-vf", "scale=" + size + ":flags=neighbor"});
  }
  bool webm = extension == ".webm", h264 = IsH264Container(extension);
  if (webm)
    a.insert(a.end(), {"-c:v", "libvpx-vp9", "-deadline", "realtime", "-cpu-used", "8",
                       "-row-mt", "1", "-crf", "30", "-b:v", "0", "-pix_fmt", "yuv420p"});
  if (h264)
    a.insert(a.end(), {"-c:v", "libx264", "-preset", "ultrafast", "-crf", "20", "-pix_fmt",
                       "yuv420p"});
  if (!song.empty()) {
    // The song is delayed to the start of the part clock and padded with silence; the output
    // ends with the last video frame.
    char delay[64];
    std::snprintf(delay, sizeof delay, "adelay=delays=%.0f:all=1,apad", song_delay_s * 1000.0);
    a.insert(a.end(), {"-map", "1:a", "-af", delay, "-shortest"});
    if (webm) a.insert(a.end(), {"-c:a", "libopus", "-b:a", "128k"});
    if (h264) a.insert(a.end(), {"-c:a", "aac", "-b:a", "160k"});
  }
  if (extension == ".mp4" || extension == ".m4v" || extension == ".mov")
    a.insert(a.end(), {"-movflags", "+faststart"});
  a.push_back(output);
  return a;
}

namespace {

// Reports an exec failure to the parent through a pipe that closes on a successful exec.
[[noreturn]] void RunChild(int frames_fd, int report_fd, char* const* argv) {
  if (dup2(frames_fd, 0) < 0) _exit(127);
  close(frames_fd);
  signal(SIGPIPE, SIG_DFL);
  execvp(argv[0], argv);
  int e = errno;
  ssize_t w = write(report_fd, &e, sizeof e);
  (void)w;
  _exit(127);
}

}  // namespace

bool FfmpegPipe::Start(const std::vector<std::string>& args, std::string* error) {
  std::vector<char*> argv;  // built before the fork: the child only calls async-signal-safe code
  for (const auto& s : args) argv.push_back(const_cast<char*>(s.c_str()));
  argv.push_back(nullptr);
  int frames[2], report[2];
  if (pipe2(frames, O_CLOEXEC) != 0) {
    *error = std::string("cannot make a pipe: ") + std::strerror(errno);
    return false;
  }
  if (pipe2(report, O_CLOEXEC) != 0) {
    *error = std::string("cannot make a pipe: ") + std::strerror(errno);
    close(frames[0]);
    close(frames[1]);
    return false;
  }
  pid_t pid = fork();
  if (pid == 0) RunChild(frames[0], report[1], argv.data());
  close(frames[0]);
  close(report[1]);
  if (pid < 0) {
    *error = std::string("cannot start ffmpeg: ") + std::strerror(errno);
    close(frames[1]);
    close(report[0]);
    return false;
  }
  int child_errno = 0;
  ssize_t n;
  do {
    n = read(report[0], &child_errno, sizeof child_errno);
  } while (n < 0 && errno == EINTR);
  close(report[0]);
  pid_ = pid;
  fd_ = frames[1];
  if (n > 0) {
    Abort();
    if (child_errno == ENOENT)
      *error = "ffmpeg is not installed: install the Debian package \"ffmpeg\" (apt-get install ffmpeg)";
    else
      *error = std::string("cannot run ffmpeg: ") + std::strerror(child_errno);
    return false;
  }
  return true;
}

bool FfmpegPipe::Write(const void* data, size_t n) {
  auto* p = static_cast<const uint8_t*>(data);
  while (n > 0 && fd_ >= 0) {
    ssize_t w = write(fd_, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;  // EPIPE: ffmpeg has stopped
    p += w;
    n -= static_cast<size_t>(w);
  }
  return fd_ >= 0;
}

bool FfmpegPipe::Finish(std::string* error) {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  if (pid_ < 0) return false;
  int status = 0;
  while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
  if (WIFEXITED(status))
    *error = "ffmpeg failed (exit status " + std::to_string(WEXITSTATUS(status)) + ")";
  else
    *error = "ffmpeg was stopped by signal " + std::to_string(WTERMSIG(status));
  return false;
}

void FfmpegPipe::Abort() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
  }
  pid_ = -1;
}
