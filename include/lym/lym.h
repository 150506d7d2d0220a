/* liblym: reading and writing .lym streams, the lossless audio format of Lym.
 *
 * A plain C interface (C99 or C++) with opaque handles. No call throws, prints or ends the
 * program; every failure is a status code, and each handle keeps a text of its last error.
 *
 *   lym_decoder *decoder;
 *   if (lym_decoder_open_file("song.lym", NULL, &decoder) <= LYM_DAMAGED) {
 *     int32_t samples[4096 * 2];
 *     size_t frames;
 *     while (lym_decoder_read_s32(decoder, samples, 4096, &frames) <= LYM_DAMAGED && frames > 0)
 *       use(samples, frames);
 *     lym_decoder_close(decoder);
 *   }
 *
 * Terms: a sample frame ("frame" in the calls' parameters) is one sample of every channel;
 * samples are counted per channel. Samples are right-justified signed integers (an 8-bit sample
 * is -128..127, a 24-bit one -8388608..8388607) and interleaved, left channel first.
 *
 * Threads: a handle is used by one thread at a time; different handles are independent, so two
 * threads may each decode or encode their own file at once. Strings are UTF-8.
 *
 * Compatibility: functions are only ever added. A changed signature, struct or meaning raises
 * LYM_VERSION_MAJOR and with it the shared library's version (liblym.so.1 for major 1).
 */
#ifndef LYM_LYM_H
#define LYM_LYM_H

#include <stddef.h>
#include <stdint.h>

#if defined(LYM_BUILDING_SHARED)
#  if defined(_WIN32)
#    define LYM_API __declspec(dllexport)
#  else
#    define LYM_API __attribute__((visibility("default")))
#  endif
#else
#  define LYM_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ------------------------------------------------------------------------------------------ */
/* Version and status                                                                          */

#define LYM_VERSION_MAJOR 1
#define LYM_VERSION_MINOR 0
#define LYM_VERSION_PATCH 1

/* "1.0.1": the version of the library that runs, which may be newer than the header's. */
LYM_API const char *lym_version_string(void);

typedef enum lym_status {
  LYM_OK = 0,
  /* Not an error: damage was found and skipped (muted or cut, as the options say); what the call
   * delivered is usable and the handle goes on working. Compare with "<= LYM_DAMAGED" to accept
   * both. */
  LYM_DAMAGED = 1,
  LYM_ERROR_IO = 2,               /* reading, writing, seeking or closing the medium failed */
  LYM_ERROR_NOT_A_STREAM = 3,     /* no .lym stream that could be decoded was found */
  LYM_ERROR_UNSUPPORTED = 4,      /* a format the library cannot code */
  LYM_ERROR_INVALID_ARGUMENT = 5, /* a null pointer, a value out of range, ... */
  LYM_ERROR_OUT_OF_MEMORY = 6,
  LYM_ERROR_WRONG_STATE = 7,      /* a call that the handle's state does not allow */
  LYM_ERROR_NOT_SEEKABLE = 8,     /* seeking in a medium or mode that cannot seek */
  LYM_ERROR_BUFFER_TOO_SMALL = 9, /* the caller's buffer was filled as far as it goes */
  LYM_ERROR_NOT_FOUND = 10,       /* no such tag item */
  LYM_ERROR_EXISTS = 11,          /* the output file exists and replacing it was not asked for */
  LYM_ERROR_SAMPLE_COUNT = 12,    /* more or fewer samples than the encoder was told */
  LYM_ERROR_VERIFY_FAILED = 13,   /* the encoder's check decoded something else than its input */
  LYM_ERROR_INTERNAL = 14         /* a fault of the library itself */
} lym_status;

/* A short English text for each status ("Invalid argument"); never NULL. */
LYM_API const char *lym_status_string(lym_status status);

/* "Turbo", "Fast", "Normal", "High", "Extra" for presets 0..4; "Standard", "Extra", "Max" for
 * evaluation levels 0..2; "Unknown" for anything else (such as -1). */
LYM_API const char *lym_preset_string(int32_t preset);
LYM_API const char *lym_evaluation_string(int32_t evaluation);

/* ------------------------------------------------------------------------------------------ */
/* Media                                                                                       */

