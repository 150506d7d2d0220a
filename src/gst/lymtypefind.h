/* Recognises .lym streams: the stream identifier at the start, or behind an ID3v2 tag. */
#pragma once

#include <gst/gst.h>

G_BEGIN_DECLS

/* The caps of a .lym stream. */
#define GST_LYM_CAPS "audio/x-lym"

gboolean gst_lym_type_find_register(GstPlugin *plugin);

/* The length of an ID3v2 tag at the start of the 10 bytes given (header, footer included), or 0
 * when they begin no such tag. */
guint64 gst_lym_id3v2_length(const guint8 *header);

G_END_DECLS
