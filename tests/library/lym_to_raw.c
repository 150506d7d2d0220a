/* lym_to_raw: writes the samples of a .lym file to standard output as raw PCM, packed as in a
 * WAVE file (little-endian, 8-bit samples unsigned). Lost samples of a damaged file come out as
 * silence; the program then says so and ends with status 1.
 *   lym_to_raw FILE.lym > FILE.raw */
#include <lym/lym.h>
#include <stdio.h>
#include <stdlib.h>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

enum { CHUNK_FRAMES = 4096 };

static int fail(const char *path, const char *message) {
  fprintf(stderr, "lym_to_raw: %s: %s\n", path, message);
  return 1;
}

/* Copies every sample frame to out; returns the exit status. */
static int copy_samples(lym_decoder *decoder, const char *path, FILE *out, int damaged) {
  lym_info info;
  lym_status status;
  size_t frame_bytes, frames;
  unsigned char *buffer;
  lym_decoder_get_info(decoder, &info);
  frame_bytes = info.channels * ((info.bits_per_sample + 7) / 8);
  buffer = malloc(CHUNK_FRAMES * frame_bytes);
  if (buffer == NULL) return fail(path, "out of memory");
  while ((status = lym_decoder_read_pcm(decoder, buffer, CHUNK_FRAMES, &frames)) <= LYM_DAMAGED &&
         frames > 0) {
    if (status == LYM_DAMAGED) damaged = 1;
    if (fwrite(buffer, frame_bytes, frames, out) != frames) break;
  }
  free(buffer);
  if (status > LYM_DAMAGED) return fail(path, lym_decoder_error_text(decoder));
  if (fflush(out) != 0 || ferror(out)) return fail(path, "cannot write the output");
  if (damaged) return fail(path, "damaged: lost samples were replaced by silence");
  return 0;
}

int main(int argc, char **argv) {
  lym_decoder *decoder;
  lym_status status;
  int result;
  if (argc != 2) {
    fprintf(stderr, "usage: lym_to_raw FILE.lym > FILE.raw\n");
    return 2;
  }
#ifdef _WIN32
  _setmode(_fileno(stdout), _O_BINARY); /* no CR before each LF byte */
#endif
  status = lym_decoder_open_file(argv[1], NULL, &decoder);
  if (status > LYM_DAMAGED) return fail(argv[1], lym_status_string(status));
  result = copy_samples(decoder, argv[1], stdout, status == LYM_DAMAGED);
  lym_decoder_close(decoder);
  return result;
}
