#include "lymtags.h"

#include <gst/tag/tag.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* APEv2 keys (compared regardless of case) and the GStreamer tags their text values fill. */
typedef struct {
  const char *key;
  const char *tag;
} KeyTag;

static const KeyTag kTextKeys[] = {
    {"Title", GST_TAG_TITLE},          {"Artist", GST_TAG_ARTIST},
    {"Album", GST_TAG_ALBUM},          {"Album Artist", GST_TAG_ALBUM_ARTIST},
    {"Genre", GST_TAG_GENRE},          {"Comment", GST_TAG_COMMENT},
    {"Composer", GST_TAG_COMPOSER},    {"Copyright", GST_TAG_COPYRIGHT},
    {"ISRC", GST_TAG_ISRC},            {"Publisher", GST_TAG_PUBLISHER},
    {"Conductor", GST_TAG_CONDUCTOR},  {"Lyrics", GST_TAG_LYRICS},
};

/* "3" or "3/12": the number, and the count when one is given. */
static void add_number_and_count(GstTagList *tags, const char *value, const char *number_tag,
                                 const char *count_tag) {
  char *end = NULL;
  const unsigned long number = strtoul(value, &end, 10);
  if (end == value || number == 0 || number > G_MAXUINT) return;
  gst_tag_list_add(tags, GST_TAG_MERGE_APPEND, number_tag, (guint)number, NULL);
  if (*end != '/') return;
  const char *count_text = end + 1;
  const unsigned long count = strtoul(count_text, &end, 10);
  if (end != count_text && count > 0 && count <= G_MAXUINT) {
    gst_tag_list_add(tags, GST_TAG_MERGE_APPEND, count_tag, (guint)count, NULL);
  }
}

static void add_date(GstTagList *tags, const char *value) {
  GstDateTime *date = gst_date_time_new_from_iso8601_string(value);
  if (date == NULL) return;
  gst_tag_list_add(tags, GST_TAG_MERGE_APPEND, GST_TAG_DATE_TIME, date, NULL);
  gst_date_time_unref(date);
}

/* One value of a text item (several are separated by zero bytes). */
static void add_text_value(GstTagList *tags, const char *key, const char *value) {
  if (*value == '\0' || !g_utf8_validate(value, -1, NULL)) return;
  for (size_t i = 0; i < G_N_ELEMENTS(kTextKeys); ++i) {
    if (g_ascii_strcasecmp(key, kTextKeys[i].key) == 0) {
      gst_tag_list_add(tags, GST_TAG_MERGE_APPEND, kTextKeys[i].tag, value, NULL);
      return;
    }
  }
  if (g_ascii_strcasecmp(key, "Track") == 0) {
    add_number_and_count(tags, value, GST_TAG_TRACK_NUMBER, GST_TAG_TRACK_COUNT);
  } else if (g_ascii_strcasecmp(key, "Disc") == 0) {
    add_number_and_count(tags, value, GST_TAG_ALBUM_VOLUME_NUMBER, GST_TAG_ALBUM_VOLUME_COUNT);
  } else if (g_ascii_strcasecmp(key, "Year") == 0 || g_ascii_strcasecmp(key, "Date") == 0) {
    add_date(tags, value);
  }
}

static void add_text_item(GstTagList *tags, const lym_tag_item *item) {
  const char *value = (const char *)item->value;
  const char *end = value + item->value_bytes; /* a zero byte follows, not counted */
  for (const char *part = value; part <= end; part += strlen(part) + 1) {
    add_text_value(tags, item->key, part);
  }
}

/* "Cover Art (Front)" and its kind: the file's name, a zero byte, then the picture's bytes. */
static void add_cover_art(GstTagList *tags, const lym_tag_item *item) {
  static const char kPrefix[] = "Cover Art (";
  if (g_ascii_strncasecmp(item->key, kPrefix, sizeof kPrefix - 1) != 0) return;
  const char *kind = item->key + sizeof kPrefix - 1;
  const uint8_t *zero = memchr(item->value, 0, item->value_bytes);
  if (zero == NULL) return;
  const size_t offset = (size_t)(zero + 1 - item->value);
  if (offset >= item->value_bytes || item->value_bytes - offset > G_MAXUINT) return;
  GstTagImageType type = GST_TAG_IMAGE_TYPE_UNDEFINED;
  if (g_ascii_strcasecmp(kind, "Front)") == 0) type = GST_TAG_IMAGE_TYPE_FRONT_COVER;
  if (g_ascii_strcasecmp(kind, "Back)") == 0) type = GST_TAG_IMAGE_TYPE_BACK_COVER;
  GstSample *image = gst_tag_image_data_to_image_sample(
      item->value + offset, (guint)(item->value_bytes - offset), type);
  if (image == NULL) return; /* not a picture GStreamer knows */
  gst_tag_list_add(tags, GST_TAG_MERGE_APPEND, GST_TAG_IMAGE, image, NULL);
  gst_sample_unref(image);
}

static void add_apev2_items(GstTagList *tags, lym_decoder *decoder) {
  const lym_tag *tag = NULL;
  if (lym_decoder_get_tag(decoder, &tag) != LYM_OK || lym_tag_get_state(tag) != LYM_TAG_PRESENT) {
    return;
  }
  const size_t count = lym_tag_item_count(tag);
  for (size_t i = 0; i < count; ++i) {
    lym_tag_item item;
    if (lym_tag_get_item(tag, i, &item) != LYM_OK) continue;
    if (item.type == LYM_TAG_TEXT) add_text_item(tags, &item);
    if (item.type == LYM_TAG_BINARY) add_cover_art(tags, &item);
  }
}

static void add_stream_facts(GstTagList *tags, const lym_info *info) {
  gst_tag_list_add(tags, GST_TAG_MERGE_REPLACE, GST_TAG_AUDIO_CODEC, "Lym", NULL);
  gst_tag_list_add(tags, GST_TAG_MERGE_REPLACE, GST_TAG_CONTAINER_FORMAT, "Lym", NULL);
  if (info->preset >= 0 && info->evaluation >= 0) {
    char encoder[96];
    snprintf(encoder, sizeof encoder, "Lym, %s + %s", lym_preset_string(info->preset),
             lym_evaluation_string(info->evaluation));
    gst_tag_list_add(tags, GST_TAG_MERGE_REPLACE, GST_TAG_ENCODER, encoder, NULL);
  }
  if (info->encoder_version != 0) {
    gst_tag_list_add(tags, GST_TAG_MERGE_REPLACE, GST_TAG_ENCODER_VERSION,
                     (guint)info->encoder_version, NULL);
  }
  if (info->sample_rate > 0 && info->total_samples > 0) {
    const guint64 bits = gst_util_uint64_scale(info->stream_bytes, 8 * (guint64)info->sample_rate,
                                               info->total_samples);
    if (bits > 0 && bits <= G_MAXUINT) {
      gst_tag_list_add(tags, GST_TAG_MERGE_REPLACE, GST_TAG_BITRATE, (guint)bits, NULL);
    }
  }
}

GstTagList *gst_lym_tags_new(lym_decoder *decoder, const lym_info *info) {
  GstTagList *tags = gst_tag_list_new_empty();
  add_stream_facts(tags, info);
  add_apev2_items(tags, decoder);
  return tags;
}
