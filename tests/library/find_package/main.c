/* Encodes a second of a ramp into memory and decodes it again: the library that CMake found
 * links, loads and works. Exit status 0 when the samples come back and the versions agree. */
#include <lym/lym.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

enum { FRAMES = 8000 };

typedef struct sink {
  unsigned char *bytes;
  size_t size;
} sink;

static int append(void *user_data, const void *buffer, size_t bytes) {
  sink *out = user_data;
  unsigned char *grown = realloc(out->bytes, out->size + bytes);
  if (grown == NULL) return -1;
  memcpy(grown + out->size, buffer, bytes);
  out->bytes = grown;
  out->size += bytes;
  return 0;
}

int main(void) {
  static int32_t samples[FRAMES], decoded[FRAMES];
  const lym_io io = {NULL, append, NULL, NULL, NULL};
  sink stream = {NULL, 0};
  lym_encoder_options options;
  lym_encoder *encoder;
  lym_decoder *decoder;
  size_t frames = 0, i;
  char version[32];
  int ok;
  for (i = 0; i < FRAMES; ++i) samples[i] = (int32_t)(i % 200) * 100 - 10000;
  lym_encoder_options_init(&options);
  options.sample_rate = 8000;
  options.channels = 1;
  options.bits_per_sample = 16;
  options.total_samples = FRAMES;
  ok = lym_encoder_open_io(&io, &stream, &options, &encoder) == LYM_OK;
  if (ok) {
    ok = lym_encoder_write_s32(encoder, samples, FRAMES) == LYM_OK &&
         lym_encoder_finish(encoder) == LYM_OK;
    lym_encoder_close(encoder);
  }
  ok = ok && lym_decoder_open_memory(stream.bytes, stream.size, NULL, &decoder) == LYM_OK;
  if (ok) {
    ok = lym_decoder_read_s32(decoder, decoded, FRAMES, &frames) == LYM_OK && frames == FRAMES &&
         memcmp(samples, decoded, sizeof samples) == 0;
    lym_decoder_close(decoder);
  }
  free(stream.bytes);
  snprintf(version, sizeof version, "%d.%d.%d", LYM_VERSION_MAJOR, LYM_VERSION_MINOR,
           LYM_VERSION_PATCH);
  ok = ok && strcmp(lym_version_string(), version) == 0;
  printf("liblym %s: %s\n", lym_version_string(), ok ? "round trip done" : "FAILED");
  return ok ? 0 : 1;
}
