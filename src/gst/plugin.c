/* The GStreamer plug-in "lym": the type finder for .lym streams and the decoder lymdec. */
#include <gst/gst.h>

#include "lym/lym.h"
#include "lymdec.h"
#include "lymtypefind.h"

static gboolean plugin_init(GstPlugin *plugin) {
  return gst_lym_type_find_register(plugin) &&
         gst_element_register(plugin, "lymdec", GST_RANK_PRIMARY, GST_TYPE_LYM_DEC);
}

#define PACKAGE "lym"
GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, lym,
                  "Lym lossless audio: finds and decodes .lym streams", plugin_init,
                  LYM_GST_VERSION, "unknown", "Lym", "https://lym.invalid/")
