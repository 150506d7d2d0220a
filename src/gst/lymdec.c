#include "lymdec.h"

#include <gst/audio/audio.h>
#include <gst/base/gstadapter.h>
#include <string.h>

#include "lym/lym.h"
#include "lymtags.h"
#include "lymtypefind.h"

GST_DEBUG_CATEGORY_STATIC(lymdec_debug);
#define GST_CAT_DEFAULT lymdec_debug

/* Sample frames per buffer pushed: about 0.1 s at 44.1 kHz. */
#define BLOCK_FRAMES 4096

struct _GstLymDec {
  GstElement parent;
  GstPad *sinkpad;
  GstPad *srcpad;

  /* The stream, once opened; info is valid with it. Queries from other threads look at opened
   * and at the segment's position under the object's lock. */
  lym_decoder *decoder;
  lym_info info;
  gboolean opened;
  guint frame_bytes; /* bytes of one sample frame as pushed */

  /* Pull mode: upstream is read at any position, the stream starting at base (behind an ID3v2
   * tag); size is the stream's length, -1 when upstream does not know it. */
  gboolean pull;
  guint64 base;
  guint64 offset;
  gint64 size;
  GstFlowReturn pull_flow; /* why the last read from upstream failed */

  /* Push mode: the whole stream, collected until upstream ends, then decoded from memory. */
  GstAdapter *adapter;
  GstBuffer *stream;
  GstMapInfo stream_map;

  /* Output in time; stop_sample is where this segment's samples end. */
  GstSegment segment;
  guint64 stop_sample;
  gboolean need_segment;
  gboolean need_tags;
  /* What elements before us found (an APEv2 or ID3 tag that they took off), merged into ours. */
  GstTagList *upstream_tags;
  gboolean discont;
  guint32 seqnum;
};

G_DEFINE_TYPE(GstLymDec, gst_lym_dec, GST_TYPE_ELEMENT)

static GstStaticPadTemplate sink_template = GST_STATIC_PAD_TEMPLATE(
    "sink", GST_PAD_SINK, GST_PAD_ALWAYS, GST_STATIC_CAPS(GST_LYM_CAPS));

static GstStaticPadTemplate src_template = GST_STATIC_PAD_TEMPLATE(
    "src", GST_PAD_SRC, GST_PAD_ALWAYS,
    GST_STATIC_CAPS("audio/x-raw, format = (string) { U8, S16LE, S24LE }, "
                    "layout = (string) interleaved, rate = (int) [ 8000, 96000 ], "
                    "channels = (int) [ 1, 2 ]"));

/* Sample positions and times: a time names the first sample at or after it, and a sample's time
 * is rounded down, so that each leads back to the other. */
static GstClockTime time_of(const GstLymDec *self, guint64 sample) {
  return gst_util_uint64_scale(sample, GST_SECOND, self->info.sample_rate);
}

static guint64 sample_of(const GstLymDec *self, GstClockTime time) {
  return gst_util_uint64_scale_ceil(time, self->info.sample_rate, GST_SECOND);
}

/* ------------------------------------------------------------------------------------------ */
/* Reading upstream in pull mode                                                               */

static int64_t io_read(void *user_data, void *buffer, size_t bytes) {
  GstLymDec *self = user_data;
  if (self->size >= 0 && self->offset >= (guint64)self->size) return 0;
  const guint request = (guint)MIN(bytes, (size_t)(1u << 24));
  GstBuffer *piece = NULL;
  const GstFlowReturn flow =
      gst_pad_pull_range(self->sinkpad, self->base + self->offset, request, &piece);
  if (flow == GST_FLOW_EOS) return 0;
  if (flow != GST_FLOW_OK) {
    self->pull_flow = flow;
    return -1;
  }
  const gsize got = gst_buffer_extract(piece, 0, buffer, request);
  gst_buffer_unref(piece);
  self->offset += got;
  return (int64_t)got;
}

static int io_seek(void *user_data, int64_t position) {
  GstLymDec *self = user_data;
  if (position < 0) return -1;
  self->offset = (guint64)position;
  return 0;
}

static int64_t io_tell(void *user_data) { return (int64_t)((GstLymDec *)user_data)->offset; }

