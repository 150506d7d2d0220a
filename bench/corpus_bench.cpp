// corpus_bench: compressed size, encode and decode speed and peak memory of lym at every preset
// and level over a folder of WAVE files, beside flac -5, flac -8, wavpack and wavpack -hh measured
// in the same run, each figure also as a ratio to flac -8. Every program runs as a separate process
// (single-threaded), timed by wall clock; peak memory is the child's maximum resident set. lym's
// decoded files are compared with the originals byte for byte.
//
//   corpus_bench [--lym PATH] [--presets LIST] [--repeat N] FOLDER
//
// LIST is "all" (default) or comma-separated presets such as "p2,p4m".
#ifndef _WIN32

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct TRun {
  bool ok = false;
  double seconds = 0;
  double peakMb = 0;
};

// Runs argv to its end with stdout and stderr discarded.
TRun Execute(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  TRun run;
  const auto start = std::chrono::steady_clock::now();
  pid_t pid;
  if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) == 0) {
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) == pid) {
      run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
      run.peakMb = double(usage.ru_maxrss) / 1024.0;
    }
  }
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  posix_spawn_file_actions_destroy(&actions);
  return run;
}

struct TWave {
  fs::path path;
  int64_t bytes = 0;
  double seconds = 0;
};

uint32_t Le(const unsigned char* p, int n) {
  uint32_t v = 0;
  for (int i = n - 1; i >= 0; --i) v = v << 8 | p[i];
  return v;
}

// The playing time, from the format chunk and the data chunk's size.
bool ReadWave(const fs::path& path, TWave& wave) {
  std::ifstream in(path, std::ios::binary);
  std::vector<unsigned char> head(1 << 16);
  in.read(reinterpret_cast<char*>(head.data()), std::streamsize(head.size()));
  head.resize(size_t(in.gcount()));
  uint32_t byteRate = 0;
  for (size_t pos = 12; pos + 8 <= head.size();) {
    const uint32_t size = Le(&head[pos + 4], 4);
    if (std::memcmp(&head[pos], "fmt ", 4) == 0 && pos + 16 <= head.size()) {
      byteRate = Le(&head[pos + 16], 4);
    } else if (std::memcmp(&head[pos], "data", 4) == 0 && byteRate > 0) {
      wave.path = path;
      wave.bytes = int64_t(fs::file_size(path));
      wave.seconds = double(size) / byteRate;
      return true;
    }
    pos += 8 + size + (size & 1);
  }
  return false;
}

// One compressor setting: how to encode a file into out and decode it back into wav.
struct TTool {
  std::string name;
  std::string extension;
  std::vector<std::string> encode;  // "{in}" and "{out}" are replaced
  std::vector<std::string> decode;
  bool verify = false;  // compare the decoded file with the original
};

struct TResult {
  int64_t bytes = 0;
  double encodeSeconds = 0, decodeSeconds = 0, encodePeak = 0, decodePeak = 0;
  bool ok = true;
};

std::vector<std::string> Fill(std::vector<std::string> argv, const std::string& in,
                              const std::string& out) {
  for (std::string& a : argv) {
    if (a == "{in}") a = in;
    if (a == "{out}") a = out;
  }
  return argv;
}

bool SameFiles(const fs::path& a, const fs::path& b) {
  std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
  return std::equal(std::istreambuf_iterator<char>(fa), {}, std::istreambuf_iterator<char>(fb),
                    {});
}

TResult Measure(const TTool& tool, const std::vector<TWave>& waves, const fs::path& work,
                int repeat) {
  TResult result;
  for (const TWave& wave : waves) {
    const std::string packed = (work / ("x" + tool.extension)).string();
    const std::string unpacked = (work / "x.wav").string();
    double bestEncode = 1e30, bestDecode = 1e30;
    for (int r = 0; r < repeat; ++r) {
      fs::remove(packed);
      fs::remove(unpacked);
      const TRun e = Execute(Fill(tool.encode, wave.path.string(), packed));
      const TRun d = Execute(Fill(tool.decode, packed, unpacked));
      result.ok = result.ok && e.ok && d.ok;
      bestEncode = std::min(bestEncode, e.seconds);
      bestDecode = std::min(bestDecode, d.seconds);
      result.encodePeak = std::max(result.encodePeak, e.peakMb);
      result.decodePeak = std::max(result.decodePeak, d.peakMb);
    }
    result.encodeSeconds += bestEncode;
    result.decodeSeconds += bestDecode;
    result.bytes += fs::exists(packed) ? int64_t(fs::file_size(packed)) : 0;
    if (tool.verify && !SameFiles(wave.path, unpacked)) {
      std::fprintf(stderr, "%s: %s does not decode to the original\n", tool.name.c_str(),
                   wave.path.filename().c_str());
      result.ok = false;
    }
  }
  return result;
}

