/* lymdec: decodes a .lym stream into raw interleaved PCM, sample-exact, with seeking through the
 * stream's seek table when upstream can be read at any position (pull mode, as from filesrc) and
 * no seeking when it only pushes (then the whole stream is collected first). */
#pragma once

#include <gst/gst.h>

G_BEGIN_DECLS

#define GST_TYPE_LYM_DEC (gst_lym_dec_get_type())
G_DECLARE_FINAL_TYPE(GstLymDec, gst_lym_dec, GST, LYM_DEC, GstElement)

G_END_DECLS
