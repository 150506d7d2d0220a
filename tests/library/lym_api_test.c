/* liblym as a C program sees it, through lym/lym.h alone: round trips of every format, seeking,
 * the caller's media, tags, damaged and hostile input, argument checks, files and threads.
 *   lym_api_test [SCRATCH_FOLDER [WAVE_FILE LYM_FILE]]
 * SCRATCH_FOLDER (default: the current folder) gets a folder of its own for the file tests, which
 * is removed at the end. WAVE_FILE and LYM_FILE are a WAVE file and the .lym file that the lym tool
 * made of it: the library must decode the stream into the file's samples, header and trailer, and
 * encode those at the stream's preset into the same bytes. Exit status 0 when every check held. */
#if !defined(_WIN32)
#define _POSIX_C_SOURCE 200809L /* mkdir, opendir, getpid and threads under -std=c99 */
#endif

#include <lym/lym.h>

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

/* ------------------------------------------------------------------------------------------ */
/* Checks: a failed one prints where it stands and what the main thread is testing, and counts.
 * Threads check too, so the count is guarded. */

static char context[200];

#ifdef _WIN32
static volatile LONG checks, failures;
static void count_check(int ok) {
  InterlockedIncrement(&checks);
  if (!ok) InterlockedIncrement(&failures);
}
#else
static pthread_mutex_t count_lock = PTHREAD_MUTEX_INITIALIZER;
static long checks, failures;
static void count_check(int ok) {
  pthread_mutex_lock(&count_lock);
  ++checks;
  if (!ok) ++failures;
  pthread_mutex_unlock(&count_lock);
}
#endif

static void set_context(const char *format, ...) {
  va_list arguments;
  va_start(arguments, format);
  vsnprintf(context, sizeof context, format, arguments);
  va_end(arguments);
}

static int check(int ok, const char *file, int line, const char *text) {
  if (!ok) fprintf(stderr, "%s:%d: [%s] failed: %s\n", file, line, context, text);
  count_check(ok);
  return ok;
}

static int check_status(lym_status got, lym_status expected, const char *file, int line,
                        const char *call) {
  if (got != expected) {
    fprintf(stderr, "%s:%d: [%s] %s gave %d (%s), expected %d (%s)\n", file, line, context, call,
            (int)got, lym_status_string(got), (int)expected, lym_status_string(expected));
  }
  count_check(got == expected);
  return got == expected;
}

#define CHECK(condition) check((condition) != 0, __FILE__, __LINE__, #condition)
#define CHECK_STATUS(call, expected) check_status((call), (expected), __FILE__, __LINE__, #call)

static void *allocate(size_t bytes) {
  void *memory = malloc(bytes > 0 ? bytes : 1);
  if (memory == NULL) {
    fprintf(stderr, "lym_api_test: out of memory\n");
    exit(1);
  }
  return memory;
}

/* Every value of the generator's upper bits; the low bits of an LCG repeat too soon. */
static uint32_t next_random(uint32_t *state) {
  *state = *state * 1664525u + 1013904223u;
  return *state >> 8;
}

/* ------------------------------------------------------------------------------------------ */
/* Bytes in memory, which are also a medium for lym_io: reads and writes go to position; from
 * limit on the medium fails, as a broken disk or connection would. */

typedef struct byte_buffer {
  unsigned char *data;
  size_t size, capacity, position, limit;
  unsigned reads;
} byte_buffer;

static byte_buffer empty_buffer(void) {
  byte_buffer buffer = {NULL, 0, 0, 0, (size_t)-1, 0};
  return buffer;
}

static void free_buffer(byte_buffer *buffer) {
  free(buffer->data);
  *buffer = empty_buffer();
}

/* Puts bytes at offset, zero-filling any hole before it. */
static void put_bytes(byte_buffer *buffer, size_t offset, const void *bytes, size_t count) {
  const size_t end = offset + count;
  if (end > buffer->capacity) {
    size_t capacity = buffer->capacity > 0 ? buffer->capacity : 256;
    unsigned char *grown;
    while (capacity < end) capacity *= 2;
    grown = allocate(capacity);
    if (buffer->size > 0) memcpy(grown, buffer->data, buffer->size);
    free(buffer->data);
    buffer->data = grown;
    buffer->capacity = capacity;
  }
  if (offset > buffer->size) memset(buffer->data + buffer->size, 0, offset - buffer->size);
  if (count > 0) memcpy(buffer->data + offset, bytes, count);
  if (end > buffer->size) buffer->size = end;
}

static void append_bytes(byte_buffer *buffer, const void *bytes, size_t count) {
  put_bytes(buffer, buffer->size, bytes, count);
}

static void append_u32(byte_buffer *buffer, uint32_t value) {
  unsigned char bytes[4];
  int i;
  for (i = 0; i < 4; ++i) bytes[i] = (unsigned char)(value >> (8 * i));
  append_bytes(buffer, bytes, 4);
}

static byte_buffer copy_bytes(const void *bytes, size_t count) {
  byte_buffer copy = empty_buffer();
  append_bytes(&copy, bytes, count);
  return copy;
}

static byte_buffer random_bytes(size_t count, uint32_t seed) {
  byte_buffer bytes = empty_buffer();
  while (bytes.size < count) {
    const unsigned char byte = (unsigned char)next_random(&seed);
    append_bytes(&bytes, &byte, 1);
  }
  return bytes;
}

static int same_bytes(const byte_buffer *a, const byte_buffer *b) {
  return a->size == b->size && (a->size == 0 || memcmp(a->data, b->data, a->size) == 0);
}

static int64_t memory_read(void *user_data, void *buffer, size_t bytes) {
  byte_buffer *medium = user_data;
  if (medium->position > medium->limit || bytes > medium->limit - medium->position) return -1;
  if (medium->position >= medium->size) return 0;
  if (bytes > medium->size - medium->position) bytes = medium->size - medium->position;
  memcpy(buffer, medium->data + medium->position, bytes);
  medium->position += bytes;
  return (int64_t)bytes;
}

static int memory_write(void *user_data, const void *buffer, size_t bytes) {
  byte_buffer *medium = user_data;
  if (medium->position > medium->limit || bytes > medium->limit - medium->position) return -1;
  put_bytes(medium, medium->position, buffer, bytes);
  medium->position += bytes;
  return 0;
}

static int memory_seek(void *user_data, int64_t position) {
  byte_buffer *medium = user_data;
  if (position < 0) return -1;
  medium->position = (size_t)position;
  return 0;
}

static int64_t memory_tell(void *user_data) {
  return (int64_t)((byte_buffer *)user_data)->position;
}

static int64_t memory_size(void *user_data) { return (int64_t)((byte_buffer *)user_data)->size; }

/* A pipe's reads: never more than the next of a few odd chunk sizes. */
static int64_t pipe_read(void *user_data, void *buffer, size_t bytes) {
  static const size_t chunks[] = {1, 3, 517, 4099, 29, 65537};
  byte_buffer *medium = user_data;
  const size_t chunk = chunks[medium->reads++ % (sizeof chunks / sizeof chunks[0])];
  return memory_read(medium, buffer, bytes < chunk ? bytes : chunk);
}

static const lym_io seekable_medium = {memory_read, memory_write, memory_seek, memory_tell,
                                       memory_size};
/* A pipe: read or written in one pass, no seeking, no length. */
static const lym_io pipe_medium = {pipe_read, memory_write, NULL, NULL, NULL};

/* ------------------------------------------------------------------------------------------ */
/* Platform: folders and threads */

#ifdef _WIN32
static unsigned long process_id(void) { return (unsigned long)GetCurrentProcessId(); }

static int make_folder(const char *path) { return CreateDirectoryA(path, NULL) ? 0 : -1; }

static int remove_folder(const char *path) { return RemoveDirectoryA(path) ? 0 : -1; }

/* Names are UTF-8, which the system's "A" calls would take for the ANSI code page. */
static int remove_file(const char *path) {
  wchar_t wide[1024];
  if (MultiByteToWideChar(CP_UTF8, 0, path, -1, wide, 1024) == 0) return -1;
  return DeleteFileW(wide) ? 0 : -1;
}

/* The names in a folder, "." and ".." left out; -1 when it cannot be read. */
static int count_folder_entries(const char *path) {
  char pattern[1100];
  WIN32_FIND_DATAA entry;
  HANDLE search;
  int count = 0;
  snprintf(pattern, sizeof pattern, "%s\\*", path);
  search = FindFirstFileA(pattern, &entry);
  if (search == INVALID_HANDLE_VALUE) return -1;
  do {
    if (strcmp(entry.cFileName, ".") != 0 && strcmp(entry.cFileName, "..") != 0) ++count;
  } while (FindNextFileA(search, &entry));
  FindClose(search);
  return count;
}
#else
static unsigned long process_id(void) { return (unsigned long)getpid(); }

static int make_folder(const char *path) { return mkdir(path, 0700); }

static int remove_folder(const char *path) { return rmdir(path); }

static int remove_file(const char *path) { return remove(path); }

static int count_folder_entries(const char *path) {
  DIR *folder = opendir(path);
  struct dirent *entry;
  int count = 0;
  if (folder == NULL) return -1;
  while ((entry = readdir(folder)) != NULL) {
    if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0) ++count;
  }
  closedir(folder);
  return count;
}
#endif

typedef struct thread_job {
  void (*run)(void *argument);
  void *argument;
} thread_job;

#ifdef _WIN32
static DWORD WINAPI thread_main(LPVOID job) {
  thread_job *started = job;
  started->run(started->argument);
  return 0;
}

/* Runs both jobs at once, each on a thread of its own, and waits for both. */
static void run_together(thread_job jobs[2]) {
  HANDLE threads[2];
  int i;
  for (i = 0; i < 2; ++i) threads[i] = CreateThread(NULL, 0, thread_main, &jobs[i], 0, NULL);
  if (!CHECK(threads[0] != NULL && threads[1] != NULL)) exit(1);
  WaitForMultipleObjects(2, threads, TRUE, INFINITE);
  for (i = 0; i < 2; ++i) CloseHandle(threads[i]);
}
#else
static void *thread_main(void *job) {
  thread_job *started = job;
  started->run(started->argument);
  return NULL;
}

static void run_together(thread_job jobs[2]) {
  pthread_t threads[2];
  int i;
  for (i = 0; i < 2; ++i) {
    if (!CHECK(pthread_create(&threads[i], NULL, thread_main, &jobs[i]) == 0)) exit(1);
  }
  for (i = 0; i < 2; ++i) pthread_join(threads[i], NULL);
}
#endif

static int file_exists(const char *path) {
  FILE *file = fopen(path, "rb");
  if (file != NULL) fclose(file);
  return file != NULL;
}

static byte_buffer read_file(const char *path) {
  byte_buffer bytes = empty_buffer();
  unsigned char block[65536];
  size_t count;
  FILE *file = fopen(path, "rb");
  if (!CHECK(file != NULL)) return bytes;
  while ((count = fread(block, 1, sizeof block, file)) > 0) append_bytes(&bytes, block, count);
  fclose(file);
  return bytes;
}

static void write_file(const char *path, const byte_buffer *bytes) {
  FILE *file = fopen(path, "wb");
  if (!CHECK(file != NULL)) return;
  CHECK(fwrite(bytes->data, 1, bytes->size, file) == bytes->size);
  CHECK(fclose(file) == 0);
}

static void join_path(char *path, size_t capacity, const char *folder, const char *name) {
  snprintf(path, capacity, "%s/%s", folder, name);
}

/* ------------------------------------------------------------------------------------------ */
/* Audio clips: samples and the WAVE bytes that go with them */

typedef struct clip {
  uint32_t rate, channels, bits;
  size_t frames;
  int32_t *samples;            /* frames * channels, interleaved */
  byte_buffer header, trailer; /* the WAVE bytes stored with the stream; empty for none */
} clip;

static int32_t highest_sample(uint32_t bits) { return (int32_t)((1ul << (bits - 1)) - 1); }
static int32_t lowest_sample(uint32_t bits) { return -highest_sample(bits) - 1; }
static size_t sample_bytes(uint32_t bits) { return (bits + 7) / 8; }