/* A medium of the caller's. Every function gets the user data given with it.
 *   read:  up to bytes bytes into buffer; the number read, 0 at the end, -1 on failure.
 *   write: all bytes; 0 on success, -1 on failure.
 *   seek:  to an absolute byte position; 0 on success, -1 on failure.
 *   tell:  the current byte position, -1 on failure.
 *   size:  the medium's length in bytes, -1 when unknown.
 * A decoder needs read; an encoder needs write. seek, tell and size may be NULL (a pipe): a decoder
 * without seek or size reads the whole stream into memory when it opens, and an encoder without
 * seek keeps the stream in memory until lym_encoder_finish writes it out in one pass. A decoder
 * starts at tell's position (0 without tell); an encoder writes from position 0 and needs no
 * size. */
typedef struct lym_io {
  int64_t (*read)(void *user_data, void *buffer, size_t bytes);
  int (*write)(void *user_data, const void *buffer, size_t bytes);
  int (*seek)(void *user_data, int64_t position);
  int64_t (*tell)(void *user_data);
  int64_t (*size)(void *user_data);
} lym_io;

/* ------------------------------------------------------------------------------------------ */
/* Stream information                                                                          */

/* Bits of lym_info.damage_flags. */
#define LYM_DAMAGE_IDENTIFIER 0x01u  /* the stream identifier is wrong */
#define LYM_DAMAGE_STREAM_INFO 0x02u /* the stream information was taken from a frame */
#define LYM_DAMAGE_METADATA 0x04u    /* metadata (seek table, WAVE header, ...) is damaged */
#define LYM_DAMAGE_FIRST_FRAME 0x08u /* the stream does not begin with its first frame */
#define LYM_DAMAGE_AUDIO 0x10u       /* frames were lost: see lym_decoder_get_gap */

typedef struct lym_info {
  uint32_t sample_rate, channels, bits_per_sample;
  uint64_t total_samples;           /* per channel, as the stream announces it */
  uint32_t frame_length;            /* samples per channel in a frame */
  int32_t preset, evaluation;       /* 0..4 and 0..2; -1 when unknown. What the encoder's settings
                                     * amount to: at some rates more than was asked for */
  uint32_t wave_header_bytes, wave_trailer_bytes; /* 0 when none is stored (or it is damaged) */
  uint32_t damage_flags;            /* 0 for an intact stream; LYM_DAMAGE_* bits */
  uint32_t encoder_version;         /* major << 16 | minor << 8 | patch; 0 when unknown */
  uint32_t seek_points;             /* entries of a usable seek table, 0 without one */
  uint64_t stream_bytes;            /* the stream's length in bytes, a trailing tag included */
} lym_info;

/* ------------------------------------------------------------------------------------------ */
/* Decoding                                                                                    */

typedef struct lym_decoder lym_decoder;

/* Values of lym_decoder_options.damage. */
typedef enum lym_damage_mode {
  LYM_DAMAGE_MUTE = 0, /* lost samples are replaced by silence: the length is kept */
  LYM_DAMAGE_CUT = 1   /* lost samples are left out; decoding is then sequential (no seeking) */
} lym_damage_mode;

/* One gap: the position in the stream (in samples from its start) of the first sample lost, and
 * how many were lost. Muted, the gap's silence is delivered at that position; cut, the samples
 * delivered jump over it. */
typedef struct lym_gap {
  uint64_t position;
  uint64_t samples;
} lym_gap;

/* Zero-filled (or NULL) options are the defaults. */
typedef struct lym_decoder_options {
  uint32_t damage;          /* a lym_damage_mode; default LYM_DAMAGE_MUTE */
  uint32_t no_vector_kernels; /* non-zero: the portable kernels only (results are the same) */
  uint32_t threads;         /* 0: one per processor; this version decodes on the calling thread */
  /* Called during a read for each gap as it is found, besides being listed; may be NULL. */
  void (*on_gap)(void *user_data, const lym_gap *gap);
  void *gap_user_data;
} lym_decoder_options;

/* Each open returns LYM_OK or LYM_DAMAGED (damaged metadata: decoding works) with a handle in
 * *decoder, or another status with *decoder set to NULL. */