static int64_t io_size(void *user_data) { return ((GstLymDec *)user_data)->size; }

static const lym_io kUpstream = {io_read, NULL, io_seek, io_tell, io_size};

/* The stream's start behind an ID3v2 tag that an upstream element left in front of it. */
static guint64 find_stream_start(GstLymDec *self) {
  GstBuffer *head = NULL;
  if (gst_pad_pull_range(self->sinkpad, 0, 10, &head) != GST_FLOW_OK) return 0;
  guint8 bytes[10] = {0};
  const gsize got = gst_buffer_extract(head, 0, bytes, sizeof bytes);
  gst_buffer_unref(head);
  return got == sizeof bytes ? gst_lym_id3v2_length(bytes) : 0;
}

static void upstream_size(GstLymDec *self) {
  gint64 bytes = -1;
  self->size = -1;
  if (gst_pad_peer_query_duration(self->sinkpad, GST_FORMAT_BYTES, &bytes) && bytes >= 0 &&
      (guint64)bytes >= self->base) {
    self->size = bytes - (gint64)self->base;
  }
}

/* ------------------------------------------------------------------------------------------ */
/* Opening the stream                                                                          */

/* Lost audio plays as silence; the application hears of it on the bus. */
static void on_gap(void *user_data, const lym_gap *gap) {
  GstLymDec *self = user_data;
  GST_ELEMENT_WARNING(self, STREAM, DECODE, ("Damaged audio was replaced by silence."),
                      ("%" G_GUINT64_FORMAT " samples lost at sample %" G_GUINT64_FORMAT,
                       (guint64)gap->samples, (guint64)gap->position));
}

static const char *sample_format(guint bits) {
  switch (bits) {
    case 8: return "U8";
    case 16: return "S16LE";
    case 24: return "S24LE";
    default: return NULL;
  }
}

static gboolean set_output_caps(GstLymDec *self) {
  const char *format = sample_format(self->info.bits_per_sample);
  if (format == NULL || self->info.channels < 1 || self->info.channels > 2) return FALSE;
  GstAudioInfo audio;
  gst_audio_info_init(&audio);
  gst_audio_info_set_format(&audio, gst_audio_format_from_string(format),
                            (gint)self->info.sample_rate, (gint)self->info.channels, NULL);
  GstCaps *caps = gst_audio_info_to_caps(&audio);
  const gboolean set = gst_pad_set_caps(self->srcpad, caps);
  gst_caps_unref(caps);
  self->frame_bytes = self->info.channels * (self->info.bits_per_sample / 8);
  return set;
}

static void push_stream_start(GstLymDec *self) {
  gchar *id = gst_pad_create_stream_id(self->srcpad, GST_ELEMENT(self), NULL);
  GstEvent *start = gst_event_new_stream_start(id);
  gst_event_set_group_id(start, gst_util_group_id_next());
  gst_pad_push_event(self->srcpad, start);
  g_free(id);
}

static GstFlowReturn open_stream(GstLymDec *self) {
  lym_decoder_options options;
  memset(&options, 0, sizeof options);
  lym_decoder *decoder = NULL;
  options.on_gap = on_gap;
  options.gap_user_data = self;
  lym_status status;
  if (self->pull) {
    self->base = find_stream_start(self);
    upstream_size(self);
    self->offset = 0;
    self->pull_flow = GST_FLOW_OK;
    status = lym_decoder_open_io(&kUpstream, self, &options, &decoder);
    if (status == LYM_ERROR_IO && self->pull_flow == GST_FLOW_FLUSHING) return GST_FLOW_FLUSHING;
  } else {
    status = lym_decoder_open_memory(self->stream_map.data, self->stream_map.size, &options,
                                     &decoder);
  }
  if (status != LYM_OK && status != LYM_DAMAGED) {
    GST_ELEMENT_ERROR(self, STREAM, DECODE, ("This is no .lym stream that can be decoded."),
                      ("%s", lym_status_string(status)));
    return GST_FLOW_ERROR;
  }
  if (status == LYM_DAMAGED) {
    GST_ELEMENT_WARNING(self, STREAM, DECODE, ("The stream's description is damaged."),
                        ("decoding goes on"));
  }
  lym_info info;
  lym_decoder_get_info(decoder, &info);
  GST_OBJECT_LOCK(self);
  self->decoder = decoder;
  self->info = info;
  self->opened = info.sample_rate > 0;
  GST_OBJECT_UNLOCK(self);
  if (!self->opened || !set_output_caps(self)) {
    GST_ELEMENT_ERROR(self, STREAM, FORMAT, (NULL), ("unusable stream format"));
    return GST_FLOW_ERROR;
  }
  return GST_FLOW_OK;
}