/* cos(x) for |x| <= pi by its series, so that no maths library is needed. */
static double cosine(double x) {
  double term = 1.0, sum = 1.0;
  int k;
  for (k = 1; k < 12; ++k) {
    term *= -x * x / ((2.0 * k - 1.0) * (2.0 * k));
    sum += term;
  }
  return sum;
}

static int32_t clamp_sample(double value, uint32_t bits) {
  if (value > highest_sample(bits)) return highest_sample(bits);
  if (value < lowest_sample(bits)) return lowest_sample(bits);
  return (int32_t)(value < 0 ? value - 0.5 : value + 0.5);
}

/* A tone per channel (by the recurrence of the cosine) with noise from a fixed seed, and full
 * scale at its hardest: single peaks every 1009 frames and a burst of alternating extremes in the
 * middle. */
static void fill_channel(clip *c, uint32_t channel, uint32_t seed) {
  const double pi = 3.14159265358979323846;
  const double step = 2.0 * pi * (220.0 * (channel + 1) + seed % 200) / c->rate;
  const double amplitude = 0.7 * highest_sample(c->bits);
  const double noise_scale = highest_sample(c->bits) / 40000.0;
  const double factor = 2.0 * cosine(step);
  double current = amplitude, previous = amplitude * cosine(step);
  uint32_t random = seed * 31u + channel;
  size_t i;
  for (i = 0; i < c->frames; ++i) {
    const double noise = ((double)(next_random(&random) % 2001) - 1000.0) * noise_scale;
    const double next = factor * current - previous;
    int32_t *sample = &c->samples[i * c->channels + channel];
    *sample = clamp_sample(current + noise, c->bits);
    if (i % 1009 == 1008 || (i >= c->frames / 2 && i < c->frames / 2 + 64))
      *sample = (i + channel) % 2 ? highest_sample(c->bits) : lowest_sample(c->bits);
    previous = current;
    current = next;
  }
}

static clip make_clip(uint32_t rate, uint32_t channels, uint32_t bits, size_t frames,
                      uint32_t seed) {
  clip c;
  uint32_t channel;
  c.rate = rate;
  c.channels = channels;
  c.bits = bits;
  c.frames = frames;
  c.samples = allocate(frames * channels * sizeof *c.samples);
  c.header = empty_buffer();
  c.trailer = empty_buffer();
  for (channel = 0; channel < channels; ++channel) fill_channel(&c, channel, seed);
  return c;
}

static void free_clip(clip *c) {
  free(c->samples);
  free_buffer(&c->header);
  free_buffer(&c->trailer);
}

/* Samples packed as in a WAVE file (see lym_decoder_read_pcm). */
static void pack_samples(const int32_t *samples, size_t count, uint32_t bits,
                         unsigned char *bytes) {
  const size_t width = sample_bytes(bits);
  size_t i, b;
  for (i = 0; i < count; ++i) {
    const uint32_t value = bits <= 8 ? (uint32_t)(samples[i] + 128) : (uint32_t)samples[i];
    for (b = 0; b < width; ++b) *bytes++ = (unsigned char)(value >> (8 * b));
  }
}

static void unpack_samples(const unsigned char *bytes, size_t count, uint32_t bits,
                           int32_t *samples) {
  const size_t width = sample_bytes(bits);
  const uint32_t sign = 1ul << (8 * width - 1);
  size_t i, b;
  for (i = 0; i < count; ++i, bytes += width) {
    uint32_t value = 0;
    for (b = 0; b < width; ++b) value |= (uint32_t)bytes[b] << (8 * b);
    samples[i] = bits <= 8 ? (int32_t)value - 128 : (int32_t)((int64_t)(value ^ sign) - sign);
  }
}

/* Checks count frames at got against the clip's from frame first; names the first difference. */
static int check_samples(const int32_t *got, const clip *c, size_t first, size_t count,
                         const char *file, int line) {
  const int32_t *expected = c->samples + first * c->channels;
  size_t i;
  if (!check(first + count <= c->frames, file, line, "samples within the clip")) return 0;
  for (i = 0; i < count * c->channels; ++i) {
    if (got[i] != expected[i]) {
      char text[160];
      snprintf(text, sizeof text, "frame %lu channel %lu is %ld, expected %ld",
               (unsigned long)(first + i / c->channels), (unsigned long)(i % c->channels),
               (long)got[i], (long)expected[i]);
      return check(0, file, line, text);
    }
  }
  return 1;
}
#define CHECK_SAMPLES(got, c, first, count) check_samples(got, c, first, count, __FILE__, __LINE__)

/* ------------------------------------------------------------------------------------------ */
/* Encoding and decoding helpers */

static lym_encoder_options clip_options(const clip *c, int32_t preset, int32_t evaluation) {
  lym_encoder_options options;
  lym_encoder_options_init(&options);
  options.sample_rate = c->rate;
  options.channels = c->channels;
  options.bits_per_sample = c->bits;
  options.total_samples = c->frames;
  options.preset = preset;
  options.evaluation = evaluation;
  options.wave_header = c->header.data;
  options.wave_header_bytes = (uint32_t)c->header.size;
  options.wave_trailer = c->trailer.data;
  options.wave_trailer_bytes = (uint32_t)c->trailer.size;
  return options;
}

/* Writes frames of the clip from frame first, as 32-bit values or packed, in chunks of odd sizes
 * that do not line up with the stream's frames. */
static lym_status write_frames(lym_encoder *encoder, const clip *c, size_t first, size_t frames,
                               int packed) {
  static const size_t chunks[] = {1, 4095, 333, 17, 70001};
  const size_t largest = 70001;
  unsigned char *pcm = packed ? allocate(largest * c->channels * sample_bytes(c->bits)) : NULL;
  lym_status status = LYM_OK;
  size_t done = 0, call = 0;
  while (done < frames && status == LYM_OK) {
    const size_t chunk = chunks[call++ % (sizeof chunks / sizeof chunks[0])];
    const size_t count = chunk < frames - done ? chunk : frames - done;
    const int32_t *from = c->samples + (first + done) * c->channels;
    if (packed) {
      pack_samples(from, count * c->channels, c->bits, pcm);
      status = lym_encoder_write_pcm(encoder, pcm, count);
    } else {
      status = lym_encoder_write_s32(encoder, from, count);
    }
    done += count;
  }
  free(pcm);
  return status;
}

/* The clip encoded through medium into memory; empty when anything failed. */
static byte_buffer encode_clip(const clip *c, const lym_encoder_options *options,
                               const lym_io *medium, int packed) {
  byte_buffer stream = empty_buffer();
  lym_encoder *encoder;
  if (!CHECK_STATUS(lym_encoder_open_io(medium, &stream, options, &encoder), LYM_OK)) return stream;
  if (CHECK_STATUS(write_frames(encoder, c, 0, c->frames, packed), LYM_OK) &&
      CHECK_STATUS(lym_encoder_finish(encoder), LYM_OK)) {
    CHECK(lym_encoder_output_bytes(encoder) == stream.size);
    CHECK(strcmp(lym_encoder_error_text(encoder), "") == 0);
  } else {
    free_buffer(&stream);
  }
  lym_encoder_close(encoder);
  return stream;
}

/* What a decoder delivered from where it stood to the end. */
typedef struct decoded {
  int32_t *samples; /* frames * channels */
  size_t frames;
  int damaged;        /* a read answered LYM_DAMAGED */
  lym_status failure; /* LYM_OK, or the status that ended decoding early */
} decoded;

/* Reads as 32-bit values or packed (then unpacked), in requests of changing sizes, stopping at
 * limit frames should a broken decoder never end. */
static decoded decode_rest(lym_decoder *decoder, int packed, size_t limit) {
  static const size_t requests[] = {1237, 1, 4096, 40000, 77};
  const size_t largest = 40000;
  decoded result = {NULL, 0, 0, LYM_OK};
  lym_info info;
  unsigned char *pcm;
  size_t capacity = 0, call = 0, channels;
  int short_read = 0;
  CHECK_STATUS(lym_decoder_get_info(decoder, &info), LYM_OK);
  channels = info.channels;
  pcm = allocate(largest * channels * sample_bytes(info.bits_per_sample));
  for (;;) {
    const size_t request = requests[call++ % (sizeof requests / sizeof requests[0])];
    size_t got = 0;
    lym_status status;
    if (result.frames + request > capacity) {
      int32_t *grown;
      capacity = 2 * (result.frames + request);
      grown = allocate(capacity * channels * sizeof *grown);
      if (result.frames > 0)
        memcpy(grown, result.samples, result.frames * channels * sizeof *grown);
      free(result.samples);
      result.samples = grown;
    }
    if (packed) {
      status = lym_decoder_read_pcm(decoder, pcm, request, &got);
      unpack_samples(pcm, got * channels, info.bits_per_sample,
                     result.samples + result.frames * channels);
    } else {
      status = lym_decoder_read_s32(decoder, result.samples + result.frames * channels, request,
                                    &got);
    }
    CHECK(got <= request);
    CHECK(got == 0 || !short_read); /* fewer than asked only at the end */
    short_read = got < request;
    result.frames += got;
    if (status > LYM_DAMAGED) {
      result.failure = status;
      break;
    }
    result.damaged |= status == LYM_DAMAGED;
    if (got == 0 || !CHECK(result.frames <= limit)) break;
  }
  free(pcm);
  return result;
}

/* Decodes the whole stream and checks it against the clip. */
static void check_decoding(lym_decoder *decoder, const clip *c, int packed) {
  decoded d = decode_rest(decoder, packed, c->frames);
  CHECK_STATUS(d.failure, LYM_OK);
  CHECK(!d.damaged);
  if (CHECK(d.frames == c->frames)) CHECK_SAMPLES(d.samples, c, 0, d.frames);
  free(d.samples);
}

typedef enum source_kind { FROM_MEMORY, FROM_SEEKABLE_MEDIUM, FROM_PIPE } source_kind;
static const char *const source_names[] = {"memory", "seekable medium", "pipe"};

/* Opens a decoder on the stream in medium, read as kind says. */
static lym_status open_decoder(source_kind kind, byte_buffer *medium,
                               const lym_decoder_options *options, lym_decoder **decoder) {
  medium->position = 0;
  medium->reads = 0;
  switch (kind) {
    case FROM_MEMORY: return lym_decoder_open_memory(medium->data, medium->size, options, decoder);
    case FROM_SEEKABLE_MEDIUM:
      return lym_decoder_open_io(&seekable_medium, medium, options, decoder);
    default: return lym_decoder_open_io(&pipe_medium, medium, options, decoder);
  }
}

/* For an open that must succeed with the expected status: the decoder, or NULL with any handle
 * that came with another status closed. */