LYM_API lym_status lym_decoder_open_file(const char *path_utf8, const lym_decoder_options *options,
                                         lym_decoder **decoder);
/* The medium must stay usable until lym_decoder_close; the decoder never closes it. */
LYM_API lym_status lym_decoder_open_io(const lym_io *io, void *user_data,
                                       const lym_decoder_options *options, lym_decoder **decoder);
/* The bytes are not copied: they must stay unchanged until lym_decoder_close. */
LYM_API lym_status lym_decoder_open_memory(const void *data, size_t bytes,
                                           const lym_decoder_options *options,
                                           lym_decoder **decoder);

LYM_API lym_status lym_decoder_get_info(const lym_decoder *decoder, lym_info *info);

/* Reads up to frames sample frames into interleaved (channels * frames values). *frames_read is
 * the number delivered: fewer only at the end, 0 once the end is reached. LYM_DAMAGED when the
 * samples delivered contain a gap; a read error ends the stream with LYM_ERROR_IO. */
LYM_API lym_status lym_decoder_read_s32(lym_decoder *decoder, int32_t *interleaved, size_t frames,
                                        size_t *frames_read);
/* The same samples packed as they stand in a WAVE file: 1, 2 or 3 little-endian bytes per
 * sample (8-bit samples unsigned, the others signed), frames * channels * bytes in all. */
LYM_API lym_status lym_decoder_read_pcm(lym_decoder *decoder, void *buffer, size_t frames,
                                        size_t *frames_read);

/* Positions the decoder so that the next read starts exactly at sample (0 .. total_samples - 1;
 * total_samples also, to read nothing more). Refused with LYM_ERROR_NOT_SEEKABLE in the cut mode. */
LYM_API lym_status lym_decoder_seek(lym_decoder *decoder, uint64_t sample);
/* The sample the next read starts at. */
LYM_API lym_status lym_decoder_tell(const lym_decoder *decoder, uint64_t *sample);

/* The WAVE header or trailer stored with the stream (lym_info gives their sizes). capacity must
 * hold all of it, else LYM_ERROR_BUFFER_TOO_SMALL; *bytes receives the size. LYM_ERROR_NOT_FOUND
 * when the stream stores none, LYM_DAMAGED (nothing copied) when what it stores is damaged: then
 * the decoder opened with LYM_DAMAGED and LYM_DAMAGE_METADATA. */
LYM_API lym_status lym_decoder_get_wave_header(lym_decoder *decoder, void *buffer, size_t capacity,
                                               size_t *bytes);
LYM_API lym_status lym_decoder_get_wave_trailer(lym_decoder *decoder, void *buffer,
                                                size_t capacity, size_t *bytes);

/* The gaps found so far, in the order they were found; an index beyond them is an invalid
 * argument. */
LYM_API size_t lym_decoder_gap_count(const lym_decoder *decoder);
LYM_API lym_status lym_decoder_get_gap(const lym_decoder *decoder, size_t index, lym_gap *gap);

/* The average bit rate of the frames decoded lately, in bits per second; 0 before the first. */
LYM_API uint32_t lym_decoder_bit_rate(const lym_decoder *decoder);

/* The text of the handle's last failure ("" when nothing failed); valid until the next call on
 * the handle. NULL decoder: "". */
LYM_API const char *lym_decoder_error_text(const lym_decoder *decoder);

/* Frees the decoder; NULL is allowed. */
LYM_API void lym_decoder_close(lym_decoder *decoder);

/* ------------------------------------------------------------------------------------------ */
/* Tags                                                                                        */

/* The APEv2 tag behind a stream's last frame. */
typedef struct lym_tag lym_tag;

typedef enum lym_tag_state {
  LYM_TAG_PRESENT = 0,      /* a usable tag */
  LYM_TAG_NONE = 1,         /* the stream has no tag */
  LYM_TAG_INCOMPATIBLE = 2, /* a tag of a version or layout this library does not read */
  LYM_TAG_DAMAGED = 3,      /* a tag whose items could not all be read */
  LYM_TAG_UNREADABLE = 4    /* reading the tag failed */
} lym_tag_state;