/* Where the samples of the current segment begin and end. */
static GstFlowReturn start_segment(GstLymDec *self) {
  const guint64 total = self->info.total_samples;
  guint64 start = MIN(sample_of(self, self->segment.start), total);
  self->stop_sample = total;
  if (GST_CLOCK_TIME_IS_VALID(self->segment.stop)) {
    self->stop_sample = MIN(total, sample_of(self, self->segment.stop));
  }
  const lym_status status = lym_decoder_seek(self->decoder, start);
  if (status != LYM_OK && status != LYM_DAMAGED) {
    GST_ELEMENT_ERROR(self, STREAM, DECODE, (NULL), ("seek: %s", lym_status_string(status)));
    return GST_FLOW_ERROR;
  }
  GST_OBJECT_LOCK(self);
  self->segment.duration = time_of(self, total);
  self->segment.position = time_of(self, start);
  GST_OBJECT_UNLOCK(self);
  GstEvent *event = gst_event_new_segment(&self->segment);
  if (self->seqnum != GST_SEQNUM_INVALID) gst_event_set_seqnum(event, self->seqnum);
  gst_pad_push_event(self->srcpad, event);
  self->need_segment = FALSE;
  return GST_FLOW_OK;
}

static void push_tags(GstLymDec *self) {
  GstTagList *tags = gst_lym_tags_new(self->decoder, &self->info);
  GST_OBJECT_LOCK(self);
  if (self->upstream_tags != NULL) gst_tag_list_insert(tags, self->upstream_tags, GST_TAG_MERGE_KEEP);
  self->need_tags = FALSE;
  GST_OBJECT_UNLOCK(self);
  gst_pad_push_event(self->srcpad, gst_event_new_tag(tags));
}

/* Tags of the stream from upstream; the streaming thread sends them with ours, again if ours
 * went out already. */
static void take_upstream_tags(GstLymDec *self, GstEvent *event) {
  GstTagList *tags = NULL;
  gst_event_parse_tag(event, &tags);
  if (gst_tag_list_get_scope(tags) != GST_TAG_SCOPE_STREAM) return;
  GST_OBJECT_LOCK(self);
  if (self->upstream_tags == NULL) {
    self->upstream_tags = gst_tag_list_copy(tags);
  } else {
    gst_tag_list_insert(self->upstream_tags, tags, GST_TAG_MERGE_REPLACE);
  }
  self->need_tags = TRUE;
  GST_OBJECT_UNLOCK(self);
}

static gboolean tags_pending(GstLymDec *self) {
  GST_OBJECT_LOCK(self);
  const gboolean pending = self->need_tags;
  GST_OBJECT_UNLOCK(self);
  return pending;
}

/* ------------------------------------------------------------------------------------------ */
/* Decoding                                                                                    */

