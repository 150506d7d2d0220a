#include "lymtypefind.h"

#include <string.h>

static const guint8 kStreamIdentifier[4] = {'w', 'Q', 'y', 'Z'};

guint64 gst_lym_id3v2_length(const guint8 *header) {
  if (memcmp(header, "ID3", 3) != 0 || header[3] == 0xFF || header[4] == 0xFF) return 0;
  guint64 size = 0;
  for (int i = 6; i < 10; ++i) {
    if (header[i] & 0x80) return 0; /* a size byte keeps its top bit clear */
    size = size << 7 | header[i];
  }
  const gboolean footer = (header[5] & 0x10) != 0;
  return 10 + size + (footer ? 10 : 0);
}

static void lym_type_find(GstTypeFind *find, gpointer user_data) {
  (void)user_data;
  const guint8 *start = gst_type_find_peek(find, 0, 10);
  if (start == NULL) return;
  const guint64 offset = gst_lym_id3v2_length(start);
  const guint8 *identifier = offset == 0 ? start : gst_type_find_peek(find, (gint64)offset, 4);
  if (identifier == NULL || memcmp(identifier, kStreamIdentifier, 4) != 0) return;
  /* Behind an ID3v2 tag the tag's own type finder is surer; the tag's element hands the stream
   * on, which then starts with the identifier. */
  gst_type_find_suggest_empty_simple(find,
                                     offset == 0 ? GST_TYPE_FIND_NEARLY_CERTAIN
                                                 : GST_TYPE_FIND_LIKELY,
                                     GST_LYM_CAPS);
}

gboolean gst_lym_type_find_register(GstPlugin *plugin) {
  GstCaps *caps = gst_caps_new_empty_simple(GST_LYM_CAPS);
  const gboolean registered = gst_type_find_register(plugin, "audio/x-lym", GST_RANK_PRIMARY,
                                                     lym_type_find, "lym", caps, NULL, NULL);
  gst_caps_unref(caps);
  return registered;
}