typedef enum lym_tag_item_type {
  LYM_TAG_TEXT = 0,     /* UTF-8; several values are separated by zero bytes */
  LYM_TAG_BINARY = 1,
  LYM_TAG_EXTERNAL = 2, /* a UTF-8 locator */
  LYM_TAG_RESERVED = 3
} lym_tag_item_type;

typedef struct lym_tag_item {
  const char *key;          /* zero-terminated ASCII */
  lym_tag_item_type type;
  const uint8_t *value;     /* value_bytes bytes, followed by a zero byte not counted */
  size_t value_bytes;
} lym_tag_item;

/* The decoder's tag, read on the first request; it belongs to the decoder and lives until
 * lym_decoder_close. Also a stream without a tag has one, in the state LYM_TAG_NONE. */
LYM_API lym_status lym_decoder_get_tag(lym_decoder *decoder, const lym_tag **tag);

LYM_API lym_tag_state lym_tag_get_state(const lym_tag *tag);
/* Items of a usable tag (0 otherwise). */
LYM_API size_t lym_tag_item_count(const lym_tag *tag);
/* The tag's size in the stream, header and footer included; 0 without a usable tag. */
LYM_API uint64_t lym_tag_bytes(const lym_tag *tag);
/* The index-th item (an index beyond the items is an invalid argument); its pointers live as
 * long as the tag. */
LYM_API lym_status lym_tag_get_item(const lym_tag *tag, size_t index, lym_tag_item *item);
/* The value of the text item whose key equals key regardless of ASCII case, zero-terminated, its
 * values (if several) joined by separator. *length (optional) receives the text's length. A
 * buffer too small receives what fits, cut at a character boundary, and LYM_ERROR_BUFFER_TOO_SMALL;
 * a NULL buffer of capacity 0 asks for the length alone (answered the same way).
 * LYM_ERROR_NOT_FOUND without such an item, LYM_ERROR_INVALID_ARGUMENT when it is not text. */
LYM_API lym_status lym_tag_get_text(const lym_tag *tag, const char *key, char separator,
                                    char *buffer, size_t capacity, size_t *length);

/* Editing. A tag read from a file belongs to the caller, who frees it with lym_tag_free; the
 * decoder's tag is only looked at. Keys are 2 to 255 ASCII characters from space to tilde other
 * than "ID3", "TAG", "OggS" and "MP+", compared without regard to case; text and external values
 * are UTF-8 (zero bytes separate the values of a list). A tag holds at most 100 items and, with
 * its footer, at most 16 MiB (16777216 bytes). A call that would break a rule changes nothing and
 * answers LYM_ERROR_INVALID_ARGUMENT, with the reason in lym_tag_error_text. */

/* The tag at the end of a .lym file (LYM_ERROR_NOT_A_STREAM for other files); a file without one
 * gives an empty tag in the state LYM_TAG_NONE. */
LYM_API lym_status lym_tag_read_file(const char *path_utf8, lym_tag **tag);
/* Sets a text item of one value: replaces the item of that key (where it stands) or adds one. */
LYM_API lym_status lym_tag_set_text(lym_tag *tag, const char *key, const char *value_utf8);
/* Sets an item of any type but LYM_TAG_RESERVED from value_bytes bytes. Cover art, by the APEv2
 * convention: key "Cover Art (Front)", type LYM_TAG_BINARY, the file name, a zero byte, then the
 * picture's bytes. */
LYM_API lym_status lym_tag_set_item(lym_tag *tag, const char *key, uint32_t type,
                                    const void *value, size_t value_bytes);
/* LYM_ERROR_NOT_FOUND when no item has the key. */
LYM_API lym_status lym_tag_remove_item(lym_tag *tag, const char *key);
LYM_API lym_status lym_tag_remove_all(lym_tag *tag);
/* Writes the tag's items behind the last frame of the .lym file at path, replacing the file's
 * APEv2 tag (a tag without items removes it). Not a byte before the tag changes: the file is
 * copied up to its tag into a temporary file beside it, the new tag appended, and the copy
 * renamed over the file, so that an interrupted edit leaves the old file. A file whose tag is
 * not one this library can delimit is left alone (LYM_ERROR_UNSUPPORTED); so is a link
 * (LYM_ERROR_INVALID_ARGUMENT: edit the file it points to). */