static GstFlowReturn push_block(GstLymDec *self) {
  uint64_t position = 0;
  lym_decoder_tell(self->decoder, &position);
  if (position >= self->stop_sample) return GST_FLOW_EOS;
  const size_t frames = (size_t)MIN((guint64)BLOCK_FRAMES, self->stop_sample - position);
  GstBuffer *buffer = gst_buffer_new_allocate(NULL, frames * self->frame_bytes, NULL);
  GstMapInfo map;
  gst_buffer_map(buffer, &map, GST_MAP_WRITE);
  size_t got = 0;
  self->pull_flow = GST_FLOW_OK;
  const lym_status status = lym_decoder_read_pcm(self->decoder, map.data, frames, &got);
  gst_buffer_unmap(buffer, &map);
  if (status != LYM_OK && status != LYM_DAMAGED) {
    gst_buffer_unref(buffer);
    if (self->pull_flow == GST_FLOW_FLUSHING) return GST_FLOW_FLUSHING;
    GST_ELEMENT_ERROR(self, STREAM, DECODE, ("Decoding the stream failed."),
                      ("%s", lym_decoder_error_text(self->decoder)));
    return GST_FLOW_ERROR;
  }
  if (got == 0) {
    gst_buffer_unref(buffer);
    return GST_FLOW_EOS;
  }
  gst_buffer_set_size(buffer, got * self->frame_bytes);
  GST_BUFFER_OFFSET(buffer) = position;
  GST_BUFFER_OFFSET_END(buffer) = position + got;
  GST_BUFFER_PTS(buffer) = time_of(self, position);
  GST_BUFFER_DURATION(buffer) = time_of(self, position + got) - GST_BUFFER_PTS(buffer);
  if (self->discont) {
    GST_BUFFER_FLAG_SET(buffer, GST_BUFFER_FLAG_DISCONT);
    self->discont = FALSE;
  }
  GST_OBJECT_LOCK(self);
  self->segment.position = time_of(self, position + got);
  GST_OBJECT_UNLOCK(self);
  return gst_pad_push(self->srcpad, buffer);
}

/* The end of the segment: a segment seek's end is announced, any other ends the stream. */
static void finish_segment(GstLymDec *self) {
  if (self->segment.flags & GST_SEGMENT_FLAG_SEGMENT) {
    const GstFormat format = GST_FORMAT_TIME;
    const gint64 stop = (gint64)time_of(self, self->stop_sample);
    GstMessage *message = gst_message_new_segment_done(GST_OBJECT(self), format, stop);
    GstEvent *event = gst_event_new_segment_done(format, stop);
    if (self->seqnum != GST_SEQNUM_INVALID) {
      gst_message_set_seqnum(message, self->seqnum);
      gst_event_set_seqnum(event, self->seqnum);
    }
    gst_element_post_message(GST_ELEMENT(self), message);
    gst_pad_push_event(self->srcpad, event);
    return;
  }
  GstEvent *eos = gst_event_new_eos();
  if (self->seqnum != GST_SEQNUM_INVALID) gst_event_set_seqnum(eos, self->seqnum);
  gst_pad_push_event(self->srcpad, eos);
}

/* The task's pad: the sink pad in pull mode, the source pad once a pushed stream is complete. */
static GstPad *task_pad(GstLymDec *self) { return self->pull ? self->sinkpad : self->srcpad; }

static void pause_task(GstLymDec *self, GstFlowReturn flow) {
  GST_DEBUG_OBJECT(self, "pausing: %s", gst_flow_get_name(flow));
  gst_pad_pause_task(task_pad(self));
  if (flow == GST_FLOW_EOS) {
    finish_segment(self);
  } else if (flow == GST_FLOW_NOT_LINKED || flow < GST_FLOW_EOS) {
    if (flow != GST_FLOW_ERROR) GST_ELEMENT_FLOW_ERROR(self, flow);
    gst_pad_push_event(self->srcpad, gst_event_new_eos());
  }
}

static void decode_loop(gpointer data) {
  GstLymDec *self = GST_LYM_DEC(GST_PAD_PARENT((GstPad *)data));
  GstFlowReturn flow = GST_FLOW_OK;
  if (self->decoder == NULL) {
    push_stream_start(self);
    flow = open_stream(self);
  }
  if (flow == GST_FLOW_OK && self->need_segment) flow = start_segment(self);
  if (flow == GST_FLOW_OK && tags_pending(self)) push_tags(self);
  if (flow == GST_FLOW_OK) flow = push_block(self);
  if (flow != GST_FLOW_OK) pause_task(self, flow);
}

/* ------------------------------------------------------------------------------------------ */
/* Seeking and queries                                                                         */

