// Texts that describe a compressed stream the same way wherever it is shown: the file
// information report and the player plug-in's information box.
#pragma once

#include <cstdint>
#include <string>

#include "container/lymStream.h"

namespace lym {

class TlymAPEv2Tag;

// "Normal" for preset 2; "Unknown" outside the preset table.
std::string PresetName(int32_t preset);

// "1.0.1" for the stored version 0x010001.
std::string EncoderVersionText(int32_t version);

// "Standard" for level 0; "Unknown" outside the level table and for encoders that did not store it.
std::string EvaluationName(const TadcEncoderInfo& info);

// "V 1.0.1, Normal + Standard". Files of encoders up to 1.0.0 did not store the evaluation level,
// so theirs is "Unknown".
std::string EncoderText(const TadcEncoderInfo& info);

// The tag's state as the file information gives it (kInformTagPresent ...); unreadable for no tag
// object at all.
uint8_t ApeTagState(const TlymAPEv2Tag* tag);

// "Yes / 3 Items / 0.12 KB" for a usable tag whose details can be read, otherwise the plain state
// word: "Yes", "No", "Incompatible", "Invalid" or "Error".
std::string ApeTagText(TlymAPEv2Tag& tag);

}  // namespace lym