LYM_API lym_status lym_tag_write_file(const lym_tag *tag, const char *path_utf8);
/* As lym_decoder_error_text, for the edits and the writing of a tag. */
LYM_API const char *lym_tag_error_text(const lym_tag *tag);
/* Frees a tag of lym_tag_read_file; NULL and a decoder's tag are left alone. */
LYM_API void lym_tag_free(lym_tag *tag);

/* ------------------------------------------------------------------------------------------ */
/* Encoding                                                                                    */

typedef struct lym_encoder lym_encoder;

/* The format and the total are required; every other field's zero is its default. */
typedef struct lym_encoder_options {
  uint32_t sample_rate;      /* 8000 .. 96000 */
  uint32_t channels;         /* 1 or 2 */
  uint32_t bits_per_sample;  /* 8, 16 or 24 */
  /* Per channel, 1 .. 2147483647: exactly this many must be written. A stream also holds at most
   * 2097151 frames (of lym_info.frame_length samples, which grows with the preset and the rate):
   * a longer one is LYM_ERROR_UNSUPPORTED. */
  uint64_t total_samples;
  int32_t preset;            /* 0..4 (0 the fastest, 2 what the lym tool uses by default) */
  int32_t evaluation;        /* 0..2 (0 is also the lym tool's default) */
  uint32_t verify;           /* non-zero: decode every frame again and compare it with the input */
  /* The WAVE file's bytes before and after its samples, stored so that decoding can give back the
   * original file; NULL (or 0 bytes) for none. Together at most 1 MiB (1048576 bytes). */
  const void *wave_header;
  uint32_t wave_header_bytes;
  const void *wave_trailer;
  uint32_t wave_trailer_bytes;
  uint32_t overwrite;        /* lym_encoder_open_file: non-zero replaces an existing file */
  uint32_t no_vector_kernels; /* non-zero: the portable kernels only (the bytes are the same) */
  uint32_t threads;          /* 0: one per processor; this version encodes on the calling thread */
} lym_encoder_options;

/* Fills options with zeros and the lym tool's preset (2): the same as a zero-filled struct
 * otherwise. */
LYM_API void lym_encoder_options_init(lym_encoder_options *options);

/* The file appears only when lym_encoder_finish succeeds: until then the stream is written to a
 * temporary file beside it, which closing without finishing removes. LYM_ERROR_EXISTS when the
 * file exists and options->overwrite is 0 (checked again when the file is put in place); the
 * path must not name something other than a regular file. */
LYM_API lym_status lym_encoder_open_file(const char *path_utf8, const lym_encoder_options *options,
                                         lym_encoder **encoder);
/* The medium must stay usable until lym_encoder_close. */
LYM_API lym_status lym_encoder_open_io(const lym_io *io, void *user_data,
                                       const lym_encoder_options *options, lym_encoder **encoder);

/* frames sample frames, interleaved; each value must fit bits_per_sample. */
LYM_API lym_status lym_encoder_write_s32(lym_encoder *encoder, const int32_t *interleaved,
                                         size_t frames);
/* frames sample frames packed as in a WAVE file (see lym_decoder_read_pcm). */
LYM_API lym_status lym_encoder_write_pcm(lym_encoder *encoder, const void *buffer, size_t frames);

/* Completes the stream once every announced sample was written (else LYM_ERROR_SAMPLE_COUNT) and
 * puts the file in place. Afterwards only lym_encoder_close and the queries below work. */
LYM_API lym_status lym_encoder_finish(lym_encoder *encoder);

/* The bytes of the stream written so far (the whole stream after finishing). */
LYM_API uint64_t lym_encoder_output_bytes(const lym_encoder *encoder);

/* As lym_decoder_error_text. After LYM_ERROR_VERIFY_FAILED it names the first difference. */
LYM_API const char *lym_encoder_error_text(const lym_encoder *encoder);

/* Frees the encoder; an unfinished stream is abandoned (its file removed). NULL is allowed. */
LYM_API void lym_encoder_close(lym_encoder *encoder);

#ifdef __cplusplus
}
#endif

#endif /* LYM_LYM_H */