/* Seeks in time or in samples, forward only, flushing or not, as segments or to the end. */
static gboolean do_seek(GstLymDec *self, GstEvent *event) {
  gdouble rate;
  GstFormat format;
  GstSeekFlags flags;
  GstSeekType start_type, stop_type;
  gint64 start, stop;
  gst_event_parse_seek(event, &rate, &format, &flags, &start_type, &start, &stop_type, &stop);
  GST_OBJECT_LOCK(self);
  const gboolean open = self->opened;
  GST_OBJECT_UNLOCK(self);
  /* Samples become times by the stream's rate, known once it is open. */
  if (!self->pull || !open || rate <= 0.0) return FALSE;
  if (format == GST_FORMAT_DEFAULT) {
    if (start_type != GST_SEEK_TYPE_NONE && start >= 0) start = (gint64)time_of(self, (guint64)start);
    if (stop_type != GST_SEEK_TYPE_NONE && stop >= 0) stop = (gint64)time_of(self, (guint64)stop);
  } else if (format != GST_FORMAT_TIME) {
    return FALSE;
  }
  const gboolean flush = (flags & GST_SEEK_FLAG_FLUSH) != 0;
  const guint32 seqnum = gst_event_get_seqnum(event);
  if (flush) {
    GstEvent *flush_start = gst_event_new_flush_start();
    gst_event_set_seqnum(flush_start, seqnum);
    gst_pad_push_event(self->srcpad, flush_start);
  } else {
    gst_pad_pause_task(self->sinkpad);
  }
  GST_PAD_STREAM_LOCK(self->sinkpad);
  gboolean update;
  GstSegment segment = self->segment;
  const gboolean valid = gst_segment_do_seek(&segment, rate, GST_FORMAT_TIME, flags, start_type,
                                             (guint64)start, stop_type, (guint64)stop, &update);
  if (flush) {
    GstEvent *flush_stop = gst_event_new_flush_stop(TRUE);
    gst_event_set_seqnum(flush_stop, seqnum);
    gst_pad_push_event(self->srcpad, flush_stop);
  }
  if (valid) {
    /* The new segment starts where the seek asked; its samples are decoded from there. */
    segment.start = segment.time = segment.position;
    GST_OBJECT_LOCK(self);
    self->segment = segment;
    GST_OBJECT_UNLOCK(self);
    self->seqnum = seqnum;
    self->need_segment = TRUE;
    self->discont = TRUE;
    if (segment.flags & GST_SEGMENT_FLAG_SEGMENT) {
      GstMessage *message =
          gst_message_new_segment_start(GST_OBJECT(self), GST_FORMAT_TIME, (gint64)segment.start);
      gst_message_set_seqnum(message, seqnum);
      gst_element_post_message(GST_ELEMENT(self), message);
    }
  }
  gst_pad_start_task(self->sinkpad, decode_loop, self->sinkpad, NULL);
  GST_PAD_STREAM_UNLOCK(self->sinkpad);
  return valid;
}

static gboolean src_event(GstPad *pad, GstObject *parent, GstEvent *event) {
  GstLymDec *self = GST_LYM_DEC(parent);
  if (GST_EVENT_TYPE(event) != GST_EVENT_SEEK) return gst_pad_event_default(pad, parent, event);
  const gboolean done = do_seek(self, event);
  gst_event_unref(event);
  return done;
}

static gboolean answer_duration(GstLymDec *self, GstQuery *query) {
  GstFormat format;
  gst_query_parse_duration(query, &format, NULL);
  if (format == GST_FORMAT_TIME) {
    gst_query_set_duration(query, format, (gint64)time_of(self, self->info.total_samples));
  } else if (format == GST_FORMAT_DEFAULT) {
    gst_query_set_duration(query, format, (gint64)self->info.total_samples);
  } else {
    return FALSE;
  }
  return TRUE;
}

static gboolean answer_position(GstLymDec *self, GstQuery *query) {
  GstFormat format;
  gst_query_parse_position(query, &format, NULL);
  GST_OBJECT_LOCK(self);
  const GstClockTime time = self->segment.position;
  GST_OBJECT_UNLOCK(self);
  if (format == GST_FORMAT_TIME) {
    gst_query_set_position(query, format, (gint64)time);
  } else if (format == GST_FORMAT_DEFAULT) {
    gst_query_set_position(query, format, (gint64)sample_of(self, time));
  } else {
    return FALSE;
  }
  return TRUE;
}

