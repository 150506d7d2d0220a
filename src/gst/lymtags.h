/* A .lym stream's description as GStreamer tags: its APEv2 items (title, artist, album, track,
 * date, genre, comment, cover art, ...), the codec and the encoder's preset. */
#pragma once

#include <gst/gst.h>

#include "lym/lym.h"

G_BEGIN_DECLS

/* A new tag list; never NULL. */
GstTagList *gst_lym_tags_new(lym_decoder *decoder, const lym_info *info);

G_END_DECLS