std::vector<TTool> Tools(const std::string& lym, const std::string& presets) {
  std::vector<TTool> tools = {
      {"flac -5", ".flac", {"flac", "-5", "-s", "-f", "-o", "{out}", "{in}"},
       {"flac", "-d", "-s", "-f", "-o", "{out}", "{in}"}},
      {"flac -8", ".flac", {"flac", "-8", "-s", "-f", "-o", "{out}", "{in}"},
       {"flac", "-d", "-s", "-f", "-o", "{out}", "{in}"}},
      {"wavpack", ".wv", {"wavpack", "-q", "-y", "{in}", "-o", "{out}"},
       {"wvunpack", "-q", "-y", "{in}", "-o", "{out}"}},
      {"wavpack -hh", ".wv", {"wavpack", "-hh", "-q", "-y", "{in}", "-o", "{out}"},
       {"wvunpack", "-q", "-y", "{in}", "-o", "{out}"}},
  };
  for (int p = 0; p <= 4; ++p) {
    for (const char* level : {"", "e", "m"}) {
      std::string preset = "p";
      preset += char('0' + p);
      preset += level;
      if (presets != "all" && ("," + presets + ",").find("," + preset + ",") == std::string::npos) {
        continue;
      }
      tools.push_back({"lym -" + preset, ".lym", {lym, "-" + preset, "-q", "-f", "-o", "{out}", "{in}"},
                       {lym, "-d", "-q", "-f", "-o", "{out}", "{in}"}, true});
    }
  }
  return tools;
}

std::string Ratio(double value, double reference) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", reference > 0 ? value / reference : 0.0);
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  std::string lym = "build/lym", presets = "all", folder;
  int repeat = 1;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--lym" && i + 1 < argc) lym = argv[++i];
    else if (a == "--presets" && i + 1 < argc) presets = argv[++i];
    else if (a == "--repeat" && i + 1 < argc) repeat = std::max(1, std::atoi(argv[++i]));
    else folder = a;
  }
  if (folder.empty()) {
    std::fprintf(stderr, "usage: corpus_bench [--lym PATH] [--presets LIST] [--repeat N] FOLDER\n");
    return 2;
  }
  std::vector<TWave> waves;
  for (const auto& entry : fs::directory_iterator(folder)) {
    TWave wave;
    if (entry.path().extension() == ".wav" && ReadWave(entry.path(), wave)) waves.push_back(wave);
  }
  std::sort(waves.begin(), waves.end(), [](auto& a, auto& b) { return a.path < b.path; });
  int64_t totalBytes = 0;
  double totalSeconds = 0;
  for (const TWave& w : waves) totalBytes += w.bytes, totalSeconds += w.seconds;
  std::printf("%zu files, %.1f MB, %.1f s of audio\n\n", waves.size(), totalBytes / 1048576.0,
              totalSeconds);

  const fs::path work = fs::temp_directory_path() / ("lym-bench-" + std::to_string(getpid()));
  fs::create_directories(work);
  std::vector<std::pair<TTool, TResult>> results;
  for (const TTool& tool : Tools(lym, presets)) {
    std::fprintf(stderr, "measuring %s ...\n", tool.name.c_str());
    results.emplace_back(tool, Measure(tool, waves, work, repeat));
  }
  fs::remove_all(work);

  const TResult& flac8 = results[1].second;
  const double flacDecodeSpeed = totalSeconds / flac8.decodeSeconds;
  std::printf("| setting | size %% of WAVE | size / flac -8 | encode x real time | / flac -8 |"
              " decode x real time | / flac -8 | peak MB enc / dec |\n");
  std::printf("|---|---:|---:|---:|---:|---:|---:|---:|\n");
  for (const auto& [tool, r] : results) {
    const double encodeSpeed = totalSeconds / r.encodeSeconds;
    const double decodeSpeed = totalSeconds / r.decodeSeconds;
    std::printf("| %s%s | %.2f | %s | %.0f | %s | %.0f | %s | %.1f / %.1f |\n", tool.name.c_str(),
                r.ok ? "" : " (FAILED)", 100.0 * r.bytes / totalBytes,
                Ratio(r.bytes, flac8.bytes).c_str(), encodeSpeed,
                Ratio(encodeSpeed, totalSeconds / flac8.encodeSeconds).c_str(), decodeSpeed,
                Ratio(decodeSpeed, flacDecodeSpeed).c_str(), r.encodePeak, r.decodePeak);
  }
  for (const auto& [tool, r] : results) {
    if (tool.name != "lym -p2") continue;
    const double encodeSpeed = totalSeconds / r.encodeSeconds;
    double worstDecode = 1e30, peak = 0;
    for (const auto& [t, other] : results) {
      if (t.extension != ".lym") continue;
      worstDecode = std::min(worstDecode, totalSeconds / other.decodeSeconds);
      peak = std::max({peak, other.encodePeak, other.decodePeak});
    }
    std::printf("\nGoals (single-threaded):\n");
    std::printf("- -p2 smaller than flac -8: %s (%s)\n", r.bytes < flac8.bytes ? "met" : "NOT met",
                Ratio(r.bytes, flac8.bytes).c_str());
    std::printf("- -p2 encodes at least as fast as flac -8: %s (%s)\n",
                encodeSpeed >= totalSeconds / flac8.encodeSeconds ? "met" : "NOT met",
                Ratio(encodeSpeed, totalSeconds / flac8.encodeSeconds).c_str());
    std::printf("- every lym setting decodes at least as fast as flac -d: %s (slowest %s)\n",
                worstDecode >= flacDecodeSpeed ? "met" : "NOT met",
                Ratio(worstDecode, flacDecodeSpeed).c_str());
    std::printf("- peak memory under 32 MB: %s (%.1f MB)\n", peak < 32 ? "met" : "NOT met", peak);
  }
  return 0;
}

#else
#include <cstdio>

int main() {
  std::fputs("corpus_bench: runs on POSIX systems only\n", stderr);
  return 1;
}
#endif