static gboolean answer_seeking(GstLymDec *self, GstQuery *query) {
  GstFormat format;
  gst_query_parse_seeking(query, &format, NULL, NULL, NULL);
  if (format != GST_FORMAT_TIME && format != GST_FORMAT_DEFAULT) return FALSE;
  const gint64 end = format == GST_FORMAT_TIME ? (gint64)time_of(self, self->info.total_samples)
                                               : (gint64)self->info.total_samples;
  gst_query_set_seeking(query, format, self->pull, 0, end);
  return TRUE;
}

static gboolean src_query(GstPad *pad, GstObject *parent, GstQuery *query) {
  GstLymDec *self = GST_LYM_DEC(parent);
  /* Answers come from the stream once it is open; its description stays until it is closed. */
  gboolean answered = FALSE;
  gboolean ours = TRUE;
  GST_OBJECT_LOCK(self);
  const gboolean open = self->opened;
  GST_OBJECT_UNLOCK(self);
  switch (GST_QUERY_TYPE(query)) {
    case GST_QUERY_DURATION: answered = open && answer_duration(self, query); break;
    case GST_QUERY_POSITION: answered = open && answer_position(self, query); break;
    case GST_QUERY_SEEKING: answered = open && answer_seeking(self, query); break;
    default: ours = FALSE; break;
  }
  return ours ? answered : gst_pad_query_default(pad, parent, query);
}

/* ------------------------------------------------------------------------------------------ */
/* Upstream: activation, and the pushed stream                                                 */

static void reset(GstLymDec *self) {
  GST_OBJECT_LOCK(self);
  lym_decoder_close(self->decoder);
  self->decoder = NULL;
  self->opened = FALSE;
  memset(&self->info, 0, sizeof self->info);
  gst_segment_init(&self->segment, GST_FORMAT_TIME);
  GST_OBJECT_UNLOCK(self);
  g_clear_pointer(&self->upstream_tags, gst_tag_list_unref);
  if (self->stream != NULL) {
    gst_buffer_unmap(self->stream, &self->stream_map);
    gst_buffer_unref(self->stream);
    self->stream = NULL;
  }
  gst_adapter_clear(self->adapter);
  self->need_segment = TRUE;
  self->need_tags = TRUE;
  self->discont = TRUE;
  self->seqnum = GST_SEQNUM_INVALID;
  self->base = self->offset = 0;
  self->size = -1;
}

static gboolean sink_activate(GstPad *pad, GstObject *parent) {
  GstQuery *query = gst_query_new_scheduling();
  gboolean pull = gst_pad_peer_query(pad, query) &&
                  gst_query_has_scheduling_mode_with_flags(query, GST_PAD_MODE_PULL,
                                                           GST_SCHEDULING_FLAG_SEEKABLE);
  gst_query_unref(query);
  (void)parent;
  return gst_pad_activate_mode(pad, pull ? GST_PAD_MODE_PULL : GST_PAD_MODE_PUSH, TRUE);
}

static gboolean sink_activate_mode(GstPad *pad, GstObject *parent, GstPadMode mode,
                                   gboolean active) {
  GstLymDec *self = GST_LYM_DEC(parent);
  if (mode == GST_PAD_MODE_PUSH) {
    self->pull = FALSE;
    return TRUE;
  }
  if (mode != GST_PAD_MODE_PULL) return FALSE;
  self->pull = active;
  if (active) return gst_pad_start_task(pad, decode_loop, pad, NULL);
  return gst_pad_stop_task(pad);
}

/* Upstream pushes: every byte is kept until it ends, then the stream is decoded from memory. */
static GstFlowReturn sink_chain(GstPad *pad, GstObject *parent, GstBuffer *buffer) {
  (void)pad;
  gst_adapter_push(GST_LYM_DEC(parent)->adapter, buffer);
  return GST_FLOW_OK;
}