static lym_decoder *opened(lym_status status, lym_status expected, lym_decoder **decoder,
                           const char *file, int line, const char *call) {
  if (check_status(status, expected, file, line, call)) return *decoder;
  lym_decoder_close(*decoder);
  *decoder = NULL;
  return NULL;
}
#define OPENED(call, expected, decoder) \
  opened((call), (expected), &(decoder), __FILE__, __LINE__, #call)

typedef lym_status (*wave_bytes_getter)(lym_decoder *, void *, size_t, size_t *);

/* A stored header or trailer: too small a buffer, an exact one, none stored. */
static void check_wave_bytes(lym_decoder *decoder, wave_bytes_getter get,
                             const byte_buffer *expected) {
  unsigned char *buffer = allocate(expected->size + 1);
  size_t bytes = 12345;
  if (expected->size == 0) {
    CHECK_STATUS(get(decoder, buffer, 1, &bytes), LYM_ERROR_NOT_FOUND);
  } else {
    CHECK_STATUS(get(decoder, buffer, expected->size - 1, &bytes), LYM_ERROR_BUFFER_TOO_SMALL);
    CHECK(bytes == expected->size);
    memset(buffer, 0xA5, expected->size + 1);
    bytes = 0;
    CHECK_STATUS(get(decoder, buffer, expected->size, &bytes), LYM_OK);
    CHECK(bytes == expected->size && memcmp(buffer, expected->data, bytes) == 0);
    CHECK(buffer[expected->size] == 0xA5);
  }
  free(buffer);
}

static uint32_t library_version_number(void) {
  return (uint32_t)LYM_VERSION_MAJOR << 16 | (uint32_t)LYM_VERSION_MINOR << 8 | LYM_VERSION_PATCH;
}

/* The information of an intact stream made of the clip with these options. */
static void check_info(lym_decoder *decoder, const clip *c, const lym_encoder_options *options,
                       size_t stream_bytes) {
  lym_info info;
  if (!CHECK_STATUS(lym_decoder_get_info(decoder, &info), LYM_OK)) return;
  CHECK(info.sample_rate == c->rate && info.channels == c->channels);
  CHECK(info.bits_per_sample == c->bits && info.total_samples == c->frames);
  CHECK(info.frame_length > 0);
  /* Above 64 kHz the longer frames of the higher presets would exceed 16384 samples: such a
   * stream has the shorter frames of the next preset, and names that one. */
  if (c->rate <= 65536) {
    CHECK(info.preset == options->preset && info.evaluation == options->evaluation);
  } else {
    CHECK(info.preset >= options->preset && info.preset <= 4);
    CHECK(info.evaluation >= 0 && info.evaluation <= 2);
  }
  CHECK(info.wave_header_bytes == c->header.size && info.wave_trailer_bytes == c->trailer.size);
  CHECK(info.damage_flags == 0);
  CHECK(info.encoder_version == library_version_number());
  CHECK(info.stream_bytes == stream_bytes);
}

/* ------------------------------------------------------------------------------------------ */
/* Version and texts */

static void test_version_and_texts(void) {
  static const char *const presets[] = {"Turbo", "Fast", "Normal", "High", "Extra"};
  static const char *const evaluations[] = {"Standard", "Extra", "Max"};
  char expected[40];
  int status, other, i;
  set_context("version and texts");
  snprintf(expected, sizeof expected, "%d.%d.%d", LYM_VERSION_MAJOR, LYM_VERSION_MINOR,
           LYM_VERSION_PATCH);
  CHECK(lym_version_string() != NULL && strcmp(lym_version_string(), expected) == 0);
  for (status = LYM_OK; status <= LYM_ERROR_INTERNAL; ++status) {
    const char *text = lym_status_string((lym_status)status);
    if (!CHECK(text != NULL && text[0] != '\0')) continue;
    for (other = LYM_OK; other < status; ++other)
      CHECK(strcmp(text, lym_status_string((lym_status)other)) != 0);
  }
  CHECK(lym_status_string((lym_status)(LYM_ERROR_INTERNAL + 1)) != NULL);
  CHECK(lym_status_string((lym_status)-1) != NULL);
  for (i = 0; i < 5; ++i) CHECK(strcmp(lym_preset_string(i), presets[i]) == 0);
  for (i = 0; i < 3; ++i) CHECK(strcmp(lym_evaluation_string(i), evaluations[i]) == 0);
  CHECK(strcmp(lym_preset_string(-1), "Unknown") == 0);
  CHECK(strcmp(lym_preset_string(5), "Unknown") == 0);
  CHECK(strcmp(lym_evaluation_string(-1), "Unknown") == 0);
  CHECK(strcmp(lym_evaluation_string(3), "Unknown") == 0);
}

/* ------------------------------------------------------------------------------------------ */
/* Every format, every preset and evaluation, every kind of source */

static void check_decoding_from(source_kind kind, byte_buffer *stream, const clip *c,
                                const lym_encoder_options *options) {
  lym_decoder *decoder;
  if (!OPENED(open_decoder(kind, stream, NULL, &decoder), LYM_OK, decoder)) return;
  check_info(decoder, c, options, stream->size);
  CHECK(lym_decoder_bit_rate(decoder) == 0);
  check_decoding(decoder, c, kind == FROM_PIPE);
  CHECK(lym_decoder_bit_rate(decoder) > 0);
  CHECK(lym_decoder_gap_count(decoder) == 0);
  check_wave_bytes(decoder, lym_decoder_get_wave_header, &c->header);
  check_wave_bytes(decoder, lym_decoder_get_wave_trailer, &c->trailer);
  /* Again from the start, packed this time. */
  if (CHECK_STATUS(lym_decoder_seek(decoder, 0), LYM_OK))
    check_decoding(decoder, c, kind != FROM_PIPE);
  lym_decoder_close(decoder);
}

static void check_round_trip(clip *c, int32_t preset, int32_t evaluation, uint32_t verify) {
  lym_encoder_options options = clip_options(c, preset, evaluation);
  byte_buffer from_values, from_packed;
  int kind;
  options.verify = verify;
  from_values = encode_clip(c, &options, &seekable_medium, 0);
  from_packed = encode_clip(c, &options, &seekable_medium, 1);
  CHECK(same_bytes(&from_values, &from_packed));
  for (kind = FROM_MEMORY; kind <= FROM_PIPE && from_values.size > 0; ++kind)
    check_decoding_from((source_kind)kind, &from_values, c, &options);
  free_buffer(&from_values);
  free_buffer(&from_packed);
}

static void test_every_format(void) {
  static const uint32_t rates[] = {8000, 22050, 44100, 96000};
  static const uint32_t depths[] = {8, 16, 24};
  uint32_t index = 0;
  size_t r, b, channels;
  for (r = 0; r < sizeof rates / sizeof rates[0]; ++r) {
    for (b = 0; b < sizeof depths / sizeof depths[0]; ++b) {
      for (channels = 1; channels <= 2; ++channels, ++index) {
        const int32_t preset = (int32_t)(index % 5), evaluation = (int32_t)(index % 3);
        /* Half a second and an odd rest: the last frame is a short one. */
        clip c = make_clip(rates[r], (uint32_t)channels, depths[b], rates[r] / 2 + 1001, index);
        if (index % 4 != 0) c.header = random_bytes(44 + index, index);
        if (index % 3 != 0) c.trailer = random_bytes(7 * index, index + 100);
        set_context("%lu Hz, %lu bits, %lu channels, preset %ld, evaluation %ld",
                    (unsigned long)c.rate, (unsigned long)c.bits, (unsigned long)c.channels,
                    (long)preset, (long)evaluation);
        check_round_trip(&c, preset, evaluation, index % 4 == 1);
        free_clip(&c);
      }
    }
  }
}

/* The largest WAVE header and trailer a stream can store. */
static void test_largest_wave_bytes(void) {
  clip c = make_clip(8000, 1, 8, 3000, 5);
  set_context("1 MiB of WAVE header and trailer");
  c.header = random_bytes(1048576 - 1000, 1);
  c.trailer = random_bytes(1000, 2);
  check_round_trip(&c, 0, 0, 0);
  free_clip(&c);
}

/* ------------------------------------------------------------------------------------------ */
/* Seeking */

/* Seeks to position and checks what follows, also across the frames' borders. */
static void check_seek(lym_decoder *decoder, const clip *c, uint64_t position) {
  enum { READ_FRAMES = 300 };
  int32_t got[READ_FRAMES * 2];
  const size_t rest = c->frames - (size_t)position;
  const size_t expected = rest < READ_FRAMES ? rest : READ_FRAMES;
  size_t frames_read = 99;
  uint64_t now = 12345;
  if (!CHECK_STATUS(lym_decoder_seek(decoder, position), LYM_OK)) return;
  CHECK_STATUS(lym_decoder_tell(decoder, &now), LYM_OK);
  CHECK(now == position);
  CHECK_STATUS(lym_decoder_read_s32(decoder, got, READ_FRAMES, &frames_read), LYM_OK);
  if (CHECK(frames_read == expected)) CHECK_SAMPLES(got, c, (size_t)position, frames_read);
  CHECK_STATUS(lym_decoder_tell(decoder, &now), LYM_OK);
  CHECK(now == position + frames_read);
}

static void check_seeks(lym_decoder *decoder, const clip *c, uint32_t frame_length) {
  uint32_t random = 77;
  size_t border, i;
  check_seek(decoder, c, c->frames - 1);
  check_seek(decoder, c, 0);
  check_seek(decoder, c, 1);
  check_seek(decoder, c, c->frames); /* reads nothing */
  for (border = frame_length; border < c->frames; border += frame_length) {
    check_seek(decoder, c, border + 1);
    check_seek(decoder, c, border);
    check_seek(decoder, c, border - 1);
  }
  for (i = 0; i < 25; ++i) check_seek(decoder, c, next_random(&random) % c->frames);
  CHECK_STATUS(lym_decoder_seek(decoder, c->frames + 1), LYM_ERROR_INVALID_ARGUMENT);
  CHECK(lym_decoder_error_text(decoder)[0] != '\0');
  check_seek(decoder, c, c->frames / 3);
}

static void test_seeking(void) {
  clip clips[2];
  int i, kind;
  clips[0] = make_clip(44100, 2, 16, 44100 * 3 / 2 + 333, 7);
  clips[1] = make_clip(8000, 1, 24, 8000 + 5, 8);
  for (i = 0; i < 2; ++i) {
    lym_encoder_options options = clip_options(&clips[i], 1, 0);
    byte_buffer stream = encode_clip(&clips[i], &options, &seekable_medium, 0);
    for (kind = FROM_MEMORY; kind <= FROM_PIPE && stream.size > 0; ++kind) {
      lym_decoder *decoder;
      lym_info info;
      set_context("seeking, %lu Hz, from %s", (unsigned long)clips[i].rate, source_names[kind]);
      if (!OPENED(open_decoder((source_kind)kind, &stream, NULL, &decoder), LYM_OK, decoder))
        continue;
      CHECK_STATUS(lym_decoder_get_info(decoder, &info), LYM_OK);
      CHECK(info.frame_length > 0 && info.frame_length < clips[i].frames);
      check_seeks(decoder, &clips[i], info.frame_length);
      lym_decoder_close(decoder);
    }
    free_buffer(&stream);
    free_clip(&clips[i]);
  }
}

/* ------------------------------------------------------------------------------------------ */
/* The caller's media */

/* A pipe gets the bytes that a seekable medium gets. */
static void check_pipe_output(const clip *c, const lym_encoder_options *options,
                              const byte_buffer *seekable) {
  byte_buffer piped = encode_clip(c, options, &pipe_medium, 1);
  CHECK(same_bytes(&piped, seekable));
  free_buffer(&piped);
}

/* A stream that begins where the medium stands when the decoder opens, after other bytes. */
static void check_stream_inside_medium(const clip *c, const lym_encoder_options *options,
                                       const byte_buffer *stream) {
  byte_buffer medium = random_bytes(1000, 3);
  lym_decoder *decoder;
  append_bytes(&medium, stream->data, stream->size);
  medium.position = 1000;
  if (OPENED(lym_decoder_open_io(&seekable_medium, &medium, NULL, &decoder), LYM_OK, decoder)) {
    check_info(decoder, c, options, stream->size);
    check_decoding(decoder, c, 0);
    lym_decoder_close(decoder);
  }
  free_buffer(&medium);
}

static int64_t unknown_size(void *user_data) {
  (void)user_data;
  return -1;
}

/* A seekable medium that cannot tell its size is read like a pipe; an encoder writes its stream
 * from the medium's start, wherever the medium stood. */
static void check_medium_positions(const clip *c, const lym_encoder_options *options,
                                   const byte_buffer *stream) {
  static const lym_io sizeless = {memory_read, memory_write, memory_seek, memory_tell,
                                  unknown_size};
  byte_buffer medium = copy_bytes(stream->data, stream->size);
  byte_buffer written = random_bytes(500, 9);
  lym_decoder *decoder;
  lym_encoder *encoder;
  if (OPENED(lym_decoder_open_io(&sizeless, &medium, NULL, &decoder), LYM_OK, decoder)) {
    check_decoding(decoder, c, 1);
    lym_decoder_close(decoder);
  }
  written.position = written.size;
  if (CHECK_STATUS(lym_encoder_open_io(&seekable_medium, &written, options, &encoder), LYM_OK)) {
    if (CHECK_STATUS(write_frames(encoder, c, 0, c->frames, 0), LYM_OK) &&
        CHECK_STATUS(lym_encoder_finish(encoder), LYM_OK)) {
      CHECK(written.size == stream->size && same_bytes(&written, stream));
    }
    lym_encoder_close(encoder);
  }
  free_buffer(&medium);
  free_buffer(&written);
}

/* A medium that breaks halfway: reading fails with LYM_ERROR_IO, when opening or later. */
static void check_broken_reading(source_kind kind, const byte_buffer *stream) {
  byte_buffer medium = copy_bytes(stream->data, stream->size);
  lym_decoder *decoder = NULL;
  lym_status status;
  medium.limit = stream->size / 2;
  status = open_decoder(kind, &medium, NULL, &decoder);
  if (status == LYM_ERROR_IO) {
    CHECK(decoder == NULL);
  } else if (OPENED(status, LYM_OK, decoder)) {
    decoded d = decode_rest(decoder, 0, (size_t)-1);
    CHECK_STATUS(d.failure, LYM_ERROR_IO);
    CHECK(lym_decoder_error_text(decoder)[0] != '\0');
    free(d.samples);
    lym_decoder_close(decoder);
  }
  free_buffer(&medium);
}

/* A medium that breaks after a few kilobytes: writing or finishing fails with LYM_ERROR_IO. */
static void check_broken_writing(const clip *c, const lym_encoder_options *options,
                                 const lym_io *io) {
  byte_buffer medium = empty_buffer();
  lym_encoder *encoder;
  lym_status status;
  medium.limit = 5000;
  if (!CHECK_STATUS(lym_encoder_open_io(io, &medium, options, &encoder), LYM_OK)) return;
  status = write_frames(encoder, c, 0, c->frames, 0);
  if (status == LYM_OK) status = lym_encoder_finish(encoder);
  CHECK_STATUS(status, LYM_ERROR_IO);
  CHECK(lym_encoder_error_text(encoder)[0] != '\0');
  lym_encoder_close(encoder);
  free_buffer(&medium);
}

static void test_media(void) {
  clip c = make_clip(22050, 2, 16, 30001, 11);
  lym_encoder_options options;
  byte_buffer stream;
  c.header = random_bytes(58, 4);
  c.trailer = random_bytes(33, 5);
  options = clip_options(&c, 2, 1);
  stream = encode_clip(&c, &options, &seekable_medium, 0);
  set_context("encoding into a pipe");
  check_pipe_output(&c, &options, &stream);
  set_context("a stream behind other bytes");
  check_stream_inside_medium(&c, &options, &stream);
  set_context("media without a size or not at their start");
  check_medium_positions(&c, &options, &stream);
  set_context("reading from a broken seekable medium");
  check_broken_reading(FROM_SEEKABLE_MEDIUM, &stream);
  set_context("reading from a broken pipe");
  check_broken_reading(FROM_PIPE, &stream);
  set_context("writing to a broken seekable medium");
  check_broken_writing(&c, &options, &seekable_medium);
  set_context("writing to a broken pipe");
  check_broken_writing(&c, &options, &pipe_medium);
  free_buffer(&stream);
  free_clip(&c);
}

/* ------------------------------------------------------------------------------------------ */
/* Tags */

enum { APE_TEXT = 0, APE_BINARY = 1 };

static void append_tag_item(byte_buffer *items, uint32_t type, const char *key, const void *value,
                            size_t value_bytes) {
  append_u32(items, (uint32_t)value_bytes);
  append_u32(items, type << 1);
  append_bytes(items, key, strlen(key) + 1);
  append_bytes(items, value, value_bytes);
}

static void append_tag_block(byte_buffer *tag, const byte_buffer *items, uint32_t flags) {
  append_bytes(tag, "APETAGEX", 8);
  append_u32(tag, 2000);
  append_u32(tag, (uint32_t)items->size + 32);
  append_u32(tag, 3);
  append_u32(tag, flags);
  append_bytes(tag, "\0\0\0\0\0\0\0\0", 8);
}

/* An APEv2 tag, header and footer around three items: a UTF-8 title, two artists, a picture. */
static byte_buffer make_tag(void) {
  static const unsigned char picture[] = {0, 1, 2, 254, 255};
  const uint32_t has_header = 1ul << 31, is_header = 1ul << 29;
  byte_buffer items = empty_buffer(), tag = empty_buffer();
  append_tag_item(&items, APE_TEXT, "Title", "Gr\xC3\xBC\xC3\x9F" "e", 7);
  append_tag_item(&items, APE_TEXT, "Artist", "First\0Second", 12);
  append_tag_item(&items, APE_BINARY, "Cover Art (Front)", picture, sizeof picture);
  append_tag_block(&tag, &items, has_header | is_header);
  append_bytes(&tag, items.data, items.size);
  append_tag_block(&tag, &items, has_header);
  free_buffer(&items);
  return tag;
}

static void check_tag_items(const lym_tag *tag) {
  lym_tag_item item;
  if (!CHECK(lym_tag_item_count(tag) == 3)) return;
  CHECK_STATUS(lym_tag_get_item(tag, 0, &item), LYM_OK);
  CHECK(strcmp(item.key, "Title") == 0 && item.type == LYM_TAG_TEXT && item.value_bytes == 7);
  CHECK(memcmp(item.value, "Gr\xC3\xBC\xC3\x9F" "e", 8) == 0); /* with the zero after it */
  CHECK_STATUS(lym_tag_get_item(tag, 2, &item), LYM_OK);
  CHECK(strcmp(item.key, "Cover Art (Front)") == 0 && item.type == LYM_TAG_BINARY);
  CHECK(item.value_bytes == 5 && item.value[3] == 254 && item.value[5] == 0);
  CHECK_STATUS(lym_tag_get_item(tag, 3, &item), LYM_ERROR_INVALID_ARGUMENT);
}

static void check_tag_texts(const lym_tag *tag) {
  char text[64];
  size_t length = 0;
  CHECK_STATUS(lym_tag_get_text(tag, "TITLE", ';', text, sizeof text, &length), LYM_OK);
  CHECK(strcmp(text, "Gr\xC3\xBC\xC3\x9F" "e") == 0 && length == 7);
  CHECK_STATUS(lym_tag_get_text(tag, "artist", ';', text, sizeof text, NULL), LYM_OK);
  CHECK(strcmp(text, "First;Second") == 0);
  /* Four bytes hold "Gr" and the zero: the "ü" does not fit whole. */
  CHECK_STATUS(lym_tag_get_text(tag, "Title", ';', text, 4, NULL), LYM_ERROR_BUFFER_TOO_SMALL);
  CHECK(strcmp(text, "Gr") == 0);
  CHECK_STATUS(lym_tag_get_text(tag, "Cover Art (Front)", ';', text, sizeof text, NULL),
               LYM_ERROR_INVALID_ARGUMENT);
  CHECK_STATUS(lym_tag_get_text(tag, "Album", ';', text, sizeof text, NULL), LYM_ERROR_NOT_FOUND);
}

static void test_tags(void) {
  clip c = make_clip(44100, 1, 16, 20000, 12);
  lym_encoder_options options = clip_options(&c, 2, 0);
  byte_buffer stream = encode_clip(&c, &options, &seekable_medium, 0);
  byte_buffer tag = make_tag();
  const size_t audio_bytes = stream.size;
  int kind;
  append_bytes(&stream, tag.data, tag.size);
  for (kind = FROM_MEMORY; kind <= FROM_PIPE && audio_bytes > 0; ++kind) {
    lym_decoder *decoder;
    const lym_tag *found = NULL;
    set_context("a tagged stream from %s", source_names[kind]);
    if (!OPENED(open_decoder((source_kind)kind, &stream, NULL, &decoder), LYM_OK, decoder))
      continue;
    check_info(decoder, &c, &options, stream.size);
    if (CHECK_STATUS(lym_decoder_get_tag(decoder, &found), LYM_OK) && CHECK(found != NULL)) {
      CHECK(lym_tag_get_state(found) == LYM_TAG_PRESENT);
      CHECK(lym_tag_bytes(found) == tag.size);
      check_tag_items(found);
      check_tag_texts(found);
    }
    check_decoding(decoder, &c, 0);
    lym_decoder_close(decoder);
  }
  free_buffer(&tag);
  free_buffer(&stream);
  free_clip(&c);
}

/* ------------------------------------------------------------------------------------------ */
/* Damaged and hostile input */

typedef struct gap_log {
  lym_gap gaps[16];
  size_t count;
} gap_log;

static void log_gap(void *user_data, const lym_gap *gap) {
  gap_log *log = user_data;
  if (log->count < 16) log->gaps[log->count] = *gap;
  log->count++;
}

static int is_silent(const int32_t *samples, size_t count) {
  size_t i;
  for (i = 0; i < count; ++i) {
    if (samples[i] != 0) return 0;
  }
  return 1;
}

/* The samples around the decoder's gaps are the clip's; a muted gap is silence in its place, a
 * cut one is left out. */
static void check_around_gaps(lym_decoder *decoder, const decoded *d, const clip *c,
                              lym_damage_mode mode) {
  const size_t gaps = lym_decoder_gap_count(decoder);
  size_t delivered = 0, original = 0, i;
  for (i = 0; i <= gaps; ++i) {
    lym_gap gap;
    size_t intact;
    gap.position = c->frames;
    gap.samples = 0;
    if (i < gaps) CHECK_STATUS(lym_decoder_get_gap(decoder, i, &gap), LYM_OK);
    if (!CHECK(gap.position >= original && gap.position + gap.samples <= c->frames)) return;
    intact = (size_t)gap.position - original;
    if (!CHECK(delivered + intact <= d->frames)) return;
    CHECK_SAMPLES(d->samples + delivered * c->channels, c, original, intact);
    delivered += intact;
    if (mode == LYM_DAMAGE_MUTE) {
      if (!CHECK(delivered + gap.samples <= d->frames)) return;
      CHECK(is_silent(d->samples + delivered * c->channels, (size_t)gap.samples * c->channels));
      delivered += (size_t)gap.samples;
    }
    original = (size_t)(gap.position + gap.samples);
  }
  CHECK(delivered == d->frames);
}

/* The gaps that the callback heard of are the decoder's list; each lost something, within the
 * stream. */
static void check_gap_list(lym_decoder *decoder, const gap_log *log, const clip *c) {
  const size_t gaps = lym_decoder_gap_count(decoder);
  lym_gap gap;
  size_t i;
  CHECK(gaps >= 1 && gaps == log->count);
  for (i = 0; i < gaps && i < 16; ++i) {
    if (!CHECK_STATUS(lym_decoder_get_gap(decoder, i, &gap), LYM_OK)) continue;
    CHECK(gap.position == log->gaps[i].position && gap.samples == log->gaps[i].samples);
    CHECK(gap.samples > 0 && gap.position + gap.samples <= c->frames);
  }
  CHECK_STATUS(lym_decoder_get_gap(decoder, gaps, &gap), LYM_ERROR_INVALID_ARGUMENT);
}

/* Decodes the damaged stream in the given mode; the samples delivered, with the checks done. */
static void check_damaged_decoding(const byte_buffer *stream, const clip *c, lym_damage_mode mode) {
  gap_log log;
  lym_decoder_options options;
  lym_decoder *decoder;
  lym_status status;
  lym_info info;
  decoded d;
  uint64_t lost = 0;
  size_t i;
  memset(&log, 0, sizeof log);
  memset(&options, 0, sizeof options);
  options.damage = mode;
  options.on_gap = log_gap;
  options.gap_user_data = &log;
  status = lym_decoder_open_memory(stream->data, stream->size, &options, &decoder);
  if (!CHECK(status <= LYM_DAMAGED)) return;
  d = decode_rest(decoder, mode == LYM_DAMAGE_CUT, c->frames);
  CHECK_STATUS(d.failure, LYM_OK);
  CHECK(d.damaged);
  check_gap_list(decoder, &log, c);
  for (i = 0; i < lym_decoder_gap_count(decoder); ++i) {
    lym_gap gap;
    if (lym_decoder_get_gap(decoder, i, &gap) == LYM_OK) lost += gap.samples;
  }
  CHECK(d.frames == (mode == LYM_DAMAGE_MUTE ? c->frames : c->frames - lost));
  check_around_gaps(decoder, &d, c, mode);
  CHECK_STATUS(lym_decoder_get_info(decoder, &info), LYM_OK);
  CHECK((info.damage_flags & LYM_DAMAGE_AUDIO) != 0);
  if (mode == LYM_DAMAGE_CUT) {
    CHECK_STATUS(lym_decoder_seek(decoder, 0), LYM_ERROR_NOT_SEEKABLE);
    CHECK(lym_decoder_error_text(decoder)[0] != '\0');
  }
  free(d.samples);
  lym_decoder_close(decoder);
}

/* Where needle's bytes stand in haystack; haystack->size when nowhere. */
static size_t find_bytes(const byte_buffer *haystack, const byte_buffer *needle) {
  size_t at;
  for (at = 0; at + needle->size <= haystack->size; ++at) {
    if (memcmp(haystack->data + at, needle->data, needle->size) == 0) return at;
  }
  return haystack->size;
}

/* Metadata with four bytes inverted at offset: the stream opens with LYM_DAMAGED and the flag,
 * and every sample comes back. */
static void check_damaged_metadata(const byte_buffer *stream, const clip *c, size_t offset,
                                   uint32_t flag) {
  byte_buffer damaged = copy_bytes(stream->data, stream->size);
  unsigned char bytes[256];
  size_t count, i;
  lym_decoder *decoder;
  lym_info info;
  for (i = 0; i < 4 && offset + i < damaged.size; ++i) damaged.data[offset + i] ^= 0xFF;
  if (CHECK(offset + 4 <= damaged.size) &&
      OPENED(lym_decoder_open_memory(damaged.data, damaged.size, NULL, &decoder), LYM_DAMAGED,
             decoder)) {
    CHECK_STATUS(lym_decoder_get_info(decoder, &info), LYM_OK);
    CHECK((info.damage_flags & flag) != 0);
    if (flag == LYM_DAMAGE_METADATA) {
      CHECK(info.wave_header_bytes == 0 && info.wave_trailer_bytes == 0);
      CHECK_STATUS(lym_decoder_get_wave_header(decoder, bytes, sizeof bytes, &count), LYM_DAMAGED);
      CHECK_STATUS(lym_decoder_get_wave_trailer(decoder, bytes, sizeof bytes, &count), LYM_DAMAGED);
    } else {
      check_wave_bytes(decoder, lym_decoder_get_wave_header, &c->header);
    }
    check_decoding(decoder, c, 0);
    lym_decoder_close(decoder);
  }
  free_buffer(&damaged);
}

/* Input that holds no stream: refused, no handle. */
static void check_not_a_stream(const void *bytes, size_t count) {
  lym_decoder *decoder = (lym_decoder *)&decoder;
  CHECK_STATUS(lym_decoder_open_memory(bytes, count, NULL, &decoder), LYM_ERROR_NOT_A_STREAM);
  CHECK(decoder == NULL);
}

/* Streams with random bytes changed, decoded in both modes and sought in: any status, no crash. */
static void check_random_damage(void) {
  clip c = make_clip(8000, 2, 8, 9000, 22);
  lym_encoder_options options = clip_options(&c, 0, 0);
  byte_buffer stream = encode_clip(&c, &options, &seekable_medium, 0);
  uint32_t random = 99;
  int round, change;
  set_context("random damage");
  for (round = 0; round < 60 && stream.size > 0; ++round) {
    byte_buffer damaged = copy_bytes(stream.data, stream.size);
    lym_decoder_options decoding;
    lym_decoder *decoder;
    for (change = 0; change < 1 + round % 8; ++change)
      damaged.data[next_random(&random) % damaged.size] = (unsigned char)next_random(&random);
    memset(&decoding, 0, sizeof decoding);
    decoding.damage = round % 2 ? LYM_DAMAGE_CUT : LYM_DAMAGE_MUTE;
    if (lym_decoder_open_memory(damaged.data, damaged.size, &decoding, &decoder) <= LYM_DAMAGED) {
      decoded d = decode_rest(decoder, round % 3 == 0, 4 * c.frames);
      CHECK(d.failure != LYM_ERROR_INTERNAL);
      if (decoding.damage == LYM_DAMAGE_MUTE) {
        CHECK(lym_decoder_seek(decoder, next_random(&random) % c.frames) <= LYM_DAMAGED);
        free(d.samples);
        d = decode_rest(decoder, 0, 4 * c.frames);
      }
      free(d.samples);
      lym_decoder_close(decoder);
    }
    free_buffer(&damaged);
  }
  free_buffer(&stream);
  free_clip(&c);
}

/* Audio lost in the middle, muted and cut, and at the end of a truncated stream. */
/* Seeks into lost audio: the lost samples come as silence and are reported as damage, the decoder
 * goes on (also after a seek into lost frames at the end), and a gap passed again is listed once. */
static void check_seeks_into_lost_audio(const byte_buffer *damaged, const byte_buffer *truncated,
                                        const clip *c) {
  int32_t samples[2 * 64];
  size_t count = 0, gaps;
  lym_gap gap;
  lym_decoder *decoder = NULL;
  set_context("seeking into lost audio");
  if (OPENED(lym_decoder_open_memory(damaged->data, damaged->size, NULL, &decoder), LYM_OK,
             decoder) == NULL) {
    return;
  }
  while (lym_decoder_read_s32(decoder, samples, 64, &count) <= LYM_DAMAGED && count > 0) {
  }
  gaps = lym_decoder_gap_count(decoder);
  if (CHECK(gaps == 1) && CHECK_STATUS(lym_decoder_get_gap(decoder, 0, &gap), LYM_OK)) {
    CHECK_STATUS(lym_decoder_seek(decoder, gap.position + 1), LYM_DAMAGED);
    CHECK_STATUS(lym_decoder_read_s32(decoder, samples, 1, &count), LYM_OK);
    CHECK(count == 1 && samples[0] == 0 && samples[c->channels - 1] == 0);
    CHECK(lym_decoder_gap_count(decoder) == gaps);
  }
  CHECK_STATUS(lym_decoder_seek(decoder, 100), LYM_OK);
  if (CHECK_STATUS(lym_decoder_read_s32(decoder, samples, 64, &count), LYM_OK))
    CHECK_SAMPLES(samples, c, 100, 64);
  lym_decoder_close(decoder);

  if (OPENED(lym_decoder_open_memory(truncated->data, truncated->size, NULL, &decoder), LYM_OK,
             decoder) == NULL) {
    return;
  }
  CHECK_STATUS(lym_decoder_seek(decoder, c->frames - 10), LYM_DAMAGED);
  CHECK_STATUS(lym_decoder_read_s32(decoder, samples, 64, &count), LYM_OK);
  CHECK(count == 10 && samples[0] == 0);
  CHECK_STATUS(lym_decoder_seek(decoder, 100), LYM_OK);
  if (CHECK_STATUS(lym_decoder_read_s32(decoder, samples, 64, &count), LYM_OK))
    CHECK_SAMPLES(samples, c, 100, 64);
  lym_decoder_close(decoder);
}

static void check_lost_audio(const byte_buffer *stream, const clip *c) {
  byte_buffer damaged = copy_bytes(stream->data, stream->size);
  byte_buffer truncated = copy_bytes(stream->data, stream->size * 3 / 5);
  memset(damaged.data + damaged.size * 2 / 5, 0, 2000);
  set_context("damaged audio, muted");
  check_damaged_decoding(&damaged, c, LYM_DAMAGE_MUTE);
  set_context("damaged audio, cut");
  check_damaged_decoding(&damaged, c, LYM_DAMAGE_CUT);
  set_context("a truncated stream");
  check_damaged_decoding(&truncated, c, LYM_DAMAGE_MUTE);
  check_seeks_into_lost_audio(&damaged, &truncated, c);
  free_buffer(&damaged);
  free_buffer(&truncated);
}

/* Nothing, the beginning of a stream, noise, a WAVE file: no stream in them. */
static void check_no_stream(const byte_buffer *stream) {
  byte_buffer noise = random_bytes(65536, 6);
  set_context("no stream");
  check_not_a_stream(stream->data, 0);
  check_not_a_stream(stream->data, 12);
  check_not_a_stream(noise.data, noise.size);
  check_not_a_stream("RIFF\x24\0\0\0WAVEfmt ", 16);
  free_buffer(&noise);
}

static void test_damaged_streams(void) {
  clip c = make_clip(44100, 2, 16, 44100 * 3, 21);
  lym_encoder_options options;
  byte_buffer stream;
  c.header = random_bytes(100, 7);
  c.trailer = random_bytes(50, 8);
  options = clip_options(&c, 2, 0);
  stream = encode_clip(&c, &options, &seekable_medium, 0);
  if (CHECK(stream.size > 10000)) {
    check_lost_audio(&stream, &c);
    set_context("a damaged identifier");
    check_damaged_metadata(&stream, &c, 0, LYM_DAMAGE_IDENTIFIER);
    set_context("a damaged WAVE header");
    check_damaged_metadata(&stream, &c, find_bytes(&stream, &c.header) + 10, LYM_DAMAGE_METADATA);
    check_no_stream(&stream);
  }
  free_buffer(&stream);
  free_clip(&c);
  check_random_damage();
}

/* ------------------------------------------------------------------------------------------ */
/* Invalid arguments */

static void check_decoder_arguments(lym_decoder *decoder) {
  static const lym_io no_read = {NULL, memory_write, memory_seek, memory_tell, memory_size};
  lym_decoder *none = (lym_decoder *)&none;
  lym_decoder_options bad_mode;
  int32_t samples[16];
  unsigned char bytes[16];
  size_t count;
  uint64_t position;
  lym_info info;
  lym_gap gap;
  const lym_tag *tag;
  memset(&bad_mode, 0, sizeof bad_mode);
  bad_mode.damage = (lym_damage_mode)2;
  CHECK_STATUS(lym_decoder_open_file(NULL, NULL, &none), LYM_ERROR_INVALID_ARGUMENT);
  CHECK(none == NULL);
  CHECK_STATUS(lym_decoder_open_file("x.lym", NULL, NULL), LYM_ERROR_INVALID_ARGUMENT);
  CHECK_STATUS(lym_decoder_open_io(NULL, NULL, NULL, &none), LYM_ERROR_INVALID_ARGUMENT);
  CHECK_STATUS(lym_decoder_open_io(&no_read, bytes, NULL, &none), LYM_ERROR_INVALID_ARGUMENT);
  CHECK_STATUS(lym_decoder_open_io(&seekable_medium, bytes, NULL, NULL),
               LYM_ERROR_INVALID_ARGUMENT);
  CHECK_STATUS(lym_decoder_open_memory(NULL, 100, NULL, &none), LYM_ERROR_INVALID_ARGUMENT);
  CHECK_STATUS(lym_decoder_open_memory(bytes, 16, NULL, NULL), LYM_ERROR_INVALID_ARGUMENT);
  CHECK_STATUS(lym_decoder_open_memory(bytes, 16, &bad_mode, &none), LYM_ERROR_INVALID_ARGUMENT);
  CHECK(none == NULL);
  CHECK_STATUS(lym_decoder_get_info(NULL, &info), LYM_ERROR_INVALID_ARGUMENT);
  CHECK_STATUS(lym_decoder_get_info(decoder, NULL), LYM_ERROR_INVALID_ARGUMENT);
  CHECK_STATUS(lym_decoder_read_s32(NULL, samples, 1, &count), LYM_ERROR_INVALID_ARGUMENT);
  CHECK_STATUS(lym_decoder_read_s32(decoder, NULL, 1, &count), LYM_ERROR_INVALID_ARGUMENT);
  CHECK_STATUS(lym_decoder_read_s32(decoder, samples, 1, NULL), LYM_ERROR_INVALID_ARGUMENT);
  CHECK_STATUS(lym_decoder_read_pcm(NULL, bytes, 1, &count), LYM_ERROR_INVALID_ARGUMENT);
  CHECK_STATUS(lym_decoder_read_pcm(decoder, NULL, 1, &count), LYM_ERROR_INVALID_ARGUMENT);
  CHECK_STATUS(lym_decoder_read_pcm(decoder, bytes, 1, NULL), LYM_ERROR_INVALID_ARGUMENT);
  CHECK_STATUS(lym_decoder_seek(NULL, 0), LYM_ERROR_INVALID_ARGUMENT);
  CHECK_STATUS(lym_decoder_tell(NULL, &position), LYM_ERROR_INVALID_ARGUMENT);
  CHECK_STATUS(lym_decoder_tell(decoder, NULL), LYM_ERROR_INVALID_ARGUMENT);
  CHECK_STATUS(lym_decoder_get_wave_header(NULL, bytes, 16, &count), LYM_ERROR_INVALID_ARGUMENT);
  CHECK_STATUS(lym_decoder_get_wave_header(decoder, NULL, 16, &count), LYM_ERROR_INVALID_ARGUMENT);
  CHECK_STATUS(lym_decoder_get_wave_header(decoder, bytes, 16, NULL), LYM_ERROR_INVALID_ARGUMENT);
  CHECK_STATUS(lym_decoder_get_wave_trailer(NULL, bytes, 16, &count), LYM_ERROR_INVALID_ARGUMENT);
  CHECK_STATUS(lym_decoder_get_wave_trailer(decoder, NULL, 16, &count), LYM_ERROR_INVALID_ARGUMENT);
  CHECK_STATUS(lym_decoder_get_wave_trailer(decoder, bytes, 16, NULL), LYM_ERROR_INVALID_ARGUMENT);
  CHECK(lym_decoder_gap_count(NULL) == 0);
  CHECK_STATUS(lym_decoder_get_gap(NULL, 0, &gap), LYM_ERROR_INVALID_ARGUMENT);
  CHECK_STATUS(lym_decoder_get_gap(decoder, 0, NULL), LYM_ERROR_INVALID_ARGUMENT);
  CHECK(lym_decoder_bit_rate(NULL) == 0);
  CHECK(strcmp(lym_decoder_error_text(NULL), "") == 0);
  CHECK_STATUS(lym_decoder_get_tag(NULL, &tag), LYM_ERROR_INVALID_ARGUMENT);
  CHECK_STATUS(lym_decoder_get_tag(decoder, NULL), LYM_ERROR_INVALID_ARGUMENT);
  lym_decoder_close(NULL);
}

static void check_tag_arguments(lym_decoder *decoder) {
  const lym_tag *tag = NULL;
  lym_tag_item item;
  char text[16];
  CHECK(lym_tag_item_count(NULL) == 0);
  CHECK(lym_tag_bytes(NULL) == 0);
  CHECK_STATUS(lym_tag_get_item(NULL, 0, &item), LYM_ERROR_INVALID_ARGUMENT);
  CHECK_STATUS(lym_tag_get_text(NULL, "Title", ';', text, 16, NULL), LYM_ERROR_INVALID_ARGUMENT);
  (void)lym_tag_get_state(NULL);
  if (!CHECK_STATUS(lym_decoder_get_tag(decoder, &tag), LYM_OK) || !CHECK(tag != NULL)) return;
  /* The stream has no tag: a tag object all the same, in the state "none". */
  CHECK(lym_tag_get_state(tag) == LYM_TAG_NONE);
  CHECK(lym_tag_item_count(tag) == 0 && lym_tag_bytes(tag) == 0);
  CHECK_STATUS(lym_tag_get_item(tag, 0, &item), LYM_ERROR_INVALID_ARGUMENT);
  CHECK_STATUS(lym_tag_get_item(tag, 0, NULL), LYM_ERROR_INVALID_ARGUMENT);
  CHECK_STATUS(lym_tag_get_text(tag, "Title", ';', text, 16, NULL), LYM_ERROR_NOT_FOUND);
  CHECK_STATUS(lym_tag_get_text(tag, NULL, ';', text, 16, NULL), LYM_ERROR_INVALID_ARGUMENT);
  CHECK_STATUS(lym_tag_get_text(tag, "Title", ';', NULL, 16, NULL), LYM_ERROR_INVALID_ARGUMENT);
  CHECK_STATUS(lym_tag_get_text(tag, "Title", ';', text, 0, NULL), LYM_ERROR_INVALID_ARGUMENT);
}

/* Each field out of range makes both opens refuse, and no file appears. */
static void check_bad_options(const lym_encoder_options *good, const char *path) {
  enum { CASES = 17 };
  static unsigned char wave[1048577];
  lym_encoder_options bad[CASES];
  int i;
  for (i = 0; i < CASES; ++i) bad[i] = *good;
  bad[0].sample_rate = 0;
  bad[1].sample_rate = 7999;
  bad[2].sample_rate = 96001;
  bad[3].channels = 0;
  bad[4].channels = 3;
  bad[5].bits_per_sample = 7;
  bad[6].bits_per_sample = 25;
  bad[7].bits_per_sample = 12;
  bad[8].total_samples = 0;
  bad[9].total_samples = 2147483648u;
  bad[10].preset = -1;
  bad[11].preset = 5;
  bad[12].evaluation = -1;
  bad[13].evaluation = 3;
  bad[14].wave_header = wave;
  bad[14].wave_header_bytes = 1048577;
  bad[15].wave_header = wave;
  bad[15].wave_header_bytes = 1048576 - 10;
  bad[15].wave_trailer = wave;
  bad[15].wave_trailer_bytes = 11;
  bad[16].wave_header = NULL;
  bad[16].wave_header_bytes = 10;
  for (i = 0; i < CASES; ++i) {
    byte_buffer medium = empty_buffer();
    lym_encoder *encoder = (lym_encoder *)&encoder;
    set_context("bad encoder options, case %d", i);
    CHECK_STATUS(lym_encoder_open_io(&seekable_medium, &medium, &bad[i], &encoder),
                 LYM_ERROR_INVALID_ARGUMENT);
    CHECK(encoder == NULL && medium.size == 0);
    encoder = (lym_encoder *)&encoder;
    CHECK_STATUS(lym_encoder_open_file(path, &bad[i], &encoder), LYM_ERROR_INVALID_ARGUMENT);
    CHECK(encoder == NULL && !file_exists(path));
  }
}

static void check_encoder_arguments(const lym_encoder_options *good) {
  static const lym_io no_write = {memory_read, NULL, memory_seek, memory_tell, memory_size};
  byte_buffer medium = empty_buffer();
  lym_encoder *encoder = (lym_encoder *)&encoder;
  int32_t samples[2] = {0, 0};
  lym_encoder_options_init(NULL);
  CHECK_STATUS(lym_encoder_open_file(NULL, good, &encoder), LYM_ERROR_INVALID_ARGUMENT);
  CHECK(encoder == NULL);
  CHECK_STATUS(lym_encoder_open_file("x.lym", NULL, &encoder), LYM_ERROR_INVALID_ARGUMENT);
  CHECK_STATUS(lym_encoder_open_file("x.lym", good, NULL), LYM_ERROR_INVALID_ARGUMENT);
  CHECK(!file_exists("x.lym"));
  CHECK_STATUS(lym_encoder_open_io(NULL, &medium, good, &encoder), LYM_ERROR_INVALID_ARGUMENT);
  CHECK_STATUS(lym_encoder_open_io(&no_write, &medium, good, &encoder), LYM_ERROR_INVALID_ARGUMENT);
  CHECK_STATUS(lym_encoder_open_io(&seekable_medium, &medium, NULL, &encoder),
               LYM_ERROR_INVALID_ARGUMENT);
  CHECK_STATUS(lym_encoder_open_io(&seekable_medium, &medium, good, NULL),
               LYM_ERROR_INVALID_ARGUMENT);
  CHECK(medium.size == 0);
  CHECK_STATUS(lym_encoder_write_s32(NULL, samples, 1), LYM_ERROR_INVALID_ARGUMENT);
  CHECK_STATUS(lym_encoder_write_pcm(NULL, samples, 1), LYM_ERROR_INVALID_ARGUMENT);
  CHECK_STATUS(lym_encoder_finish(NULL), LYM_ERROR_INVALID_ARGUMENT);
  CHECK(lym_encoder_output_bytes(NULL) == 0);
  CHECK(strcmp(lym_encoder_error_text(NULL), "") == 0);
  lym_encoder_close(NULL);
  if (!CHECK_STATUS(lym_encoder_open_io(&seekable_medium, &medium, good, &encoder), LYM_OK)) return;
  CHECK(strcmp(lym_encoder_error_text(encoder), "") == 0);
  CHECK_STATUS(lym_encoder_write_s32(encoder, NULL, 1), LYM_ERROR_INVALID_ARGUMENT);
  CHECK_STATUS(lym_encoder_write_pcm(encoder, NULL, 1), LYM_ERROR_INVALID_ARGUMENT);
  lym_encoder_close(encoder);
  free_buffer(&medium);
}

static void test_invalid_arguments(const char *folder) {
  clip c = make_clip(8000, 1, 16, 5000, 41);
  lym_encoder_options options = clip_options(&c, 0, 0);
  byte_buffer stream = encode_clip(&c, &options, &seekable_medium, 0);
  char path[1024];
  lym_decoder *decoder;
  set_context("invalid decoder arguments");
  if (OPENED(lym_decoder_open_memory(stream.data, stream.size, NULL, &decoder), LYM_OK, decoder)) {
    CHECK(strcmp(lym_decoder_error_text(decoder), "") == 0);
    check_decoder_arguments(decoder);
    set_context("invalid tag arguments");
    check_tag_arguments(decoder);
    lym_decoder_close(decoder);
  }
  set_context("invalid encoder arguments");
  check_encoder_arguments(&options);
  join_path(path, sizeof path, folder, "bad-options.lym");
  check_bad_options(&options, path);
  CHECK(count_folder_entries(folder) == 0);
  free_buffer(&stream);
  free_clip(&c);
}

/* ------------------------------------------------------------------------------------------ */
/* The encoder's states: refused samples change nothing, the count is exact, finish is final */

/* Decodes the stream and checks it holds exactly the clip. */
static void check_stream_holds(const byte_buffer *stream, const clip *c) {
  lym_decoder *decoder;
  if (!CHECK(stream->size > 0)) return;
  if (!OPENED(lym_decoder_open_memory(stream->data, stream->size, NULL, &decoder), LYM_OK, decoder))
    return;
  check_decoding(decoder, c, 0);
  lym_decoder_close(decoder);
}

/* One sample beyond the bits per sample refuses the whole call, which writes nothing. */
static void check_sample_range(uint32_t bits) {
  const int32_t too_high = highest_sample(bits) + 1, too_low = lowest_sample(bits) - 1;
  clip c = make_clip(22050, 2, bits, 3000, bits);
  lym_encoder_options options = clip_options(&c, 1, 0);
  byte_buffer stream = empty_buffer();
  lym_encoder *encoder;
  int32_t bad[20];
  set_context("%lu-bit samples out of range", (unsigned long)bits);
  if (!CHECK_STATUS(lym_encoder_open_io(&seekable_medium, &stream, &options, &encoder), LYM_OK))
    return;
  memcpy(bad, c.samples, sizeof bad);
  bad[19] = too_high;
  CHECK_STATUS(lym_encoder_write_s32(encoder, bad, 10), LYM_ERROR_INVALID_ARGUMENT);
  CHECK(lym_encoder_error_text(encoder)[0] != '\0');
  bad[19] = c.samples[19];
  bad[0] = too_low;
  CHECK_STATUS(lym_encoder_write_s32(encoder, bad, 10), LYM_ERROR_INVALID_ARGUMENT);
  bad[0] = INT32_MIN;
  CHECK_STATUS(lym_encoder_write_s32(encoder, bad, 10), LYM_ERROR_INVALID_ARGUMENT);
  CHECK_STATUS(write_frames(encoder, &c, 0, c.frames, 0), LYM_OK);
  CHECK_STATUS(lym_encoder_finish(encoder), LYM_OK);
  lym_encoder_close(encoder);
  check_stream_holds(&stream, &c);
  free_buffer(&stream);
  free_clip(&c);
}

static void check_sample_count(void) {
  clip c = make_clip(16000, 1, 16, 1000, 51);
  lym_encoder_options options = clip_options(&c, 2, 0);
  byte_buffer stream = empty_buffer();
  lym_encoder *encoder;
  set_context("the number of samples");
  if (!CHECK_STATUS(lym_encoder_open_io(&seekable_medium, &stream, &options, &encoder), LYM_OK))
    return;
  CHECK_STATUS(write_frames(encoder, &c, 0, 500, 0), LYM_OK);
  CHECK_STATUS(lym_encoder_finish(encoder), LYM_ERROR_SAMPLE_COUNT);
  CHECK(lym_encoder_error_text(encoder)[0] != '\0');
  CHECK_STATUS(write_frames(encoder, &c, 500, 100, 1), LYM_OK);
  CHECK_STATUS(lym_encoder_write_s32(encoder, c.samples + 600, 401), LYM_ERROR_SAMPLE_COUNT);
  CHECK_STATUS(write_frames(encoder, &c, 600, 400, 0), LYM_OK);
  CHECK_STATUS(lym_encoder_write_s32(encoder, c.samples, 1), LYM_ERROR_SAMPLE_COUNT);
  CHECK_STATUS(lym_encoder_write_pcm(encoder, "\0\0", 1), LYM_ERROR_SAMPLE_COUNT);
  CHECK_STATUS(lym_encoder_finish(encoder), LYM_OK);
  CHECK(lym_encoder_output_bytes(encoder) == stream.size);
  CHECK_STATUS(lym_encoder_write_s32(encoder, c.samples, 1), LYM_ERROR_WRONG_STATE);
  CHECK_STATUS(lym_encoder_write_pcm(encoder, "\0\0", 1), LYM_ERROR_WRONG_STATE);
  CHECK_STATUS(lym_encoder_finish(encoder), LYM_ERROR_WRONG_STATE);
  CHECK(lym_encoder_output_bytes(encoder) == stream.size);
  lym_encoder_close(encoder);
  check_stream_holds(&stream, &c);
  free_buffer(&stream);
  free_clip(&c);
}

static void test_encoder_states(void) {
  check_sample_range(8);
  check_sample_range(16);
  check_sample_range(24);
  check_sample_count();
}

/* ------------------------------------------------------------------------------------------ */
/* Files */

/* Encodes the clip into path; the encoder's status at finishing. */
static lym_status encode_file(const char *path, const clip *c, uint32_t overwrite) {
  lym_encoder_options options = clip_options(c, 1, 0);
  lym_encoder *encoder;
  lym_status status;
  options.overwrite = overwrite;
  status = lym_encoder_open_file(path, &options, &encoder);
  if (status != LYM_OK) return status;
  status = write_frames(encoder, c, 0, c->frames, 0);
  if (status == LYM_OK) status = lym_encoder_finish(encoder);
  lym_encoder_close(encoder);
  return status;
}

static void check_file_holds(const char *path, const clip *c) {
  lym_decoder *decoder;
  if (!OPENED(lym_decoder_open_file(path, NULL, &decoder), LYM_OK, decoder)) return;
  check_decoding(decoder, c, 0);
  lym_decoder_close(decoder);
}

/* The file appears when the stream is finished, not before; the temporary beside it goes. */
static void check_file_appears_at_finish(const char *folder, const char *path, const clip *c) {
  lym_encoder_options options = clip_options(c, 1, 0);
  lym_encoder *encoder;
  if (!CHECK_STATUS(lym_encoder_open_file(path, &options, &encoder), LYM_OK)) return;
  CHECK_STATUS(write_frames(encoder, c, 0, c->frames, 0), LYM_OK);
  CHECK(!file_exists(path));
  CHECK(count_folder_entries(folder) == 1); /* the temporary file */
  CHECK_STATUS(lym_encoder_finish(encoder), LYM_OK);
  CHECK(file_exists(path));
  CHECK(count_folder_entries(folder) == 1);
  lym_encoder_close(encoder);
  check_file_holds(path, c);
}

/* Closing without finishing leaves nothing behind. */
static void check_abandoned_file(const char *folder, const char *path, const clip *c) {
  lym_encoder_options options = clip_options(c, 1, 0);
  lym_encoder *encoder;
  const int before = count_folder_entries(folder);
  if (CHECK_STATUS(lym_encoder_open_file(path, &options, &encoder), LYM_OK)) {
    CHECK_STATUS(write_frames(encoder, c, 0, c->frames / 2, 0), LYM_OK);
    lym_encoder_close(encoder);
  }
  if (CHECK_STATUS(lym_encoder_open_file(path, &options, &encoder), LYM_OK))
    lym_encoder_close(encoder);
  CHECK(!file_exists(path));
  CHECK(count_folder_entries(folder) == before);
}

/* A file that appears while encoding is not replaced at finishing. */
static void check_file_appearing_meanwhile(const char *folder, const char *path, const clip *c) {
  lym_encoder_options options = clip_options(c, 1, 0);
  lym_encoder *encoder;
  byte_buffer other = random_bytes(10, 9), found;
  const int before = count_folder_entries(folder);
  if (!CHECK_STATUS(lym_encoder_open_file(path, &options, &encoder), LYM_OK)) return;
  CHECK_STATUS(write_frames(encoder, c, 0, c->frames, 0), LYM_OK);
  write_file(path, &other);
  CHECK_STATUS(lym_encoder_finish(encoder), LYM_ERROR_EXISTS);
  lym_encoder_close(encoder);
  found = read_file(path);
  CHECK(same_bytes(&found, &other));
  CHECK(count_folder_entries(folder) == before + 1);
  CHECK(remove_file(path) == 0);
  free_buffer(&found);
  free_buffer(&other);
}

static void check_unusable_paths(const char *folder) {
  char path[1024];
  byte_buffer text = copy_bytes("just some text, not a stream", 28);
  lym_decoder *decoder = (lym_decoder *)&decoder;
  lym_encoder *encoder = (lym_encoder *)&encoder;
  clip c = make_clip(8000, 1, 8, 100, 61);
  lym_encoder_options options = clip_options(&c, 1, 0);
  join_path(path, sizeof path, folder, "missing.lym");
  CHECK_STATUS(lym_decoder_open_file(path, NULL, &decoder), LYM_ERROR_IO);
  CHECK(decoder == NULL);
  join_path(path, sizeof path, folder, "text.lym");
  write_file(path, &text);
  CHECK_STATUS(lym_decoder_open_file(path, NULL, &decoder), LYM_ERROR_NOT_A_STREAM);
  CHECK(remove_file(path) == 0);
  options.overwrite = 1;
  /* A folder is no file to replace, even when replacing is asked for. */
  CHECK(lym_encoder_open_file(folder, &options, &encoder) > LYM_DAMAGED);
  CHECK(encoder == NULL);
  CHECK(count_folder_entries(folder) >= 0);
  free_buffer(&text);
  free_clip(&c);
}

static void test_files(const char *folder) {
  /* "Grüße €.lym" in UTF-8 */
  static const char utf8_name[] = "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC.lym";
  clip c = make_clip(8000, 1, 16, 9001, 31), other = make_clip(11025, 2, 8, 7001, 32);
  char path[1024];
  join_path(path, sizeof path, folder, "a.lym");
  set_context("files: the file appears at finishing");
  check_file_appears_at_finish(folder, path, &c);
  set_context("files: existing files");
  CHECK_STATUS(encode_file(path, &other, 0), LYM_ERROR_EXISTS);
  check_file_holds(path, &c);
  CHECK_STATUS(encode_file(path, &other, 1), LYM_OK);
  check_file_holds(path, &other);
  CHECK(count_folder_entries(folder) == 1);
  set_context("files: abandoned");
  join_path(path, sizeof path, folder, "b.lym");
  check_abandoned_file(folder, path, &c);
  set_context("files: a file appears meanwhile");
  check_file_appearing_meanwhile(folder, path, &c);
  set_context("files: a name beyond ASCII");
  join_path(path, sizeof path, folder, utf8_name);
  CHECK_STATUS(encode_file(path, &c, 0), LYM_OK);
  check_file_holds(path, &c);
  CHECK(count_folder_entries(folder) == 2);
  CHECK(remove_file(path) == 0);
  set_context("files: unusable paths");
  check_unusable_paths(folder);
  join_path(path, sizeof path, folder, "a.lym");
  CHECK(remove_file(path) == 0);
  free_clip(&c);
  free_clip(&other);
}

/* ------------------------------------------------------------------------------------------ */
/* Editing tags in files */

static lym_tag *read_tag(const char *path) {
  lym_tag *tag = NULL;
  CHECK_STATUS(lym_tag_read_file(path, &tag), LYM_OK);
  return tag;
}

/* The text of key in the file's tag as a decoder sees it; "" when missing. */
static void check_file_text(const char *path, const char *key, const char *expected) {
  lym_decoder *decoder;
  const lym_tag *tag;
  char text[64] = "";
  if (!OPENED(lym_decoder_open_file(path, NULL, &decoder), LYM_OK, decoder)) return;
  if (CHECK_STATUS(lym_decoder_get_tag(decoder, &tag), LYM_OK))
    lym_tag_get_text(tag, key, ';', text, sizeof text, NULL);
  if (!CHECK(strcmp(text, expected) == 0)) fprintf(stderr, "  %s: \"%s\"\n", key, text);
  lym_decoder_close(decoder);
}

/* Items set, replaced regardless of the key's case, removed; the stream before the tag keeps every
 * byte, and without items the file is the stream alone again. */
static void check_tag_edits(const char *path, const byte_buffer *stream, const clip *c) {
  static const char title[] = "Gr\xC3\xBC\xC3\x9F" "e \xE2\x99\xAA";
  byte_buffer cover = random_bytes(1 << 20, 12), file;
  lym_tag *tag = read_tag(path);
  if (tag == NULL) return;
  CHECK(lym_tag_get_state(tag) == LYM_TAG_NONE && lym_tag_item_count(tag) == 0);
  CHECK_STATUS(lym_tag_set_text(tag, "Title", title), LYM_OK);
  CHECK_STATUS(lym_tag_set_text(tag, "Artist", "Somebody"), LYM_OK);
  memcpy(cover.data, "cover.jpg", 10);
  CHECK_STATUS(lym_tag_set_item(tag, "Cover Art (Front)", LYM_TAG_BINARY, cover.data, cover.size),
               LYM_OK);
  CHECK_STATUS(lym_tag_write_file(tag, path), LYM_OK);
  lym_tag_free(tag);
  check_file_text(path, "title", title);
  check_file_holds(path, c);
  file = read_file(path);
  CHECK(file.size > stream->size + cover.size && memcmp(file.data, stream->data, stream->size) == 0);
  free_buffer(&file);

  if ((tag = read_tag(path)) == NULL) return;
  CHECK(lym_tag_get_state(tag) == LYM_TAG_PRESENT && lym_tag_item_count(tag) == 3);
  CHECK_STATUS(lym_tag_set_text(tag, "TITLE", "Second"), LYM_OK);
  CHECK_STATUS(lym_tag_remove_item(tag, "artist"), LYM_OK);
  CHECK_STATUS(lym_tag_remove_item(tag, "artist"), LYM_ERROR_NOT_FOUND);
  CHECK_STATUS(lym_tag_write_file(tag, path), LYM_OK);
  lym_tag_free(tag);
  check_file_text(path, "Title", "Second");
  check_file_text(path, "Artist", "");

  if ((tag = read_tag(path)) == NULL) return;
  CHECK_STATUS(lym_tag_remove_all(tag), LYM_OK);
  CHECK(lym_tag_get_state(tag) == LYM_TAG_NONE);
  CHECK_STATUS(lym_tag_write_file(tag, path), LYM_OK);
  lym_tag_free(tag);
  file = read_file(path);
  CHECK(same_bytes(&file, stream));
  free_buffer(&file);
  free_buffer(&cover);
}

/* Missing arguments, and a decoder's tag, which may be looked at only. */
static void check_tag_editing_arguments(const char *path) {
  lym_decoder *decoder;
  const lym_tag *seen;
  lym_tag *tag = (lym_tag *)&tag;
  CHECK_STATUS(lym_tag_read_file(NULL, &tag), LYM_ERROR_INVALID_ARGUMENT);
  CHECK(tag == NULL);
  CHECK_STATUS(lym_tag_read_file(path, NULL), LYM_ERROR_INVALID_ARGUMENT);
  CHECK_STATUS(lym_tag_set_text(NULL, "Title", "x"), LYM_ERROR_INVALID_ARGUMENT);
  CHECK_STATUS(lym_tag_set_item(NULL, "Title", LYM_TAG_BINARY, "x", 1), LYM_ERROR_INVALID_ARGUMENT);
  CHECK_STATUS(lym_tag_remove_item(NULL, "Title"), LYM_ERROR_INVALID_ARGUMENT);
  CHECK_STATUS(lym_tag_remove_all(NULL), LYM_ERROR_INVALID_ARGUMENT);
  CHECK_STATUS(lym_tag_write_file(NULL, path), LYM_ERROR_INVALID_ARGUMENT);
  CHECK(strcmp(lym_tag_error_text(NULL), "") == 0);
  lym_tag_free(NULL);
  if ((tag = read_tag(path)) != NULL) {
    CHECK_STATUS(lym_tag_set_text(tag, NULL, "x"), LYM_ERROR_INVALID_ARGUMENT);
    CHECK_STATUS(lym_tag_set_text(tag, "Title", NULL), LYM_ERROR_INVALID_ARGUMENT);
    CHECK_STATUS(lym_tag_set_item(tag, "Title", LYM_TAG_BINARY, NULL, 1), LYM_ERROR_INVALID_ARGUMENT);
    CHECK_STATUS(lym_tag_write_file(tag, NULL), LYM_ERROR_INVALID_ARGUMENT);
    lym_tag_free(tag);
  }
  if (!OPENED(lym_decoder_open_file(path, NULL, &decoder), LYM_OK, decoder)) return;
  if (CHECK_STATUS(lym_decoder_get_tag(decoder, &seen), LYM_OK)) {
    CHECK_STATUS(lym_tag_set_text((lym_tag *)seen, "Title", "x"), LYM_ERROR_INVALID_ARGUMENT);
    CHECK_STATUS(lym_tag_remove_all((lym_tag *)seen), LYM_ERROR_INVALID_ARGUMENT);
    lym_tag_free((lym_tag *)seen); /* left alone: the decoder still owns it */
    CHECK(lym_tag_get_state(seen) == LYM_TAG_NONE || lym_tag_get_state(seen) == LYM_TAG_PRESENT);
  }
  lym_decoder_close(decoder);
}

/* Every rule of keys, values and sizes refuses the edit and leaves the tag as it was. */
static void check_tag_rules(const char *path) {
  static const char *const bad_keys[] = {"", "A", "id3", "Tag", "OGGS", "mp+", "Caf\xC3\xA9",
                                         "Tab\tkey"};
  char long_key[300];
  unsigned char value[8] = {0xC3, 0x28, 0, 0, 0, 0, 0, 0};
  size_t i;
  lym_tag *tag = read_tag(path);
  if (tag == NULL) return;
  for (i = 0; i < sizeof bad_keys / sizeof bad_keys[0]; ++i)
    CHECK_STATUS(lym_tag_set_text(tag, bad_keys[i], "x"), LYM_ERROR_INVALID_ARGUMENT);
  memset(long_key, 'k', 256);
  long_key[256] = '\0';
  CHECK_STATUS(lym_tag_set_text(tag, long_key, "x"), LYM_ERROR_INVALID_ARGUMENT);
  long_key[255] = '\0';
  CHECK_STATUS(lym_tag_set_text(tag, long_key, "x"), LYM_OK);
  CHECK_STATUS(lym_tag_set_item(tag, "Broken", LYM_TAG_TEXT, value, 2), LYM_ERROR_INVALID_ARGUMENT);
  CHECK_STATUS(lym_tag_set_item(tag, "Bytes", LYM_TAG_BINARY, value, 2), LYM_OK);
  CHECK_STATUS(lym_tag_set_item(tag, "Kind", LYM_TAG_RESERVED, "x", 1), LYM_ERROR_INVALID_ARGUMENT);
  CHECK(strlen(lym_tag_error_text(tag)) > 0);
  for (i = 2; i < 100; ++i) {
    char key[16];
    snprintf(key, sizeof key, "Item %lu", (unsigned long)i);
    CHECK_STATUS(lym_tag_set_text(tag, key, "v"), LYM_OK);
  }
  CHECK_STATUS(lym_tag_set_text(tag, "One too many", "v"), LYM_ERROR_INVALID_ARGUMENT);
  CHECK_STATUS(lym_tag_set_text(tag, "item 2", "replaced"), LYM_OK);
  CHECK(lym_tag_item_count(tag) == 100);
  lym_tag_free(tag);
  check_tag_editing_arguments(path);
}

/* A stream with lost frames takes a tag like any other; a file that is no stream takes none. */
static void check_tag_on_damage(const char *folder, const byte_buffer *stream) {
  char path[1024];
  byte_buffer damaged = copy_bytes(stream->data, stream->size);
  lym_tag *tag;
  memset(damaged.data + damaged.size / 2, 0, 500);
  join_path(path, sizeof path, folder, "damaged.lym");
  write_file(path, &damaged);
  if ((tag = read_tag(path)) != NULL) {
    CHECK_STATUS(lym_tag_set_text(tag, "Title", "Damaged"), LYM_OK);
    CHECK_STATUS(lym_tag_write_file(tag, path), LYM_OK);
    lym_tag_free(tag);
  }
  check_file_text(path, "Title", "Damaged");
  CHECK(remove_file(path) == 0);
  join_path(path, sizeof path, folder, "noise.lym");
  free_buffer(&damaged);
  damaged = random_bytes(5000, 13);
  write_file(path, &damaged);
  tag = (lym_tag *)&tag;
  CHECK_STATUS(lym_tag_read_file(path, &tag), LYM_ERROR_NOT_A_STREAM);
  CHECK(tag == NULL);
  CHECK(remove_file(path) == 0);
  free_buffer(&damaged);
}

static void test_tag_files(const char *folder) {
  clip c = make_clip(44100, 2, 16, 30000, 41);
  lym_encoder_options options = clip_options(&c, 1, 0);
  byte_buffer stream = encode_clip(&c, &options, &seekable_medium, 0);
  char path[1024];
  join_path(path, sizeof path, folder, "tagged.lym");
  write_file(path, &stream);
  set_context("tags: editing a file");
  check_tag_edits(path, &stream, &c);
  set_context("tags: the rules");
  check_tag_rules(path);
  set_context("tags: damaged streams, no stream");
  check_tag_on_damage(folder, &stream);
  CHECK(remove_file(path) == 0);
  free_buffer(&stream);
  free_clip(&c);
}

/* ------------------------------------------------------------------------------------------ */
/* Threads: two encoders and two decoders at once */

typedef struct file_job {
  char path[1024];
  const clip *clip;
} file_job;

static void encode_file_job(void *argument) {
  const file_job *job = argument;
  CHECK_STATUS(encode_file(job->path, job->clip, 0), LYM_OK);
}

static void decode_file_job(void *argument) {
  const file_job *job = argument;
  check_file_holds(job->path, job->clip);
}

static void test_threads(const char *folder) {
  clip clips[2];
  file_job jobs[2];
  thread_job threads[2];
  int i;
  set_context("two threads");
  clips[0] = make_clip(44100, 2, 16, 44100, 71);
  clips[1] = make_clip(48000, 1, 24, 60000, 72);
  for (i = 0; i < 2; ++i) {
    snprintf(jobs[i].path, sizeof jobs[i].path, "%s/thread%d.lym", folder, i);
    jobs[i].clip = &clips[i];
    threads[i].run = encode_file_job;
    threads[i].argument = &jobs[i];
  }
  run_together(threads);
  /* The same bytes as one encoder alone writes. */
  for (i = 0; i < 2; ++i) {
    lym_encoder_options options = clip_options(&clips[i], 1, 0);
    byte_buffer alone = encode_clip(&clips[i], &options, &seekable_medium, 0);
    byte_buffer written = read_file(jobs[i].path);
    CHECK(same_bytes(&alone, &written));
    free_buffer(&alone);
    free_buffer(&written);
    threads[i].run = decode_file_job;
  }
  run_together(threads);
  for (i = 0; i < 2; ++i) {
    CHECK(remove_file(jobs[i].path) == 0);
    free_clip(&clips[i]);
  }
}

/* ------------------------------------------------------------------------------------------ */
/* A WAVE file and the .lym file that the lym tool made of it */

static uint32_t little_endian(const unsigned char *bytes, int count) {
  uint32_t value = 0;
  while (count-- > 0) value = value << 8 | bytes[count];
  return value;
}

/* The WAVE file as a clip: its format, samples, and the bytes before and after them. */
static int parse_wave(const byte_buffer *wave, clip *c) {
  size_t offset = 12;
  int have_format = 0;
  if (wave->size < 12 || memcmp(wave->data, "RIFF", 4) != 0 ||
      memcmp(wave->data + 8, "WAVE", 4) != 0) {
    return 0;
  }
  while (offset + 8 <= wave->size) {
    const unsigned char *chunk = wave->data + offset;
    size_t bytes = little_endian(chunk + 4, 4);
    if (memcmp(chunk, "fmt ", 4) == 0 && offset + 24 <= wave->size) {
      c->channels = little_endian(chunk + 10, 2);
      c->rate = little_endian(chunk + 12, 4);
      c->bits = little_endian(chunk + 22, 2);
      have_format = c->channels > 0 && c->bits >= 8 && c->bits <= 24;
    } else if (memcmp(chunk, "data", 4) == 0 && have_format) {
      const size_t frame_bytes = c->channels * sample_bytes(c->bits);
      if (bytes > wave->size - offset - 8) bytes = wave->size - offset - 8;
      c->frames = bytes / frame_bytes;
      c->samples = allocate(c->frames * c->channels * sizeof *c->samples);
      unpack_samples(chunk + 8, c->frames * c->channels, c->bits, c->samples);
      c->header = copy_bytes(wave->data, offset + 8);
      offset += 8 + c->frames * frame_bytes;
      c->trailer = copy_bytes(wave->data + offset, wave->size - offset);
      return 1;
    }
    offset += 8 + bytes + bytes % 2;
  }
  return 0;
}

static void test_reference_files(const char *wave_path, const char *lym_path) {
  byte_buffer wave = read_file(wave_path), stream = read_file(lym_path), encoded;
  lym_decoder *decoder;
  lym_info info;
  lym_encoder_options options;
  clip c;
  memset(&c, 0, sizeof c);
  set_context("%s and %s", wave_path, lym_path);
  if (CHECK(parse_wave(&wave, &c)) &&
      OPENED(lym_decoder_open_memory(stream.data, stream.size, NULL, &decoder), LYM_OK, decoder)) {
    CHECK_STATUS(lym_decoder_get_info(decoder, &info), LYM_OK);
    options = clip_options(&c, info.preset, info.evaluation);
    check_info(decoder, &c, &options, stream.size);
    check_wave_bytes(decoder, lym_decoder_get_wave_header, &c.header);
    check_wave_bytes(decoder, lym_decoder_get_wave_trailer, &c.trailer);
    check_decoding(decoder, &c, 1);
    lym_decoder_close(decoder);
    encoded = encode_clip(&c, &options, &seekable_medium, 1);
    CHECK(same_bytes(&encoded, &stream));
    free_buffer(&encoded);
  }
  free_clip(&c);
  free_buffer(&wave);
  free_buffer(&stream);
}

/* ------------------------------------------------------------------------------------------ */

int main(int argc, char **argv) {
  char folder[512]; /* paths in it have room for a name */
  if (argc != 1 && argc != 2 && argc != 4) {
    fprintf(stderr, "usage: lym_api_test [SCRATCH_FOLDER [WAVE_FILE LYM_FILE]]\n");
    return 2;
  }
  snprintf(folder, sizeof folder, "%s/lym_api_test-%lu", argc > 1 ? argv[1] : ".", process_id());
  if (make_folder(folder) != 0) {
    fprintf(stderr, "lym_api_test: cannot make the folder %s\n", folder);
    return 1;
  }
  test_version_and_texts();
  test_every_format();
  test_largest_wave_bytes();
  test_seeking();
  test_media();
  test_tags();
  test_damaged_streams();
  test_invalid_arguments(folder);
  test_encoder_states();
  test_files(folder);
  test_tag_files(folder);
  test_threads(folder);
  if (argc == 4) test_reference_files(argv[2], argv[3]);
  set_context("the end");
  CHECK(count_folder_entries(folder) == 0);
  if (remove_folder(folder) != 0) fprintf(stderr, "lym_api_test: %s not removed\n", folder);
  if (failures > 0) {
    fprintf(stderr, "lym_api_test: %ld of %ld checks failed\n", (long)failures, (long)checks);
    return 1;
  }
  printf("lym_api_test: all %ld checks held\n", (long)checks);
  return 0;
}