static gboolean start_pushed_stream(GstLymDec *self) {
  const gsize bytes = gst_adapter_available(self->adapter);
  if (bytes == 0) {
    GST_ELEMENT_ERROR(self, STREAM, DECODE, ("The stream is empty."), (NULL));
    return FALSE;
  }
  GstBuffer *stream = gst_adapter_take_buffer(self->adapter, bytes);
  GstMapInfo head;
  guint64 skip = 0;
  if (gst_buffer_map(stream, &head, GST_MAP_READ)) {
    if (head.size >= 10) skip = gst_lym_id3v2_length(head.data);
    gst_buffer_unmap(stream, &head);
  }
  self->stream = skip > 0 && skip < bytes
                     ? gst_buffer_copy_region(stream, GST_BUFFER_COPY_MEMORY, skip, bytes - skip)
                     : gst_buffer_ref(stream);
  gst_buffer_unref(stream);
  gst_buffer_map(self->stream, &self->stream_map, GST_MAP_READ);
  return gst_pad_start_task(self->srcpad, decode_loop, self->srcpad, NULL);
}

static gboolean sink_event(GstPad *pad, GstObject *parent, GstEvent *event) {
  GstLymDec *self = GST_LYM_DEC(parent);
  switch (GST_EVENT_TYPE(event)) {
    case GST_EVENT_EOS:
      /* Our own end follows the last decoded sample. */
      gst_event_unref(event);
      return start_pushed_stream(self);
    case GST_EVENT_SEGMENT:
    case GST_EVENT_CAPS:
    case GST_EVENT_STREAM_START:
      /* Ours describe the decoded audio. */
      gst_event_unref(event);
      return TRUE;
    case GST_EVENT_TAG:
      take_upstream_tags(self, event);
      gst_event_unref(event);
      return TRUE;
    case GST_EVENT_FLUSH_STOP:
      gst_adapter_clear(self->adapter);
      return gst_pad_event_default(pad, parent, event);
    default: return gst_pad_event_default(pad, parent, event);
  }
}

/* ------------------------------------------------------------------------------------------ */
/* The element                                                                                 */

static GstStateChangeReturn change_state(GstElement *element, GstStateChange transition) {
  GstLymDec *self = GST_LYM_DEC(element);
  if (transition == GST_STATE_CHANGE_READY_TO_PAUSED) reset(self);
  const GstStateChangeReturn result =
      GST_ELEMENT_CLASS(gst_lym_dec_parent_class)->change_state(element, transition);
  if (transition == GST_STATE_CHANGE_PAUSED_TO_READY) {
    gst_pad_stop_task(self->srcpad);
    reset(self);
  }
  return result;
}

static void finalize(GObject *object) {
  GstLymDec *self = GST_LYM_DEC(object);
  reset(self);
  g_object_unref(self->adapter);
  G_OBJECT_CLASS(gst_lym_dec_parent_class)->finalize(object);
}

static void gst_lym_dec_class_init(GstLymDecClass *klass) {
  GObjectClass *object_class = G_OBJECT_CLASS(klass);
  GstElementClass *element_class = GST_ELEMENT_CLASS(klass);
  object_class->finalize = finalize;
  element_class->change_state = change_state;
  gst_element_class_add_static_pad_template(element_class, &sink_template);
  gst_element_class_add_static_pad_template(element_class, &src_template);
  gst_element_class_set_static_metadata(
      element_class, "Lym audio decoder", "Codec/Decoder/Audio",
      "Decodes lossless .lym audio streams into raw PCM, sample-exact and seekable", "Lym");
  GST_DEBUG_CATEGORY_INIT(lymdec_debug, "lymdec", 0, "Lym audio decoder");
}

static void gst_lym_dec_init(GstLymDec *self) {
  self->sinkpad = gst_pad_new_from_static_template(&sink_template, "sink");
  gst_pad_set_activate_function(self->sinkpad, sink_activate);
  gst_pad_set_activatemode_function(self->sinkpad, sink_activate_mode);
  gst_pad_set_chain_function(self->sinkpad, sink_chain);
  gst_pad_set_event_function(self->sinkpad, sink_event);
  gst_element_add_pad(GST_ELEMENT(self), self->sinkpad);

  self->srcpad = gst_pad_new_from_static_template(&src_template, "src");
  gst_pad_set_event_function(self->srcpad, src_event);
  gst_pad_set_query_function(self->srcpad, src_query);
  gst_pad_use_fixed_caps(self->srcpad);
  gst_element_add_pad(GST_ELEMENT(self), self->srcpad);

  self->adapter = gst_adapter_new();
  reset(self);
}
